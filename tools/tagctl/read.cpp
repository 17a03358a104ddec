// tagctl read, uid and count: the one tag on the reader and what it holds,
// its UID alone, and the number of tags in the field.
#include <cstdio>

#include "commands.h"
#include "output.h"

namespace tagctl {
namespace {

constexpr std::uint32_t kDefaultRetryDelayMs = 10;
constexpr std::uint32_t kAllRaw = BRN_RAW_EAS | BRN_RAW_LOCKS | BRN_RAW_ALL_BLOCKS;

struct ReadArgs {
    bool raw = false;
    std::optional<std::int32_t> type;
    std::uint32_t delayMs = kDefaultRetryDelayMs;
};

// Parses "--raw", "--type T", "--delay MS" as far as allowed; a message when wrong.
std::optional<std::string> parseReadArgs(const Args& args, bool allowRaw, bool allowDelay, ReadArgs& out)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--raw" && allowRaw) {
            out.raw = true;
        } else if (a == "--type" && i + 1 < args.size()) {
            out.type = parseItemType(args[++i]);
            if (!out.type)
                return "unknown item type '" + args[i] + "' (book, card, shelf or a number)";
        } else if (a == "--delay" && allowDelay && i + 1 < args.size()) {
            const auto ms = parseDecimal(args[++i], 0, 60000);
            if (!ms)
                return "bad retry delay '" + args[i] + "' (0 to 60000 ms, decimal)";
            out.delayMs = static_cast<std::uint32_t>(*ms);
        } else {
            return "unexpected argument '" + a + "'";
        }
    }
    return std::nullopt;
}

std::string uidText(const std::uint8_t* uid) { return hexBytes(uid, 8); }

// The parts of an item that are locked on the tag.
void addItemLocks(Report& report, const brnItem& item)
{
    static const struct {
        std::uint32_t bit;
        const char* name;
    } parts[] = {{BRN_ITEM_IDENTITY, "identifier"}, {BRN_ITEM_BLOCK2, "block2"}, {BRN_ITEM_LIBRARY, "library"},
                 {BRN_ITEM_BLOCK4, "block4"},      {BRN_ITEM_EXTRA, "extra"}};
    std::string text;
    std::vector<Json> names;
    for (const auto& p : parts)
        if (item.lockMask & p.bit) {
            text += (text.empty() ? "" : ", ") + std::string(p.name);
            names.push_back(Json::string(p.name));
        }
    report.add("locked", "locked", text.empty() ? "nothing" : text, Json::array(std::move(names)));
}

std::string date(std::uint32_t year, std::uint32_t month, std::uint32_t day)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u", year, month, day);
    return text;
}

// The EAS state; a reader may leave it untold (FENO readers, for a tag whose EAS bit is off).
void addEas(Report& report, bool told, std::int32_t state)
{
    if (told)
        report.add("eas", "EAS", state ? "on" : "off", Json::boolean(state != 0));
    else
        report.add("eas", "EAS", "not told (the tag did not answer the EAS query)", Json::null());
}

void addItem(Report& report, const brnItem& item)
{
    addEas(report, item.validMask & BRN_ITEM_EAS, item.easState);
    if (item.validMask & BRN_ITEM_LOCKS)
        addItemLocks(report, item);
    if (item.validMask & BRN_ITEM_IDENTITY) {
        report.add("itemType", "item type", itemTypeName(item.itemType), Json::number(item.itemType));
        report.add("itemId", "item identifier", std::to_string(item.itemId), Json::unsignedNumber(item.itemId));
        report.add("formatVersion", "format version", std::to_string(item.formatVersion),
                   Json::number(item.formatVersion));
        report.add("typeCode", "type code", std::to_string(item.typeCode), Json::number(item.typeCode));
    }
    if (item.validMask & BRN_ITEM_LIBRARY)
        report.add("libraryId", "library identifier", std::to_string(item.libraryId),
                   Json::unsignedNumber(item.libraryId));
    if (item.itemType == BRN_ITEM_TYPE_BOOK) {
        const brnBookSlots& b = item.book;
        if (item.validMask & BRN_ITEM_BLOCK2) {
            report.add("reference", "reference item", b.referenceFlag ? "yes" : "no", Json::boolean(b.referenceFlag));
            report.add("location", "holding location", locationText(b.location) + " (" + std::to_string(b.location) + ")",
                       Json::number(b.location));
            report.add("mediaType", "media type", std::to_string(b.mediaType), Json::number(b.mediaType));
        }
        if ((item.validMask & BRN_ITEM_BLOCK4) && b.bookDateFlag)
            report.add("date", "date", date(b.bookYear, b.bookMonth, b.bookDay));
    } else if (item.itemType == BRN_ITEM_TYPE_PATRON_CARD) {
        const brnPatronSlots& p = item.patron;
        if (item.validMask & BRN_ITEM_BLOCK2) {
            report.add("registered", "registered", date(p.registerYear, p.registerMonth, p.registerDay));
            report.add("patronType", "patron type", std::to_string(p.patronType), Json::number(p.patronType));
            report.add("cardStatus", "card status", std::to_string(p.cardStatus), Json::number(p.cardStatus));
        }
        if (item.validMask & BRN_ITEM_BLOCK4)
            report.add("validUntil", "valid until", date(p.validYear, p.validMonth, p.validDay));
    }
    if (item.validMask & BRN_ITEM_EXTRA) {
        report.add("extraWord", "extra word", "0x" + hex(item.extraWord, 8), Json::unsignedNumber(item.extraWord));
        report.add("extraLong", "extra long", "0x" + hex(item.extraLong, 16), Json::unsignedNumber(item.extraLong));
    }
}

void addRaw(Report& report, const brnRawItem& raw)
{
    addEas(report, raw.validMask & BRN_RAW_EAS, raw.easState);
    if (raw.validMask & BRN_RAW_LOCKS) {
        std::string text;
        std::vector<Json> blocks;
        for (int i = 0; i < BRN_ITEM_BLOCKS; ++i)
            if (raw.lockMask & BRN_RAW_LOCK_BLOCK(i)) {
                text += (text.empty() ? "block " : ", ") + std::to_string(i);
                blocks.push_back(Json::number(i));
            }
        report.add("lockedBlocks", "locked", text.empty() ? "nothing" : text, Json::array(std::move(blocks)));
    }
    report.add("validMask", "valid mask", "0x" + hex(raw.validMask, 3), Json::unsignedNumber(raw.validMask));
    // Block values as numbers (tag byte 0 is the lowest byte); null when not read.
    std::vector<Json> values;
    for (int i = 0; i < BRN_ITEM_BLOCKS; ++i) {
        const bool read = raw.validMask & BRN_RAW_BLOCK(i);
        values.push_back(read ? Json::unsignedNumber(raw.blocks[i]) : Json::null());
        if (read)
            report.addLine("block " + std::to_string(i), hex(raw.blocks[i], 8));
    }
    report.addJson("blocks", Json::array(std::move(values)));
}

// The tag's data model: lines and members for a standard tag; members alone
// for the others, whose items print as they always did.
void addDataModel(Report& report, const brnDataModelInfo& info)
{
    const bool standard = isStandardTag(info);
    for (ModelField& f : dataModelFields(info)) {
        if (standard && !f.label.empty())
            report.add(f.key, f.label, f.text, std::move(f.value));
        else
            report.addJson(f.key, std::move(f.value));
    }
}

// The AFI a tag read by item type carries; unknown for types without one.
std::int32_t afiOfType(std::int32_t type)
{
    switch (type) {
    case BRN_ITEM_TYPE_BOOK: return BRN_AFI_BOOK;
    case BRN_ITEM_TYPE_PATRON_CARD: return BRN_AFI_PATRON_CARD;
    case BRN_ITEM_TYPE_SHELF_TAG: return BRN_AFI_SHELF_TAG;
    default: return BRN_DM_BYTE_UNKNOWN;
    }
}

// The item of blocks 0 to 7 (raw: the tag's record), or a tag of another
// data model as what it is. The tag's memory tells which: read whole with its
// AFI and DSFID, or, for a tag found by item type, blocks 0 to 7 with that
// type's AFI.
int addItemOrTag(const Options& options, OpenReader& reader, const ReadArgs& read, const brnRawItem& raw,
                 Report& report)
{
    brnDataModelInfo info{};
    std::int32_t code = BRN_OK;
    if (read.type) {
        std::uint8_t bytes[BRN_ITEM_BLOCKS * BRN_BLOCK_SIZE];
        brnRawItemTagBytes(&raw, bytes);
        code = brnClassifyTag(bytes, sizeof bytes, afiOfType(*read.type), BRN_DM_BYTE_UNKNOWN, &info);
    } else {
        brnTagMemory memory{};
        code = brnReadSingleTagMemory(reader.handle(), read.delayMs, BRN_TAG_MEMORY_MAX_BLOCKS, &memory);
        if (code != BRN_OK)
            return callFailed(options, "brnReadSingleTagMemory", code);
        code = brnClassifyTagMemory(&memory, &info);
    }
    if (code != BRN_OK)
        return callFailed(options, "brnClassifyTag", code);
    if (!isStandardTag(info)) {
        brnItem item{};
        brnDecodeRawItem(&raw, &item);
        addItem(report, item);
    }
    addDataModel(report, info);
    return kExitOk;
}

} // namespace

int runRead(const Options& options, const Args& args)
{
    ReadArgs read;
    if (const auto wrong = parseReadArgs(args, true, true, read))
        return usageError(*wrong);
    return withReader(options, [&](OpenReader& reader) {
        Report report(options.json);
        report.add("family", "reader", familyName(reader.family()), Json::string(familyName(reader.family())));
        // The UID read takes any tag: with an item type the tag may have company.
        if (!read.type) {
            std::uint8_t uid[8] = {};
            if (const std::int32_t code = brnReadSingleUID(reader.handle(), uid))
                return callFailed(options, "brnReadSingleUID", code);
            report.add("uid", "UID", uidText(uid));
        }
        brnRawItem raw{};
        const std::int32_t code =
            read.type ? brnReadSingleRawItemByType(reader.handle(), read.delayMs, *read.type, kAllRaw, &raw)
                      : brnReadSingleRawItem(reader.handle(), read.delayMs, kAllRaw, &raw);
        if (code != BRN_OK)
            return callFailed(options, read.type ? "brnReadSingleRawItemByType" : "brnReadSingleRawItem", code);
        if (read.raw)
            addRaw(report, raw);
        else if (const int exit = addItemOrTag(options, reader, read, raw, report); exit != kExitOk)
            return exit;
        report.print();
        return kExitOk;
    });
}

int runUid(const Options& options, const Args& args)
{
    if (!args.empty())
        return usageError("uid takes no arguments");
    return withReader(options, [&](OpenReader& reader) {
        std::uint8_t uid[8] = {};
        if (const std::int32_t code = brnReadSingleUID(reader.handle(), uid))
            return callFailed(options, "brnReadSingleUID", code);
        Report report(options.json);
        report.add("uid", "UID", uidText(uid));
        report.print();
        return kExitOk;
    });
}

int runCount(const Options& options, const Args& args)
{
    ReadArgs read;
    if (const auto wrong = parseReadArgs(args, false, false, read))
        return usageError(*wrong);
    return withReader(options, [&](OpenReader& reader) {
        const std::int32_t count =
            read.type ? brnInventoryByType(reader.handle(), *read.type) : brnInventory(reader.handle());
        if (count < 0)
            return callFailed(options, read.type ? "brnInventoryByType" : "brnInventory", count);
        Report report(options.json);
        report.add("count", "tags", std::to_string(count), Json::number(count));
        if (read.type)
            report.add("itemType", "item type", itemTypeName(*read.type), Json::number(*read.type));
        report.print();
        return kExitOk;
    });
}

} // namespace tagctl
