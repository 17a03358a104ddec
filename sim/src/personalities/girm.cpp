// The GIRM family: first-make security-gate readers (ZPX frames). A gate
// stands at the library's exit and watches the tags carried through it: it
// sounds its EAS alarm for a tag whose EAS bit is set, senses people with a
// presence (PIR) sensor, and can note the identifier and memory of every tag
// that passes in its database.
//
// Commands (request data -> answer data):
//   0x60, 0x06  identification -> [hardware][firmware][model text]
//   0x01 to 0x05, 0x08 to 0x0A  the reader commands shared with FENO readers
//               (speed, mode, address, protocol version, buzzer, clock; see
//               zpx/reader_settings.h)
//   0x07        restore defaults: gate settings as below, surveillance
//               stopped, PIR not used (the database is kept)
//   0x10 / 0x11 start / stop the surveillance (the RF field goes on at start)
//   0x12        -> [1 while the surveillance runs]
//   0x13        -> [1 while the alarm sounds]
//   0x22        -> [1 while someone is in the gate]
//   0x23        -> [1 when someone has passed since this was last asked]
//   0x24 [0/1]  use the PIR sensor; 0x25 -> [1 when used]
//   0x2C        clear the database
//   0x2D        -> [entries high][entries low][1 when tags were left out: database full]
//   0x2E [index high][index low] -> one 40-byte entry: the tag's UID (most
//               significant byte first), then the first 32 bytes of its
//               memory as the tag holds them; 0x82 for an index past the end
//   16-bit settings, [high][low] to set, nothing to read them back:
//     0x14 / 0x15 chips (default 1)          0x16 / 0x17 synchro slot (0)
//     0x18 / 0x19 alarm duration, ms (2000)  0x1A / 0x1B power (100)
//     0x1C / 0x1D synchro identifier (0)     0x1E / 0x1F synchro antenna (0)
//     0x20 / 0x21 synchro threshold (50)     0x26 / 0x27 mux sequence (1)
//     0x28 / 0x29 sorting rounds (3)         0x2A / 0x2B read ID (0: off)
//     0x2F / 0x30 maximum pedestals (2)
// Reader status: 0x00 done, 0x81 unknown command, 0x82 data of the wrong
// length or a value out of range.
//
// The watch: while the surveillance runs, the gate looks at its field every
// 100 ms (while it is served on a line) and whenever the host sends it a
// command. It sends the EAS alarm request to all tags; any answer starts the
// alarm, which sounds on for the alarm duration after the last such answer.
// With read ID on it takes an inventory and notes each tag not yet in its
// database (at most 100 entries). With the PIR sensor in use, someone is in
// the gate while a tag lies in its field (a patron carrying items).
//
// Options: model (default "MK-F1"; any text is answered as given), address
// (default 0), rf=on|off (the field at power-up, default on).
#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "clock.h"
#include "sim/field.h"
#include "sim/iso15693.h"
#include "sim/personality.h"
#include "zpx/reader_settings.h"
#include "zpx/zpx_reader.h"

namespace sim::girm {

namespace {

using Bytes = std::vector<std::uint8_t>;
using zpx::Answer;

enum Command : std::uint8_t {
    kGetRpuVersion = 0x06,
    kRestoreDefaults = 0x07,
    kStartEas = 0x10,
    kStopEas = 0x11,
    kIsScanning = 0x12,
    kIsAlarmed = 0x13,
    kPirPresence = 0x22,
    kPirState = 0x23,
    kSetPirUse = 0x24,
    kGetPirUse = 0x25,
    kClearDatabase = 0x2C,
    kDatabaseInfo = 0x2D,
    kDatabaseEntry = 0x2E,
    kIdentify = 0x60,
};

// The 16-bit settings: the command that sets one, and its default; the next
// command reads it back.
struct Setting {
    std::uint8_t set;
    std::uint16_t byDefault;
};

constexpr Setting kSettings[] = {
    {0x14, 1}, {0x16, 0}, {0x18, 2000}, {0x1A, 100}, {0x1C, 0}, {0x1E, 0},
    {0x20, 50}, {0x26, 1}, {0x28, 3}, {0x2A, 0}, {0x2F, 2},
};
constexpr std::uint8_t kAlarmDuration = 0x18;
constexpr std::uint8_t kReadId = 0x2A;

constexpr std::uint32_t kWatchPeriodUs = 100'000;
constexpr std::size_t kDatabaseSize = 100;
constexpr std::size_t kEntrySize = 40;
constexpr std::uint8_t kEntryBlocks = 8; // 32 bytes of a tag with 4-byte blocks

Answer bad()
{
    return Answer::error(zpx::kStatusBadParameter);
}

Answer flag(bool on)
{
    return Answer::ok({static_cast<std::uint8_t>(on ? 1 : 0)});
}

class GirmReader final : public zpx::ZpxReader {
public:
    GirmReader(std::string model, std::uint8_t address, bool rfAtPowerUp)
        : ZpxReader(address), model_(std::move(model)), rfAtPowerUp_(rfAtPowerUp)
    {
        restoreSettings();
    }

    void powerUp(Context& ctx) override
    {
        stopWatching(ctx);
        restoreSettings();
        ctx.field().setRf(rfAtPowerUp_);
    }

protected:
    std::optional<Answer> execute(const zpx::Request& request, Context& ctx) override
    {
        look(ctx);
        if (auto answer = zpx::sharedReaderCommand(request, ctx, *this, reader_))
            return answer;
        if (auto answer = setting(request))
            return answer;
        const auto data = request.data;
        const bool noData = data.empty();
        switch (request.command) {
        case kIdentify:
        case kGetRpuVersion: {
            if (!noData)
                return bad();
            Bytes out{0x51, 0x10};
            out.insert(out.end(), model_.begin(), model_.end());
            return Answer::ok(std::move(out));
        }
        case kRestoreDefaults:
            if (!noData)
                return bad();
            stopWatching(ctx);
            restoreSettings();
            return Answer::ok();
        case kStartEas:
            if (!noData)
                return bad();
            startWatching(ctx);
            return Answer::ok();
        case kStopEas:
            if (!noData)
                return bad();
            stopWatching(ctx);
            return Answer::ok();
        case kIsScanning:
            return noData ? flag(watching_) : bad();
        case kIsAlarmed:
            return noData ? flag(watching_ && Clock::now() < alarmUntil_) : bad();
        case kPirPresence:
            return noData ? flag(present_) : bad();
        case kPirState: {
            if (!noData)
                return bad();
            const bool passed = passed_;
            passed_ = present_;
            return flag(passed);
        }
        case kSetPirUse:
            if (data.size() != 1 || data[0] > 1)
                return bad();
            pirUse_ = data[0] == 1;
            look(ctx);
            return Answer::ok();
        case kGetPirUse:
            return noData ? flag(pirUse_) : bad();
        case kClearDatabase:
            if (!noData)
                return bad();
            database_.clear();
            full_ = false;
            return Answer::ok();
        case kDatabaseInfo:
            if (!noData)
                return bad();
            return Answer::ok({static_cast<std::uint8_t>(database_.size() >> 8),
                               static_cast<std::uint8_t>(database_.size() & 0xFF), static_cast<std::uint8_t>(full_)});
        case kDatabaseEntry: {
            const std::size_t index = data.size() == 2 ? std::size_t{data[0]} << 8 | data[1] : database_.size();
            if (index >= database_.size())
                return bad();
            return Answer::ok(database_[index]);
        }
        default:
            return Answer::error(zpx::kStatusUnknownCommand);
        }
    }

private:
    void restoreSettings()
    {
        for (std::size_t i = 0; i < std::size(kSettings); ++i)
            values_[i] = kSettings[i].byDefault;
        pirUse_ = false;
        present_ = false;
        passed_ = false;
    }

    std::uint16_t value(std::uint8_t setCommand) const
    {
        for (std::size_t i = 0; i < std::size(kSettings); ++i)
            if (kSettings[i].set == setCommand)
                return values_[i];
        return 0;
    }

    // The 16-bit settings: [high][low] sets, nothing reads.
    std::optional<Answer> setting(const zpx::Request& request)
    {
        for (std::size_t i = 0; i < std::size(kSettings); ++i) {
            if (request.command == kSettings[i].set) {
                if (request.data.size() != 2)
                    return bad();
                values_[i] = static_cast<std::uint16_t>(request.data[0] << 8 | request.data[1]);
                return Answer::ok();
            }
            if (request.command == kSettings[i].set + 1) {
                if (!request.data.empty())
                    return bad();
                return Answer::ok({static_cast<std::uint8_t>(values_[i] >> 8),
                                   static_cast<std::uint8_t>(values_[i] & 0xFF)});
            }
        }
        return std::nullopt;
    }

    // --- The watch ------------------------------------------------------------------------------------------------

    void startWatching(Context& ctx)
    {
        ctx.field().setRf(true);
        if (!watching_)
            scheduleLook(ctx);
        watching_ = true;
        look(ctx);
    }

    void stopWatching(Context& ctx)
    {
        if (timer_)
            ctx.stopTimer(*timer_);
        timer_.reset();
        watching_ = false;
        alarmUntil_ = {};
    }

    void scheduleLook(Context& ctx)
    {
        timer_ = ctx.startTimer(kWatchPeriodUs, [this](Context& c) {
            timer_.reset();
            if (!watching_)
                return;
            look(c);
            scheduleLook(c);
        });
    }

    // What the gate sees now: people, armed tags, tags to note.
    void look(Context& ctx)
    {
        Field& field = ctx.field();
        present_ = pirUse_ && field.size() > 0;
        passed_ = passed_ || present_;
        if (!watching_ || !field.rfOn())
            return;
        const Field::Reply alarm = field.transact(iso::request(iso::kFlagHighDataRate, iso::kEasAlarm));
        const bool armed =
            alarm.collided() || (alarm.answered() && !alarm.bytes.empty() && !(alarm.bytes[0] & iso::kResponseError));
        if (armed)
            alarmUntil_ = Clock::now() + std::chrono::milliseconds(value(kAlarmDuration));
        if (value(kReadId) != 0)
            note(field);
    }

    // Notes each tag in the field that the database does not hold yet.
    void note(Field& field)
    {
        for (const Field::Found& tag : field.inventory(iso::kFlagHighDataRate)) {
            const bool known = std::any_of(database_.begin(), database_.end(), [&](const Bytes& entry) {
                return std::equal(tag.uid.begin(), tag.uid.end(), entry.begin());
            });
            if (known)
                continue;
            if (database_.size() == kDatabaseSize) {
                full_ = true;
                continue;
            }
            Bytes entry(tag.uid.begin(), tag.uid.end());
            entry.resize(kEntrySize, 0);
            const Field::Reply reply = field.transact(iso::request(
                iso::kFlagHighDataRate | iso::kFlagAddress, iso::kReadMultipleBlocks, &tag.uid,
                Bytes{0, static_cast<std::uint8_t>(kEntryBlocks - 1)}));
            if (reply.answered() && !reply.bytes.empty() && !(reply.bytes[0] & iso::kResponseError)) {
                const std::size_t n = std::min(reply.bytes.size() - 1, kEntrySize - 8);
                std::copy_n(reply.bytes.begin() + 1, n, entry.begin() + 8);
            }
            database_.push_back(std::move(entry));
        }
    }

    const std::string model_;
    const bool rfAtPowerUp_;
    zpx::ReaderSettings reader_;
    std::array<std::uint16_t, std::size(kSettings)> values_{};
    bool watching_ = false;
    std::optional<Context::TimerId> timer_;
    Clock::time_point alarmUntil_{};
    bool pirUse_ = false;
    bool present_ = false;
    bool passed_ = false;
    std::vector<Bytes> database_;
    bool full_ = false;
};

std::unique_ptr<Personality> makeGirm(const PersonalityOptions& o)
{
    const std::string model = o.model.empty() ? "MK-F1" : o.model;
    if (model.size() > 252 || (o.address && (*o.address < 0 || *o.address > 255)))
        return nullptr;
    bool rf = true;
    for (const auto& [key, value] : o.extra) {
        if (key != "rf" || (value != "on" && value != "off"))
            return nullptr;
        rf = value == "on";
    }
    return std::make_unique<GirmReader>(model, static_cast<std::uint8_t>(o.address.value_or(0)), rf);
}

} // namespace

} // namespace sim::girm

SIM_REGISTER_PERSONALITY(girm, "GIRM security gates (ZPX): EAS surveillance, presence sensor, database, model MK-F1",
                         115200, sim::girm::makeGirm)
