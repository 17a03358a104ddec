// The "raw" family: a diagnostic reader, not a real product. It carries ISO
// 15693 air requests to the field and the tags' answers back, so the
// simulator core (framing, faults, timing, serving) can be exercised end to
// end without any real family's protocol. Tests and the README use it.
//
// Frame (both directions): [L][command][payload ...][check]
//   L      number of bytes after L (command, payload and check), 2 to 255
//   check  exclusive-or of every byte before it, L included
// An answer repeats the request's command and puts a status byte first in
// its payload: [L][command][status][data ...][check].
//
// Commands:
//   0x00 air        payload: an ISO request as on the air. Data: the answer.
//   0x01 slot       the end-of-frame pulse of a 16-slot inventory. Data: the answer.
//   0x10 / 0x11     RF field off / on.
//   0x20 inventory  payload: [flags] or [flags][AFI]; a full anticollision
//                   (Field::inventory). Data: count, then DSFID + UID (air
//                   order) per tag.
//   0x30 identify   Data: the text "RAW DIAGNOSTIC READER".
// Status: 0x00 one answer, 0x01 no tag answered, 0x02 collision, 0x03 RF
// field off, 0x80 unknown command or bad payload.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace sim::raw {

enum Command : std::uint8_t {
    kAir = 0x00,
    kSlot = 0x01,
    kRfOff = 0x10,
    kRfOn = 0x11,
    kInventory = 0x20,
    kIdentify = 0x30,
};

enum Status : std::uint8_t {
    kOk = 0x00,
    kNoAnswer = 0x01,
    kCollision = 0x02,
    kRfIsOff = 0x03,
    kBadCommand = 0x80,
};

inline constexpr int kDefaultBaud = 115200;

// A frame around command and payload (payload at most 253 bytes).
std::vector<std::uint8_t> frame(std::uint8_t command, std::span<const std::uint8_t> payload = {});

struct Answer {
    std::uint8_t command = 0;
    std::uint8_t status = 0;
    std::vector<std::uint8_t> data;
};
// Reads one complete answer frame; nothing when its length or check is wrong.
std::optional<Answer> parse(std::span<const std::uint8_t> bytes);

} // namespace sim::raw
