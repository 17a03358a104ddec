// The simulated ORBA reader: a first-make reader (ZPX frames) that carries
// raw ISO/IEC 15693 requests between the host and the tags.
//
// Commands (command byte, request data -> answer data):
//   0x60 identify       none -> [hardware][firmware][model text]
//   0x0C RF on          none (or the RF control bytes of the further command
//                       set, which this reader accepts and ignores) -> none
//   0x0D RF off         none -> none
//   0x28 ISO carrier    [control][request ...] -> records (see below)
//   0x29 uplink         [bits] sets, none reads -> [bits]
//   0x2A timing         [A][B] sets, none reads -> [A][B]
//
// Carrier control byte: 0x01 write-alike (the reader keeps listening for the
// tag's programming time, and sends the end-of-frame pulse a tag with the
// option flag waits for; without it a write-alike command's answer comes too
// late and the record says "no answer", although the tag did the write),
// 0x02 raw (the request is complete from its flags byte on). Without 0x02 the
// request starts with the ISO command code and the reader makes the flags
// byte itself: its uplink bits 0 and 1 (flags 0x01, 0x02), control bits 4 to 6
// as flags 0x10, 0x20, 0x40, and the inventory flag for command 0x01.
//
// An inventory request (inventory flag and command 0x01) runs a complete
// anticollision from the request's mask on, 16 slots or one slot as the flags
// say; every other request is one exchange on the air. Each tag answer, or
// the lack of one, becomes a record: [record status][the tag's answer ...].
// Record status: 0x00 an answer, 0x01 no answer, 0x02 the EAS alarm sequence
// of an armed EAS chip, 0x03 tags answering at once with different bytes,
// 0x04 an answer too long for a record (cut to 254 bytes). An inventory gives
// one record per tag found (at most 64), or one "no answer" record when none
// answered. One record comes back as a plain answer, several as a block list.
//
// Reader-level commands:
//   0x06 board status   none -> [0x00][0x01 while the RF field is on]
//   0x07 I/O lines      [flags][outputs] or [flags][outputs][C][D] sets the
//                       four output lines from the high nibble of outputs (and
//                       keeps C & 0x0F and D), none only reads
//                       -> [input lines | 0x80 for flag A][output lines][C][D]
//                       (flags: 0x01 flag A, 0x02 flag B; inputs read low)
//   0x0A sleep          none -> none; the RF field goes off
//   0x0B version        none -> [hardware][firmware][2][0]
//   0x0F reset          none -> none; RF field, outputs and mode as at power-up
//   0x16 address        [0xFF][address] sets it (from the next request on),
//                       none -> [0xFF][address]
//   0x17 mode           [mode] (kept)
//
// Reader status byte: 0x00 done (whatever the tags said: that is in the
// records), 0x81 unknown command, 0x82 request data of the wrong length,
// 0x84 an ISO request while the RF field is off (nothing goes on the air).
//
// Options: model "MK-B1" (default), "MK-C1", "MK-B1-G1", "MK-G1" (any case;
// the text is answered as given, and any other text is answered too, for hosts
// that must reject an unknown model); reader address (default 0); extra keys
// rf=on|off (the field at power-up, default on), hardware=N and firmware=N
// (the two identification bytes; defaults by model), uplink=N (initial uplink
// bits, default 2). Numbers in decimal or with 0x in hexadecimal.
#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "sim/field.h"
#include "sim/iso15693.h"
#include "sim/personality.h"
#include "sim/tag.h"
#include "zpx/reader_settings.h"
#include "zpx/zpx_reader.h"

namespace sim::orba {

namespace {

using Bytes = std::vector<std::uint8_t>;

enum Command : std::uint8_t {
    kBoardStatus = 0x06,
    kChangeIo = 0x07,
    kSleep = 0x0A,
    kVersion = 0x0B,
    kReset = 0x0F,
    kAddress = 0x16,
    kMode = 0x17,
    kRfOn = 0x0C,
    kRfOff = 0x0D,
    kCarrier = 0x28,
    kUplink = 0x29,
    kTiming = 0x2A,
    kIdentify = 0x60,
};

enum Status : std::uint8_t {
    kOk = 0x00,
    kUnknownCommand = 0x81,
    kBadRequest = 0x82,
    kRfIsOff = 0x84,
};

enum Control : std::uint8_t {
    kControlWriteAlike = 0x01,
    kControlRaw = 0x02,
    kControlFlagBits = 0x70,
};

enum RecordStatus : std::uint8_t {
    kRecordAnswer = 0x00,
    kRecordNoAnswer = 0x01,
    kRecordEasAlarm = 0x02,
    kRecordCollision = 0x03,
    kRecordCut = 0x04,
};

constexpr std::size_t kMaxRecordBytes = 254;
constexpr std::size_t kMaxInventoryRecords = 64;

struct Model {
    std::string_view text;
    std::uint8_t hardware;
    std::uint8_t firmware;
};

// Identification bytes: hardware generation, then firmware release.
constexpr Model kModels[] = {
    {"MK-B1", 0x21, 0x14},
    {"MK-C1", 0x31, 0x12},
    {"MK-B1-G1", 0x22, 0x14},
    {"MK-G1", 0x41, 0x10},
};

bool sameText(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// A byte in decimal, or in hexadecimal after 0x.
std::optional<std::uint8_t> parseByte(std::string_view text)
{
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size() || value > 0xFF)
        return std::nullopt;
    return static_cast<std::uint8_t>(value);
}

Bytes record(std::uint8_t status, std::span<const std::uint8_t> answer = {})
{
    if (answer.size() + 1 > kMaxRecordBytes) {
        status = kRecordCut;
        answer = answer.first(kMaxRecordBytes - 1);
    }
    Bytes out{status};
    out.insert(out.end(), answer.begin(), answer.end());
    return out;
}

bool isEasAlarm(const Bytes& answer)
{
    const auto sequence = Tag::easSequence();
    return answer.size() == 1 + sequence.size() && answer[0] == 0x00 &&
           std::equal(sequence.begin(), sequence.end(), answer.begin() + 1);
}

// An inventory request as the air carries it, taken apart.
struct InventoryRequest {
    std::uint8_t flags = 0; // without the inventory and AFI flags
    std::optional<std::uint8_t> afi;
    unsigned maskLength = 0;
    std::uint64_t mask = 0;
};

// Nothing when the request is not a well-formed inventory request (the tags
// would not answer it either).
std::optional<InventoryRequest> parseInventory(std::span<const std::uint8_t> request)
{
    if (request.size() < 3 || !(request[0] & iso::kFlagInventory) || request[1] != iso::kInventory)
        return std::nullopt;
    InventoryRequest r;
    r.flags = static_cast<std::uint8_t>(request[0] & ~(iso::kFlagInventory | iso::kFlagAfi));
    std::size_t pos = 2;
    if (request[0] & iso::kFlagAfi)
        r.afi = request[pos++];
    if (pos >= request.size())
        return std::nullopt;
    r.maskLength = request[pos++];
    const unsigned longest = (r.flags & iso::kFlagOneSlot) ? 64 : 60;
    if (r.maskLength > longest || request.size() != pos + (r.maskLength + 7) / 8)
        return std::nullopt;
    for (std::size_t i = pos; i < request.size(); ++i)
        r.mask |= std::uint64_t{request[i]} << (8 * (i - pos));
    return r;
}

class OrbaReader final : public zpx::ZpxReader {
public:
    struct Settings {
        std::string model = std::string(kModels[0].text);
        std::uint8_t address = 0;
        bool rfAtPowerUp = true;
        std::uint8_t hardware = kModels[0].hardware;
        std::uint8_t firmware = kModels[0].firmware;
        std::uint8_t uplink = 0x02;
    };

    explicit OrbaReader(const Settings& settings)
        : ZpxReader(settings.address), model_(settings.model), rfAtPowerUp_(settings.rfAtPowerUp),
          hardware_(settings.hardware), firmware_(settings.firmware), uplink_(settings.uplink)
    {
    }

    void powerUp(Context& ctx) override
    {
        ctx.field().setRf(rfAtPowerUp_);
        reader_.ports = {};
        reader_.ports[0].direction = kOutputLines;
        reader_.mode = 0;
        ioFlags_ = 0;
        ioExtra_ = {};
    }

protected:
    std::optional<zpx::Answer> execute(const zpx::Request& request, Context& ctx) override
    {
        const auto data = request.data;
        switch (request.command) {
        case kIdentify: {
            if (!data.empty())
                return zpx::Answer::error(kBadRequest);
            Bytes out{hardware_, firmware_};
            out.insert(out.end(), model_.begin(), model_.end());
            return zpx::Answer::ok(std::move(out));
        }
        case kRfOn:
        case kRfOff:
            if (request.command == kRfOff && !data.empty())
                return zpx::Answer::error(kBadRequest);
            ctx.field().setRf(request.command == kRfOn);
            return zpx::Answer::ok();
        case kCarrier:
            return carry(data, ctx);
        case kUplink:
            if (data.size() > 1)
                return zpx::Answer::error(kBadRequest);
            if (data.size() == 1)
                uplink_ = data[0] & 0x07;
            return zpx::Answer::ok(data.empty() ? Bytes{uplink_} : Bytes{});
        case kTiming:
            if (!data.empty() && data.size() != 2)
                return zpx::Answer::error(kBadRequest);
            if (data.size() == 2)
                timing_ = {data[0], data[1]};
            return zpx::Answer::ok(data.empty() ? Bytes{timing_[0], timing_[1]} : Bytes{});
        default:
            return readerCommand(request, ctx);
        }
    }

private:
    // --- Reader-level commands ------------------------------------------------------------------------------------

    // Port 0: four input lines (low nibble) and four output lines (high nibble).
    static constexpr std::uint8_t kOutputLines = 0xF0;

    zpx::Answer readerCommand(const zpx::Request& request, Context& ctx)
    {
        const auto data = request.data;
        switch (request.command) {
        case kBoardStatus:
            if (!data.empty())
                return zpx::Answer::error(kBadRequest);
            return zpx::Answer::ok({0x00, static_cast<std::uint8_t>(ctx.field().rfOn() ? 0x01 : 0x00)});
        case kChangeIo:
            return changeIo(data);
        case kSleep:
        case kReset:
            if (!data.empty())
                return zpx::Answer::error(kBadRequest);
            if (request.command == kSleep)
                ctx.field().setRf(false);
            else
                powerUp(ctx);
            return zpx::Answer::ok();
        case kVersion:
            return data.empty() ? zpx::Answer::ok({hardware_, firmware_, 0x02, 0x00}) : zpx::Answer::error(kBadRequest);
        case kAddress:
            if (data.empty())
                return zpx::Answer::ok({0xFF, address()});
            if (data.size() != 2 || data[0] != 0xFF)
                return zpx::Answer::error(kBadRequest);
            setAddress(data[1]);
            return zpx::Answer::ok();
        case kMode:
            if (data.size() != 1)
                return zpx::Answer::error(kBadRequest);
            reader_.mode = data[0];
            return zpx::Answer::ok();
        default:
            return zpx::Answer::error(kUnknownCommand);
        }
    }

    zpx::Answer changeIo(std::span<const std::uint8_t> data)
    {
        zpx::IoPort& port = reader_.ports[0];
        if (!data.empty() && data.size() != 2 && data.size() != 4)
            return zpx::Answer::error(kBadRequest);
        if (!data.empty()) {
            ioFlags_ = data[0];
            port.latch = data[1] & kOutputLines;
        }
        if (data.size() == 4)
            ioExtra_ = {static_cast<std::uint8_t>(data[2] & 0x0F), data[3]};
        const std::uint8_t lines = port.level();
        return zpx::Answer::ok({static_cast<std::uint8_t>((lines & 0x0F) | ((ioFlags_ & 0x01) ? 0x80 : 0x00)),
                                static_cast<std::uint8_t>(lines >> 4), ioExtra_[0], ioExtra_[1]});
    }

    std::optional<zpx::Answer> carry(std::span<const std::uint8_t> data, Context& ctx)
    {
        if (data.empty())
            return zpx::Answer::error(kBadRequest);
        const std::uint8_t control = data[0];
        const auto body = data.subspan(1);
        Bytes request;
        if (control & kControlRaw) {
            if (body.size() < 2)
                return zpx::Answer::error(kBadRequest);
            request.assign(body.begin(), body.end());
        } else {
            if (body.empty())
                return zpx::Answer::error(kBadRequest);
            auto flags = static_cast<std::uint8_t>((uplink_ & 0x03) | (control & kControlFlagBits));
            if (body[0] == iso::kInventory)
                flags |= iso::kFlagInventory;
            request.push_back(flags);
            request.insert(request.end(), body.begin(), body.end());
        }
        Field& field = ctx.field();
        if (!field.rfOn())
            return zpx::Answer::error(kRfIsOff);

        std::vector<Bytes> records;
        if (const auto inventory = parseInventory(request))
            records = anticollision(field, *inventory);
        else
            records.push_back(exchange(field, request, control & kControlWriteAlike));
        if (records.size() == 1)
            return zpx::Answer::ok(std::move(records.front()));
        return zpx::Answer::blocks(kOk, records);
    }

    static Bytes exchange(Field& field, std::span<const std::uint8_t> request, bool writeAlike)
    {
        const Field::Reply reply = field.transact(request);
        // A tag answers a write-alike command only after programming its
        // memory; a reader that was not told to wait has stopped listening.
        if (iso::isWriteAlike(request[1]) && !writeAlike)
            return record(kRecordNoAnswer);
        if (reply.collided())
            return record(kRecordCollision);
        if (reply.silent())
            return record(kRecordNoAnswer);
        return record(isEasAlarm(reply.bytes) ? kRecordEasAlarm : kRecordAnswer, reply.bytes);
    }

    static std::vector<Bytes> anticollision(Field& field, const InventoryRequest& request)
    {
        std::vector<Bytes> records;
        for (const Field::Found& tag : field.inventory(request.flags, request.afi, request.maskLength, request.mask)) {
            if (records.size() == kMaxInventoryRecords)
                break;
            Bytes answer{0x00, tag.dsfid};
            const auto air = uidToAir(tag.uid);
            answer.insert(answer.end(), air.begin(), air.end());
            records.push_back(record(kRecordAnswer, answer));
        }
        if (records.empty())
            records.push_back(record(kRecordNoAnswer));
        return records;
    }

    const std::string model_;
    const bool rfAtPowerUp_;
    const std::uint8_t hardware_;
    const std::uint8_t firmware_;
    std::uint8_t uplink_;
    std::array<std::uint8_t, 2> timing_{0x10, 0x08};
    zpx::ReaderSettings reader_;
    std::uint8_t ioFlags_ = 0;
    std::array<std::uint8_t, 2> ioExtra_{};
};

std::unique_ptr<Personality> makeOrba(const PersonalityOptions& o)
{
    OrbaReader::Settings settings;
    if (!o.model.empty())
        settings.model = o.model;
    for (const Model& m : kModels) {
        if (sameText(m.text, settings.model)) {
            settings.hardware = m.hardware;
            settings.firmware = m.firmware;
        }
    }
    // The text must fit one answer after the two identification bytes.
    if (settings.model.size() > 252 || (o.address && (*o.address < 0 || *o.address > 255)))
        return nullptr;
    settings.address = static_cast<std::uint8_t>(o.address.value_or(0));
    for (const auto& [key, value] : o.extra) {
        if (key == "rf") {
            if (value != "on" && value != "off")
                return nullptr;
            settings.rfAtPowerUp = value == "on";
            continue;
        }
        std::uint8_t* target = key == "hardware" ? &settings.hardware
                               : key == "firmware" ? &settings.firmware
                               : key == "uplink"   ? &settings.uplink
                                                   : nullptr;
        const auto number = parseByte(value);
        if (!target || !number)
            return nullptr;
        *target = *number;
    }
    settings.uplink &= 0x07;
    return std::make_unique<OrbaReader>(settings);
}

} // namespace

} // namespace sim::orba

SIM_REGISTER_PERSONALITY(orba, "ORBA readers (ZPX): ISO 15693 carrier, models MK-B1, MK-C1, MK-B1-G1, MK-G1", 115200,
                         sim::orba::makeOrba)
