// A folder for the driver's traffic logs in tests: fresh under /tmp, removed
// with everything in it at the end; the log files written into it and their
// lines.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace dalrix_test {

struct LogFolder {
    std::filesystem::path path;
    LogFolder()
    {
        char pattern[] = "/tmp/dalrix-logXXXXXX";
        path = ::mkdtemp(pattern);
    }
    ~LogFolder() { std::filesystem::remove_all(path); }
    LogFolder(const LogFolder&) = delete;
    LogFolder& operator=(const LogFolder&) = delete;

    // The traffic logs (*.Log) in the folder.
    std::vector<std::filesystem::path> logFiles() const
    {
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(path))
            if (entry.path().extension() == ".Log")
                files.push_back(entry.path());
        return files;
    }
};

inline std::vector<std::string> fileLines(const std::filesystem::path& file)
{
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace dalrix_test
