#include "platform/dynlib.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <dlfcn.h>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

std::string folderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
}

// The running program's folder, or empty when the system does not tell.
std::string executableFolder()
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? folderOf(std::string(buffer, static_cast<std::size_t>(n))) : std::string();
}

} // namespace

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

SharedLibrary SharedLibrary::openByName(const std::string& fileName, const void* loader)
{
    SharedLibrary result;
    result.error_ = fileName + ": neither beside the library that loads it nor beside the program";
    bool failed = false;
    for (const std::string& folder : {libraryDirectory(loader), executableFolder()}) {
        if (folder.empty() || folder.front() != '/')
            continue; // never a folder relative to the current one
        const std::string path = folder + "/" + fileName;
        if (::access(path.c_str(), F_OK) != 0)
            continue;
        SharedLibrary lib = open(path);
        if (lib.isOpen())
            return lib;
        if (!failed)
            result.error_ = lib.error_;
        failed = true;
    }
    return result;
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
    const std::string folder = executableFolder();
    return folder.empty() ? currentDirectory() : folder;
}

namespace {

// The file mapped at address, from the process's memory map (always a full path).
std::string mappedFile(const void* address)
{
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        std::istringstream fields(line);
        std::string range, perms, offset, device, inode, path;
        fields >> range >> perms >> offset >> device >> inode;
        std::getline(fields >> std::ws, path);
        unsigned long long from = 0, to = 0;
        if (std::sscanf(range.c_str(), "%llx-%llx", &from, &to) == 2 && at >= from && at < to)
            return path.empty() || path.front() != '/' ? std::string() : path;
    }
    return {};
}

} // namespace

std::string libraryDirectory(const void* address)
{
    Dl_info info{};
    if (!address || ::dladdr(address, &info) == 0 || !info.dli_fname)
        return {};
    // dladdr names the file as it was loaded, which may be relative to the
    // folder the process was in then; the memory map has its full path.
    const std::string name = info.dli_fname;
    if (!name.empty() && name.front() == '/')
        return folderOf(name);
    return folderOf(mappedFile(address));
}

} // namespace platform
