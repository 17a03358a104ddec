// Set-up helpers for tests that talk to simulated readers over real
// pseudo-terminals: a private port folder and a reader served as COMn in it.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "sim/reader.h"
#include "sim/server.h"

namespace sim {

// A fresh folder under /tmp that $TAGGING_PORT_DIR points at for the
// object's life (the previous value comes back afterwards).
class PortFolder {
public:
    PortFolder();
    ~PortFolder();
    PortFolder(const PortFolder&) = delete;
    PortFolder& operator=(const PortFolder&) = delete;

    const std::string& dir() const { return dir_; }
    std::string portPath(int portNumber) const { return dir_ + "/COM" + std::to_string(portNumber); }

private:
    std::string dir_;
    std::string previous_;
    bool hadPrevious_ = false;
};

// A reader of a family served as COMn of a folder. Members destroy in the
// right order (server first).
struct ServedReader {
    std::unique_ptr<Reader> reader;
    std::unique_ptr<Server> server;
    explicit operator bool() const { return reader && server; }
};

// Nothing served (both null, error set) when the family is unknown or the
// line cannot be made. baud 0: the family's default.
ServedReader serveReader(std::string_view family, const std::string& linkPath, int baud = 0,
                         const PersonalityOptions& options = {}, std::string* error = nullptr);

} // namespace sim
