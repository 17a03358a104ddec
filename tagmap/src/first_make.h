// Readers of the first make, reached through the reader command library. Their
// handle is the link number (1 and up) the library's link functions give out,
// carried in the pointer-sized handle.
#pragma once

#include <cstdint>
#include <string>

#include "brenholt.h"
#include "errors.h"
#include "family.h"
#include "quorvel.h"

namespace brenholt {

brnHandle handleOfLink(std::int32_t link);
std::int32_t linkOf(brnHandle handle);
// Whether handle can be a link: a positive number, not a second-make record.
bool isLinkHandle(brnHandle handle);

// The speed scan: at 115200, 57600, 38400, 19200, 9600 and 4800 baud, open a
// link on the port and ask the reader who it is; the first link whose reader
// answers is kept, every other one closed again.
struct SpeedScan {
    bool found = false;
    std::int32_t link = 0;
    std::string identification;
    bool portOpened = false;     // the port could be opened at some speed
    std::int32_t lastResult = 0; // the last identification that failed
    std::uint8_t lastStatus = 0;
};
SpeedScan scanSpeeds(std::int32_t port);

// A first-make command's outcome: it succeeded when it returned 0 and bit 7
// of the reader status byte is clear.
inline Outcome commandOutcome(std::int32_t returnCode, std::uint8_t status, std::int32_t fallback = BRN_ERR_READER)
{
    if (returnCode == 0 && !(status & QVL_STATUS_FAILED_BIT))
        return Outcome::success();
    return Outcome::failure(returnCode, status, fallback);
}

// The EAS writes of the first make also count "no tag answered"
// (QVL_STATUS_NO_TAG) as done.
inline Outcome easWriteOutcome(std::int32_t returnCode, std::uint8_t status)
{
    if (returnCode == 0 && status == QVL_STATUS_NO_TAG)
        return Outcome::success();
    return commandOutcome(returnCode, status);
}

// The answers of FENO and ORBA tag commands start with a record status byte
// (low nibble set: no usable answer) and the tag's response flags (bit 0: the
// tag refused): such an answer fails the step too.
inline Outcome tagOutcome(std::int32_t returnCode, std::uint8_t status, std::uint8_t length, const std::uint8_t* data,
                          std::int32_t fallback)
{
    const Outcome outcome = commandOutcome(returnCode, status, fallback);
    const bool tagError = (length > 0 && (data[0] & 0x0F)) || (length > 1 && (data[1] & ISO15693_RESPONSE_ERROR));
    if (outcome.ok && tagError)
        return Outcome::failure(returnCode, status, fallback);
    return outcome;
}

// Addressing mode of the first-make commands: 2 with the UID, 0 any tag.
inline std::uint8_t modeFor(const Uid* uid) { return uid ? 2 : 0; }

// The link's command time-out while writing.
inline constexpr std::uint32_t kWriteTimeoutMs = 6000;

// The reader family an identification text names; 0 for texts of no family.
std::int32_t familyOfIdentification(const std::string& text);

} // namespace brenholt
