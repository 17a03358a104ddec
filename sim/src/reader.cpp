#include "sim/reader.h"

#include <algorithm>
#include <utility>

#include "clock.h"

namespace sim {

// The context a personality sees: while it handles a command (frames are the
// command's answers), while a timer runs or at power-up (frames go out on
// their own).
class Reader::CommandContext final : public Context {
public:
    struct Frame {
        std::vector<std::uint8_t> bytes;
        std::uint32_t delayUs;
    };

    CommandContext(Reader& reader, bool inCommand, std::uint64_t nowUs)
        : reader_(reader), inCommand_(inCommand), nowUs_(nowUs)
    {
    }

    Field& field() override { return reader_.field_; }
    void send(std::vector<std::uint8_t> frame, std::uint32_t delayUs) override
    {
        frames.push_back({std::move(frame), delayUs});
    }
    void addAirTimeUs(std::uint32_t us) override { extraAirNs += std::uint64_t{us} * 1000; }
    int baud() const override { return reader_.baud_; }
    void setBaud(int baud) override
    {
        if (inCommand_)
            reader_.pendingBaud_ = baud;
        else
            reader_.baud_ = baud;
    }
    TimerId startTimer(std::uint32_t delayUs, TimerCallback callback) override
    {
        const TimerId id = reader_.nextTimerId_++;
        reader_.timers_[id] = Timer{nowUs_ + delayUs, std::move(callback)};
        return id;
    }
    void stopTimer(TimerId id) override { reader_.timers_.erase(id); }
    void log(std::string_view text) override { reader_.log(std::string(text)); }

    std::vector<Frame> frames;
    std::uint64_t extraAirNs = 0;

private:
    Reader& reader_;
    bool inCommand_;
    std::uint64_t nowUs_;
};

std::unique_ptr<Reader> Reader::create(std::string_view family, const PersonalityOptions& options, int baud,
                                       std::string* error)
{
    const PersonalityInfo* info = findPersonality(family);
    if (!info) {
        if (error)
            *error = "unknown reader family \"" + std::string(family) + "\"";
        return nullptr;
    }
    auto personality = info->make(options);
    if (!personality) {
        if (error)
            *error = "family " + info->name + " refused its options";
        return nullptr;
    }
    return std::make_unique<Reader>(std::move(personality), baud > 0 ? baud : info->defaultBaud, info->name);
}

Reader::Reader(std::unique_ptr<Personality> personality, int baud, std::string family)
    : personality_(std::move(personality)), family_(std::move(family)), baud_(baud)
{
    std::lock_guard lock(mutex_);
    const std::uint64_t now = Clock::monotonicUs();
    CommandContext ctx(*this, false, now);
    personality_->powerUp(ctx);
    for (auto& frame : ctx.frames)
        out_.push_back(Output{now + frame.delayUs, std::move(frame.bytes)});
    field_.takeAirTimeNs();
}

Reader::~Reader() = default;

int Reader::baud() const
{
    std::lock_guard lock(mutex_);
    return baud_;
}

void Reader::setBaud(int baud)
{
    std::lock_guard lock(mutex_);
    baud_ = baud;
}

Timing Reader::timing() const
{
    std::lock_guard lock(mutex_);
    return timing_;
}

void Reader::setTiming(Timing timing)
{
    std::lock_guard lock(mutex_);
    timing_ = timing;
}

void Reader::setAirTiming(const iso::AirTiming& timing)
{
    std::lock_guard lock(mutex_);
    field_.setAirTiming(timing);
}

// --- Tags -------------------------------------------------------------------

std::vector<Tag>::iterator Reader::onShelf(const Uid& uid)
{
    return std::find_if(shelf_.begin(), shelf_.end(), [&](const Tag& t) { return t.uid() == uid; });
}

void Reader::shelve(Tag tag)
{
    const auto it = onShelf(tag.uid());
    if (it != shelf_.end())
        *it = std::move(tag);
    else
        shelf_.push_back(std::move(tag));
}

bool Reader::place(Tag tag)
{
    bool placed;
    {
        std::lock_guard lock(mutex_);
        const Uid uid = tag.uid();
        placed = field_.place(std::move(tag));
        if (placed) {
            std::erase_if(shelf_, [&](const Tag& t) { return t.uid() == uid; });
            log("tag " + uidToText(uid) + " placed");
        }
    }
    flushLog();
    return placed;
}

std::optional<Tag> Reader::remove(const Uid& uid)
{
    std::optional<Tag> tag;
    {
        std::lock_guard lock(mutex_);
        tag = field_.remove(uid);
        if (tag) {
            shelve(*tag);
            log("tag " + uidToText(uid) + " removed");
        }
    }
    flushLog();
    return tag;
}

std::vector<Tag> Reader::removeAll()
{
    std::vector<Tag> tags;
    {
        std::lock_guard lock(mutex_);
        tags = field_.removeAll();
        for (const Tag& tag : tags) {
            shelve(tag);
            log("tag " + uidToText(tag.uid()) + " removed");
        }
    }
    flushLog();
    return tags;
}

bool Reader::putBack(const Uid& uid)
{
    bool placed = false;
    {
        std::lock_guard lock(mutex_);
        const auto it = onShelf(uid);
        if (it != shelf_.end() && field_.place(*it)) {
            shelf_.erase(it);
            placed = true;
            log("tag " + uidToText(uid) + " placed back");
        }
    }
    flushLog();
    return placed;
}

bool Reader::moveTag(const Uid& uid, Reader& to)
{
    if (&to == this)
        return false;
    bool moved = false;
    {
        std::scoped_lock lock(mutex_, to.mutex_);
        auto tag = field_.remove(uid);
        if (tag) {
            if (to.field_.place(*tag)) {
                std::erase_if(to.shelf_, [&](const Tag& t) { return t.uid() == uid; });
                moved = true;
                log("tag " + uidToText(uid) + " moved to another reader");
                to.log("tag " + uidToText(uid) + " arrived from another reader");
            } else {
                field_.place(std::move(*tag));
            }
        }
    }
    flushLog();
    to.flushLog();
    return moved;
}

std::optional<Tag> Reader::tag(const Uid& uid) const
{
    std::lock_guard lock(mutex_);
    if (const Tag* t = field_.find(uid))
        return *t;
    for (const Tag& t : shelf_)
        if (t.uid() == uid)
            return t;
    return std::nullopt;
}

std::vector<Tag> Reader::tags() const
{
    std::lock_guard lock(mutex_);
    return field_.tags();
}

std::vector<Tag> Reader::shelf() const
{
    std::lock_guard lock(mutex_);
    return shelf_;
}

bool Reader::editTag(const Uid& uid, const std::function<void(Tag&)>& edit)
{
    std::lock_guard lock(mutex_);
    Tag* tag = field_.find(uid);
    if (!tag) {
        const auto it = onShelf(uid);
        if (it == shelf_.end())
            return false;
        tag = &*it;
    }
    edit(*tag);
    return true;
}

bool Reader::rfOn() const
{
    std::lock_guard lock(mutex_);
    return field_.rfOn();
}

void Reader::setRf(bool on)
{
    std::lock_guard lock(mutex_);
    field_.setRf(on);
}

// --- Faults -----------------------------------------------------------------

void Reader::addFault(const Fault& fault)
{
    {
        std::lock_guard lock(mutex_);
        faults_.push_back(fault);
        log("fault armed: " + describeFault(fault));
    }
    flushLog();
}

void Reader::clearFaults()
{
    std::lock_guard lock(mutex_);
    faults_.clear();
}

std::vector<Fault> Reader::faults() const
{
    std::lock_guard lock(mutex_);
    return faults_;
}

// --- Counters ---------------------------------------------------------------

std::uint64_t Reader::commandCount() const
{
    std::lock_guard lock(mutex_);
    return commands_;
}

std::uint64_t Reader::commandCount(int code) const
{
    std::lock_guard lock(mutex_);
    const auto it = counts_.find(code);
    return it == counts_.end() ? 0 : it->second;
}

std::map<int, std::uint64_t> Reader::commandCounts() const
{
    std::lock_guard lock(mutex_);
    return counts_;
}

std::uint64_t Reader::airRequestCount(std::uint8_t isoCode) const
{
    std::lock_guard lock(mutex_);
    return field_.requestCount(isoCode);
}

std::uint64_t Reader::ignoredBytes() const
{
    std::lock_guard lock(mutex_);
    return ignoredBytes_;
}

TimingReport Reader::timingReport() const
{
    std::lock_guard lock(mutex_);
    return report_;
}

void Reader::resetCounters()
{
    std::lock_guard lock(mutex_);
    commands_ = 0;
    counts_.clear();
    ignoredBytes_ = 0;
    report_ = {};
    airNsCarry_ = wireNsCarry_ = 0;
    field_.resetCounters();
}

bool Reader::waitForCommands(std::uint64_t total, int timeoutMs) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return commands_ >= total; });
}

bool Reader::waitIdle(int timeoutMs) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !busy_ && out_.empty(); });
}

void Reader::setLog(std::function<void(const std::string&)> sink)
{
    std::lock_guard logLock(logMutex_);
    std::lock_guard lock(mutex_);
    logging_ = static_cast<bool>(sink);
    logSink_ = std::move(sink);
    pendingLog_.clear();
}

void Reader::log(std::string line)
{
    if (logging_)
        pendingLog_.push_back(std::move(line));
}

void Reader::flushLog()
{
    std::lock_guard logLock(logMutex_);
    std::vector<std::string> lines;
    {
        std::lock_guard lock(mutex_);
        lines.swap(pendingLog_);
    }
    if (logSink_)
        for (const auto& line : lines)
            logSink_(line);
}

// --- Line engine --------------------------------------------------------------

std::uint32_t Reader::wireNsPerByte() const
{
    // 8N1: a start bit, 8 data bits and a stop bit.
    return baud_ > 0 ? static_cast<std::uint32_t>(10'000'000'000ull / static_cast<unsigned>(baud_)) : 0;
}

// The pace of queued bytes: wire time with realistic timing, else all at once (0).
std::uint32_t Reader::pacedNsPerByte() const
{
    return timing_ == Timing::Realistic ? wireNsPerByte() : 0;
}

std::uint64_t Reader::queueEndUs() const
{
    if (out_.empty())
        return 0;
    const Output& last = out_.back();
    return last.atUs + last.bytes.size() * std::uint64_t{last.nsPerByte} / 1000;
}

void Reader::lineInput(std::span<const std::uint8_t> bytes, int hostBaud, std::uint64_t nowUs)
{
    {
        std::lock_guard lock(mutex_);
        lineInputLocked(bytes, hostBaud, nowUs);
    }
    flushLog();
}

void Reader::lineInputLocked(std::span<const std::uint8_t> bytes, int hostBaud, std::uint64_t nowUs)
{
    if (bytes.empty())
        return;
    if (hostBaud != 0 && hostBaud != baud_) {
        // Wrong speed: what arrives is garbage to the reader's UART.
        ignoredBytes_ += bytes.size();
        rx_.clear();
        log("ignored " + std::to_string(bytes.size()) + " byte(s) sent at " + std::to_string(hostBaud) +
            " baud (reader at " + std::to_string(baud_) + ")");
        return;
    }
    if (!rx_.empty() && nowUs - lastRxUs_ > std::uint64_t{personality_->receiveGapMs()} * 1000) {
        log("dropped an unfinished frame: " + hexBytes(rx_));
        rx_.clear();
    }
    rx_.insert(rx_.end(), bytes.begin(), bytes.end());
    lastRxUs_ = nowUs;
    processInput(nowUs);
}

void Reader::processInput(std::uint64_t nowUs)
{
    while (!busy_ && !rx_.empty()) {
        const Cut cut = personality_->cut(rx_);
        if (cut.kind == Cut::Kind::NeedMore)
            return;
        const std::size_t n = std::clamp<std::size_t>(cut.length, 1, rx_.size());
        if (cut.kind == Cut::Kind::Skip) {
            rx_.erase(rx_.begin(), rx_.begin() + static_cast<std::ptrdiff_t>(n));
            continue;
        }
        const std::vector<std::uint8_t> frame(rx_.begin(), rx_.begin() + static_cast<std::ptrdiff_t>(n));
        rx_.erase(rx_.begin(), rx_.begin() + static_cast<std::ptrdiff_t>(n));
        handleFrame(frame, nowUs);
    }
}

// What the armed faults do to one command.
struct Reader::FaultPlan {
    bool silence = false;                            // withhold the answers
    bool crc = false;                                // break the CRC of frame crcFrame (-1: every frame)
    int crcFrame = -1;
    bool cut = false;                                // cut frame cutFrame (-1: every frame) to half
    int cutFrame = -1;
    bool leave = false;                              // the tags leave the field during the command
    std::optional<std::uint8_t> status;              // answer with this status instead of running it
    std::optional<int> closeReopenMs;                // close the line instead
    std::optional<std::vector<std::uint8_t>> noise;  // bytes sent before the answers
    std::uint32_t delayMs = 0;                       // answer this much later
};

// One command from the host, in phases: the faults that take it, the command
// itself (or the answer a fault forces), the damage to its answers, the wire
// and air time it costs, and its answers queued on the line.
void Reader::handleFrame(std::span<const std::uint8_t> frame, std::uint64_t nowUs)
{
    const int code = personality_->commandCode(frame);
    ++commands_;
    ++counts_[code];
    ++report_.commands;
    log("<- " + personality_->describe(frame));

    const FaultPlan plan = takeFaults(code);
    busy_ = true;
    changed_.notify_all();
    if (plan.closeReopenMs) {
        queueLineClose(nowUs, *plan.closeReopenMs);
        return;
    }
    CommandContext ctx(*this, true, nowUs);
    const std::uint64_t airNs = runCommand(frame, plan, ctx);
    damageAnswers(plan, ctx);
    account(frame.size(), plan, ctx, airNs);
    queueAnswers(frame.size(), plan, ctx, airNs, nowUs);
}

// The faults that take a command with this code: each counts down its
// passes (skip) and its uses (count), and goes once used up.
Reader::FaultPlan Reader::takeFaults(int code)
{
    FaultPlan plan;
    for (auto it = faults_.begin(); it != faults_.end();) {
        Fault& f = *it;
        if (f.commandCode >= 0 && f.commandCode != code) {
            ++it;
            continue;
        }
        if (f.skip > 0) {
            --f.skip;
            ++it;
            continue;
        }
        switch (f.kind) {
        case FaultKind::Silence: plan.silence = true; break;
        case FaultKind::WrongCrc: plan.crc = true; plan.crcFrame = f.frame; break;
        case FaultKind::CutShort: plan.cut = true; plan.cutFrame = f.frame; break;
        case FaultKind::TagsLeave: plan.leave = true; break;
        case FaultKind::Status: plan.status = f.status; break;
        case FaultKind::Delay: plan.delayMs += f.delayMs; break;
        case FaultKind::LineClose: plan.closeReopenMs = f.reopenMs; break;
        case FaultKind::Noise:
            if (!plan.noise)
                plan.noise.emplace();
            addNoise(f, *plan.noise);
            break;
        }
        log("fault: " + describeFault(f));
        if (f.count != Fault::kPermanent && --f.count <= 0)
            it = faults_.erase(it);
        else
            ++it;
    }
    return plan;
}

// A noise fault's bytes: its own, or three pseudo-random ones (xorshift32).
void Reader::addNoise(const Fault& fault, std::vector<std::uint8_t>& noise)
{
    if (!fault.noise.empty()) {
        noise.insert(noise.end(), fault.noise.begin(), fault.noise.end());
        return;
    }
    for (int i = 0; i < 3; ++i) {
        noiseSeed_ ^= noiseSeed_ << 13;
        noiseSeed_ ^= noiseSeed_ >> 17;
        noiseSeed_ ^= noiseSeed_ << 5;
        noise.push_back(static_cast<std::uint8_t>(noiseSeed_));
    }
}

// The line closes once what is queued has gone out, in place of an answer.
void Reader::queueLineClose(std::uint64_t nowUs, int reopenMs)
{
    Output close;
    close.atUs = std::max(nowUs, queueEndUs());
    close.endsCommand = close.close = true;
    close.reopenMs = reopenMs;
    out_.push_back(std::move(close));
}

// The personality runs the command (tags that leave during it go to the
// shelf), unless a status fault forces the answer. Returns the air time the
// command took.
std::uint64_t Reader::runCommand(std::span<const std::uint8_t> frame, const FaultPlan& plan, CommandContext& ctx)
{
    field_.takeAirTimeNs();
    std::optional<std::vector<std::uint8_t>> forced;
    if (plan.status)
        forced = personality_->statusAnswer(frame, *plan.status);
    if (forced) {
        ctx.frames.push_back({std::move(*forced), 0});
    } else {
        if (plan.leave)
            field_.armDeparture();
        personality_->handle(frame, ctx);
        field_.disarmDeparture();
        for (Tag& tag : field_.takeDeparted()) {
            log("tag " + uidToText(tag.uid()) + " left the field");
            shelve(std::move(tag));
        }
    }
    return field_.takeAirTimeNs() + ctx.extraAirNs;
}

// Silence withholds the answers; a broken CRC or a cut applies to the frame
// the fault names, or to every frame.
void Reader::damageAnswers(const FaultPlan& plan, CommandContext& ctx)
{
    if (plan.silence && !ctx.frames.empty()) {
        log("answer withheld");
        ctx.frames.clear();
    }
    for (std::size_t i = 0; i < ctx.frames.size(); ++i) {
        auto& bytes = ctx.frames[i].bytes;
        const int index = static_cast<int>(i);
        if (plan.crc && (plan.crcFrame < 0 || plan.crcFrame == index) && !personality_->corruptCrc(bytes))
            log("answer has no check to break");
        if (plan.cut && (plan.cutFrame < 0 || plan.cutFrame == index))
            bytes.resize(bytes.size() / 2);
    }
}

// The wire and air time of the command, in nanoseconds carried over between
// commands, and the delay its faults added.
void Reader::account(std::size_t requestBytes, const FaultPlan& plan, const CommandContext& ctx, std::uint64_t airNs)
{
    std::uint64_t wireBytes = requestBytes + (plan.noise ? plan.noise->size() : 0);
    for (const auto& f : ctx.frames)
        wireBytes += f.bytes.size();
    wireNsCarry_ += wireBytes * wireNsPerByte();
    airNsCarry_ += airNs;
    report_.wireUs += wireNsCarry_ / 1000;
    report_.airUs += airNsCarry_ / 1000;
    wireNsCarry_ %= 1000;
    airNsCarry_ %= 1000;
    report_.faultDelayUs += std::uint64_t{plan.delayMs} * 1000;
}

// The reader starts answering once the request has arrived and the tags have
// been dealt with (realistic timing), plus any delay: noise first, then the
// answers, then the end of the command.
void Reader::queueAnswers(std::size_t requestBytes, const FaultPlan& plan, CommandContext& ctx, std::uint64_t airNs,
                          std::uint64_t nowUs)
{
    const std::uint32_t paced = pacedNsPerByte();
    std::uint64_t t = std::max(nowUs, queueEndUs());
    if (timing_ == Timing::Realistic)
        t += (requestBytes * wireNsPerByte() + airNs) / 1000;
    t += std::uint64_t{plan.delayMs} * 1000;
    if (plan.noise && !plan.noise->empty()) {
        log("-> noise " + hexBytes(*plan.noise));
        out_.push_back(Output{t, *plan.noise, paced});
        t += plan.noise->size() * std::uint64_t{paced} / 1000;
    }
    t = queueFrames(t, ctx, paced, "");
    Output end;
    end.atUs = t;
    end.endsCommand = true;
    out_.push_back(std::move(end));
}

// Queues the context's frames from t on, each after its own delay; returns
// when the last one ends.
std::uint64_t Reader::queueFrames(std::uint64_t t, CommandContext& ctx, std::uint32_t paced, std::string_view note)
{
    for (auto& f : ctx.frames) {
        t += f.delayUs;
        log("-> " + personality_->describe(f.bytes) + std::string(note));
        const std::size_t size = f.bytes.size();
        out_.push_back(Output{t, std::move(f.bytes), paced});
        t += size * std::uint64_t{paced} / 1000;
    }
    return t;
}
void Reader::finishCommand(std::uint64_t nowUs)
{
    busy_ = false;
    if (pendingBaud_) {
        baud_ = std::exchange(pendingBaud_, 0);
        log("line speed now " + std::to_string(baud_));
    }
    changed_.notify_all();
    processInput(nowUs);
}

void Reader::runTimers(std::uint64_t nowUs)
{
    for (;;) {
        auto due = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it)
            if (it->second.dueUs <= nowUs && (due == timers_.end() || it->second.dueUs < due->second.dueUs))
                due = it;
        if (due == timers_.end())
            return;
        auto callback = std::move(due->second.callback);
        timers_.erase(due);
        CommandContext ctx(*this, false, nowUs);
        callback(ctx);
        queueFrames(std::max(nowUs, queueEndUs()), ctx, pacedNsPerByte(), " (unsolicited)");
    }
}

Reader::LineAction Reader::lineOutput(std::uint64_t nowUs)
{
    LineAction action;
    {
        std::lock_guard lock(mutex_);
        runTimers(nowUs);
        while (!out_.empty()) {
            Output& o = out_.front();
            if (o.atUs > nowUs)
                break;
            if (o.close) {
                action.close = true;
                action.reopenMs = o.reopenMs;
                out_.clear();
                rx_.clear();
                log(o.reopenMs < 0 ? "line closed" : "line closed, reopening in " + std::to_string(o.reopenMs) + " ms");
                finishCommand(nowUs);
                break;
            }
            std::size_t due = o.bytes.size();
            if (o.nsPerByte)
                due = std::min<std::size_t>(due, (nowUs - o.atUs) * 1000 / o.nsPerByte);
            if (due > o.sent) {
                action.bytes.insert(action.bytes.end(), o.bytes.begin() + static_cast<std::ptrdiff_t>(o.sent),
                                    o.bytes.begin() + static_cast<std::ptrdiff_t>(due));
                o.sent = due;
            }
            if (o.sent < o.bytes.size())
                break;
            const bool ends = o.endsCommand;
            out_.pop_front();
            if (ends)
                finishCommand(nowUs);
        }
        if (out_.empty())
            changed_.notify_all();
    }
    flushLog();
    return action;
}

std::optional<std::uint64_t> Reader::nextDueUs() const
{
    std::lock_guard lock(mutex_);
    std::optional<std::uint64_t> next;
    if (!out_.empty()) {
        const Output& o = out_.front();
        std::uint64_t t = o.atUs;
        if (o.nsPerByte && o.sent < o.bytes.size())
            t += ((o.sent + 1) * std::uint64_t{o.nsPerByte} + 999) / 1000;
        next = t;
    }
    for (const auto& [id, timer] : timers_)
        if (!next || timer.dueUs < *next)
            next = timer.dueUs;
    return next;
}

void Reader::lineReset()
{
    std::lock_guard lock(mutex_);
    rx_.clear();
    out_.clear();
    busy_ = false;
    if (pendingBaud_)
        baud_ = std::exchange(pendingBaud_, 0);
    changed_.notify_all();
}

std::vector<std::uint8_t> Reader::exchange(std::span<const std::uint8_t> hostBytes)
{
    std::vector<std::uint8_t> reply;
    {
        std::lock_guard lock(mutex_);
        const std::uint64_t now = Clock::monotonicUs();
        lineInputLocked(hostBytes, 0, now);
        while (!out_.empty()) {
            Output o = std::move(out_.front());
            out_.pop_front();
            if (o.close) {
                out_.clear();
                rx_.clear();
                finishCommand(now);
                break;
            }
            reply.insert(reply.end(), o.bytes.begin() + static_cast<std::ptrdiff_t>(o.sent), o.bytes.end());
            if (o.endsCommand)
                finishCommand(now);
        }
        changed_.notify_all();
    }
    flushLog();
    return reply;
}

} // namespace sim
