// The FENO reader family: a first-make reader with its own high-level
// ISO 15693 command set. The host sends a command byte and a small parameter
// record (option bytes, a time value, an addressing mode, the tag's UID); the
// reader runs the air protocol itself and answers with what the tag said.
//
// Byte order. The host gives and takes UIDs most significant byte first and
// sees a block value most significant byte first; the tag holds a block least
// significant byte first and both travel the air in the tag's order. This
// reader turns them around in both directions, so a block written here reads
// back identically on every other reader.
//
// Tag records. Every tag operation answers with one record (an inventory with
// one record per tag): a six-byte head and n payload bytes.
//   byte 0   high nibble: antenna (always 1); low nibble: outcome
//            0 the tag answered, 1 no tag answered, 2 several tags answered
//            differently (collision), 3 the tag answered with an error
//   byte 1   n, the payload length
//   byte 2   the ISO 15693 command code sent to the tag
//   byte 3   the tag's response flags (0 when it did not answer)
//   byte 4   the operation's parameter: DSFID in an inventory record, else the
//            block number, first block, AFI or DSFID written (0 when none)
//   byte 5   reserved, 0
//   payload  inventory: the UID, most significant first; read block: [security
//            status when the option is set] and the block value, most
//            significant first; block status: one byte per block, the last
//            block first; system information: the tag's answer with the UID
//            turned most significant first; transparent command: the tag's
//            answer after its flags byte. An error answer carries the tag's
//            ISO 15693 error code as its one payload byte.
//
// Reader status byte: 0x00 done; 0xC4 no tag answered or the tag refused
// (error answer); 0xCC several tags answered a non-addressed command; 0x81 an
// unknown command; 0x82 a request of the wrong length or with an addressing
// mode other than 0 (non-addressed), 1 (the selected tag) or 2 (by UID). The
// transparent command reports a tag's error answer with status 0x00 (the
// reader forwarded the exchange; the record tells what the tag said).
//
// Options. Single option byte: bit 0 is the ISO option flag. Three option
// bytes (writes, locks): option 1 bit 0 the ISO option flag, option 2 bit 0
// the high data rate (low data rate when clear), option 3 unused. Inventory:
// option 1 bit 0 the high data rate, option 2 bit 0 single-slot rounds
// (16 slots when clear), option 3 unused. The time value is accepted and not
// used; the reader waits as long as the air protocol needs.
//
// Reader commands besides the tag operations: 0x60 identification (and 0x06,
// the same answer), 0x07 restore defaults (settings, I/O ports and RF field as
// at power-up; address, speed and clock stay), 0x0F power (one byte or two,
// high first), 0x13 RF field (0 off, 1 on), and the timing, uplink, downlink
// and memory-map settings 0x1F to 0x22, which are stored and change nothing
// on the air. The reader-level commands FENO and GIRM readers share (speed,
// mode, address, protocol version, buzzer, clock: zpx/reader_settings.h), and
// two I/O ports of eight lines: 0x0B [port][direction bits, 1 = output] and
// 0x0C [port] -> [direction], 0x0D [port][output levels] and 0x0E [port] ->
// [line levels]; the input lines read low. A port other than 0 or 1: 0x82.
//
// Options of the simulated reader (PersonalityOptions):
//   model       identification text (default "MK-A1"; any other text is
//               answered as given, for trying out unknown readers)
//   address     ZPX reader address (default 0)
//   rf=on|off   RF field state at power-up (default on)
//   hardware=N, firmware=N   the two identification bytes (default 1 and 0x21)
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/field.h"
#include "sim/personality.h"
#include "zpx/reader_settings.h"
#include "zpx/zpx_reader.h"

namespace sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using zpx::Answer;

constexpr std::uint8_t kStatusUnknownCommand = 0x81;
constexpr std::uint8_t kStatusBadParameter = 0x82;
constexpr std::uint8_t kStatusNoTag = 0xC4;
constexpr std::uint8_t kStatusSeveralTags = 0xCC;

constexpr std::uint8_t kAntenna = 0x10;
enum Outcome : std::uint8_t { kAnswered = 0, kNoAnswer = 1, kCollision = 2, kTagError = 3 };

constexpr std::size_t kRecordHead = 6;
constexpr std::size_t kMaxAnswer = 254;

enum Command : std::uint8_t {
    kGetRpuVersion = 0x06,
    kRestoreDefaults = 0x07,
    kSetIoDirection = 0x0B,
    kGetIoDirection = 0x0C,
    kSetIo = 0x0D,
    kGetIo = 0x0E,
    kSetPower = 0x0F,
    kSetRf = 0x13,
    kSetTiming = 0x1F,
    kSetUplink = 0x20,
    kSetDownlink = 0x21,
    kSetMemoryMap = 0x22,
    kStayQuiet = 0x23,
    kInventory = 0x24,
    kGeneric = 0x25,
    kReadBlock = 0x26,
    kWriteBlock = 0x27,
    kLockBlock = 0x28,
    kBlockStatus = 0x29,
    kSystemInfo = 0x2A,
    kSelect = 0x2B,
    kResetToReady = 0x2C,
    kWriteAfi = 0x2D,
    kLockAfi = 0x2E,
    kWriteDsfid = 0x2F,
    kLockDsfid = 0x30,
    kProgramEas = 0x42,
    kCheckEas = 0x43,
    kIdentify = 0x60,
};

// The reader's adjustable settings and what RestoreDefaults brings back.
struct Settings {
    std::uint16_t power = 10;
    std::array<std::uint8_t, 3> timing{0, 0, 0};
    std::array<std::uint8_t, 2> uplink{0, 0};
    std::array<std::uint8_t, 2> downlink{0, 0};
    std::array<std::uint8_t, 2> memoryMap{27, 3}; // blocks - 1, block size - 1
};

std::uint8_t flagIf(bool on, std::uint8_t flag)
{
    return on ? flag : std::uint8_t{0};
}

// How a command reaches its tag: the request flags and the UID (mode 2).
struct Target {
    std::uint8_t flags = 0;
    std::optional<Uid> uid;
};

// Reads a request's parameters front to back; any shortfall marks it bad.
class Params {
public:
    explicit Params(std::span<const std::uint8_t> data) : data_(data) {}

    std::uint8_t byte()
    {
        if (at_ >= data_.size()) {
            bad_ = true;
            return 0;
        }
        return data_[at_++];
    }
    std::uint16_t word()
    {
        const std::uint16_t high = byte();
        return static_cast<std::uint16_t>(high << 8 | byte());
    }
    std::span<const std::uint8_t> take(std::size_t n)
    {
        if (data_.size() - at_ < n) {
            bad_ = true;
            at_ = data_.size();
            return {};
        }
        const auto out = data_.subspan(at_, n);
        at_ += n;
        return out;
    }
    std::span<const std::uint8_t> rest()
    {
        const auto out = data_.subspan(at_);
        at_ = data_.size();
        return out;
    }
    // The UID given most significant first.
    Uid uid()
    {
        Uid uid{};
        const auto bytes = take(8);
        std::copy(bytes.begin(), bytes.end(), uid.begin());
        return uid;
    }
    // The addressing mode byte and, for mode 2, the UID after it.
    std::optional<Target> target(std::uint8_t rateFlags)
    {
        Target t;
        t.flags = rateFlags;
        switch (byte()) {
        case 0:
            break;
        case 1:
            t.flags |= iso::kFlagSelect;
            break;
        case 2:
            t.flags |= iso::kFlagAddress;
            t.uid = uid();
            break;
        default:
            bad_ = true;
            break;
        }
        if (bad_)
            return std::nullopt;
        return t;
    }
    // All parameters read and nothing left over.
    bool complete() const { return !bad_ && at_ == data_.size(); }

private:
    std::span<const std::uint8_t> data_;
    std::size_t at_ = 0;
    bool bad_ = false;
};

Bytes record(std::uint8_t outcome, std::uint8_t isoCommand, std::uint8_t responseFlags, std::uint8_t parameter,
             std::span<const std::uint8_t> payload = {})
{
    payload = payload.first(std::min(payload.size(), kMaxAnswer - kRecordHead));
    Bytes out(kRecordHead + payload.size());
    out[0] = static_cast<std::uint8_t>(kAntenna | outcome);
    out[1] = static_cast<std::uint8_t>(payload.size());
    out[2] = isoCommand;
    out[3] = responseFlags;
    out[4] = parameter;
    std::copy(payload.begin(), payload.end(), out.begin() + kRecordHead);
    return out;
}

class FenoReader final : public zpx::ZpxReader {
public:
    FenoReader(std::string model, std::uint8_t address, bool rfAtPowerUp, std::uint8_t hardware, std::uint8_t firmware)
        : ZpxReader(address), model_(std::move(model)), rfAtPowerUp_(rfAtPowerUp), hardware_(hardware),
          firmware_(firmware)
    {
    }

    void powerUp(Context& ctx) override
    {
        settings_ = {};
        reader_.ports = {};
        reader_.mode = 0;
        ctx.field().setRf(rfAtPowerUp_);
    }

protected:
    std::optional<Answer> execute(const zpx::Request& request, Context& ctx) override
    {
        if (auto answer = zpx::sharedReaderCommand(request, ctx, *this, reader_))
            return answer;
        if (auto answer = ioCommand(request))
            return answer;
        Params p(request.data);
        switch (request.command) {
        case kIdentify:
        case kGetRpuVersion:
            if (!p.complete())
                return bad();
            return identification();
        case kRestoreDefaults:
            if (!p.complete())
                return bad();
            powerUp(ctx);
            return Answer::ok();
        case kSetPower: {
            // One byte, or two bytes high first.
            const std::uint16_t power = request.data.size() == 2 ? p.word() : p.byte();
            if (!p.complete())
                return bad();
            settings_.power = power;
            return Answer::ok();
        }
        case kSetRf: {
            const std::uint8_t on = p.byte();
            if (!p.complete() || on > 1)
                return bad();
            ctx.field().setRf(on == 1);
            return Answer::ok();
        }
        case kSetTiming:
            return store(p, settings_.timing);
        case kSetUplink:
            return store(p, settings_.uplink);
        case kSetDownlink:
            return store(p, settings_.downlink);
        case kSetMemoryMap:
            return store(p, settings_.memoryMap);
        case kStayQuiet: {
            const Uid uid = p.uid();
            p.word(); // time value
            if (!p.complete())
                return bad();
            // Stay quiet is never answered on the air; the reader just sends it.
            ctx.field().transact(iso::request(iso::kFlagHighDataRate | iso::kFlagAddress, iso::kStayQuiet, &uid));
            return Answer::ok();
        }
        case kInventory:
            return inventory(p, ctx.field());
        case kGeneric:
            return transparent(p, ctx.field());
        case kCheckEas:
            return checkEas(p, ctx.field());
        default:
            break;
        }
        if (!isTagOperation(request.command))
            return Answer::error(kStatusUnknownCommand);
        if (auto op = tagOperation(request.command, p))
            return run(*op, ctx.field());
        return bad();
    }

private:
    // One high-level tag command as an ISO 15693 request.
    struct Operation {
        std::uint8_t isoCommand = 0;
        std::uint8_t parameter = 0; // for the record's byte 4
        Target target;
        Bytes params;               // after the UID on the air
        bool customEas = false;     // a custom command: also refused by chips without EAS
        enum class Shape { Plain, Read, Status, SystemInfo } shape = Shape::Plain;
    };

    static Answer bad() { return Answer::error(kStatusBadParameter); }

    // --- I/O ports --------------------------------------------------------------------------------------------
    std::optional<Answer> ioCommand(const zpx::Request& request)
    {
        const auto data = request.data;
        const bool set = request.command == kSetIoDirection || request.command == kSetIo;
        const bool get = request.command == kGetIoDirection || request.command == kGetIo;
        if (!set && !get)
            return std::nullopt;
        zpx::IoPort* port = data.empty() ? nullptr : reader_.port(data[0]);
        if (!port || data.size() != (set ? 2u : 1u))
            return bad();
        switch (request.command) {
        case kSetIoDirection:
            port->direction = data[1];
            return Answer::ok();
        case kSetIo:
            port->latch = data[1];
            return Answer::ok();
        case kGetIoDirection:
            return Answer::ok({port->direction});
        default:
            return Answer::ok({port->level()});
        }
    }

    Answer identification() const
    {
        Bytes data{hardware_, firmware_};
        data.insert(data.end(), model_.begin(), model_.end());
        return Answer::ok(std::move(data));
    }

    template <std::size_t N>
    static Answer store(Params& p, std::array<std::uint8_t, N>& into)
    {
        std::array<std::uint8_t, N> values{};
        for (auto& v : values)
            v = p.byte();
        if (!p.complete())
            return bad();
        into = values;
        return Answer::ok();
    }

    static bool isTagOperation(std::uint8_t command)
    {
        switch (command) {
        case kReadBlock:
        case kWriteBlock:
        case kLockBlock:
        case kBlockStatus:
        case kSystemInfo:
        case kSelect:
        case kResetToReady:
        case kWriteAfi:
        case kLockAfi:
        case kWriteDsfid:
        case kLockDsfid:
        case kProgramEas:
            return true;
        default:
            return false;
        }
    }

    // Options 1 to 3 of the write-like commands: the ISO option flag and the data rate.
    static std::uint8_t threeOptionFlags(std::uint8_t o1, std::uint8_t o2)
    {
        return flagIf(o1 & 1, iso::kFlagOption) | flagIf(o2 & 1, iso::kFlagHighDataRate);
    }

    // Parses a tag command's parameters; nothing when it is not one or is malformed.
    static std::optional<Operation> tagOperation(std::uint8_t command, Params& p)
    {
        Operation op;
        std::optional<Target> target;
        switch (command) {
        case kReadBlock: target = readBlockParams(p, op); break;
        case kWriteBlock:
        case kLockBlock:
        case kWriteAfi:
        case kWriteDsfid: target = writeParams(command, p, op); break;
        case kLockAfi:
        case kLockDsfid: target = lockIdentityParams(command, p, op); break;
        case kBlockStatus: target = blockStatusParams(p, op); break;
        case kSystemInfo:
        case kResetToReady: target = infoOrResetParams(command, p, op); break;
        case kSelect: target = selectParams(p, op); break;
        case kProgramEas: target = programEasParams(p, op); break;
        default: return std::nullopt;
        }
        if (!target || !p.complete())
            return std::nullopt;
        op.target = *target;
        return op;
    }

    // The parameter records of the tag commands, each into the operation;
    // they give the tag the request goes to, nothing when malformed.

    // [block][option][time][mode][UID].
    static std::optional<Target> readBlockParams(Params& p, Operation& op)
    {
        const std::uint8_t block = p.byte();
        const std::uint8_t option = p.byte();
        p.word();
        op = {iso::kReadSingleBlock, block, {}, {block}, false, Operation::Shape::Read};
        return p.target(iso::kFlagHighDataRate | flagIf(option & 1, iso::kFlagOption));
    }

    // [block, AFI or DSFID][option 1][option 2][option 3][time][mode][UID], then a
    // block write's value most significant byte first.
    static std::optional<Target> writeParams(std::uint8_t command, Params& p, Operation& op)
    {
        const std::uint8_t value = p.byte();
        const std::uint8_t o1 = p.byte();
        const std::uint8_t o2 = p.byte();
        p.byte();
        p.word();
        const std::optional<Target> target = p.target(threeOptionFlags(o1, o2));
        if (command == kWriteBlock) {
            // The host gives the value most significant first; the tag takes its own order.
            const auto data = p.rest();
            if (data.empty())
                return std::nullopt;
            op = {iso::kWriteSingleBlock, value, {}, {value}};
            op.params.insert(op.params.end(), data.rbegin(), data.rend());
        } else {
            const std::uint8_t code = command == kLockBlock  ? iso::kLockBlock
                                      : command == kWriteAfi ? iso::kWriteAfi
                                                             : iso::kWriteDsfid;
            op = {code, value, {}, {value}};
        }
        return target;
    }

    // [option 1][option 2][option 3][time][mode][UID].
    static std::optional<Target> lockIdentityParams(std::uint8_t command, Params& p, Operation& op)
    {
        const std::uint8_t o1 = p.byte();
        const std::uint8_t o2 = p.byte();
        p.byte();
        p.word();
        op.isoCommand = command == kLockAfi ? iso::kLockAfi : iso::kLockDsfid;
        return p.target(threeOptionFlags(o1, o2));
    }

    // [first block][count - 1][option][time][mode][UID].
    static std::optional<Target> blockStatusParams(Params& p, Operation& op)
    {
        const std::uint8_t first = p.byte();
        const std::uint8_t countLess1 = p.byte();
        const std::uint8_t option = p.byte();
        p.word();
        op = {iso::kGetBlockSecurityStatus, first, {}, {first, countLess1}, false, Operation::Shape::Status};
        return p.target(iso::kFlagHighDataRate | flagIf(option & 1, iso::kFlagOption));
    }

    // [option][time][mode][UID].
    static std::optional<Target> infoOrResetParams(std::uint8_t command, Params& p, Operation& op)
    {
        const std::uint8_t option = p.byte();
        p.word();
        op.isoCommand = command == kSystemInfo ? iso::kGetSystemInformation : iso::kResetToReady;
        op.shape = command == kSystemInfo ? Operation::Shape::SystemInfo : Operation::Shape::Plain;
        return p.target(iso::kFlagHighDataRate | flagIf(option & 1, iso::kFlagOption));
    }

    // [option][time][UID]: always addressed.
    static std::optional<Target> selectParams(Params& p, Operation& op)
    {
        const std::uint8_t option = p.byte();
        p.word();
        op.isoCommand = iso::kSelect;
        return Target{static_cast<std::uint8_t>(iso::kFlagHighDataRate | iso::kFlagAddress |
                                                flagIf(option & 1, iso::kFlagOption)),
                      p.uid()};
    }

    // [option][EAS action][time][mode][UID]: 1 sets the EAS bit, 0 resets it, 2 locks it.
    static std::optional<Target> programEasParams(Params& p, Operation& op)
    {
        const std::uint8_t option = p.byte();
        const std::uint8_t eas = p.byte();
        p.word();
        const std::optional<Target> target = p.target(iso::kFlagHighDataRate | flagIf(option & 1, iso::kFlagOption));
        if (eas > 2)
            return std::nullopt;
        op.isoCommand = eas == 1 ? iso::kSetEas : eas == 0 ? iso::kResetEas : iso::kLockEas;
        op.customEas = true;
        return target;
    }

    static Bytes airRequest(std::uint8_t isoCommand, const Target& target, std::span<const std::uint8_t> params)
    {
        return iso::request(target.flags, isoCommand, target.uid ? &*target.uid : nullptr, params);
    }

    // Runs a tag command and answers with its record.
    static Answer run(const Operation& op, Field& field)
    {
        const Field::Reply reply = field.transact(airRequest(op.isoCommand, op.target, op.params));
        if (reply.silent())
            return Answer::error(kStatusNoTag, record(kNoAnswer, op.isoCommand, 0, op.parameter));
        if (reply.collided())
            return Answer::error(kStatusSeveralTags, record(kCollision, op.isoCommand, 0, op.parameter));
        const Bytes& r = reply.bytes;
        if (r.empty())
            return Answer::error(kStatusNoTag, record(kNoAnswer, op.isoCommand, 0, op.parameter));
        if (r[0] & iso::kResponseError)
            return Answer::error(kStatusNoTag, record(kTagError, op.isoCommand, r[0], op.parameter,
                                                      std::span(r).subspan(1, std::min<std::size_t>(r.size() - 1, 1))));
        const auto body = std::span(r).subspan(1);
        Bytes payload;
        switch (op.shape) {
        case Operation::Shape::Plain:
            break;
        case Operation::Shape::Read: {
            // [security status] + block bytes: the value goes out most significant first.
            const bool withStatus = op.target.flags & iso::kFlagOption;
            const std::size_t head = withStatus && !body.empty() ? 1 : 0;
            payload.assign(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(head));
            payload.insert(payload.end(), body.rbegin(), body.rend() - static_cast<std::ptrdiff_t>(head));
            break;
        }
        case Operation::Shape::Status:
            payload.assign(body.rbegin(), body.rend()); // the last block first
            break;
        case Operation::Shape::SystemInfo:
            payload.assign(body.begin(), body.end());
            if (payload.size() >= 9)
                std::reverse(payload.begin() + 1, payload.begin() + 9); // the UID most significant first
            break;
        }
        return Answer::ok(record(kAnswered, op.isoCommand, r[0], op.parameter, payload));
    }

    // Inventory: [option 1][option 2][option 3][AFI flag][AFI][time high][time low][mask length][mask bytes].
    static Answer inventory(Params& p, Field& field)
    {
        const std::uint8_t o1 = p.byte();
        const std::uint8_t o2 = p.byte();
        p.byte();
        const std::uint8_t afiFlag = p.byte();
        const std::uint8_t afiValue = p.byte();
        p.word();
        const unsigned maskLength = p.byte();
        const auto maskBytes = p.take(maskLength == 0 ? 0 : (maskLength - 1) / 8 + 1);
        if (!p.complete())
            return bad();
        std::uint64_t mask = 0;
        for (std::size_t i = 0; i < maskBytes.size() && i < 8; ++i)
            mask |= std::uint64_t{maskBytes[i]} << (8 * i);
        const std::uint8_t flags = flagIf(o1 & 1, iso::kFlagHighDataRate) | flagIf(o2 & 1, iso::kFlagOneSlot);
        const std::optional<std::uint8_t> afi = afiFlag ? std::optional<std::uint8_t>(afiValue) : std::nullopt;
        Bytes data;
        for (const Field::Found& tag : field.inventory(flags, afi, maskLength, mask)) {
            const Bytes entry = record(kAnswered, iso::kInventory, 0x00, tag.dsfid, tag.uid);
            if (data.size() + entry.size() > kMaxAnswer)
                break; // as many as one answer holds
            data.insert(data.end(), entry.begin(), entry.end());
        }
        return Answer::ok(std::move(data));
    }

    // Transparent command: [option 1][option 2][option 3][time high][time low][answer length - 1][ISO request].
    static Answer transparent(Params& p, Field& field)
    {
        p.byte();
        p.byte();
        p.byte();
        p.word();
        const std::size_t expected = p.byte();
        const auto isoRequest = p.rest();
        if (!p.complete() || isoRequest.size() < 2)
            return bad();
        const std::uint8_t code = isoRequest[1];
        const Field::Reply reply = field.transact(isoRequest);
        if (reply.silent() || (reply.answered() && reply.bytes.empty()))
            return Answer::error(kStatusNoTag, record(kNoAnswer, code, 0, 0));
        if (reply.collided())
            return Answer::error(kStatusSeveralTags, record(kCollision, code, 0, 0));
        const Bytes& r = reply.bytes;
        auto body = std::span(r).subspan(1);
        body = body.first(std::min(body.size(), expected));
        return Answer::ok(record((r[0] & iso::kResponseError) ? kTagError : kAnswered, code, r[0], 0, body));
    }

    // EAS check: [option 1][option 2][option 3][time high][time low][mode][UID]; answers one byte, 1 when
    // the tag sounded the EAS alarm.
    static Answer checkEas(Params& p, Field& field)
    {
        const std::uint8_t o1 = p.byte();
        const std::uint8_t o2 = p.byte();
        p.byte();
        p.word();
        const auto target = p.target(flagIf(o2 & 1, iso::kFlagHighDataRate) | flagIf(o1 & 1, iso::kFlagOption));
        if (!target || !p.complete())
            return bad();
        const Field::Reply reply = field.transact(airRequest(iso::kEasAlarm, *target, {}));
        if (reply.collided())
            return Answer::error(kStatusSeveralTags);
        if (reply.answered() && !reply.bytes.empty() && (reply.bytes[0] & iso::kResponseError))
            return Answer::error(kStatusNoTag);
        return Answer::ok({static_cast<std::uint8_t>(reply.answered() ? 1 : 0)});
    }

    std::string model_;
    bool rfAtPowerUp_;
    std::uint8_t hardware_;
    std::uint8_t firmware_;
    Settings settings_;
    zpx::ReaderSettings reader_;
};

std::optional<std::uint8_t> byteOption(const PersonalityOptions& o, const std::string& key, std::uint8_t fallback)
{
    const auto it = o.extra.find(key);
    if (it == o.extra.end())
        return fallback;
    const std::string& text = it->second;
    int base = 10;
    std::size_t skip = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        skip = 2;
    }
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data() + skip, text.data() + text.size(), value, base);
    if (ec != std::errc{} || end != text.data() + text.size() || value > 255)
        return std::nullopt;
    return static_cast<std::uint8_t>(value);
}

std::unique_ptr<Personality> makeFeno(const PersonalityOptions& o)
{
    const std::string model = o.model.empty() ? "MK-A1" : o.model;
    if (model.size() > kMaxAnswer - 2 || (o.address && (*o.address < 0 || *o.address > 255)))
        return nullptr;
    bool rf = true;
    if (const auto it = o.extra.find("rf"); it != o.extra.end()) {
        if (it->second != "on" && it->second != "off")
            return nullptr;
        rf = it->second == "on";
    }
    const auto hardware = byteOption(o, "hardware", 0x01);
    const auto firmware = byteOption(o, "firmware", 0x21);
    if (!hardware || !firmware)
        return nullptr;
    for (const auto& [key, value] : o.extra) {
        if (key != "rf" && key != "hardware" && key != "firmware")
            return nullptr;
    }
    return std::make_unique<FenoReader>(model, static_cast<std::uint8_t>(o.address.value_or(0)), rf, *hardware,
                                        *firmware);
}

} // namespace
} // namespace sim

SIM_REGISTER_PERSONALITY(feno, "FENO readers (ZPX): high-level ISO 15693 commands, model MK-A1", 115200,
                         sim::makeFeno)
