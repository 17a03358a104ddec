#include "traffic_log.h"

#include <cstdio>
#include <sys/stat.h>
#include <time.h>

namespace dalrix {

namespace {

std::tm localNow(int* milliseconds = nullptr)
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    ::localtime_r(&now.tv_sec, &local);
    if (milliseconds)
        *milliseconds = static_cast<int>(now.tv_nsec / 1000000);
    return local;
}

} // namespace

TrafficLog::TrafficLog(std::string folder) : folder_(std::move(folder))
{
    newFile();
    struct stat st{};
    writing_ = ::stat((folder_ + "/writeLog.txt").c_str(), &st) == 0;
}

void TrafficLog::newFile()
{
    fileName_ = folder_ + "/" + formatFileName(localNow());
}

std::string TrafficLog::formatFileName(const std::tm& local)
{
    char name[32];
    std::snprintf(name, sizeof name, "%02d%02d%02d%02d%02d.Log", local.tm_year % 100, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min);
    return name;
}

std::string TrafficLog::formatLine(const std::tm& local, int milliseconds, char direction,
                                   std::span<const std::uint8_t> bytes)
{
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d %03d ;%c ;", local.tm_hour, local.tm_min, local.tm_sec,
                  milliseconds, direction);
    std::string line(stamp);
    line.reserve(line.size() + bytes.size() * 3 + 2);
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (std::uint8_t b : bytes) {
        line += ' ';
        line += kHex[b >> 4];
        line += kHex[b & 0x0F];
    }
    line += " ;";
    return line;
}

void TrafficLog::add(char direction, std::span<const std::uint8_t> bytes)
{
    int ms = 0;
    const std::tm local = localNow(&ms);
    lines_.push_back(formatLine(local, ms, direction, bytes));
    // The file grows by one line per line added, so that what it holds is
    // the list as it stands; lines already saved under a name are never
    // overwritten, even when a new list starts under the same minute's name.
    if (writing_) {
        if (std::FILE* file = std::fopen(fileName_.c_str(), "a")) {
            std::fputs(lines_.back().c_str(), file);
            std::fputc('\n', file);
            std::fclose(file);
        }
    }
    if (lines_.size() > kMaxLines) {
        newFile();
        lines_.clear();
    }
}

} // namespace dalrix
