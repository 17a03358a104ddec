// Frames of the second-make reader protocol: building requests, checking and
// splitting answers. Stateless.
//
// Request:  Len, address, command, state, [UID (8)], data..., CRC low, CRC high
// Answer:   Len, address, status, [error code if status 0x0F], data..., CRC low, CRC high
// Len counts the bytes after itself, CRC included; a frame is 5 to 256 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "iso15693.h"

namespace dalrix {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kStateReaderCommand = 0xF0;
inline constexpr std::uint8_t kStateTransparent = 0xE0;
inline constexpr std::uint8_t kStatusErrorCode = 0x0F;
inline constexpr std::size_t kUidSize = ISO15693_UID_SIZE;
inline constexpr std::size_t kMinFrameSize = 5;
inline constexpr std::size_t kMaxFrameSize = 256;

// The fields of an answer frame that passed its CRC check.
struct Answer {
    std::uint8_t address = 0;
    std::uint8_t status = 0;
    std::uint8_t errorCode = 0; // only when status is 0x0F, else 0
    Bytes data;
};

class TDalrix1 {
public:
    // CRC-16/MCRF4XX: reflected polynomial 0x8408, initial 0xFFFF, no final xor.
    static std::uint16_t crc(std::span<const std::uint8_t> bytes);

    // Whether a request in this state carries the tag's UID (when one is given).
    static bool stateAddressesTag(std::uint8_t state);

    // A complete request frame, or nothing when it would exceed 256 bytes.
    // uid is empty or 8 bytes, sent in the order given, and only when the
    // state addresses a tag.
    static std::optional<Bytes> buildRequest(std::uint8_t address, std::uint8_t command, std::uint8_t state,
                                             std::span<const std::uint8_t> uid,
                                             std::span<const std::uint8_t> data);

    // Single-answer test: the buffer is exactly one frame as long as its Len
    // byte says (stray bytes before or after make it fail).
    static bool isCompleteAnswer(std::span<const std::uint8_t> buffer);

    // Stream of answers: the length of the frame at the front of the buffer
    // once it is complete, else 0.
    static std::size_t completeFrontFrame(std::span<const std::uint8_t> buffer);

    // The answer's fields when the frame passes the CRC check.
    static std::optional<Answer> checkAnswer(std::span<const std::uint8_t> frame);

#ifdef TAGGING_FUZZING
    // Fuzz builds only: lets a fuzzer reach past the CRC comparison.
    static void setCrcCheck(bool enabled);
#endif
};

} // namespace dalrix
