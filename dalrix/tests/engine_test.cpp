// The exchange engine on its own, with its traffic log in a folder of the
// test's choosing (the driver proper logs next to the running program).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "com_port.h"
#include "log_folder.h"
#include "pty_peer.h"

using dalrix_test::Bytes;
using dalrix_test::fileLines;
using dalrix_test::LogFolder;
using dalrix_test::PortFolder;
using dalrix_test::ScriptedPeer;

namespace fs = std::filesystem;

namespace {

const Bytes kRequest{0x05, 0xFF, 0x00, 0xF0, 0x0A, 0x5C};
const Bytes kSuccess{0x04, 0x00, 0x00, 0x52, 0x5A};

// The time stamp "hh:mm:ss zzz" is 12 characters.
std::string withoutTime(const std::string& line)
{
    return line.size() > 12 ? line.substr(12) : line;
}

} // namespace

TEST(TrafficLogOfExchanges, RecordsEveryWriteAndDelivery)
{
    PortFolder ports;
    ScriptedPeer peer(ports, 2);
    LogFolder folder;
    dalrix::TfrmComPort engine(folder.path.string());
    ASSERT_TRUE(engine.open(2));
    peer.queue(dalrix_test::Reply{{0, Bytes(kSuccess.begin(), kSuccess.begin() + 2)},
                                  {50, Bytes(kSuccess.begin() + 2, kSuccess.end())}});
    EXPECT_EQ(engine.exchange(kRequest), 0);

    const auto& lines = engine.log().lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(withoutTime(lines[0]), " ;W ; 05 FF 00 F0 0A 5C ;");
    EXPECT_EQ(withoutTime(lines[1]), " ;R ; 04 00 ;") << "one line per delivery of bytes";
    EXPECT_EQ(withoutTime(lines[2]), " ;R ; 00 52 5A ;");
    EXPECT_EQ(lines[0][2], ':');
    EXPECT_EQ(lines[0][8], ' ');
    EXPECT_TRUE(folder.logFiles().empty()) << "no file without writeLog.txt";
}

TEST(TrafficLogOfExchanges, FileAppearsOnlyWithWriteLogTxt)
{
    PortFolder ports;
    ScriptedPeer peer(ports, 2);
    LogFolder folder;
    std::ofstream(folder.path / "writeLog.txt") << "\n";

    dalrix::TfrmComPort engine(folder.path.string());
    ASSERT_TRUE(engine.log().writing());
    ASSERT_TRUE(engine.open(2));
    peer.queue(kSuccess);
    EXPECT_EQ(engine.exchange(kRequest), 0);

    const auto files = folder.logFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].string(), engine.log().fileName());
    EXPECT_EQ(files[0].filename().string().size(), std::string("YYMMDDhhmm.Log").size());
    EXPECT_EQ(fileLines(files[0]), engine.log().lines());

    // Removing writeLog.txt does not stop a driver that found it; a new one
    // does not write.
    fs::remove(folder.path / "writeLog.txt");
    engine.close();
    dalrix::TfrmComPort quiet(folder.path.string());
    EXPECT_FALSE(quiet.log().writing());
}

TEST(ExchangeEngine, BuffersAreBoundedAgainstAChattyLine)
{
    PortFolder ports;
    ScriptedPeer peer(ports, 2);
    LogFolder folder;
    dalrix::TfrmComPort engine(folder.path.string());
    ASSERT_TRUE(engine.open(2));
    // More than the buffers keep, sent on the reader's own account.
    const std::size_t total = dalrix::TfrmComPort::kBufferLimit + 5000;
    peer.send(Bytes(total, 0x55));
    // The loop delivers the bytes as they come; nothing takes them meanwhile.
    EXPECT_TRUE(platform::MessageLoop::current().runUntil([&] { return peer.waitForWrites(1, 0); }, 10000));
    platform::MessageLoop::current().dispatchPending();
    const std::size_t kept = engine.takeScanBuffer().size();
    EXPECT_EQ(kept, dalrix::TfrmComPort::kBufferLimit);
}
