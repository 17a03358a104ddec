// The desk reader of the second make ("dalrix" family), at 19200 baud 8N1.
//
// Frames, both directions (Len counts the bytes after it, CRC included):
//   request  Len | address | command | state | [UID] | data... | CRC lo | CRC hi
//   answer   Len | address | status  | [error code when status 0x0F] | data... | CRC lo | CRC hi
// CRC-16/MCRF4XX (reflected 0x1021, initial 0xFFFF, no final exclusive-or)
// over every byte from Len to the last data byte. The reader takes requests
// for its own address and for 0xFF (any reader), and always answers with its
// own address; requests with a wrong CRC or for another address go
// unanswered, as on a shared RS-485 line.
//
// The state byte says what kind of command it is: 0xF0 reader commands,
// 0xE0 transparent commands, anything else an ISO 15693 tag command whose
// state is the request mode:
//   0, 4, 8, 12, 0xA0, 0xA8   addressed: the tag's UID follows the state
//   bit 1 set (2, 6, ...)     the selected tag (select flag on the air)
//   other values              whichever tag answers (non-addressed)
//   bit 3 (8, 12, ...)        the option flag on the air for writes and locks
// A host without a UID to give leaves it out even in the addressed states;
// the reader tells by the length (the UID makes a request 8 bytes longer
// than the command's shortest parameters) and sends such a request
// non-addressed. Block reads always ask the tag for the block security status.
//
// Byte order: block bytes travel in the tag's own order (tag byte 0 first)
// both ways; UIDs travel most significant byte first both ways (inventory
// entries are DSFID + UID, requests carry the UID so, and the reader reverses
// it onto the air, least significant byte first).
//
// Status bytes of this reader:
//   0x00  success
//   0x01  inventory finished: the closing frame of a streamed inventory
//   0x0B  no tag answered (also: the field is off, or the tags lie on
//         another antenna than the active one)
//   0x0C  several tags answered differently (collision)
//   0x0F  the tag answered with an error; its ISO 15693 error code follows
//   0xFE  unknown command code or state byte
//   0xFF  parameter error: data of the wrong length or a value out of range
//
// Reader commands (state 0xF0): 00 reader information (version 2 bytes,
// reader type 0x20, protocols 0x01 = ISO 15693, antenna ports 4, largest
// answer data 00 FB, scan time), 01/02 RF off/on, 03 bus address (0 to
// 0xFE; the answer already comes from the new address), 04 inventory scan
// time (3 to 255, in 100 ms), 05 general output, 06 general input (set with
// the "input" option), 07 relay, 08/09 active antenna (1 to 4; the tags lie
// on the antenna of the "antenna" option, 1 by default), 0A/0B scan-mode
// parameters (11 bytes, stored and reported; this reader does not scan on
// its own), 0C/0D access time (one byte, shared with the second antenna
// setting), 0E/0F receive channel, 70/71 parse mode, 80/90 user-defined
// block length. Settings persist until the reader is re-created.
//
// Inventory (command 01, the state byte is the type): types 0 and 1 answer
// the first tag found (status 0x0B when none); types 2, 3, 6 and 7 stream one
// frame per tag (status 0, DSFID + UID) and then a closing frame with status
// 0x01, the frames spread over the air time the anticollision took. Odd
// types carry an AFI byte. Types 6 and 7 search with one-slot rounds, the
// others with 16-slot rounds.
//
// Transparent commands (state 0xE0) put the host's bytes on the air as they
// are (flags, command, [manufacturer code], [UID least significant first],
// parameters; the reader adds the air CRC) and hand back the tag's response:
// its flags byte and data (status 0), or status 0x0F with the error code of
// an error response, or 0x0B when the reader heard nothing in time.
//   02 read      data: P, request. P is the longest response the reader
//                takes, in bytes on the air with the CRC (0x23 = 35: a flags
//                byte, the 32-byte EAS alarm sequence and the CRC). The
//                reader listens for the answer to start within 1 ms, too
//                short for a tag programming its memory.
//   03 write     data: W1 W0 0 0, P, request. W1 W0 (high byte first) is how
//                long the reader listens, in 100 us (00 44: 6.8 ms, enough
//                for the tag's programming time); a tag answering later is
//                not heard, though it has done the work.
//   04 custom    data: W1 W0, P, request: as write.
//   A response longer than P is refused with 0xFF.
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
#include "sim/iso15693.h"
#include "sim/personality.h"

namespace sim::dalrix {

namespace {

using Bytes = std::vector<std::uint8_t>;
using ByteSpan = std::span<const std::uint8_t>;

constexpr int kBaud = 19200;
constexpr std::uint8_t kAnyReader = 0xFF;
constexpr std::uint8_t kStateReader = 0xF0;
constexpr std::uint8_t kStateTransparent = 0xE0;
constexpr std::size_t kMinRequest = 6; // Len, address, command, state, CRC
constexpr std::size_t kMaxAnswerData = 251;

// Reader commands (state 0xF0) besides the one-byte settings below.
enum ReaderCommand : std::uint8_t {
    kReaderInformation = 0x00,
    kRfOff = 0x01,
    kRfOn = 0x02,
    kWriteAddress = 0x03,
    kWriteScanTime = 0x04,
    kSetAntenna = 0x08,
    kGetAntenna = 0x09,
    kSetScanMode = 0x0A,
    kGetScanMode = 0x0B,
};

// Transparent commands (state 0xE0).
enum TransparentCommand : std::uint8_t {
    kTransparentRead = 0x02,
    kTransparentWrite = 0x03,
    kTransparentCustom = 0x04,
};

enum Status : std::uint8_t {
    kOk = 0x00,
    kInventoryDone = 0x01,
    kNoTag = 0x0B,
    kCollision = 0x0C,
    kTagError = 0x0F,
    kUnknownCommand = 0xFE,
    kBadParameter = 0xFF,
};

std::uint16_t crc16(ByteSpan bytes)
{
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t b : bytes) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408) : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

bool crcOk(ByteSpan frame)
{
    const std::uint16_t crc = crc16(frame.first(frame.size() - 2));
    return frame[frame.size() - 2] == (crc & 0xFF) && frame.back() == (crc >> 8);
}

// Whether a tag command in this state carries the tag's UID.
bool carriesUid(std::uint8_t state)
{
    switch (state) {
    case 0x00:
    case 0x04:
    case 0x08:
    case 0x0C:
    case 0xA0:
    case 0xA8:
        return true;
    default:
        return false;
    }
}

struct Answer {
    std::uint8_t status = kOk;
    Bytes data;
    std::uint8_t errorCode = 0; // sent when status is 0x0F

    static Answer ok(Bytes data = {}) { return {kOk, std::move(data), 0}; }
    static Answer fail(std::uint8_t status) { return {status, {}, 0}; }
};

Bytes answerFrame(std::uint8_t address, const Answer& answer)
{
    Bytes frame{0, address, answer.status};
    if (answer.status == kTagError)
        frame.push_back(answer.errorCode);
    frame.insert(frame.end(), answer.data.begin(), answer.data.end());
    frame[0] = static_cast<std::uint8_t>(frame.size() + 1);
    const std::uint16_t crc = crc16(frame);
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return frame;
}

// An inventory entry: the DSFID, then the UID most significant byte first.
Bytes entry(const Field::Found& tag)
{
    Bytes out(1 + tag.uid.size());
    out[0] = tag.dsfid;
    std::copy(tag.uid.begin(), tag.uid.end(), out.begin() + 1);
    return out;
}

// What the reader makes of the air's reply to a tag request: the tag's data
// after its flags byte (status 0), or why there is none.
Answer fromAir(const Field::Reply& reply)
{
    if (reply.silent())
        return Answer::fail(kNoTag);
    if (reply.collided())
        return Answer::fail(kCollision);
    const Bytes& bytes = reply.bytes;
    if (bytes.empty())
        return Answer::fail(kNoTag);
    if (bytes[0] & iso::kResponseError)
        return {kTagError, {}, bytes.size() > 1 ? bytes[1] : std::uint8_t{iso::kErrUnknown}};
    return Answer::ok(Bytes(bytes.begin() + 1, bytes.end()));
}

// The one-byte settings a host sets and reads back with a pair of reader
// commands (or only sets, or only reads).
struct Settings {
    std::uint8_t output = 0;
    std::uint8_t input = 0;
    std::uint8_t relay = 0;
    std::uint8_t accessTime = 0;
    std::uint8_t channel = 0;
    std::uint8_t parseMode = 0;
    std::uint8_t blockLength = 4;
};

constexpr int kNoCode = -1;

struct SettingCommand {
    int set;
    int get;
    std::uint8_t Settings::*value;
    const char* name;
};

constexpr SettingCommand kSettingCommands[] = {
    {0x05, kNoCode, &Settings::output, "general output"},
    {kNoCode, 0x06, &Settings::input, "general input"},
    {0x07, kNoCode, &Settings::relay, "relay"},
    {0x0C, 0x0D, &Settings::accessTime, "access time"},
    {0x0E, 0x0F, &Settings::channel, "receive channel"},
    {0x70, 0x71, &Settings::parseMode, "parse mode"},
    {0x80, 0x90, &Settings::blockLength, "user-defined block length"},
};

// ISO 15693 tag commands: how many parameter bytes follow the UID (or the
// state byte) in a request.
struct TagCommand {
    std::uint8_t code;
    std::size_t minParams;
    std::size_t maxParams;
};

constexpr TagCommand kTagCommands[] = {
    {iso::kStayQuiet, 0, 0},
    {iso::kReadSingleBlock, 1, 1},
    {iso::kWriteSingleBlock, 2, 250},
    {iso::kLockBlock, 1, 1},
    {iso::kReadMultipleBlocks, 2, 2}, // first block, number of blocks
    {iso::kSelect, 0, 0},
    {iso::kResetToReady, 0, 0},
    {iso::kWriteAfi, 1, 1},
    {iso::kLockAfi, 0, 0},
    {iso::kWriteDsfid, 1, 1},
    {iso::kLockDsfid, 0, 0},
    {iso::kGetSystemInformation, 0, 0},
};

constexpr std::uint8_t kReaderType = 0x20;
constexpr std::uint8_t kProtocols = 0x01; // ISO 15693
constexpr std::uint8_t kAntennaPorts = 4;
constexpr std::uint8_t kMinScanTime = 3;
// How long a transparent read listens for the tag's answer to start.
constexpr std::uint64_t kReadListenNs = 1'000'000;
constexpr std::uint64_t kListenUnitNs = 100'000;

struct Options {
    std::uint8_t address = 0x00;
    std::uint8_t scanTime = 10;
    std::array<std::uint8_t, 2> version{0x01, 0x05};
    std::uint8_t input = 0x00;
    std::uint8_t tagAntenna = 1;
};

std::optional<unsigned> parseNumber(const std::string& text, int base)
{
    unsigned value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

// The family's settings from readersim's --address and --set KEY=VALUE:
// scantime=N (3 to 255), version=HHHH, input=HH, antenna=N (1 to 4).
std::optional<Options> parseOptions(const PersonalityOptions& o)
{
    Options out;
    if (o.address) {
        if (*o.address < 0 || *o.address >= kAnyReader)
            return std::nullopt;
        out.address = static_cast<std::uint8_t>(*o.address);
    }
    for (const auto& [key, text] : o.extra) {
        if (key == "scantime") {
            const auto v = parseNumber(text, 10);
            if (!v || *v < kMinScanTime || *v > 255)
                return std::nullopt;
            out.scanTime = static_cast<std::uint8_t>(*v);
        } else if (key == "version") {
            const auto v = parseNumber(text, 16);
            if (!v || text.size() != 4)
                return std::nullopt;
            out.version = {static_cast<std::uint8_t>(*v >> 8), static_cast<std::uint8_t>(*v)};
        } else if (key == "input") {
            const auto v = parseNumber(text, 16);
            if (!v || *v > 0xFF)
                return std::nullopt;
            out.input = static_cast<std::uint8_t>(*v);
        } else if (key == "antenna") {
            const auto v = parseNumber(text, 10);
            if (!v || *v < 1 || *v > kAntennaPorts)
                return std::nullopt;
            out.tagAntenna = static_cast<std::uint8_t>(*v);
        } else {
            return std::nullopt;
        }
    }
    return out;
}

std::string hex2(std::uint8_t value)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[value >> 4], kDigits[value & 0x0F]};
}

class DalrixReader final : public Personality {
public:
    explicit DalrixReader(const Options& options)
        : address_(options.address), scanTime_(options.scanTime), version_(options.version),
          tagAntenna_(options.tagAntenna)
    {
        settings_.input = options.input;
    }

    Cut cut(ByteSpan pending) const override
    {
        const std::size_t size = std::size_t{pending[0]} + 1;
        if (size < kMinRequest)
            return Cut::skip();
        return pending.size() < size ? Cut::needMore() : Cut::frame(size);
    }

    int commandCode(ByteSpan frame) const override { return frame.size() > 2 ? frame[2] : -1; }

    void handle(ByteSpan frame, Context& ctx) override
    {
        if (!forMe(frame)) {
            if (!crcOk(frame))
                ctx.log("request with a wrong CRC ignored");
            return;
        }
        const std::uint8_t command = frame[2];
        const std::uint8_t state = frame[3];
        const ByteSpan data = frame.subspan(4, frame.size() - kMinRequest);
        std::optional<Answer> answer;
        if (state == kStateReader)
            answer = readerCommand(command, data, ctx);
        else if (state == kStateTransparent)
            answer = transparent(command, data, ctx);
        else if (command == iso::kInventory)
            answer = inventory(state, data, ctx);
        else
            answer = tagCommand(command, state, data, ctx);
        if (!answer)
            return; // a stream, already sent
        if (answer->data.size() > kMaxAnswerData)
            *answer = Answer::fail(kBadParameter);
        ctx.send(answerFrame(address_, *answer));
    }

    std::optional<Bytes> statusAnswer(ByteSpan request, std::uint8_t status) const override
    {
        if (!forMe(request))
            return std::nullopt; // handle() ignores it
        Answer answer = Answer::fail(status);
        answer.errorCode = iso::kErrUnknown;
        return answerFrame(address_, answer);
    }

private:
    // A well-formed request for this reader's address or for any reader.
    bool forMe(ByteSpan frame) const
    {
        return frame.size() >= kMinRequest && crcOk(frame) && (frame[1] == address_ || frame[1] == kAnyReader);
    }

    bool antennaReachesTags() const { return antenna_ == tagAntenna_; }

    // --- Reader commands ----------------------------------------------------

    std::optional<Answer> readerCommand(std::uint8_t command, ByteSpan data, Context& ctx)
    {
        for (const SettingCommand& s : kSettingCommands) {
            if (command == s.set) {
                if (data.size() != 1)
                    return Answer::fail(kBadParameter);
                settings_.*s.value = data[0];
                ctx.log(std::string(s.name) + " now " + hex2(data[0]));
                return Answer::ok();
            }
            if (command == s.get)
                return data.empty() ? Answer::ok({settings_.*s.value}) : Answer::fail(kBadParameter);
        }
        // The commands that take nothing, then those that take one byte.
        switch (command) {
        case kReaderInformation:
        case kRfOff:
        case kRfOn:
        case kGetAntenna:
        case kGetScanMode:
            if (!data.empty())
                return Answer::fail(kBadParameter);
            break;
        case kWriteAddress:
        case kWriteScanTime:
        case kSetAntenna:
            if (data.size() != 1)
                return Answer::fail(kBadParameter);
            break;
        case kSetScanMode:
            if (data.size() != scanMode_.size())
                return Answer::fail(kBadParameter);
            break;
        default:
            return Answer::fail(kUnknownCommand);
        }
        switch (command) {
        case kReaderInformation:
            return Answer::ok({version_[0], version_[1], kReaderType, kProtocols, kAntennaPorts, 0x00,
                               static_cast<std::uint8_t>(kMaxAnswerData), scanTime_});
        case kRfOff:
        case kRfOn:
            ctx.field().setRf(command == kRfOn);
            ctx.log(command == kRfOn ? "RF field on" : "RF field off");
            return Answer::ok();
        case kWriteAddress:
            if (data[0] == kAnyReader)
                return Answer::fail(kBadParameter);
            address_ = data[0];
            ctx.log("reader address now " + hex2(address_));
            return Answer::ok();
        case kWriteScanTime:
            if (data[0] < kMinScanTime)
                return Answer::fail(kBadParameter);
            scanTime_ = data[0];
            ctx.log("inventory scan time now " + std::to_string(scanTime_ * 100) + " ms");
            return Answer::ok();
        case kSetAntenna:
            if (data[0] < 1 || data[0] > kAntennaPorts)
                return Answer::fail(kBadParameter);
            antenna_ = data[0];
            ctx.log("antenna " + std::to_string(antenna_) + " active" +
                    (antennaReachesTags() ? "" : " (the tags lie on antenna " + std::to_string(tagAntenna_) + ")"));
            return Answer::ok();
        case kGetAntenna:
            return Answer::ok({antenna_});
        case kSetScanMode:
            std::copy(data.begin(), data.end(), scanMode_.begin());
            return Answer::ok();
        default: // kGetScanMode
            return Answer::ok(Bytes(scanMode_.begin(), scanMode_.end()));
        }
    }

    // --- Inventory ------------------------------------------------------------

    std::optional<Answer> inventory(std::uint8_t type, ByteSpan data, Context& ctx)
    {
        if (type > 7 || type == 4 || type == 5)
            return Answer::fail(kUnknownCommand);
        const bool withAfi = type & 1;
        if (data.size() != (withAfi ? 1u : 0u))
            return Answer::fail(kBadParameter);
        std::optional<std::uint8_t> afi;
        if (withAfi)
            afi = data[0];
        const std::uint8_t flags = iso::kFlagHighDataRate | ((type & 4) ? iso::kFlagOneSlot : 0);
        Field& field = ctx.field();
        const auto found = antennaReachesTags() ? field.inventory(flags, afi) : std::vector<Field::Found>{};
        if (type < 2) {
            if (found.empty())
                return Answer::fail(kNoTag);
            return Answer::ok(entry(found.front()));
        }
        // A stream: each tag as it is found, then the closing frame. The air
        // time of the search is spent as the pauses between the frames (so
        // it is not counted once more as the command's air time).
        const std::uint64_t airUs = field.takeAirTimeNs() / 1000;
        const auto pauseUs = static_cast<std::uint32_t>(airUs / (found.size() + 1));
        for (const Field::Found& tag : found)
            ctx.send(answerFrame(address_, Answer::ok(entry(tag))), pauseUs);
        ctx.send(answerFrame(address_, Answer::fail(kInventoryDone)), pauseUs);
        return std::nullopt;
    }

    // --- Tag commands ---------------------------------------------------------

    std::optional<Answer> tagCommand(std::uint8_t command, std::uint8_t state, ByteSpan data, Context& ctx)
    {
        const auto known = std::find_if(std::begin(kTagCommands), std::end(kTagCommands),
                                        [&](const TagCommand& c) { return c.code == command; });
        if (known == std::end(kTagCommands))
            return Answer::fail(kUnknownCommand);

        std::uint8_t flags = iso::kFlagHighDataRate;
        std::optional<Uid> uid;
        if (carriesUid(state) && data.size() >= known->minParams + 8) {
            uid.emplace();
            std::copy_n(data.begin(), 8, uid->begin());
            data = data.subspan(8);
            flags |= iso::kFlagAddress;
        } else if (state & 0x02) {
            flags |= iso::kFlagSelect;
        }
        if (data.size() < known->minParams || data.size() > known->maxParams)
            return Answer::fail(kBadParameter);

        Bytes params(data.begin(), data.end());
        const bool read = command == iso::kReadSingleBlock || command == iso::kReadMultipleBlocks;
        if (read || (state & 0x08))
            flags |= iso::kFlagOption; // reads: with the block security status
        if (command == iso::kReadMultipleBlocks) {
            if (params[1] == 0)
                return Answer::fail(kBadParameter);
            --params[1]; // the air counts blocks after the first
        }

        if (!antennaReachesTags())
            return Answer::fail(kNoTag);
        const Field::Reply reply =
            ctx.field().transact(iso::request(flags, command, uid ? &*uid : nullptr, params));
        if (command == iso::kStayQuiet)
            return Answer::ok(); // a tag never answers it
        Answer answer = fromAir(reply);
        if (command == iso::kGetSystemInformation && answer.status == kOk && answer.data.size() >= 9)
            std::reverse(answer.data.begin() + 1, answer.data.begin() + 9); // the UID, most significant first
        return answer;
    }

    // --- Transparent commands -------------------------------------------------

    std::optional<Answer> transparent(std::uint8_t command, ByteSpan data, Context& ctx)
    {
        std::size_t head = 0;
        std::uint64_t listenNs = kReadListenNs;
        switch (command) {
        case kTransparentRead:
            head = 1;
            break;
        case kTransparentWrite:
        case kTransparentCustom:
            head = command == kTransparentWrite ? 5 : 3;
            if (data.size() >= head)
                listenNs = (std::uint64_t{data[0]} << 8 | data[1]) * kListenUnitNs;
            break;
        default:
            return Answer::fail(kUnknownCommand);
        }
        if (data.size() < head + 2) // a request has at least flags and a command code
            return Answer::fail(kBadParameter);
        const std::size_t longest = data[head - 1];
        const ByteSpan request = data.subspan(head);
        if (!antennaReachesTags())
            return Answer::fail(kNoTag);
        Field& field = ctx.field();
        const Field::Reply reply = field.transact(request);
        if (!reply.silent() && iso::isWriteAlike(request[1]) && listenNs < field.airTiming().programmingNs) {
            ctx.log("the tag answered after the reader stopped listening");
            return Answer::fail(kNoTag);
        }
        Answer answer = fromAir(reply);
        if (answer.status == kOk) {
            if (reply.bytes.size() + 2 > longest)
                return Answer::fail(kBadParameter);
            answer.data = reply.bytes; // the flags byte too
        }
        return answer;
    }

    std::uint8_t address_;
    std::uint8_t scanTime_;
    std::array<std::uint8_t, 2> version_;
    std::uint8_t antenna_ = 1;
    std::uint8_t tagAntenna_;
    Settings settings_;
    std::array<std::uint8_t, 11> scanMode_{};
};

} // namespace

} // namespace sim::dalrix

SIM_REGISTER_PERSONALITY(dalrix,
                         "second-make desk readers (own framing, CRC-16/MCRF4XX, address 0xFF reaches any reader)",
                         sim::dalrix::kBaud, [](const sim::PersonalityOptions& o) -> std::unique_ptr<sim::Personality> {
                             const auto options = sim::dalrix::parseOptions(o);
                             if (!options)
                                 return nullptr;
                             return std::make_unique<sim::dalrix::DalrixReader>(*options);
                         })
