// ISO/IEC 15693 on the air: UIDs, request flags, command and error codes, a
// request builder and the air-time model of one exchange.
//
// Byte order. A UID is held and shown most significant byte first (E0 first,
// the IC manufacturer code second). On the air it travels least significant
// byte first, and so do block bytes: a tag sends and takes the bytes of a
// block in the order it holds them (tag byte 0 first).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

using Uid = std::array<std::uint8_t, 8>;

// "E004010012345678" (16 hexadecimal digits, most significant first, either case).
std::optional<Uid> uidFromText(std::string_view text);
std::string uidToText(const Uid& uid);
// The UID in air order (least significant byte first), and back.
std::array<std::uint8_t, 8> uidToAir(const Uid& uid);
Uid uidFromAir(std::span<const std::uint8_t> airBytes); // takes the first 8 bytes
// The UID as a 64-bit number (uid[0] is the top byte); inventory masks match its low bits.
std::uint64_t uidValue(const Uid& uid);
Uid uidFromValue(std::uint64_t value);

// "01 A2 04" style hex dump used in logs and by the tools.
std::string hexBytes(std::span<const std::uint8_t> bytes);

namespace iso {

// Request flags, bits 1 to 4 (every request).
inline constexpr std::uint8_t kFlagTwoSubcarriers = 0x01;
inline constexpr std::uint8_t kFlagHighDataRate = 0x02;
inline constexpr std::uint8_t kFlagInventory = 0x04;
inline constexpr std::uint8_t kFlagProtocolExtension = 0x08;
// Bits 5 to 7 when the inventory flag is clear.
inline constexpr std::uint8_t kFlagSelect = 0x10;
inline constexpr std::uint8_t kFlagAddress = 0x20;
inline constexpr std::uint8_t kFlagOption = 0x40;
// Bits 5 to 7 of an inventory request.
inline constexpr std::uint8_t kFlagAfi = 0x10;
inline constexpr std::uint8_t kFlagOneSlot = 0x20;
// Response flags.
inline constexpr std::uint8_t kResponseError = 0x01;

enum Command : std::uint8_t {
    kInventory = 0x01,
    kStayQuiet = 0x02,
    kReadSingleBlock = 0x20,
    kWriteSingleBlock = 0x21,
    kLockBlock = 0x22,
    kReadMultipleBlocks = 0x23,
    kSelect = 0x25,
    kResetToReady = 0x26,
    kWriteAfi = 0x27,
    kLockAfi = 0x28,
    kWriteDsfid = 0x29,
    kLockDsfid = 0x2A,
    kGetSystemInformation = 0x2B,
    kGetBlockSecurityStatus = 0x2C,
    // Custom commands of the EAS chips (IC manufacturer code 0x04).
    kSetEas = 0xA2,
    kResetEas = 0xA3,
    kLockEas = 0xA4,
    kEasAlarm = 0xA5,
};

enum Error : std::uint8_t {
    kErrNotSupported = 0x01,
    kErrNotRecognized = 0x02,
    kErrOptionNotSupported = 0x03,
    kErrUnknown = 0x0F,
    kErrBlockNotAvailable = 0x10,
    kErrAlreadyLocked = 0x11,
    kErrLocked = 0x12,
    kErrNotProgrammed = 0x13,
    kErrNotLocked = 0x14,
};

inline constexpr std::uint8_t kManufacturerNxp = 0x04;

// Custom commands (0xA0 to 0xDF) carry the IC manufacturer code after the command code.
constexpr bool isCustomCommand(std::uint8_t command) { return command >= 0xA0 && command <= 0xDF; }
// Commands that program the tag's memory (they take the programming time on the air).
bool isWriteAlike(std::uint8_t command);

// Builds a request: flags, command, [manufacturer code for custom commands],
// [UID in air order when uid is given; the caller sets kFlagAddress], parameters.
std::vector<std::uint8_t> request(std::uint8_t flags, std::uint8_t command, const Uid* uid = nullptr,
                                  std::span<const std::uint8_t> params = {},
                                  std::uint8_t manufacturer = kManufacturerNxp);
// An inventory request; kFlagInventory is added to flags, kFlagAfi when afi is given.
// The mask is the low maskLength bits of maskValue, sent least significant byte first.
std::vector<std::uint8_t> inventoryRequest(std::uint8_t flags, std::optional<std::uint8_t> afi = std::nullopt,
                                           unsigned maskLength = 0, std::uint64_t maskValue = 0);

// Air time of ISO 15693 exchanges (reader to tag 1 out of 4 coding, tag to
// reader on one subcarrier), in nanoseconds. Frames carry two CRC bytes that
// the air-level byte strings of this simulator leave out; the model adds them.
struct AirTiming {
    std::uint32_t requestSofNs = 75'520;
    std::uint32_t requestByteNs = 302'080;  // 4 pulse positions of 75.52 us per 2 bits
    std::uint32_t requestEofNs = 37'760;
    std::uint32_t responseDelayNs = 320'900; // t1: end of request to the tag's SOF
    std::uint32_t responseSofNs = 56'640;
    std::uint32_t responseByteHighNs = 302'080; // high data rate; low data rate is 4 times slower
    std::uint32_t responseEofNs = 56'640;
    std::uint32_t noResponseNs = 377'540;   // t1 plus a missing SOF: the reader gives up
    std::uint32_t requestGapNs = 309'200;   // t2: before the reader's next request
    std::uint32_t programmingNs = 6'000'000; // a write or lock inside the tag's memory
};

// Time of one request and what came back (responseBytes < 0: nothing came
// back). An empty request is the end-of-frame pulse that opens the next slot
// of a 16-slot inventory.
std::uint64_t exchangeNs(const AirTiming& timing, std::span<const std::uint8_t> request, int responseBytes);

} // namespace iso
} // namespace sim
