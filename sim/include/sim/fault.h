// Faults a simulated reader can be told to show, the same for every family.
//
// A fault applies to the next `count` commands the reader receives (after
// letting `skip` commands pass), or to every command when count is
// kPermanent, until cleared. With commandCode set it only counts and affects
// commands with that code (as the family's personality reports it). Several
// faults can be active at once; each command uses up one of each fault that
// applies to it.
//
// What each kind does to a command (in this order):
//   LineClose  nothing is executed or answered; the line closes (the host
//              sees a hang-up) and is re-created after reopenMs (-1: it stays
//              closed until the server is told to reopen it).
//   Status     the command is not executed; the personality answers it with
//              the given status byte and no data (families without a status
//              hook execute and answer normally).
//   TagsLeave  right after the first tag answer within the command, every
//              tag leaves the field (the reader keeps them off the antenna).
//   Silence    the command is executed but its answer never leaves the reader.
//   WrongCrc   the answer's CRC is wrong (personality hook).
//   CutShort   only the first half of each answer frame is sent.
//   Noise      the given bytes (or 3 pseudo-random bytes when none are
//              given) go out on the line just before the answer.
//   Delay      the answer starts delayMs later.
// Faults only touch answers to commands, never frames a reader sends on its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

enum class FaultKind { Silence, WrongCrc, Noise, CutShort, Status, Delay, TagsLeave, LineClose };

struct Fault {
    static constexpr int kPermanent = -1;

    FaultKind kind = FaultKind::Silence;
    int count = 1;          // commands it applies to, or kPermanent
    int skip = 0;           // commands that pass untouched first
    int commandCode = -1;   // only commands with this code; -1: any
    int frame = -1;         // WrongCrc / CutShort: only this answer frame (0 = first); -1: all
    std::uint8_t status = 0;           // Status
    std::uint32_t delayMs = 0;         // Delay
    std::vector<std::uint8_t> noise;   // Noise
    int reopenMs = 0;                  // LineClose

    static Fault silence(int count = 1) { return make(FaultKind::Silence, count); }
    static Fault wrongCrc(int count = 1) { return make(FaultKind::WrongCrc, count); }
    static Fault cutShort(int count = 1) { return make(FaultKind::CutShort, count); }
    static Fault tagsLeave(int count = 1) { return make(FaultKind::TagsLeave, count); }
    static Fault noiseBytes(std::vector<std::uint8_t> bytes, int count = 1)
    {
        Fault f = make(FaultKind::Noise, count);
        f.noise = std::move(bytes);
        return f;
    }
    static Fault statusByte(std::uint8_t status, int count = 1)
    {
        Fault f = make(FaultKind::Status, count);
        f.status = status;
        return f;
    }
    static Fault delay(std::uint32_t ms, int count = 1)
    {
        Fault f = make(FaultKind::Delay, count);
        f.delayMs = ms;
        return f;
    }
    static Fault lineClose(int reopenAfterMs = 0, int count = 1)
    {
        Fault f = make(FaultKind::LineClose, count);
        f.reopenMs = reopenAfterMs;
        return f;
    }
    // Chaining modifiers: Fault::silence(2).forCode(0x21).after(3)
    Fault& forCode(int code) { commandCode = code; return *this; }
    Fault& after(int commands) { skip = commands; return *this; }
    Fault& onFrame(int index) { frame = index; return *this; }

private:
    static Fault make(FaultKind kind, int count)
    {
        Fault f;
        f.kind = kind;
        f.count = count;
        return f;
    }
};

std::string_view faultKindName(FaultKind kind);

// The text form used by readersim and its tests:
//   KIND [ARG] [count=N|permanent] [skip=N] [code=HH] [frame=N]
// KIND: silence, crc, noise [HEX...], cut, status HH, delay MS, leave,
// close [REOPEN_MS|stay]. Hex numbers without 0x. Returns nothing and sets
// error on a malformed text.
std::optional<Fault> parseFault(std::string_view text, std::string* error = nullptr);
std::string describeFault(const Fault& fault);

} // namespace sim
