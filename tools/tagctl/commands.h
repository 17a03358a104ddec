// tagctl's commands. Each command is one function over the exported
// functions of the tag mapping library; main() finds it by name in the
// command table (main.cpp) and hands it the global options and its own
// arguments. A new command is a new file and one row of the table.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "brenholt.h"

namespace tagctl {

struct Options {
    int port = 1;      // COMn
    bool json = false; // one JSON object on standard output
};

using Args = std::vector<std::string>;

struct Command {
    const char* name;
    const char* usage;   // the arguments after the name
    const char* summary; // one line
    int (*run)(const Options& options, const Args& args);
};

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1; // a library call failed
inline constexpr int kExitUsage = 2;  // bad command line

// A command-line mistake: a message on standard error, kExitUsage.
int usageError(const std::string& message);
// A failed library call: its text (and for -4, that no answer came in time,
// or that the reader's line has gone), kExitFailed.
int callFailed(const Options& options, const char* call, std::int32_t code);

// The retry delay of the read-back that --verify makes after a write.
inline constexpr std::uint32_t kVerifyRetryDelayMs = 10;

// An open reader for the length of a command; closed on destruction.
class OpenReader {
public:
    OpenReader(brnHandle handle, std::int32_t family) : handle_(handle), family_(family) {}
    ~OpenReader() { brnClose(handle_); }
    OpenReader(const OpenReader&) = delete;
    OpenReader& operator=(const OpenReader&) = delete;

    brnHandle handle() const { return handle_; }
    std::int32_t family() const { return family_; }

private:
    brnHandle handle_;
    std::int32_t family_;
};

// Opens the reader on the options' port (brnOpenSerial: any make; the
// second-make driver Dalrix.so is taken from the tag mapping library's
// folder) and runs body with it. A failed open is reported with the device
// tried and why (missing, no permission, busy, or no reader answering) and
// gives kExitFailed. On a terminal the speed scan is announced.
int withReader(const Options& options, const std::function<int(OpenReader&)>& body);
// Before writing to whichever tag answers: 0 when exactly one tag answers;
// otherwise says how many did, writes nothing and gives kExitFailed.
int requireOneTag(const Options& options, OpenReader& reader);

// "TALU", "ORBA", "Dalrix", "FENO", or the number.
std::string familyName(std::int32_t family);

// Option helpers: "--type book|card|shelf|N" gives an item type; a number
// is decimal digits (leading zeros allowed, never octal or hexadecimal)
// within min..max, else nothing.
std::optional<std::int32_t> parseItemType(const std::string& text);
std::optional<long long> parseDecimal(const std::string& text, long long min, long long max);

int runInfo(const Options& options, const Args& args);
int runRead(const Options& options, const Args& args);
int runUid(const Options& options, const Args& args);
int runCount(const Options& options, const Args& args);

// Continuous reading and writing.
int runWatch(const Options& options, const Args& args);
int runWrite(const Options& options, const Args& args);
int runWriteRaw(const Options& options, const Args& args);

// Serial ports: the port map and the devices.
int runPorts(const Options& options, const Args& args);

// Reader firmware.
int runFirmware(const Options& options, const Args& args);

} // namespace tagctl
