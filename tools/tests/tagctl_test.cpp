// tagctl as a user runs it: the program started as a process against a
// simulated reader on a pseudo-terminal, its output, its exit status, and
// the library's error texts converted from GBK.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/dynlib.h"
#include "platform/serial.h"
#include "sim/fault.h"
#include "sim/iso15693.h"
#include "sim/tag_file.h"
#include "sim/testing.h"

extern char** environ;

namespace {

constexpr int kPort = 3;
constexpr int kRunLimitMs = 30000;

struct Outcome { // of one run of tagctl
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs build/bin/tagctl with the arguments in a UTF-8 locale; the port
// folder comes through the environment (TAGGING_PORT_DIR). With interruptOn,
// the program gets SIGINT once its output (either stream) shows that text,
// or, when `onText` is given, that is called instead.
Outcome tagctl(std::vector<std::string> args, const char* interruptOn = nullptr,
               const std::function<void()>& onText = {})
{
    Outcome run;
    int out[2], err[2];
    if (::pipe(out) != 0 || ::pipe(err) != 0)
        return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, err[0]);
    const std::string program = platform::programDirectory() + "/tagctl";
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    ::setenv("LC_ALL", "C.UTF-8", 1);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    if (spawned != 0) {
        ::close(out[0]);
        ::close(err[0]);
        return run;
    }
    // Collect both outputs until they end, within the limit.
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&run.out, &run.err};
    const std::uint64_t deadline = platform::monotonicMs() + kRunLimitMs;
    int open = 2;
    bool interrupted = false;
    while (open > 0 && platform::monotonicMs() < deadline) {
        if (interruptOn && !interrupted
            && (run.out.find(interruptOn) != std::string::npos || run.err.find(interruptOn) != std::string::npos)) {
            if (onText)
                onText();
            else
                ::kill(pid, SIGINT);
            interrupted = true;
        }
        if (::poll(fds, 2, 100) <= 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            char buffer[4096];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (auto& f : fds)
        if (f.fd >= 0) {
            ::kill(pid, SIGKILL);
            ::close(f.fd);
        }
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

const char* const kBook =
    "E004010012345678 afi=91 eas=1 locked=0-1 10000000 00003039 20040000 0000AC58 9BC38000";
// Tags of other libraries, as in sim/examples/library_standard_tags.txt.
const char* const kIso28560_3 =
    "E004010028560003 afi=07 dsfid=3E eas=1 mem=110101313030303030303133360000000000003615444b373138353030000000"
    "0000050100050122020071426f67766f676e656e00313233343536373839300000613738393635366300";
const char* const kIso28560_2 =
    "E004010028560002 afi=07 dsfid=06 eas=0 mem=9101046091ce43800201a80501106702424103073240de05ab075b00";

class Tagctl : public ::testing::Test {
protected:
    void serve(const char* family)
    {
        std::string error;
        served_ = sim::serveReader(family, ports_.portPath(kPort), 0, {}, &error);
        ASSERT_TRUE(served_) << error;
    }
    void place(const char* line)
    {
        auto tag = sim::parseTagLine(line);
        ASSERT_TRUE(tag);
        ASSERT_TRUE(served_.reader->place(*tag));
    }

    sim::PortFolder ports_;
    sim::ServedReader served_;
    const std::string port_ = std::to_string(kPort);
};

} // namespace

TEST_F(Tagctl, InfoOfAFirstMakeReader)
{
    serve("feno");
    const Outcome r = tagctl({"--port", port_, "info"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("FENO (5)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("MK-A1"), std::string::npos) << r.out;
    const Outcome j = tagctl({"--json", "--port", port_, "info"});
    ASSERT_EQ(j.exitCode, 0) << j.err;
    EXPECT_NE(j.out.find("\"family\": 5"), std::string::npos) << j.out;
    EXPECT_NE(j.out.find("\"model\": \"MK-A1\""), std::string::npos) << j.out;
    EXPECT_NE(j.out.find("\"ok\": true"), std::string::npos) << j.out;
}

TEST_F(Tagctl, InfoOfTheSecondMake)
{
    serve("dalrix");
    const Outcome j = tagctl({"--json", "--port", port_, "info"});
    ASSERT_EQ(j.exitCode, 0) << j.err;
    EXPECT_NE(j.out.find("\"family\": 4"), std::string::npos) << j.out;
    EXPECT_NE(j.out.find("\"model\": null"), std::string::npos) << j.out;
}

TEST_F(Tagctl, ReadDecodesTheTag)
{
    serve("orba");
    place(kBook);
    const Outcome r = tagctl({"--port", port_, "read"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* expected : {"E004010012345678", "4412000012345", "book", "2A (64)", "2026-03-15", "44120"})
        EXPECT_NE(r.out.find(expected), std::string::npos) << expected << " in\n" << r.out;
    const Outcome j = tagctl({"--json", "--port", port_, "read"});
    ASSERT_EQ(j.exitCode, 0) << j.err;
    EXPECT_NE(j.out.find("\"itemId\": 4412000012345"), std::string::npos) << j.out;
    EXPECT_NE(j.out.find("\"eas\": true"), std::string::npos) << j.out;
    EXPECT_NE(j.out.find("\"locked\": [\"identifier\"]"), std::string::npos) << j.out;
    EXPECT_NE(j.out.find("\"extraLong\": 0, \"dataModel\": \"house\", \"ok\": true}"), std::string::npos) << j.out;
    EXPECT_EQ(r.out.find("data model"), std::string::npos) << "this library's tags print as they did\n" << r.out;
    const Outcome byType = tagctl({"--json", "--port", port_, "read", "--type", "book"});
    EXPECT_NE(byType.out.find("\"dataModel\": \"house\""), std::string::npos) << byType.out;
    const Outcome raw = tagctl({"--json", "--port", port_, "read", "--raw"});
    ASSERT_EQ(raw.exitCode, 0) << raw.err;
    EXPECT_NE(raw.out.find("\"blocks\": [268435456, 12345, 537133056, 44120, 2613280768, 0, 0, 0]"),
              std::string::npos)
        << raw.out;
    EXPECT_NE(raw.out.find("\"lockedBlocks\": [0, 1]"), std::string::npos) << raw.out;
}

TEST_F(Tagctl, TagsOfOtherLibrariesShowAsWhatTheyAre)
{
    serve("talu");
    const struct {
        const char* line;
        const char* json;
    } tags[] = {
        {kIso28560_3,
         "\"uid\": \"E004010028560003\", \"dataModel\": \"iso28560-3\", \"itemId\": \"1000000136\", "
         "\"owner\": \"DK-718500\", \"typeOfUsage\": 1, \"part\": 1, \"parts\": 1, \"crcValid\": true, \"ok\": true}"},
        {kIso28560_2,
         "\"uid\": \"E004010028560002\", \"dataModel\": \"iso28560-2\", \"itemId\": \"1620168259\", "
         "\"owner\": \"FI-Mamk-M\", \"typeOfUsage\": 1, \"ok\": true}"},
    };
    for (const auto& t : tags) {
        place(t.line);
        const Outcome j = tagctl({"--json", "--port", port_, "read"});
        ASSERT_EQ(j.exitCode, 0) << j.err;
        EXPECT_NE(j.out.find(t.json), std::string::npos) << j.out;
        served_.reader->removeAll();
    }

    // Passing the reader together with this library's book.
    place(kIso28560_3);
    place(kIso28560_2);
    place(kBook);
    const Outcome w = tagctl({"--port", port_, "watch", "--period", "20", "--count", "3"});
    ASSERT_EQ(w.exitCode, 0) << w.err;
    EXPECT_NE(w.out.find("E004010028560003  ISO 28560-3  1000000136  owner DK-718500  EAS on\n"), std::string::npos)
        << w.out;
    EXPECT_NE(w.out.find("E004010028560002  ISO 28560-2  1620168259  owner FI-Mamk-M  EAS off\n"), std::string::npos)
        << w.out;
    const Outcome wj = tagctl({"--json", "--port", port_, "watch", "--period", "20", "--count", "3"});
    ASSERT_EQ(wj.exitCode, 0) << wj.err;
    EXPECT_NE(wj.out.find("\"dataModel\": \"iso28560-3\", \"itemId\": \"1000000136\", \"owner\": \"DK-718500\""),
              std::string::npos)
        << wj.out;
    EXPECT_NE(wj.out.find("\"lockMask\": 4, \"dataModel\": \"house\"}"), std::string::npos) << wj.out;
}

TEST_F(Tagctl, UidAndCount)
{
    serve("feno");
    place(kBook);
    place("E0040100AABBCCDD afi=92");
    const Outcome count = tagctl({"--port", port_, "count"});
    ASSERT_EQ(count.exitCode, 0) << count.err;
    EXPECT_NE(count.out.find("tags: 2"), std::string::npos) << count.out;
    const Outcome cards = tagctl({"--json", "--port", port_, "count", "--type", "card"});
    EXPECT_NE(cards.out.find("\"count\": 1"), std::string::npos) << cards.out;
    served_.reader->remove(*sim::uidFromText("E0040100AABBCCDD"));
    const Outcome uid = tagctl({"--port", port_, "uid"});
    ASSERT_EQ(uid.exitCode, 0) << uid.err;
    EXPECT_EQ(uid.out, "UID: E004010012345678\n");
}

TEST_F(Tagctl, FailureShowsTheLibrarysText)
{
    serve("feno");
    const Outcome r = tagctl({"--port", port_, "read", "--delay", "0"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("brnReadSingleUID(): 没有标签或读写标签错误. (code -14)"), std::string::npos) << r.err;
    const Outcome j = tagctl({"--json", "--port", port_, "read", "--delay", "0"});
    EXPECT_EQ(j.exitCode, 1);
    EXPECT_NE(j.out.find("\"ok\": false"), std::string::npos) << j.out;
    EXPECT_NE(j.out.find("\"code\": -14"), std::string::npos) << j.out;
    EXPECT_NE(j.out.find("\"error\": \"没有标签或读写标签错误.\""), std::string::npos) << j.out;
}

TEST_F(Tagctl, NoReaderOnThePort)
{
    const Outcome r = tagctl({"--port", "7", "info"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("brnOpenSerial(): 不能打开指定串口. (code -1)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(ports_.portPath(7) + " does not exist"), std::string::npos) << r.err;

    // Held by another program.
    serve("feno");
    {
        const platform::SerialPort holder = platform::SerialPort::open(ports_.portPath(kPort), 9600);
        ASSERT_TRUE(holder.isOpen());
        const Outcome busy = tagctl({"--port", port_, "info"});
        EXPECT_EQ(busy.exitCode, 1);
        EXPECT_NE(busy.err.find(ports_.portPath(kPort) + " is busy: another program holds it"), std::string::npos)
            << busy.err;
    }
    // The port opens, but nothing answers.
    served_.reader->addFault(sim::Fault::silence(sim::Fault::kPermanent));
    const Outcome silent = tagctl({"--port", port_, "info"});
    EXPECT_EQ(silent.exitCode, 1);
    EXPECT_NE(silent.err.find(ports_.portPath(kPort) + " opened, but no reader answered at any speed"),
              std::string::npos)
        << silent.err;
}

namespace {

// tagctl run as the unprivileged user 65534 (the caller is root): its
// standard output, or nothing when this machine does not let us drop to it.
std::optional<std::string> tagctlAsNobody(const std::vector<std::string>& args)
{
    int out[2];
    if (::geteuid() != 0 || ::pipe(out) != 0)
        return std::nullopt;
    const std::string program = platform::programDirectory() + "/tagctl";
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(77);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    std::string text;
    pollfd p{out[0], POLLIN, 0};
    char buffer[4096];
    for (const std::uint64_t deadline = platform::monotonicMs() + kRunLimitMs; platform::monotonicMs() < deadline;) {
        if (::poll(&p, 1, 100) <= 0)
            continue;
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 77)
        return std::nullopt;
    return text;
}

} // namespace

// The port map end to end: "ports --map" names the devices, a reader is found
// through the map, and "ports" tells a missing device and one this user may
// not open.
TEST(TagctlPorts, MapsPortsAndTellsWhatIsWrongWithThem)
{
    sim::PortFolder folder; // where the simulated reader publishes its line
    std::string error;
    const auto served = sim::serveReader("feno", folder.portPath(8), 0, {}, &error);
    ASSERT_TRUE(served) << error;
    ::chmod(folder.dir().c_str(), 0755);
    ::setenv("XDG_CONFIG_HOME", (folder.dir() + "/config").c_str(), 1);
    ::unsetenv("TAGGING_PORT_DIR"); // the maps count only without a port folder

    const Outcome mapped = tagctl({"ports", "--map", "COM3", folder.portPath(8)});
    ASSERT_EQ(mapped.exitCode, 0) << mapped.err;
    const Outcome unplugged = tagctl({"ports", "--map", "com4", folder.dir() + "/unplugged"});
    EXPECT_EQ(unplugged.exitCode, 0) << unplugged.err;
    EXPECT_NE(unplugged.err.find("is not there now"), std::string::npos) << unplugged.err;
    const Outcome info = tagctl({"--port", "3", "info"});
    ASSERT_EQ(info.exitCode, 0) << info.err;
    EXPECT_NE(info.out.find("FENO (5)"), std::string::npos) << info.out;

    const Outcome list = tagctl({"ports"});
    ASSERT_EQ(list.exitCode, 0) << list.err;
    EXPECT_NE(list.out.find(folder.portPath(8) + " (user map) -> /dev/pts/"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("/unplugged (user map): missing"), std::string::npos) << list.out;

    // A device of group dialout, for a user outside that group.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string device = ::ptsname(master);
    const group* dialout = ::getgrnam("dialout");
    std::optional<std::string> asNobody;
    if (dialout && ::chown(device.c_str(), 0, dialout->gr_gid) == 0 && ::chmod(device.c_str(), 0660) == 0) {
        ASSERT_EQ(tagctl({"ports", "--map", "COM5", device}).exitCode, 0);
        asNobody = tagctlAsNobody({"ports"});
    }
    ::close(master);
    if (!asNobody)
        GTEST_SKIP() << "no unprivileged user to try the device with (not root, or no group dialout)";
    EXPECT_NE(asNobody->find(device + " (user map): present, this user may not open it: owned by root:dialout, "
                                      "mode 0660: add "),
              std::string::npos)
        << *asNobody;
    EXPECT_NE(asNobody->find(" to group dialout (sudo adduser "), std::string::npos) << *asNobody;
}

TEST(TagctlCommandLine, Mistakes)
{
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{}, {"frobnicate"}, {"--port"}, {"--port", "x", "info"},
                                               {"--port", "0", "info"}, {"read", "--type", "magazine"},
                                               {"info", "extra"}, {"count", "--raw"}, {"--verbose", "info"},
                                               {"write"}, {"write", "--book", "12x", "--library", "1"},
                                               {"write", "--book", "1"}, {"write", "--shelf", "1", "--library", "1", "--lock"},
                                               {"write", "--card", "1", "--library", "1", "--location", "2A"},
                                               {"write", "--card", "1", "--library", "1", "--registered", "2024-13-01"},
                                               {"write-raw"}, {"write-raw", "--lock", "9", "00"},
                                               {"write-raw", "123456789"}, {"write-raw", "--uid", "E004", "00"},
                                               {"watch", "--raw", "--type", "book"}, {"watch", "--count", "0"},
                                               // numbers are decimal and within range; dates are real
                                               {"--port", "0x3", "info"}, {"--port=256", "info"}, {"watch", "--period", "0x10"},
                                               {"write", "--book", "1", "--library", "4294967296"},
                                               {"write", "--card", "1", "--library", "1", "--registered", "2026-02-31"},
                                               {"write", "--card", "1", "--library", "1", "--valid-until", "2025-02-29"},
                                               {"write-raw", "--lock", "08", "00"}}) {
        const Outcome r = tagctl(args);
        EXPECT_EQ(r.exitCode, 2) << testing::PrintToString(args);
        EXPECT_FALSE(r.err.empty());
    }
    // A bad or missing value names its option.
    EXPECT_EQ(tagctl({"write", "--book", "12x", "--library", "1"}).err.rfind("tagctl: --book: bad number '12x'", 0),
              0u);
    EXPECT_EQ(tagctl({"write", "--library", "1", "--book"}).err.rfind("tagctl: --book needs a value", 0), 0u);
    const Outcome help = tagctl({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* command : {"info", "read", "uid", "count", "watch", "write", "write-raw"})
        EXPECT_NE(help.out.find(std::string("  ") + command), std::string::npos) << command;
    const Outcome writeHelp = tagctl({"write", "--help"});
    EXPECT_EQ(writeHelp.exitCode, 0);
    EXPECT_EQ(writeHelp.out.find("usage: tagctl [--port N] [--json] write --book"), 0u) << writeHelp.out;
    const Outcome version = tagctl({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("tagctl ", 0), 0u) << version.out;
}

TEST_F(Tagctl, LeadingZerosAreDecimalAndOptionsGoAfterTheCommand)
{
    serve("orba");
    place("E0040100000000D1");
    // Read as octal, 044120 was library 18512 and port 03 stayed 3 by chance.
    const Outcome r = tagctl({"write", "--book=4412000000123", "--library", "044120", "--verify", "--port=03"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(served_.reader->tag(*sim::uidFromText("E0040100000000D1"))->block(3), 44120u);

    // A patron card registered on 29 February is valid until 28 February a year on.
    served_.reader->removeAll();
    place("E0040100000000D2");
    ASSERT_EQ(tagctl({"--port", port_, "write", "--card", "7", "--library", "1", "--registered", "2024-02-29"}).exitCode, 0);
    const std::uint32_t valid = served_.reader->tag(*sim::uidFromText("E0040100000000D2"))->block(4);
    EXPECT_EQ(valid >> 28, 2u) << "month";
    EXPECT_EQ((valid >> 23) & 31, 28u) << "day";
    EXPECT_EQ((valid >> 13) & 1023, 2025u - 1970u) << "year";
}

TEST_F(Tagctl, WriteStopsUnlessExactlyOneTagAnswers)
{
    for (const char* family : {"feno", "orba", "talu", "dalrix"}) {
        SCOPED_TRACE(family);
        serve(family);
        place("E0040100000000D1");
        place("E0040100000000D2");
        for (const std::vector<std::string>& write :
             {std::vector<std::string>{"write", "--shelf", "3001", "--library", "44120"},
              std::vector<std::string>{"write-raw", "11223344"}}) {
            std::vector<std::string> args = {"--port", port_};
            args.insert(args.end(), write.begin(), write.end());
            const Outcome r = tagctl(args);
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_NE(r.err.find("2 tags answered on the reader; lay exactly one tag on it"), std::string::npos)
                << r.err;
            for (const char* uid : {"E0040100000000D1", "E0040100000000D2"}) {
                const sim::Tag tag = *served_.reader->tag(*sim::uidFromText(uid));
                EXPECT_EQ(tag.afi(), 0) << uid;
                EXPECT_EQ(tag.block(0), 0u) << uid;
            }
        }
        served_ = {};
    }
}

TEST_F(Tagctl, WriteEveryItemFormAndReadItBack)
{
    serve("orba");
    place("E0040100000000D1");
    const Outcome book = tagctl({"--port", port_, "write", "--book", "4412000012345", "--library", "44120",
                                 "--location", "1B", "--media", "3", "--reference", "--lock", "--verify"});
    ASSERT_EQ(book.exitCode, 0) << book.err;
    for (const char* expected : {"stored identifier:  12345", "verified:           yes", "EAS:                on"})
        EXPECT_NE(book.out.find(expected), std::string::npos) << expected << " in\n" << book.out;
    const Outcome read = tagctl({"--port", port_, "read"});
    ASSERT_EQ(read.exitCode, 0) << read.err;
    for (const char* expected : {"4412000012345", "1B (33)", "media type:         3", "reference item:     yes"})
        EXPECT_NE(read.out.find(expected), std::string::npos) << expected << " in\n" << read.out;
    const sim::Tag tag = *served_.reader->tag(*sim::uidFromText("E0040100000000D1"));
    EXPECT_EQ(tag.afi(), 0x91);
    EXPECT_TRUE(tag.blockLocked(0) && tag.blockLocked(1) && tag.blockLocked(3));

    served_.reader->removeAll();
    place("E0040100000000D2");
    const Outcome card = tagctl({"--json", "--port", port_, "write", "--card", "20260001", "--library", "44120",
                                 "--patron-type", "4", "--registered", "2024-09-01", "--valid-until", "2027-08-31",
                                 "--verify"});
    ASSERT_EQ(card.exitCode, 0) << card.err;
    EXPECT_NE(card.out.find("\"itemId\": 20260001"), std::string::npos) << card.out;
    EXPECT_NE(card.out.find("\"eas\": false"), std::string::npos) << card.out;
    const sim::Tag cardTag = *served_.reader->tag(*sim::uidFromText("E0040100000000D2"));
    EXPECT_EQ(cardTag.afi(), 0x92);
    EXPECT_EQ(cardTag.block(2), 0x9086C080u);
    EXPECT_EQ(cardTag.block(4), 0x8F872000u);

    served_.reader->removeAll();
    place("E0040100000000D3");
    const Outcome shelf = tagctl({"--port", port_, "write", "--shelf", "3001", "--library", "44120", "--eas"});
    ASSERT_EQ(shelf.exitCode, 0) << shelf.err;
    const sim::Tag shelfTag = *served_.reader->tag(*sim::uidFromText("E0040100000000D3"));
    EXPECT_EQ(shelfTag.afi(), 0x93);
    EXPECT_TRUE(shelfTag.eas());
    EXPECT_EQ(shelfTag.block(0), 0x14000000u);
    EXPECT_EQ(shelfTag.block(1), 3001u);
}

TEST_F(Tagctl, WriteVerificationMismatchFailsLoudly)
{
    serve("talu");
    place("E0040100000000D1");
    // The reader claims the writes of blocks 0 and 1 (the AFI and EAS bit go
    // first through the same carrier command) without doing them.
    served_.reader->addFault(sim::Fault::statusByte(0x00, 2).forCode(0x21).after(2));
    const Outcome r = tagctl({"--port", port_, "write", "--shelf", "3001", "--library", "44120", "--eas", "--verify"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("verification failed: the tag holds identifier 0, not 3001"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    const Outcome j = tagctl({"--json", "--port", port_, "write", "--shelf", "3001", "--library", "44120", "--verify"});
    EXPECT_EQ(j.exitCode, 0) << j.err << "the second write does its work";
}

TEST_F(Tagctl, VerifyNamesEveryDifferenceAndSilenceIsExplained)
{
    serve("talu");
    place("E0040100000000D1");
    // The reader claims the AFI write (its first carrier command) without doing it.
    served_.reader->addFault(sim::Fault::statusByte(0x00).forCode(0x21));
    const Outcome r = tagctl({"--port", port_, "write", "--shelf", "3001", "--library", "44120", "--verify"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("verification failed: its AFI is not 0x93 (that of a shelf tag)"), std::string::npos) << r.err;

    // A reader that stops answering: -4 is said to be no answer in time.
    served_.reader->addFault(sim::Fault::silence(sim::Fault::kPermanent).forCode(0x21));
    const Outcome silent = tagctl({"--port", port_, "write", "--shelf", "3001", "--library", "44120"});
    EXPECT_EQ(silent.exitCode, 1);
    EXPECT_NE(silent.err.find("(code -4): no answer in time"), std::string::npos) << silent.err;
}

TEST_F(Tagctl, WatchSaysWhenTheReaderGoes)
{
    serve("orba");
    place(kBook);
    const Outcome r = tagctl({"--port", port_, "watch", "--period", "20"}, "E004010012345678",
                             [this] { served_.server->closeLine(); });
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("the reader stopped answering: its line has gone"), std::string::npos) << r.err;
}

TEST_F(Tagctl, WriteRawBlocksToATagByUid)
{
    serve("feno");
    place("E0040100000000D1 00000000 00000000 77777777");
    place("E0040100000000D2");
    const Outcome r = tagctl({"--port", port_, "write-raw", "--uid", "E0040100000000D1", "--afi", "93", "--lock",
                              "0,2", "11223344", "-", "AABBCCDD"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const sim::Tag tag = *served_.reader->tag(*sim::uidFromText("E0040100000000D1"));
    EXPECT_EQ(tag.block(0), 0x11223344u);
    EXPECT_EQ(tag.blockBytes(0)[0], 0x44) << "tag byte 0 is the value's low byte";
    EXPECT_EQ(tag.block(2), 0xAABBCCDDu);
    EXPECT_EQ(tag.afi(), 0x93);
    EXPECT_TRUE(tag.blockLocked(0) && tag.blockLocked(2) && !tag.blockLocked(1));
    EXPECT_EQ(served_.reader->tag(*sim::uidFromText("E0040100000000D2"))->block(0), 0u) << "the other tag";

    served_.reader->remove(*sim::uidFromText("E0040100000000D2"));
    const Outcome verified = tagctl({"--json", "--port", port_, "write-raw", "--verify", "-", "55667788"});
    ASSERT_EQ(verified.exitCode, 0) << verified.err;
    EXPECT_NE(verified.out.find("\"blocks\": [null, 1432778632, null, null, null, null, null, null]"),
              std::string::npos)
        << verified.out;
    EXPECT_NE(verified.out.find("\"verified\": true"), std::string::npos) << verified.out;
    // A locked block refuses the write.
    const Outcome locked = tagctl({"--port", port_, "write-raw", "00000000"});
    EXPECT_EQ(locked.exitCode, 1);
    EXPECT_NE(locked.err.find("brnWriteRawItems()"), std::string::npos) << locked.err;
}

TEST_F(Tagctl, WatchPrintsEachTagOnce)
{
    serve("feno");
    place(kBook);
    place("E0040100AABBCCDD afi=92 eas=0 12000000 013524A1 9086C080 0000AC58");
    const Outcome r = tagctl({"--port", port_, "watch", "--period", "20", "--count", "2"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("E004010012345678  book  4412000012345  library 44120  location 2A  EAS on  locked\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("E0040100AABBCCDD  patron card  20260001  library 44120"), std::string::npos) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2);

    const Outcome cards = tagctl({"--json", "--port", port_, "watch", "--type", "card", "--count", "1"});
    ASSERT_EQ(cards.exitCode, 0) << cards.err;
    EXPECT_EQ(cards.out.rfind("{\"event\": \"tag\", \"itemType\": 1, \"typeCode\": 1, \"itemId\": 20260001", 0),
              0u)
        << cards.out;
}

TEST_F(Tagctl, WatchEndsOnInterrupt)
{
    serve("dalrix");
    place(kBook);
    const Outcome r = tagctl({"--port", port_, "watch", "--raw", "--period", "50"}, "E004010012345678");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("E004010012345678  10000000 00003039 20040000 0000AC58 9BC38000 00000000 00000000 00000000  "
                         "EAS on  locked 0,1\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.err.find("watching the Dalrix reader on COM3"), std::string::npos) << r.err;
    EXPECT_FALSE(served_.reader->rfOn()) << "reading stopped";
}
