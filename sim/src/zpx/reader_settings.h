// Reader-level state that the first-make families share: the real-time
// clock, the I/O ports, the buzzer and the line speed codes, and the reader
// commands that FENO and GIRM readers have in common. Each family keeps one
// ReaderSettings and decodes its own command bytes; the state persists from
// command to command (a clock set is read back running, an address changed
// is the one the reader answers to from then on).
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "clock.h"
#include "zpx/zpx_reader.h"

namespace sim::zpx {

inline constexpr std::uint8_t kStatusUnknownCommand = 0x81;
inline constexpr std::uint8_t kStatusBadParameter = 0x82;

// The line speed a reader-speed code selects (FENO and GIRM speed command,
// TALU baud-rate command): 0 4800, 1 9600, 2 19200, 3 38400, 4 57600,
// 5 115200 baud. Nothing for other codes.
std::optional<int> baudFromCode(std::uint8_t code);

// A real-time clock: it starts at the host's local time and runs on from
// whatever time it is set to.
class ReaderClock {
public:
    // Year from 2000 (0 to 99), month (1-12), day, hour, minute, second.
    using Fields = std::array<std::uint8_t, 6>;

    ReaderClock();
    // False (and the clock unchanged) when the fields are not a valid time.
    bool set(const Fields& fields);
    Fields now() const;

private:
    std::int64_t secondsAtSet_ = 0; // since 2000-01-01 00:00:00
    Clock::time_point setAt_;
};

// Eight I/O lines: direction bits (1 = output), the output latch and the
// levels outside drives on the input lines.
struct IoPort {
    std::uint8_t direction = 0x00;
    std::uint8_t latch = 0x00;
    std::uint8_t inputs = 0x00;
    // What the lines read: outputs as latched, inputs as driven.
    std::uint8_t level() const
    {
        return static_cast<std::uint8_t>((latch & direction) | (inputs & ~direction));
    }
};

struct ReaderSettings {
    static constexpr std::size_t kPorts = 2;

    ReaderClock clock;
    std::array<IoPort, kPorts> ports{};
    std::uint8_t mode = 0;
    unsigned beeps = 0;

    // Sounds the buzzer: counted, and logged as "beep <ms> ms".
    void beep(Context& ctx, unsigned durationMs);
    // The port numbered n, or nullptr when the reader has none.
    IoPort* port(std::uint8_t n) { return n < ports.size() ? &ports[n] : nullptr; }
};

// The reader commands FENO and GIRM readers share, nothing for any other
// command:
//   0x01 [speed code]       line speed, from when the answer has gone out
//   0x02 [mode]             reader mode (kept)
//   0x03 [address]          reader address, from the next request on
//   0x04                    -> [address]
//   0x05                    -> [2][0], the ZPX protocol version
//   0x08 [tenths][value]    buzzer, for tenths x 100 ms
//   0x09 [six clock fields] real-time clock
//   0x0A                    -> [six clock fields]
// Data of the wrong length, an unknown speed code or an invalid time: 0x82.
std::optional<Answer> sharedReaderCommand(const Request& request, Context& ctx, ZpxReader& reader,
                                          ReaderSettings& settings);

} // namespace sim::zpx
