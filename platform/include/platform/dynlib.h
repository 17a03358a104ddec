// Loading shared libraries by path and finding their entry points by name.
#pragma once

#include <string>

namespace platform {

class SharedLibrary {
public:
    SharedLibrary() = default;
    ~SharedLibrary();
    SharedLibrary(SharedLibrary&& other) noexcept;
    SharedLibrary& operator=(SharedLibrary&& other) noexcept;
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // Loads the library at path (a path without '/' is taken as relative to
    // the current directory, never searched for). Check isOpen() and error().
    static SharedLibrary open(const std::string& path);
    // Loads a library "by name" as a library that needs it finds it: from the
    // folder of the library (or program) holding the address `loader` (any
    // function or object of the loading library), then from the program's
    // folder; never from the current directory or the system's library path.
    static SharedLibrary openByName(const std::string& fileName, const void* loader);

    bool isOpen() const { return handle_ != nullptr; }
    const std::string& error() const { return error_; }
    // The address of an exported name, or nullptr.
    void* symbol(const char* name) const;
    // Keeps the library loaded for the life of the process.
    void keepLoaded() { keep_ = true; }

private:
    void* handle_ = nullptr;
    bool keep_ = false;
    std::string error_;
};

// The process's current directory and the folder of the running program.
std::string currentDirectory();
std::string programDirectory();
// The folder of the loaded library (or program) that holds address; empty
// when no loaded file holds it.
std::string libraryDirectory(const void* address);

} // namespace platform
