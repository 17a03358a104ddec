// tagctl as a user runs it: the program started as a process against a
// simulated reader on a pseudo-terminal, its output, its exit status, and
// the library's error texts converted from GBK.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/dynlib.h"
#include "sim/tagfile.h"
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
// folder comes through the environment (TAGGING_PORT_DIR).
Outcome tagctl(std::vector<std::string> args)
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
    while (open > 0 && platform::monotonicMs() < deadline) {
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
    const Outcome raw = tagctl({"--json", "--port", port_, "read", "--raw"});
    ASSERT_EQ(raw.exitCode, 0) << raw.err;
    EXPECT_NE(raw.out.find("\"blocks\": [268435456, 12345, 537133056, 44120, 2613280768, 0, 0, 0]"),
              std::string::npos)
        << raw.out;
    EXPECT_NE(raw.out.find("\"lockedBlocks\": [0, 1]"), std::string::npos) << raw.out;
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
}

TEST(TagctlCommandLine, Mistakes)
{
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{}, {"frobnicate"}, {"--port"}, {"--port", "x", "info"},
                                               {"--port", "0", "info"}, {"read", "--type", "magazine"},
                                               {"info", "extra"}, {"count", "--raw"}, {"--verbose", "info"}}) {
        const Outcome r = tagctl(args);
        EXPECT_EQ(r.exitCode, 2) << testing::PrintToString(args);
        EXPECT_FALSE(r.err.empty());
    }
    const Outcome help = tagctl({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* command : {"info", "read", "uid", "count"})
        EXPECT_NE(help.out.find(std::string("  ") + command), std::string::npos) << command;
}
