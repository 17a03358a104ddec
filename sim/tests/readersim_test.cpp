// The readersim program, driven through its standard input while a host
// talks to the reader it serves.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <filesystem>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/dynlib.h"
#include "platform/serial.h"
#include "raw_host.h"
#include "sim/testing.h"

using namespace sim;
using simtest::Bytes;
using simtest::RawLink;
using platform::SerialPort;

namespace {

constexpr std::uint8_t kHigh = iso::kFlagHighDataRate;

// readersim as a child process with its standard input and output on pipes.
class ReaderSim {
public:
    explicit ReaderSim(std::vector<std::string> args)
    {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
            return;
        const std::string program = platform::programDirectory() + "/readersim";
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in[0], STDIN_FILENO);
            ::dup2(out[1], STDOUT_FILENO);
            ::dup2(out[1], STDERR_FILENO);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        input_ = in[1];
        output_ = out[0];
    }

    ~ReaderSim()
    {
        if (input_ >= 0)
            ::close(input_);
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (output_ >= 0)
            ::close(output_);
    }

    void say(const std::string& line) const
    {
        const std::string text = line + "\n";
        [[maybe_unused]] const ssize_t n = ::write(input_, text.data(), text.size());
    }
    void closeInput()
    {
        ::close(input_);
        input_ = -1;
    }

    // The next output line containing `text` (earlier lines are passed over),
    // or nothing after timeoutMs.
    std::optional<std::string> waitFor(const std::string& text, int timeoutMs = 3000)
    {
        const std::uint64_t deadline = platform::monotonicMs() + static_cast<std::uint64_t>(timeoutMs);
        for (;;) {
            for (std::size_t eol; (eol = buffer_.find('\n')) != std::string::npos;) {
                std::string line = buffer_.substr(0, eol);
                buffer_.erase(0, eol + 1);
                seen_ += line + "\n";
                if (line.find(text) != std::string::npos)
                    return line;
            }
            const std::uint64_t now = platform::monotonicMs();
            if (now >= deadline)
                return std::nullopt;
            pollfd p{output_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(deadline - now)) <= 0)
                continue;
            char chunk[1024];
            const ssize_t n = ::read(output_, chunk, sizeof chunk);
            if (n <= 0)
                return std::nullopt;
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }

    // Exit status once the process ends within timeoutMs, else -1.
    int wait(int timeoutMs)
    {
        const std::uint64_t deadline = platform::monotonicMs() + static_cast<std::uint64_t>(timeoutMs);
        int status = 0;
        while (platform::monotonicMs() < deadline) {
            // Drain the output so the child never blocks on a full pipe.
            waitFor("\x01", 20);
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
        }
        return -1;
    }

    void signal(int sig) const { ::kill(pid_, sig); }
    const std::string& seen() const { return seen_; }

private:
    pid_t pid_ = -1;
    bool exited_ = false;
    int input_ = -1;
    int output_ = -1;
    std::string buffer_;
    std::string seen_;
};

int inventoryCount(const RawLink& link, int timeoutMs = 2000)
{
    const auto answer = link.ask(raw::kInventory, Bytes{kHigh}, timeoutMs);
    return answer && answer->status == raw::kOk ? answer->data[0] : -1;
}

} // namespace

TEST(ReaderSimProgram, ServesTagsAndTakesLiveCommands)
{
    PortFolder ports;
    const std::string tags = ports.dir() + "/tags.txt";
    {
        std::ofstream out(tags);
        out << "# two library tags\nE004010012345678 afi=91 eas=1 11223344\nE0040100AABBCCDD afi=91\n";
    }
    ReaderSim sim({"--family", "raw", "--port", "5", "--dir", ports.dir(), "--tags", tags});
    const auto banner = sim.waitFor("readersim: raw reader");
    ASSERT_TRUE(banner) << sim.seen();
    EXPECT_NE(banner->find("115200 baud on " + ports.portPath(5)), std::string::npos) << *banner;
    EXPECT_NE(banner->find("2 tag(s)"), std::string::npos) << *banner;
    ASSERT_TRUE(sim.waitFor("ready"));

    SerialPort host = SerialPort::open(5, 115200);
    ASSERT_TRUE(host.isOpen());
    RawLink link(host.fd());
    EXPECT_EQ(inventoryCount(link), 2);
    EXPECT_TRUE(sim.waitFor("COM5 <- ")) << "received frames are printed";

    sim.say("place E004010055667788 afi=92 blocks=32");
    ASSERT_TRUE(sim.waitFor("placed E004010055667788"));
    EXPECT_EQ(inventoryCount(link), 3);
    sim.say("list");
    ASSERT_TRUE(sim.waitFor("3 tag(s) on the antenna, RF on"));
    ASSERT_TRUE(sim.waitFor("E004010055667788 afi=92 dsfid=00 eas=0 blocks=32"));

    // A write from the host shows in the dump.
    const Uid uid = *uidFromText("E004010012345678");
    const auto written = link.ask(raw::kAir, iso::request(kHigh | iso::kFlagAddress, iso::kWriteSingleBlock, &uid,
                                                          Bytes{1, 0xEF, 0xBE, 0xAD, 0xDE}));
    ASSERT_TRUE(written);
    EXPECT_EQ(written->data, Bytes{0x00});
    sim.say("dump E004010012345678");
    ASSERT_TRUE(sim.waitFor("E004010012345678  AFI 91  DSFID 00  EAS on  28 blocks of 4 bytes"));
    ASSERT_TRUE(sim.waitFor("block   0  11223344  44 33 22 11"));
    ASSERT_TRUE(sim.waitFor("block   1  DEADBEEF  EF BE AD DE"));

    // Faults.
    sim.say("fault silence count=1 code=20");
    ASSERT_TRUE(sim.waitFor("fault silence count=1 code=20"));
    EXPECT_TRUE(link.ask(raw::kIdentify)) << "another code";
    EXPECT_EQ(inventoryCount(link, 300), -1);
    EXPECT_EQ(inventoryCount(link), 3);
    sim.say("fault status 84 permanent");
    ASSERT_TRUE(sim.waitFor("fault status 84 permanent"));
    EXPECT_EQ(link.ask(raw::kIdentify)->status, 0x84);
    sim.say("faults");
    ASSERT_TRUE(sim.waitFor("1 fault(s) armed"));
    sim.say("fault clear");
    ASSERT_TRUE(sim.waitFor("faults cleared"));
    EXPECT_EQ(link.ask(raw::kIdentify)->status, raw::kOk);
    sim.say("fault smoke");
    ASSERT_TRUE(sim.waitFor("error: unknown fault"));

    // Tags off and back on with their memory; the field off.
    sim.say("remove E004010012345678");
    ASSERT_TRUE(sim.waitFor("removed E004010012345678"));
    EXPECT_EQ(inventoryCount(link), 2);
    sim.say("place E004010012345678");
    ASSERT_TRUE(sim.waitFor("placed E004010012345678 (back from the shelf)"));
    sim.say("set E004010012345678 block 2 0000CAFE");
    ASSERT_TRUE(sim.waitFor("set E004010012345678 block"));
    const auto read = link.ask(raw::kAir, iso::request(kHigh | iso::kFlagAddress, iso::kReadMultipleBlocks, &uid,
                                                       Bytes{1, 1}));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->data, (Bytes{0x00, 0xEF, 0xBE, 0xAD, 0xDE, 0xFE, 0xCA, 0x00, 0x00}));
    sim.say("rf off");
    ASSERT_TRUE(sim.waitFor("RF off"));
    EXPECT_EQ(link.ask(raw::kInventory, Bytes{kHigh})->status, raw::kRfIsOff);
    sim.say("rf on");
    ASSERT_TRUE(sim.waitFor("RF on"));
    sim.say("remove all");
    ASSERT_TRUE(sim.waitFor("removed 3 tag(s)"));
    EXPECT_EQ(inventoryCount(link), 0);

    // Speed, statistics, the line.
    sim.say("baud 19200");
    ASSERT_TRUE(sim.waitFor("baud 19200"));
    EXPECT_FALSE(link.ask(raw::kIdentify, {}, 200));
    ASSERT_TRUE(host.setSpeed(19200));
    EXPECT_TRUE(link.ask(raw::kIdentify));
    sim.say("stats");
    ASSERT_TRUE(sim.waitFor("ignored bytes 3"));
    ASSERT_TRUE(sim.waitFor("code 30: "));
    sim.say("reopen");
    ASSERT_TRUE(sim.waitFor("line reopened on " + ports.portPath(5)));
    EXPECT_TRUE(link.hungUp(2000));
    host.close();
    SerialPort again = SerialPort::open(5, 19200);
    ASSERT_TRUE(again.isOpen());
    EXPECT_TRUE(RawLink(again.fd()).ask(raw::kIdentify));

    sim.say("bogus");
    ASSERT_TRUE(sim.waitFor("error: unknown command \"bogus\""));
    sim.say("quit");
    EXPECT_EQ(sim.wait(5000), 0);
    EXPECT_NE(sim.seen().find("readersim: stopped"), std::string::npos);
    EXPECT_FALSE(std::filesystem::is_symlink(ports.portPath(5)));
}

TEST(ReaderSimProgram, KeepsServingAfterItsInputEndsUntilASignal)
{
    PortFolder ports;
    ReaderSim sim({"--family", "RAW", "--port", "2", "--quiet"});
    ASSERT_TRUE(sim.waitFor("ready")) << sim.seen();
    sim.closeInput();
    SerialPort host = SerialPort::open(2, 115200);
    ASSERT_TRUE(host.isOpen()) << "the port folder comes from TAGGING_PORT_DIR";
    EXPECT_TRUE(RawLink(host.fd()).ask(raw::kIdentify));
    EXPECT_EQ(sim.seen().find("COM2 <-"), std::string::npos) << "--quiet";
    sim.signal(SIGTERM);
    EXPECT_EQ(sim.wait(5000), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(ports.portPath(2)));
}

TEST(ReaderSimProgram, ServesOnTcp)
{
    ReaderSim sim({"--family", "raw", "--tcp", "0", "--quiet"});
    const auto banner = sim.waitFor("on TCP port ");
    ASSERT_TRUE(banner) << sim.seen();
    const int port = std::atoi(banner->c_str() + banner->find("on TCP port ") + 12);
    ASSERT_GT(port, 0);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    EXPECT_TRUE(RawLink(fd).ask(raw::kIdentify));
    ::close(fd);
    sim.say("quit");
    EXPECT_EQ(sim.wait(5000), 0);
}

TEST(ReaderSimProgram, RefusesBadArguments)
{
    PortFolder ports;
    const std::string tags = ports.dir() + "/bad.txt";
    {
        std::ofstream out(tags);
        out << "E004010012345678 afi=XYZ\n";
    }
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    for (const Case& c : {Case{{"--family", "nosuch", "--port", "1"}, "unknown reader family"},
                          Case{{"--family", "raw"}, "--port or --tcp missing"},
                          Case{{"--port", "1"}, "--family missing"},
                          Case{{"--family", "raw", "--port", "0"}, "bad port number"},
                          Case{{"--family", "raw", "--port", "1", "--timing", "slow"}, "timing is none or realistic"},
                          Case{{"--family", "raw", "--port", "1", "--tags", tags}, "bad.txt:1: bad item"},
                          Case{{"--family", "raw", "--port", "1", "--frobnicate"}, "unknown option"}}) {
        ReaderSim sim(c.args);
        EXPECT_TRUE(sim.waitFor(c.message)) << c.message << "\n" << sim.seen();
        EXPECT_EQ(sim.wait(5000), 2) << c.message;
    }
    ReaderSim list({"--families"});
    EXPECT_TRUE(list.waitFor("raw (115200 baud): diagnostic reader"));
    EXPECT_EQ(list.wait(5000), 0);
}
