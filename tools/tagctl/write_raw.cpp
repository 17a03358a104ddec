// tagctl write-raw: block values given in hex onto a tag (the one on the
// reader, or the tag with --uid), with the AFI, the EAS bit and block locks
// when asked for. With --verify the written blocks are read back and compared.
#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "commands.h"
#include "output.h"

namespace tagctl {
namespace {

// "0-1,3" to lock bits (BRN_RAW_LOCK_BLOCK).
std::optional<std::uint32_t> parseBlockList(const std::string& text)
{
    std::uint32_t bits = 0;
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t end = std::min(text.find(',', at), text.size());
        const std::string part = text.substr(at, end - at);
        const std::size_t dash = part.find('-');
        const auto first = parseDecimal(part.substr(0, dash), 0, BRN_ITEM_BLOCKS - 1);
        const auto last = dash == std::string::npos ? first : parseDecimal(part.substr(dash + 1), 0, BRN_ITEM_BLOCKS - 1);
        if (!first || !last || *first > *last)
            return std::nullopt;
        for (long long b = *first; b <= *last; ++b)
            bits |= BRN_RAW_LOCK_BLOCK(b);
        at = end + 1;
    }
    return bits;
}

// A UID of 16 hex digits, most significant byte first.
std::optional<std::array<std::uint8_t, 8>> parseUid(const std::string& text)
{
    if (text.size() != 16 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return std::nullopt;
    std::array<std::uint8_t, 8> uid{};
    for (std::size_t i = 0; i < uid.size(); ++i)
        uid[i] = static_cast<std::uint8_t>(std::stoul(text.substr(2 * i, 2), nullptr, 16));
    return uid;
}

struct RawArgs {
    brnRawItem raw{};
    std::optional<std::array<std::uint8_t, 8>> uid;
    std::optional<std::uint8_t> afi;
    bool verify = false;
};

// The value of the next block as a number (its low byte is tag byte 0), or
// "-" to leave the block alone: the message when it is bad.
std::optional<std::string> takeBlockValue(const std::string& a, int block, brnRawItem& raw)
{
    if (block == BRN_ITEM_BLOCKS)
        return std::string("at most 8 block values");
    if (a == "-")
        return std::nullopt;
    if (a.empty() || a.size() > 8 || a.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return "bad block value '" + a + "' (up to 8 hex digits, or - to skip the block)";
    raw.blocks[block] = static_cast<std::uint32_t>(std::stoul(a, nullptr, 16));
    raw.validMask |= BRN_RAW_BLOCK(block);
    return std::nullopt;
}

std::optional<std::string> parseRawArgs(const Args& args, RawArgs& out)
{
    out.raw.blockSize = BRN_BLOCK_SIZE;
    int block = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        const std::string value = hasValue ? args[i + 1] : "";
        if (a == "--uid" && hasValue) {
            out.uid = parseUid(value);
            if (!out.uid)
                return "bad UID '" + value + "' (16 hex digits, most significant first)";
            ++i;
        } else if (a == "--afi" && hasValue) {
            const auto afi = value.size() == 2 && value.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos
                                 ? std::optional<unsigned long>(std::stoul(value, nullptr, 16))
                                 : std::nullopt;
            if (!afi)
                return "bad AFI '" + value + "' (2 hex digits)";
            out.afi = static_cast<std::uint8_t>(*afi);
            ++i;
        } else if (a == "--eas" && hasValue && (value == "on" || value == "off")) {
            out.raw.validMask |= BRN_RAW_EAS;
            out.raw.easState = value == "on" ? 1 : 0;
            ++i;
        } else if (a == "--lock" && hasValue) {
            const auto bits = parseBlockList(value);
            if (!bits)
                return "bad block list '" + value + "' (blocks 0 to 7, e.g. 0-1,3)";
            out.raw.validMask |= BRN_RAW_LOCKS;
            out.raw.lockMask |= *bits;
            ++i;
        } else if (a == "--lock-eas") {
            out.raw.validMask |= BRN_RAW_LOCKS;
            out.raw.lockMask |= BRN_RAW_LOCK_EAS;
        } else if (a == "--verify") {
            out.verify = true;
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return "unexpected argument '" + a + "'";
        } else if (auto message = takeBlockValue(a, block++, out.raw)) {
            return message;
        }
    }
    if (out.raw.validMask == 0 && !out.afi)
        return std::string("nothing to write: give block values, --afi, --eas or --lock");
    return std::nullopt;
}

} // namespace

int runWriteRaw(const Options& options, const Args& args)
{
    RawArgs w;
    if (const auto wrong = parseRawArgs(args, w))
        return usageError(*wrong);
    return withReader(options, [&](OpenReader& reader) {
        // Without --uid, whichever tag answers is written: there must be one only.
        if (!w.uid)
            if (const int stop = requireOneTag(options, reader))
                return stop;
        const std::int32_t mode = w.uid ? BRN_ADDRESS_UID : BRN_ADDRESS_ANY;
        if (const std::int32_t code = brnWriteRawItems(reader.handle(), mode, w.uid ? w.uid->data() : nullptr, &w.raw,
                                                       w.afi ? 1 : 0, w.afi.value_or(0)))
            return callFailed(options, "brnWriteRawItems", code);
        Report report(options.json);
        report.add("family", "reader", familyName(reader.family()));
        if (w.uid)
            report.add("uid", "UID", hexBytes(w.uid->data(), 8));
        std::vector<Json> blocks;
        for (int i = 0; i < BRN_ITEM_BLOCKS; ++i) {
            const bool written = w.raw.validMask & BRN_RAW_BLOCK(i);
            blocks.push_back(written ? Json::unsignedNumber(w.raw.blocks[i]) : Json::null());
            if (written)
                report.addLine("block " + std::to_string(i), hex(w.raw.blocks[i], 8));
        }
        report.addJson("blocks", Json::array(std::move(blocks)));
        if (w.afi)
            report.add("afi", "AFI", hex(*w.afi, 2), Json::number(*w.afi));
        if (w.verify) {
            brnRawItem back{};
            const std::uint32_t written = w.raw.validMask & BRN_RAW_ALL_BLOCKS;
            if (written != 0) {
                if (const std::int32_t code =
                        brnReadSingleRawItem(reader.handle(), kVerifyRetryDelayMs, written, &back))
                    return callFailed(options, "brnReadSingleRawItem", code);
            }
            for (int i = 0; i < BRN_ITEM_BLOCKS; ++i) {
                if (!(written & BRN_RAW_BLOCK(i)) || back.blocks[i] == w.raw.blocks[i])
                    continue;
                printVerifyFailure(options.json,
                                   "block " + std::to_string(i) + " holds " + hex(back.blocks[i], 8) + ", not "
                                       + hex(w.raw.blocks[i], 8),
                                   {{"block", Json::number(i)},
                                    {"written", Json::unsignedNumber(w.raw.blocks[i])},
                                    {"read", Json::unsignedNumber(back.blocks[i])}});
                return kExitFailed;
            }
            report.add("verified", "verified", "yes", Json::boolean(true));
        }
        report.print();
        return kExitOk;
    });
}

} // namespace tagctl
