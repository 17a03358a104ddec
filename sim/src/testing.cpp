#include "sim/testing.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace sim {

PortFolder::PortFolder()
{
    if (const char* old = std::getenv("TAGGING_PORT_DIR")) {
        previous_ = old;
        hadPrevious_ = true;
    }
    char tmpl[] = "/tmp/simportsXXXXXX";
    if (::mkdtemp(tmpl))
        dir_ = tmpl;
    ::setenv("TAGGING_PORT_DIR", dir_.c_str(), 1);
}

PortFolder::~PortFolder()
{
    if (hadPrevious_)
        ::setenv("TAGGING_PORT_DIR", previous_.c_str(), 1);
    else
        ::unsetenv("TAGGING_PORT_DIR");
    std::error_code ec;
    if (!dir_.empty())
        std::filesystem::remove_all(dir_, ec);
}

ServedReader serveReader(std::string_view family, const std::string& linkPath, int baud,
                         const PersonalityOptions& options, std::string* error)
{
    ServedReader served;
    served.reader = Reader::create(family, options, baud, error);
    if (!served.reader)
        return {};
    served.server = Server::pty(*served.reader, linkPath, error);
    if (!served.server)
        return {};
    return served;
}

} // namespace sim
