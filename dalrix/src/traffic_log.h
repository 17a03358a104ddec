// The driver's record of every frame written and every chunk of bytes
// received, kept in memory and, when the file "writeLog.txt" sits in the
// log folder, saved line by line to a file named after the time.
//
// A line: "hh:mm:ss zzz ;W ; 05 FF 00 F0 0A 5C ;" (direction W or R).
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <span>
#include <string>
#include <vector>

namespace dalrix {

class TrafficLog {
public:
    // Forms the file name from folder and the current local time
    // ("YYMMDDhhmm.Log") and switches writing on when folder/writeLog.txt exists.
    explicit TrafficLog(std::string folder);

    // Adds one line stamped with the current local time; saves it when writing.
    // After more than kMaxLines lines the list starts afresh under a new file name.
    void add(char direction, std::span<const std::uint8_t> bytes);

    const std::vector<std::string>& lines() const { return lines_; }
    const std::string& fileName() const { return fileName_; }
    bool writing() const { return writing_; }

    static constexpr std::size_t kMaxLines = 1000;

    static std::string formatLine(const std::tm& local, int milliseconds, char direction,
                                  std::span<const std::uint8_t> bytes);
    static std::string formatFileName(const std::tm& local);

private:
    void newFile();

    std::string folder_;
    std::string fileName_;
    bool writing_ = false;
    std::vector<std::string> lines_;
};

} // namespace dalrix
