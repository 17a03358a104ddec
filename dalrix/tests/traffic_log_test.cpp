#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "log_folder.h"
#include "pty_peer.h"
#include "traffic_log.h"

using dalrix_test::Bytes;
using dalrix_test::fileLines;
using dalrix_test::LogFolder;

TEST(TrafficLogLines, HaveTheirFixedFormat)
{
    std::tm t{};
    t.tm_hour = 12;
    t.tm_min = 0;
    t.tm_sec = 1;
    const Bytes request{0x05, 0xFF, 0x00, 0xF0, 0x0A, 0x5C};
    EXPECT_EQ(dalrix::TrafficLog::formatLine(t, 250, 'W', request), "12:00:01 250 ;W ; 05 FF 00 F0 0A 5C ;");
    t.tm_hour = 9;
    EXPECT_EQ(dalrix::TrafficLog::formatLine(t, 7, 'R', Bytes{0xab}), "09:00:01 007 ;R ; AB ;");
    EXPECT_EQ(dalrix::TrafficLog::formatLine(t, 7, 'R', {}), "09:00:01 007 ;R ; ;");

    std::tm day{};
    day.tm_year = 2024 - 1900;
    day.tm_mon = 2;
    day.tm_mday = 5;
    day.tm_hour = 8;
    day.tm_min = 9;
    EXPECT_EQ(dalrix::TrafficLog::formatFileName(day), "2403050809.Log");
}

TEST(TrafficLogFile, IsWrittenOnlyWhenWriteLogTxtExists)
{
    LogFolder folder;
    {
        dalrix::TrafficLog log(folder.path.string());
        EXPECT_FALSE(log.writing());
        log.add('W', Bytes{1, 2, 3});
        EXPECT_EQ(log.lines().size(), 1u) << "the lines are kept in memory all the same";
        EXPECT_EQ(folder.logFiles().size(), 0u);
    }
    std::ofstream(folder.path / "writeLog.txt").put('\n');
    dalrix::TrafficLog log(folder.path.string());
    EXPECT_TRUE(log.writing());
    EXPECT_EQ(std::filesystem::path(log.fileName()).parent_path(), folder.path);
    EXPECT_EQ(std::filesystem::path(log.fileName()).filename().string().size(), std::string("YYMMDDhhmm.Log").size());
    log.add('W', Bytes{0x05, 0xFF, 0x00, 0xF0, 0x0A, 0x5C});
    log.add('R', Bytes{0x04, 0x00, 0x00, 0x52, 0x5A});
    EXPECT_EQ(folder.logFiles().size(), 1u);
    std::ifstream in(log.fileName());
    std::string first, second;
    std::getline(in, first);
    std::getline(in, second);
    EXPECT_EQ(first, log.lines()[0]);
    EXPECT_EQ(second.substr(12), " ;R ; 04 00 00 52 5A ;");
}

TEST(TrafficLogFile, StartsAfreshAfter1000LinesWithoutLosingAny)
{
    LogFolder folder;
    std::ofstream(folder.path / "writeLog.txt").put('\n');
    dalrix::TrafficLog log(folder.path.string());
    const std::string firstFile = log.fileName();
    for (int i = 0; i < 1000; ++i)
        log.add('R', Bytes{static_cast<std::uint8_t>(i)});
    EXPECT_EQ(log.lines().size(), 1000u);
    log.add('R', Bytes{0xEE});
    EXPECT_TRUE(log.lines().empty()) << "more than 1000 lines empty the list";
    EXPECT_EQ(fileLines(firstFile).size(), 1001u) << "the 1001st line is saved before the list starts afresh";
    log.add('W', Bytes{0x01});
    EXPECT_EQ(log.lines().size(), 1u);
    // Within the same minute the new name is the old one: the file goes on.
    std::size_t total = 0;
    for (const auto& file : folder.logFiles())
        total += fileLines(file).size();
    EXPECT_EQ(total, 1002u);
}
