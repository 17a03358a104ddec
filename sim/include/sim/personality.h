// A reader family's protocol on the simulator core: how it cuts frames out of
// the host's bytes, what it answers, and how the uniform faults reach its
// frames. One personality object serves one simulated reader; the core calls
// it on the reader's serving thread (or the caller's, for Reader::exchange)
// with the reader's lock held, so it needs no locking of its own and must not
// call back into its Reader.
//
// Adding a family: write one source file in sim/src/personalities/ with a
// Personality subclass and a registration:
//
//   SIM_REGISTER_PERSONALITY(feno, "FENO readers (ZPX)", 115200,
//       [](const sim::PersonalityOptions& o) { return std::make_unique<FenoReader>(o); });
//
// The build picks the file up; `readersim --family feno` and
// Reader::create("feno", ...) then know the family.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

class Field;

// The framer's verdict on the bytes received so far (always from their start).
struct Cut {
    enum class Kind { NeedMore, Skip, Frame };
    Kind kind = Kind::NeedMore;
    std::size_t length = 0;

    // The bytes so far are the beginning of a frame: wait for more.
    static Cut needMore() { return {Kind::NeedMore, 0}; }
    // The first n bytes cannot start a frame: drop them (n >= 1).
    static Cut skip(std::size_t n = 1) { return {Kind::Skip, n}; }
    // The first n bytes are one complete frame.
    static Cut frame(std::size_t n) { return {Kind::Frame, n}; }
};

// What a personality can do while it handles a command or a timer.
class Context {
public:
    using TimerId = std::uint32_t;
    using TimerCallback = std::function<void(Context&)>;

    virtual ~Context() = default;

    // The reader's field: tags, RF state, air exchanges (their air time is
    // accounted automatically).
    virtual Field& field() = 0;

    // Queues a frame for the host. Inside handle(): an answer to the current
    // command (faults apply; frames go out in the order sent). Inside a
    // timer: a frame the reader sends on its own. delayUs: the reader's own
    // pause before this frame starts (after the previous frame's end), e.g.
    // between the frames of a streamed inventory.
    virtual void send(std::vector<std::uint8_t> frame, std::uint32_t delayUs = 0) = 0;

    // Extra air or processing time of the current command, beyond the field's
    // exchanges (e.g. a family's fixed reader overhead), in microseconds.
    virtual void addAirTimeUs(std::uint32_t us) = 0;

    // The reader's configured line speed. setBaud() changes it once the
    // current command's answer has gone out (a "set speed" reader command).
    virtual int baud() const = 0;
    virtual void setBaud(int baud) = 0;

    // A one-shot timer on the reader's serving thread, for frames the reader
    // sends later on its own (e.g. the end of a scan). Timers only run while
    // the reader is served (not inside Reader::exchange()).
    virtual TimerId startTimer(std::uint32_t delayUs, TimerCallback callback) = 0;
    virtual void stopTimer(TimerId id) = 0;

    // A line for the reader's log (readersim prints it).
    virtual void log(std::string_view text) = 0;
};

struct PersonalityOptions {
    std::string model;                        // e.g. the model text a family identifies with; empty: its default
    std::optional<int> address;               // reader address for families that have one
    std::map<std::string, std::string> extra; // further family settings ("key=value" in readersim)
};

class Personality {
public:
    virtual ~Personality() = default;

    // Looks at the bytes received so far (never empty) and says whether they
    // hold a complete frame at their start. The core keeps the bytes across
    // calls and drops an unfinished frame after receiveGapMs() of silence.
    virtual Cut cut(std::span<const std::uint8_t> pending) const = 0;

    // The command code of a frame, for the per-code counters and for faults
    // restricted to one code (-1 when the frame has none).
    virtual int commandCode(std::span<const std::uint8_t> frame) const = 0;

    // Handles one complete frame: runs the command (through ctx.field()) and
    // queues the answer frames with ctx.send(). Sending nothing means the
    // reader does not answer this frame.
    virtual void handle(std::span<const std::uint8_t> frame, Context& ctx) = 0;

    // Called once when the reader is created (and after reset()): set the
    // initial RF field state, timers, etc.
    virtual void powerUp(Context& ctx) { (void)ctx; }

    // Fault hook: makes an answer frame's CRC wrong, as a corrupted line
    // would. The default inverts the last byte, right for families whose
    // frames end with their check bytes. Return false when this frame has no
    // check to break (the frame is then sent unchanged).
    virtual bool corruptCrc(std::vector<std::uint8_t>& frame) const;

    // Fault hook: the answer to `request` carrying only `status` (no data,
    // correct CRC). Nothing: this family has no status byte, and the Status
    // fault leaves the command alone.
    virtual std::optional<std::vector<std::uint8_t>> statusAnswer(std::span<const std::uint8_t> request,
                                                                  std::uint8_t status) const
    {
        (void)request;
        (void)status;
        return std::nullopt;
    }

    // How long an unfinished frame may wait for its next byte before the
    // reader drops it.
    virtual unsigned receiveGapMs() const { return 100; }

    // One line describing a frame for the log (default: the bytes in hex).
    virtual std::string describe(std::span<const std::uint8_t> frame) const;
};

// The registry of families by name (names compare case-insensitively).
struct PersonalityInfo {
    std::string name;
    std::string summary;
    int defaultBaud = 115200;
    std::function<std::unique_ptr<Personality>(const PersonalityOptions&)> make;
};

// False when the name is taken.
bool registerPersonality(PersonalityInfo info);
const PersonalityInfo* findPersonality(std::string_view name);
std::vector<const PersonalityInfo*> personalities(); // sorted by name

} // namespace sim

// Registers a family at start-up; the factory (last, may contain commas)
// makes a personality from PersonalityOptions.
#define SIM_REGISTER_PERSONALITY(id, summary, baud, ...)                                                  \
    namespace {                                                                                           \
    [[maybe_unused]] const bool simRegistered_##id =                                                      \
        ::sim::registerPersonality(::sim::PersonalityInfo{#id, summary, baud, __VA_ARGS__});              \
    }
