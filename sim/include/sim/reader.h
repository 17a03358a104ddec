// One simulated reader: a family personality, its field of tags, its line
// speed, faults, timing and counters. Thread-safe: tests place and inspect
// tags, set faults and read counters from any thread while a Server serves
// the reader on its own thread.
//
// The line engine (lineInput / lineOutput / nextDueUs) is what a Server
// drives: bytes from the host go in with the host's line speed; the reader
// cuts frames with its personality, handles one command at a time (further
// bytes wait until the answer has gone out, as in a real reader's UART), and
// queues answer bytes with the times they are due. Reader::exchange() runs
// the same engine synchronously for in-process tests without a line.
//
// Line speed: bytes received while the host's speed differs from the
// reader's are garbage to the reader; it drops them (ignoredBytes()) and
// stays silent.
//
// Timing: Timing::None answers as fast as possible. Timing::Realistic waits,
// for each command, the request's wire time (10 bits a byte at the reader's
// speed) plus the command's air time, then sends the answer at the line speed
// byte by byte. Both modes count the wire and air time they model in
// timingReport(); the realistic mode actually spends it. Frame delays a
// personality asks for, timers and Delay faults are honoured in both modes.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/fault.h"
#include "sim/field.h"
#include "sim/personality.h"
#include "sim/tag.h"

namespace sim {

enum class Timing { None, Realistic };

struct TimingReport {
    std::uint64_t commands = 0;     // commands received at the right speed
    std::uint64_t wireUs = 0;       // request, answer and noise bytes at the line speed
    std::uint64_t airUs = 0;        // ISO 15693 air time (and personality overhead) of the commands
    std::uint64_t faultDelayUs = 0; // Delay faults
    std::uint64_t modelledUs() const { return wireUs + airUs; }
};

class Reader {
public:
    // A reader of a registered family at the given speed (0: the family's
    // default). Nothing (and error set) for an unknown family.
    static std::unique_ptr<Reader> create(std::string_view family, const PersonalityOptions& options = {},
                                          int baud = 0, std::string* error = nullptr);

    Reader(std::unique_ptr<Personality> personality, int baud, std::string family = "custom");
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    const std::string& family() const { return family_; }

    int baud() const;
    void setBaud(int baud);
    Timing timing() const;
    void setTiming(Timing timing);
    void setAirTiming(const iso::AirTiming& timing);

    // --- Tags ---------------------------------------------------------------
    // Lays a tag on the antenna (replacing a shelved tag with the same UID).
    // False when a tag with that UID already lies there.
    bool place(Tag tag);
    // Takes a tag off the antenna; a copy stays on the reader's shelf.
    std::optional<Tag> remove(const Uid& uid);
    std::vector<Tag> removeAll();
    // Lays a shelved tag back on the antenna with the memory it had.
    bool putBack(const Uid& uid);
    // Moves a tag from this antenna to another reader's antenna.
    bool moveTag(const Uid& uid, Reader& to);
    // A copy of a tag, from the antenna or else from the shelf.
    std::optional<Tag> tag(const Uid& uid) const;
    std::vector<Tag> tags() const;  // on the antenna, in placement order
    std::vector<Tag> shelf() const; // taken off by remove() or by the TagsLeave fault
    // Changes a tag's memory in place (antenna or shelf); false when unknown.
    bool editTag(const Uid& uid, const std::function<void(Tag&)>& edit);
    bool rfOn() const;
    void setRf(bool on);

    // --- Faults -------------------------------------------------------------
    void addFault(const Fault& fault);
    void clearFaults();
    std::vector<Fault> faults() const; // still active, with their remaining counts

    // --- Counters -----------------------------------------------------------
    std::uint64_t commandCount() const;
    std::uint64_t commandCount(int code) const;
    std::map<int, std::uint64_t> commandCounts() const;
    // Air requests by ISO command code, as the field saw them.
    std::uint64_t airRequestCount(std::uint8_t isoCode) const;
    std::uint64_t ignoredBytes() const;
    TimingReport timingReport() const;
    void resetCounters();
    // Waits until commandCount() reaches total / until the reader has nothing
    // to send and no command in hand. False on time-out.
    bool waitForCommands(std::uint64_t total, int timeoutMs) const;
    bool waitIdle(int timeoutMs) const;

    // Log lines (received frames, answers, faults, tag movements). Called
    // without the reader's lock held, from whichever thread caused the line.
    void setLog(std::function<void(const std::string&)> sink);

    // --- In-process exchange -----------------------------------------------
    // Feeds bytes as if the host sent them at the right speed and returns
    // every byte the reader sends in reply (all frame delays skipped, timers
    // not run). Not for a reader that a Server is serving.
    std::vector<std::uint8_t> exchange(std::span<const std::uint8_t> hostBytes);

    // --- Line engine (for servers) -----------------------------------------
    struct LineAction {
        std::vector<std::uint8_t> bytes; // to write now
        bool close = false;              // then close the line (LineClose fault)
        int reopenMs = 0;                // and re-create it after this long (-1: stay closed)
    };
    // Bytes from the host at the host's line speed; 0: the line has no speed
    // (TCP), -1: a speed the reader cannot take.
    void lineInput(std::span<const std::uint8_t> bytes, int hostBaud, std::uint64_t nowUs);
    // What is due at nowUs (also runs due timers).
    LineAction lineOutput(std::uint64_t nowUs);
    // When lineOutput() next has something to do, if ever.
    std::optional<std::uint64_t> nextDueUs() const;
    // The line closed or the host went away: drop partial input and unsent output.
    void lineReset();

private:
    struct Output {
        std::uint64_t atUs = 0;          // when its first byte starts
        std::vector<std::uint8_t> bytes;
        std::uint32_t nsPerByte = 0;     // 0: all at once
        std::size_t sent = 0;
        bool endsCommand = false;
        bool close = false;
        int reopenMs = 0;
    };
    struct Timer {
        std::uint64_t dueUs;
        Context::TimerCallback callback;
    };
    class CommandContext;
    struct FaultPlan;

    void lineInputLocked(std::span<const std::uint8_t> bytes, int hostBaud, std::uint64_t nowUs);
    void processInput(std::uint64_t nowUs);
    void finishCommand(std::uint64_t nowUs);
    std::uint64_t queueEndUs() const;
    std::uint32_t wireNsPerByte() const;
    std::uint32_t pacedNsPerByte() const;
    void handleFrame(std::span<const std::uint8_t> frame, std::uint64_t nowUs);
    // The phases of handleFrame.
    FaultPlan takeFaults(int code);
    void addNoise(const Fault& fault, std::vector<std::uint8_t>& noise);
    void queueLineClose(std::uint64_t nowUs, int reopenMs);
    std::uint64_t runCommand(std::span<const std::uint8_t> frame, const FaultPlan& plan, CommandContext& ctx);
    void damageAnswers(const FaultPlan& plan, CommandContext& ctx);
    void account(std::size_t requestBytes, const FaultPlan& plan, const CommandContext& ctx, std::uint64_t airNs);
    void queueAnswers(std::size_t requestBytes, const FaultPlan& plan, CommandContext& ctx, std::uint64_t airNs,
                      std::uint64_t nowUs);
    std::uint64_t queueFrames(std::uint64_t t, CommandContext& ctx, std::uint32_t paced, std::string_view note);
    void runTimers(std::uint64_t nowUs);
    void log(std::string line);
    void flushLog();
    void shelve(Tag tag);
    std::vector<Tag>::iterator onShelf(const Uid& uid);

    std::unique_ptr<Personality> personality_;
    const std::string family_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    Field field_;
    std::vector<Tag> shelf_;
    int baud_;
    int pendingBaud_ = 0; // set by a command, applied when its answer is out
    Timing timing_ = Timing::None;
    std::vector<Fault> faults_;
    std::uint32_t noiseSeed_ = 0x2545F491;

    std::vector<std::uint8_t> rx_;
    std::uint64_t lastRxUs_ = 0;
    std::deque<Output> out_;
    bool busy_ = false;
    std::map<Context::TimerId, Timer> timers_;
    Context::TimerId nextTimerId_ = 1;

    std::uint64_t commands_ = 0;
    std::map<int, std::uint64_t> counts_;
    std::uint64_t ignoredBytes_ = 0;
    TimingReport report_;
    std::uint64_t airNsCarry_ = 0;
    std::uint64_t wireNsCarry_ = 0;

    std::mutex logMutex_;
    std::function<void(const std::string&)> logSink_;
    bool logging_ = false; // a sink is set (read under mutex_)
    std::vector<std::string> pendingLog_;
};

} // namespace sim
