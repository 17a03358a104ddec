// Error texts and the mapping of reader answers to the library's error codes.
#pragma once

#include <cstdint>
#include <utility>

#include "brenholt.h"
#include "platform/guard.h"

namespace brenholt {

// No exception leaves the library: an export whose body throws (no memory)
// answers BRN_ERR_RESOURCES. Exports that answer something other than an
// error code name their own failure value to platform::guarded.
template <class Call>
std::int32_t guarded(Call&& call) noexcept
{
    return platform::guarded(BRN_ERR_RESOURCES, std::forward<Call>(call));
}

// The library's text for an error code, GBK bytes; "" for other codes.
const char* errorText(std::int32_t code);

// The command library's code for a command on a link whose line has gone
// (the transport's "connection lost").
inline constexpr std::int32_t kLineGone = -9;

// A first-make command's result as the library reports it: a non-zero return
// code as it is (but kLineGone as -4, the reader not answering); otherwise the
// reader status byte (quorvel.h): QVL_STATUS_READ_ERROR and
// QVL_STATUS_TAG_READ_ERROR a read error, QVL_STATUS_NO_TAG no tag,
// QVL_STATUS_MANY_TAGS several tags, anything else 0.
std::int32_t statusMapping(std::int32_t returnCode, std::uint8_t status);

// The outcome of one step a reader family carries out: the command's return
// code and status byte, and whether the family counts it a success.
struct Outcome {
    std::int32_t returnCode = 0;
    std::uint8_t status = 0;
    bool ok = true;
    // What a failure is reported as when the status byte says nothing more
    // specific (the status mapping gives 0): a failed step is never reported
    // as success.
    std::int32_t fallback = BRN_ERR_READER;

    static Outcome success() { return {}; }
    static Outcome failure(std::int32_t returnCode, std::uint8_t status, std::int32_t fallback = BRN_ERR_READER)
    {
        return {returnCode, status, false, fallback};
    }
    // The error code of a failed step (0 for a successful one).
    std::int32_t error() const
    {
        if (ok)
            return BRN_OK;
        const std::int32_t mapped = statusMapping(returnCode, status);
        return mapped != BRN_OK ? mapped : fallback;
    }
};

} // namespace brenholt
