// Opening the reader, the helpers every command shares.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "commands.h"
#include "output.h"
#include "platform/serial.h"

namespace tagctl {

int usageError(const std::string& message)
{
    std::fprintf(stderr, "tagctl: %s (tagctl --help lists the commands)\n", message.c_str());
    return kExitUsage;
}

namespace {

// The reader of this run, while one is open: a failure on it can tell
// whether its line has gone.
brnHandle openHandle = nullptr;

// Why a port could not be used, from the operating system; empty when it
// opens (then it is the reader that did not answer).
std::string portProblem(const std::string& device)
{
    platform::SerialPort port = platform::SerialPort::open(device, 9600);
    if (port.isOpen())
        return {};
    switch (errno) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return device + " does not exist (is the reader plugged in, is the port number right?)";
    case EACCES:
    case EPERM:
        return "no permission to open " + device
               + " (add the user to the group dialout: sudo adduser $USER dialout, then log in again)";
    case EBUSY:
        return device + " is busy: another program holds it (close that program, or choose another port)";
    default:
        return device + ": " + std::strerror(errno);
    }
}

} // namespace

int callFailed(const Options& options, const char* call, std::int32_t code)
{
    std::string hint;
    if (code == BRN_ERR_VERSION) {
        hint = openHandle && brnReaderConnected(openHandle) == 0
                   ? "no answer: the reader's line has gone (unplugged or switched off); reconnect it and run again"
                   : "no answer in time: the reader did not answer the command";
    }
    printFailure(options.json, call, code, brnGetErrorString(code), hint);
    return kExitFailed;
}

int withReader(const Options& options, const std::function<int(OpenReader&)>& body)
{
    const std::string device = platform::serialPortPath(options.port);
    if (::isatty(STDERR_FILENO))
        std::fprintf(stderr, "tagctl: looking for a reader on COM%d (%s) at every speed...\n", options.port,
                     device.c_str());
    brnHandle handle = nullptr;
    std::int32_t family = BRN_FAMILY_NONE;
    const std::int32_t code = brnOpenSerial(options.port, &handle, &family);
    if (code != BRN_OK) {
        std::string why = portProblem(device);
        if (why.empty())
            why = device + " opened, but no reader answered at any speed (is it switched on and connected?)";
        printFailure(options.json, "brnOpenSerial", code, brnGetErrorString(code), why);
        return kExitFailed;
    }
    OpenReader reader(handle, family);
    openHandle = handle;
    const int result = body(reader);
    openHandle = nullptr;
    return result;
}

int requireOneTag(const Options& options, OpenReader& reader)
{
    const std::int32_t tags = brnInventory(reader.handle());
    if (tags == 1)
        return kExitOk;
    const std::string seen = tags == 0 ? "no tag answered" : std::to_string(tags) + " tags answered";
    printStopped(options.json, "brnInventory",
                 seen + " on the reader; lay exactly one tag on it (or give --uid where offered). Nothing was written.",
                 {{"tags", Json::number(tags)}});
    return kExitFailed;
}

std::string familyName(std::int32_t family)
{
    switch (family) {
    case BRN_FAMILY_TALU: return "TALU";
    case BRN_FAMILY_ORBA: return "ORBA";
    case BRN_FAMILY_DALRIX: return "Dalrix";
    case BRN_FAMILY_FENO: return "FENO";
    default: return std::to_string(family);
    }
}

std::optional<long long> parseDecimal(const std::string& text, long long min, long long max)
{
    // Decimal digits only: a leading zero is no octal prefix (044120 is 44120).
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const long long value = std::stoll(text);
    if (value < min || value > max)
        return std::nullopt;
    return value;
}

std::optional<std::int32_t> parseItemType(const std::string& text)
{
    if (text == "book")
        return BRN_ITEM_TYPE_BOOK;
    if (text == "card")
        return BRN_ITEM_TYPE_PATRON_CARD;
    if (text == "shelf")
        return BRN_ITEM_TYPE_SHELF_TAG;
    if (const auto n = parseDecimal(text, 0, 255))
        return static_cast<std::int32_t>(*n);
    return std::nullopt;
}

} // namespace tagctl
