// What every reader family's commands share: the per-link settings and the
// command exchange. Each family command is one call of exchange() with its
// command byte and request data, followed by reading what it needs from the
// answer.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "linvaro.h"
#include "platform/event.h"
#include "platform/guard.h"
#include "quorvel.h"

namespace quorvel {

constexpr std::int32_t kMaxLinks = 16;

// A caller's count as its byte goes out, one less ("n blocks" is sent as
// n - 1, "an answer of n bytes" as n - 1), modulo 256 whatever the count: the
// caller's value is never taken into signed arithmetic that could overflow.
constexpr std::uint8_t countLessOne(std::int32_t count)
{
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(count) - 1u);
}

// The settings of one link handle. The table holds one entry per handle
// 1..16 from library load to unload; opening a link on a handle resets its
// entry to these defaults (all but the event).
struct LinkSettings {
    platform::Event answerEvent;                  // handed to LVRM_Send, set by the link thread
    std::uint32_t timeoutMs = QVL_DEFAULT_TIMEOUT_MS;
    std::uint8_t readerAddress = QVL_DEFAULT_ADDRESS;
    std::uint8_t frameMode = QVL_DEFAULT_MODE;
    std::uint8_t orbaOutputImage = 0xF0;          // last output nibble of the ORBA I/O command
    std::int32_t orbaRequestOptionA = 0;          // 1: ORBA ISO 15693 requests carry flag 0x01
    std::int32_t orbaRequestOptionB = 0;          // 1: ORBA ISO 15693 requests carry flag 0x02
    std::array<std::uint16_t, 2> orbaMemoryMap{16, 4};
    std::int32_t programmingInputLevel = 0;       // last modem-status input level while programming
    std::int32_t programmingMode = 0;             // 1 while processor programming is entered
    std::array<std::int32_t, 2> taluUplink{1, 0};
    std::int32_t taluDownlink = 1;                // 1: TALU ISO 15693 requests carry flag 0x02
    bool openedHere = false;                      // a link opened through this library is open

    void resetToDefaults();
};

// The entry of a handle 1..16, or nullptr.
LinkSettings* linkSettings(std::int32_t handle);

// Whether the transport has an open link on the handle (connected or not).
bool isOpenLink(std::int32_t handle);

// What the reader answered.
struct Answer {
    std::uint8_t status = 0; // the reader status byte; bit 7 set: refused or failed
    std::uint8_t length = 0; // 0..254 plain data bytes, 0xFF a block list
    std::array<std::uint8_t, LVRM_ANSWER_DATA_SIZE> data{};

    bool isBlockList() const { return length == 0xFF; }
    // Bit 7 of the status byte: the reader refused or failed the command.
    bool refused() const { return (status & QVL_STATUS_FAILED_BIT) != 0; }
    // The plain data of an ordinary answer (empty for a block list).
    std::span<const std::uint8_t> bytes() const { return {data.data(), isBlockList() ? 0u : length}; }
    // Block-list walking within the first bufferSize bytes (the size a command
    // allows for its list): the count, or -7 when malformed; block i into
    // destination (254 bytes), false when there is no such block.
    std::int32_t blockCount(std::int32_t bufferSize) const { return LVRM_GetNbBlocks(data.data(), bufferSize); }
    bool block(std::int32_t index, std::int32_t bufferSize, std::uint8_t* destination, std::uint32_t& blockLength) const
    {
        return LVRM_GetBlock(data.data(), bufferSize, index, destination, &blockLength) == 1;
    }
};

// The command exchange: checks the handle, sends the command in the link's
// frame mode to its reader address, waits for the answer up to the link's
// time-out and collects it. Returns 0 (answer filled in), QVL_ERR_TIMEOUT,
// or the transport's code (answer untouched).
//
// The library's boundary runs through here: every reader command's work with
// the link is this call, and it lets no exception out (an exchange that fails
// inside the library gives QVL_ERR_TIMEOUT, as if no answer had come). The
// request built in the core's Request and the answer read through Fields
// (tables.h) live in fixed buffers and cannot throw.
std::int32_t exchange(std::int32_t handle, std::uint8_t command, std::span<const std::uint8_t> request,
                      Answer& answer);

} // namespace quorvel
