// Opening the reader, the helpers every command shares.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "commands.h"
#include "output.h"
#include "platform/dynlib.h"

namespace tagctl {

int usageError(const std::string& message)
{
    std::fprintf(stderr, "tagctl: %s (tagctl --help lists the commands)\n", message.c_str());
    return kExitUsage;
}

int callFailed(const Options& options, const char* call, std::int32_t code)
{
    printFailure(options.json, call, code, brnGetErrorString(code));
    return kExitFailed;
}

int withReader(const Options& options, const std::function<int(OpenReader&)>& body)
{
    // The library loads the second-make driver from the current directory
    // (once, at the first open that needs it): be in tagctl's own folder then.
    const std::string here = platform::currentDirectory();
    const bool moved = ::chdir(platform::programDirectory().c_str()) == 0;
    brnHandle handle = nullptr;
    std::int32_t family = BRN_FAMILY_NONE;
    const std::int32_t code = brnOpenSerial(options.port, &handle, &family);
    if (moved && ::chdir(here.c_str()) != 0)
        std::fprintf(stderr, "tagctl: cannot return to %s\n", here.c_str());
    if (code != BRN_OK)
        return callFailed(options, "brnOpenSerial", code);
    OpenReader reader(handle, family);
    return body(reader);
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

std::optional<long> parseNumber(const std::string& text)
{
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 0);
    if (*end != '\0')
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
    if (const auto n = parseNumber(text); n && *n >= 0 && *n <= 255)
        return static_cast<std::int32_t>(*n);
    return std::nullopt;
}

} // namespace tagctl
