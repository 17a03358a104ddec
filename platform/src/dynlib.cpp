#include "platform/dynlib.h"

#include <climits>
#include <dlfcn.h>
#include <unistd.h>
#include <utility>

namespace platform {

SharedLibrary::~SharedLibrary()
{
    if (handle_ && !keep_)
        ::dlclose(handle_);
}

SharedLibrary::SharedLibrary(SharedLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), keep_(other.keep_), error_(std::move(other.error_))
{
}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept
{
    if (this != &other) {
        if (handle_ && !keep_)
            ::dlclose(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
        keep_ = other.keep_;
        error_ = std::move(other.error_);
    }
    return *this;
}

SharedLibrary SharedLibrary::open(const std::string& path)
{
    SharedLibrary lib;
    // dlopen searches the library path for a bare name; a library that belongs
    // in the current directory must be named as such.
    const std::string name = path.find('/') == std::string::npos ? "./" + path : path;
    lib.handle_ = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib.handle_) {
        const char* why = ::dlerror();
        lib.error_ = why ? why : "cannot load " + name;
    }
    return lib;
}

void* SharedLibrary::symbol(const char* name) const
{
    return handle_ ? ::dlsym(handle_, name) : nullptr;
}

std::string currentDirectory()
{
    char buffer[PATH_MAX];
    return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string(".");
}

std::string programDirectory()
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return currentDirectory();
    std::string path(buffer, static_cast<std::size_t>(n));
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? currentDirectory() : path.substr(0, slash == 0 ? 1 : slash);
}

} // namespace platform
