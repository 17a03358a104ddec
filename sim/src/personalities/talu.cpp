// The TALU family of first-make readers (models "MK-D1" and "MK-E1") in ZPX
// frames. A TALU reader reaches ISO/IEC 15693 tags two ways: it runs the
// anticollision itself (automatic inventory), or it carries a raw air request
// built by the host to the tags and hands their response back (ISO carrier).
//
// Commands (request data -> answer):
//   0x0C / 0x0D  RF field on / off                -> status only
//   0x20  automatic inventory
//         [control][parameter][AFI if control 0x10]
//         [first block][blocks - 1]               (CHM form, control 0x20)
//         -> a block list, one record per tag found:
//            ISO form: the tag's inventory response [flags][DSFID][UID, least
//            significant byte first];
//            CHM form: [flags][UID if control 0x40][block bytes], the response
//            an inventory-read chip gives; a tag refusing the read gives its
//            error response.
//         Control: 0x80 flag A (taken, no effect here), 0x40 option (CHM: UID
//         in the records), 0x20 CHM form, 0x10 AFI given, 0x04 high data rate,
//         0x02 / 0x01 the host's uplink settings (taken, no effect here). The
//         parameter byte is taken and has no effect here.
//   0x21  ISO carrier
//         [control][air request][extra byte]
//         The extra byte follows the request when control has 0x08 and the
//         request is a non-inventory request with the option flag, or when
//         control lacks 0x08 and the request is an inventory whose length says
//         one more byte follows; the reader sets it aside (the host's wait and
//         answer-length hints).
//         Control 0x04: wait for the tags' response. Without it the request is
//         only sent (stay quiet) and the answer is status 0 with no data.
//         -> single request: the tag's response as data; status 0, or 0xC4
//            when no tag answered or the tag answered with its error flag
//            (the error response then comes as data), 0xCC on a collision.
//         -> inventory request: a block list of the responses of every slot
//            that one tag answered (one slot with the one-slot flag, else 16);
//            slots with a collision give no record.
//   0x60  identification -> [identification byte 1][byte 2][model text]
//   0x61  features       -> [byte 0][byte 1][feature bits, active low: bit 4
//                           clear = ISO 15693, bit 7 clear = CHM custom commands]
//   0x06  line speed      [speed code] (see zpx/reader_settings.h), from
//                         when the answer has gone out
//   0x07  I/O lines       [flag] sets the output line, none reads
//                         -> [bit 0: the output line, bit 1: the input line (low)]
//   0x0F  reset           RF field and output line as at power-up
//   0x16  address         [address] sets it (from the next request on),
//                         none -> [address]
// Any other command: status 0x81. Data that does not fit the command: 0x82.
//
// A block list never grows beyond 2048 bytes, the host's answer area: an
// inventory stops taking records before that.
//
// Options: model "MK-D1" (default) or "MK-E1"; address (default 0); extra
// keys features=HH (the feature bits byte) and rf=on|off (the RF field at
// power-up, default off).
#include <algorithm>
#include <charconv>
#include <memory>
#include <string>
#include <string_view>

#include "sim/field.h"
#include "sim/iso15693.h"
#include "sim/personality.h"
#include "zpx/reader_settings.h"
#include "zpx/zpx_reader.h"

namespace sim::talu {

namespace {

enum Command : std::uint8_t {
    kSetBaudrate = 0x06,
    kIo = 0x07,
    kReset = 0x0F,
    kAddress = 0x16,
    kRfOn = 0x0C,
    kRfOff = 0x0D,
    kAutoInventory = 0x20,
    kCarrier = 0x21,
    kIdentify = 0x60,
    kFeatures = 0x61,
};

enum Status : std::uint8_t {
    kOk = 0x00,
    kUnknownCommand = 0x81,
    kBadData = 0x82,
    kNoTag = 0xC4, // no tag answered, or the tag refused the request
    kCollision = 0xCC,
};

// Carrier control byte.
constexpr std::uint8_t kCarrierWaitAnswer = 0x04;
constexpr std::uint8_t kCarrierWriteAlike = 0x08;

// Automatic inventory control byte.
constexpr std::uint8_t kAutoAfi = 0x10;
constexpr std::uint8_t kAutoChm = 0x20;
constexpr std::uint8_t kAutoOption = 0x40;
constexpr std::uint8_t kAutoHighRate = 0x04;

// CHM inventory-read commands (manufacturer code 0x04).
constexpr std::uint8_t kInventoryRead = 0xA0;
constexpr std::uint8_t kFastInventoryRead = 0xA1;

constexpr std::size_t kMaxBlockList = 2048;

struct Model {
    std::string_view text;
    std::uint8_t ident1;  // hardware revision
    std::uint8_t ident2;  // firmware version
    std::uint8_t feature0;
    std::uint8_t feature1;
};

constexpr Model kModels[] = {
    {"MK-D1", 0x01, 0x32, 0x02, 0x10},
    {"MK-E1", 0x02, 0x15, 0x02, 0x11},
};

// ISO 15693 and CHM inventory features offered: bits 4 and 7 clear.
constexpr std::uint8_t kDefaultFeatures = 0x6F;

using Bytes = std::vector<std::uint8_t>;

// Length of an inventory air request (ISO inventory or CHM inventory read),
// read from its own fields; nothing when it is too short to tell.
std::optional<std::size_t> inventoryRequestLength(std::span<const std::uint8_t> request)
{
    const std::uint8_t flags = request[0];
    const std::uint8_t code = request[1];
    std::size_t pos = 2;
    const bool chm = code == kInventoryRead || code == kFastInventoryRead;
    if (chm)
        ++pos; // manufacturer code
    if (flags & iso::kFlagAfi)
        ++pos;
    if (request.size() <= pos)
        return std::nullopt;
    const std::size_t maskBytes = (std::size_t{request[pos]} + 7) / 8;
    pos += 1 + maskBytes + (chm ? 2 : 0);
    return pos;
}

class TaluReader final : public zpx::ZpxReader {
public:
    TaluReader(const Model& model, std::uint8_t address, std::uint8_t features, bool rfAtPowerUp)
        : ZpxReader(address), model_(model), features_(features), rfAtPowerUp_(rfAtPowerUp)
    {
    }

    void powerUp(Context& ctx) override
    {
        ctx.field().setRf(rfAtPowerUp_);
        reader_.ports = {};
        reader_.ports[0].direction = kOutputLine;
    }

protected:
    std::optional<zpx::Answer> execute(const zpx::Request& request, Context& ctx) override
    {
        switch (request.command) {
        case kRfOn:
        case kRfOff:
            ctx.field().setRf(request.command == kRfOn);
            return zpx::Answer::ok();
        case kAutoInventory:
            return autoInventory(request.data, ctx);
        case kCarrier:
            return carrier(request.data, ctx);
        case kIdentify: {
            Bytes data{model_.ident1, model_.ident2};
            data.insert(data.end(), model_.text.begin(), model_.text.end());
            return zpx::Answer::ok(std::move(data));
        }
        case kFeatures:
            return zpx::Answer::ok({model_.feature0, model_.feature1, features_});
        default:
            return readerCommand(request, ctx);
        }
    }

private:
    // --- Reader-level commands ------------------------------------------------------------------------------------

    // Port 0: line 0 an output, line 1 an input.
    static constexpr std::uint8_t kOutputLine = 0x01;

    zpx::Answer readerCommand(const zpx::Request& request, Context& ctx)
    {
        const auto data = request.data;
        zpx::IoPort& port = reader_.ports[0];
        switch (request.command) {
        case kSetBaudrate: {
            const auto baud = data.size() == 1 ? zpx::baudFromCode(data[0]) : std::nullopt;
            if (!baud)
                return zpx::Answer::error(kBadData);
            ctx.setBaud(*baud);
            return zpx::Answer::ok();
        }
        case kIo:
            if (data.size() > 1)
                return zpx::Answer::error(kBadData);
            if (data.empty())
                return zpx::Answer::ok({static_cast<std::uint8_t>(port.level() & 0x03)});
            port.latch = data[0] != 0 ? kOutputLine : 0;
            return zpx::Answer::ok();
        case kReset:
            if (!data.empty())
                return zpx::Answer::error(kBadData);
            powerUp(ctx);
            return zpx::Answer::ok();
        case kAddress:
            if (data.size() > 1)
                return zpx::Answer::error(kBadData);
            if (data.empty())
                return zpx::Answer::ok({address()});
            setAddress(data[0]);
            return zpx::Answer::ok();
        default:
            return zpx::Answer::error(kUnknownCommand);
        }
    }

    // Adds records to a block list while it stays within the host's answer area.
    struct Records {
        std::vector<Bytes> list;
        std::size_t size = 1; // the end byte
        bool add(Bytes record)
        {
            if (record.size() > 254 || size + 1 + record.size() > kMaxBlockList)
                return false;
            size += 1 + record.size();
            list.push_back(std::move(record));
            return true;
        }
    };

    std::optional<zpx::Answer> autoInventory(std::span<const std::uint8_t> data, Context& ctx)
    {
        if (data.empty())
            return zpx::Answer::error(kBadData);
        const std::uint8_t control = data[0];
        const bool afiGiven = control & kAutoAfi;
        const bool chm = control & kAutoChm;
        if (data.size() != 2u + (afiGiven ? 1u : 0u) + (chm ? 2u : 0u))
            return zpx::Answer::error(kBadData);
        std::optional<std::uint8_t> afi;
        if (afiGiven)
            afi = data[2];
        const std::uint8_t airFlags = (control & kAutoHighRate) ? iso::kFlagHighDataRate : 0;

        Field& field = ctx.field();
        const auto found = field.inventory(airFlags, afi);
        Records records;
        for (const Field::Found& tag : found) {
            const auto air = uidToAir(tag.uid);
            Bytes record;
            if (!chm) {
                record = {0x00, tag.dsfid};
                record.insert(record.end(), air.begin(), air.end());
            } else {
                const std::uint8_t first = data[data.size() - 2];
                const std::uint8_t more = data[data.size() - 1];
                const Bytes read = iso::request(airFlags | iso::kFlagAddress, iso::kReadMultipleBlocks, &tag.uid,
                                                Bytes{first, more});
                const Field::Reply reply = field.transact(read);
                if (!reply.answered())
                    continue; // the tag went away
                if (reply.bytes.empty() || (reply.bytes[0] & iso::kResponseError)) {
                    record = reply.bytes;
                } else {
                    record.push_back(reply.bytes[0]);
                    if (control & kAutoOption)
                        record.insert(record.end(), air.begin(), air.end());
                    record.insert(record.end(), reply.bytes.begin() + 1, reply.bytes.end());
                }
            }
            if (!records.add(std::move(record))) {
                ctx.log("automatic inventory: answer area full, further tags left out");
                break;
            }
        }
        return zpx::Answer::blocks(kOk, records.list);
    }

    std::optional<zpx::Answer> carrier(std::span<const std::uint8_t> data, Context& ctx)
    {
        if (data.size() < 3)
            return zpx::Answer::error(kBadData);
        const std::uint8_t control = data[0];
        auto request = data.subspan(1);
        const std::uint8_t flags = request[0];
        const bool inventory = flags & iso::kFlagInventory;

        // Set the extra byte aside.
        if (control & kCarrierWriteAlike) {
            if (!inventory && (flags & iso::kFlagOption))
                request = request.first(request.size() - 1);
        } else if (inventory) {
            const auto length = inventoryRequestLength(request);
            if (length && request.size() == *length + 1)
                request = request.first(*length);
        }
        if (request.size() < 2)
            return zpx::Answer::error(kBadData);

        Field& field = ctx.field();
        if (!(control & kCarrierWaitAnswer)) {
            field.transact(request);
            return zpx::Answer::ok();
        }
        if (inventory)
            return carrierInventory(request, field);

        const Field::Reply reply = field.transact(request);
        if (reply.collided())
            return zpx::Answer::error(kCollision);
        if (!reply.answered())
            return zpx::Answer::error(kNoTag);
        if (reply.bytes.empty() || (reply.bytes[0] & iso::kResponseError))
            return zpx::Answer::error(kNoTag, reply.bytes);
        return zpx::Answer::ok(reply.bytes);
    }

    zpx::Answer carrierInventory(std::span<const std::uint8_t> request, Field& field)
    {
        const int slots = (request[0] & iso::kFlagOneSlot) ? 1 : 16;
        Records records;
        for (int slot = 0; slot < slots; ++slot) {
            const Field::Reply reply = slot == 0 ? field.transact(request) : field.transact({});
            if (reply.answered())
                records.add(reply.bytes);
        }
        return zpx::Answer::blocks(kOk, records.list);
    }

    const Model& model_;
    const std::uint8_t features_;
    const bool rfAtPowerUp_;
    zpx::ReaderSettings reader_;
};

std::optional<std::uint8_t> hexByte(std::string_view text)
{
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ec != std::errc{} || end != text.data() + text.size() || text.empty() || value > 0xFF)
        return std::nullopt;
    return static_cast<std::uint8_t>(value);
}

std::unique_ptr<Personality> makeTalu(const PersonalityOptions& options)
{
    const std::string_view wanted = options.model.empty() ? kModels[0].text : std::string_view(options.model);
    const auto model = std::find_if(std::begin(kModels), std::end(kModels),
                                    [&](const Model& m) { return m.text == wanted; });
    if (model == std::end(kModels))
        return nullptr;
    if (options.address && (*options.address < 0 || *options.address > 0xFF))
        return nullptr;
    std::uint8_t features = kDefaultFeatures;
    bool rf = false;
    for (const auto& [key, value] : options.extra) {
        if (key == "features") {
            const auto byte = hexByte(value);
            if (!byte)
                return nullptr;
            features = *byte;
        } else if (key == "rf" && (value == "on" || value == "off")) {
            rf = value == "on";
        } else {
            return nullptr;
        }
    }
    return std::make_unique<TaluReader>(*model, static_cast<std::uint8_t>(options.address.value_or(0)), features, rf);
}

} // namespace

} // namespace sim::talu

SIM_REGISTER_PERSONALITY(talu, "TALU readers \"MK-D1\", \"MK-E1\" (ZPX): automatic inventory and ISO 15693 carrier",
                         115200, sim::talu::makeTalu)
