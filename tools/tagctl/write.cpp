// tagctl write: a library item onto the one tag on the reader, as the
// workstation's tagging pages write it: a book, a patron card or a shelf tag.
// Only when exactly one tag answers. With --verify the identifier, the AFI
// and (where the family tells it) the EAS bit are read back and compared.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"
#include "output.h"

namespace tagctl {
namespace {

struct Date {
    std::uint32_t year = 0, month = 0, day = 0;
};

bool leapYear(std::uint32_t y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

std::uint32_t daysInMonth(std::uint32_t year, std::uint32_t month)
{
    static constexpr std::uint32_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && leapYear(year) ? 29 : kDays[month - 1];
}

// A real calendar date YYYY-MM-DD, from 1970 to the last year a tag can hold.
std::optional<Date> parseDate(const std::string& text)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    const auto y = parseDecimal(text.substr(0, 4), 1970, 1970 + 1023);
    const auto m = parseDecimal(text.substr(5, 2), 1, 12);
    const auto d = parseDecimal(text.substr(8, 2), 1, 31);
    if (!y || !m || !d || *d > daysInMonth(static_cast<std::uint32_t>(*y), static_cast<std::uint32_t>(*m)))
        return std::nullopt;
    return Date{static_cast<std::uint32_t>(*y), static_cast<std::uint32_t>(*m), static_cast<std::uint32_t>(*d)};
}

// The same day a year later; 29 February becomes 28 February.
Date oneYearAfter(const Date& date)
{
    Date later{date.year + 1, date.month, date.day};
    later.day = std::min(later.day, daysInMonth(later.year, later.month));
    return later;
}

Date today()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return {static_cast<std::uint32_t>(local.tm_year + 1900), static_cast<std::uint32_t>(local.tm_mon + 1),
            static_cast<std::uint32_t>(local.tm_mday)};
}

// A holding location: a digit 0-7 and a letter, e.g. "2A".
std::optional<std::uint32_t> parseLocation(const std::string& text)
{
    if (text.size() != 2 || text[0] < '0' || text[0] > '7')
        return std::nullopt;
    const char letter = static_cast<char>(text[1] & ~0x20); // upper case
    if (letter < 'A' || letter > 'Z')
        return std::nullopt;
    return static_cast<std::uint32_t>((text[0] - '0') << 5 | (letter - 'A'));
}

// The identifier of a barcode: its decimal number, 1 to 2^57 - 1.
std::optional<std::uint64_t> parseIdentifier(const std::string& text)
{
    if (const auto value = parseDecimal(text, 1, (1LL << 57) - 1))
        return static_cast<std::uint64_t>(*value);
    return std::nullopt;
}

struct WriteArgs {
    std::int32_t itemType = -1;
    std::uint64_t itemId = 0;
    std::optional<std::uint32_t> libraryId;
    std::uint32_t location = 2 << 5; // 2A
    std::uint32_t mediaType = 0;
    bool reference = false;
    std::optional<bool> eas; // the type's default when not given
    std::uint32_t patronType = 0;
    std::uint32_t cardStatus = 0;
    std::optional<Date> registered;
    std::optional<Date> validUntil;
    bool lock = false;
    bool verify = false;
    // Options given that only books / only patron cards take.
    bool bookOptions = false;
    bool cardOptions = false;
};

// The options of write that take a value.
constexpr std::string_view kWriteValueOptions[] = {
    "--book", "--card", "--shelf", "--library", "--location", "--media",
    "--patron-type", "--card-status", "--registered", "--valid-until",
};

// An option without a value; false when a is none.
bool takeWriteFlag(const std::string& a, WriteArgs& out)
{
    if (a == "--reference")
        out.reference = out.bookOptions = true;
    else if (a == "--eas" || a == "--no-eas")
        out.eas = a == "--eas";
    else if (a == "--lock")
        out.lock = true;
    else if (a == "--verify")
        out.verify = true;
    else
        return false;
    return true;
}

std::optional<std::uint32_t> number(const std::string& text, long long limit)
{
    const auto n = parseDecimal(text, 0, limit);
    if (!n)
        return std::nullopt;
    return static_cast<std::uint32_t>(*n);
}

// An option of kWriteValueOptions and its value: the message when the value is bad.
std::optional<std::string> takeWriteValue(const std::string& a, const std::string& value, WriteArgs& out)
{
    if (a == "--book" || a == "--card" || a == "--shelf") {
        if (out.itemType >= 0)
            return std::string("give one of --book, --card and --shelf");
        out.itemType = a == "--book" ? BRN_ITEM_TYPE_BOOK
                     : a == "--card" ? BRN_ITEM_TYPE_PATRON_CARD
                                     : BRN_ITEM_TYPE_SHELF_TAG;
        const auto id = parseIdentifier(value);
        if (!id)
            return "bad number '" + value + "' (decimal digits, 1 to 2^57 - 1)";
        out.itemId = *id;
    } else if (a == "--library") {
        out.libraryId = number(value, 0xFFFFFFFFLL);
        if (!out.libraryId)
            return "bad library identifier '" + value + "' (0 to 4294967295, decimal)";
    } else if (a == "--location") {
        const auto location = parseLocation(value);
        if (!location)
            return "bad holding location '" + value + "' (a digit 0-7 and a letter, e.g. 2A)";
        out.location = *location;
        out.bookOptions = true;
    } else if (a == "--media") {
        const auto media = number(value, 31);
        if (!media)
            return "bad media type '" + value + "' (0 to 31)";
        out.mediaType = *media;
        out.bookOptions = true;
    } else if (a == "--patron-type") {
        const auto type = number(value, 255);
        if (!type)
            return "bad patron type '" + value + "' (0 to 255)";
        out.patronType = *type;
        out.cardOptions = true;
    } else if (a == "--card-status") {
        const auto status = number(value, 31);
        if (!status)
            return "bad card status '" + value + "' (0 to 31)";
        out.cardStatus = *status;
        out.cardOptions = true;
    } else if (a == "--registered" || a == "--valid-until") {
        const auto date = parseDate(value);
        if (!date)
            return "bad date '" + value + "' (a real date YYYY-MM-DD, 1970 to 2993)";
        (a == "--registered" ? out.registered : out.validUntil) = date;
        out.cardOptions = true;
    }
    return std::nullopt;
}

// What the options must say together: one item with its library, and only
// options its type takes.
std::optional<std::string> checkWriteArgs(const WriteArgs& out)
{
    if (out.itemType < 0)
        return std::string("write needs --book, --card or --shelf with the number");
    if (!out.libraryId)
        return std::string("write needs --library");
    if (out.bookOptions && out.itemType != BRN_ITEM_TYPE_BOOK)
        return std::string("--location, --media and --reference are for books");
    if (out.cardOptions && out.itemType != BRN_ITEM_TYPE_PATRON_CARD)
        return std::string("--patron-type, --card-status, --registered and --valid-until are for patron cards");
    if (out.lock && out.itemType == BRN_ITEM_TYPE_SHELF_TAG)
        return std::string("shelf tags are never locked");
    if (out.eas && *out.eas && out.itemType == BRN_ITEM_TYPE_PATRON_CARD)
        return std::string("patron cards are written with the EAS bit off");
    return std::nullopt;
}

std::optional<std::string> parseWriteArgs(const Args& args, WriteArgs& out)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (takeWriteFlag(a, out))
            continue;
        const bool valueOption = std::find(std::begin(kWriteValueOptions), std::end(kWriteValueOptions), a) !=
                                 std::end(kWriteValueOptions);
        if (!valueOption)
            return "unexpected argument '" + a + "'";
        if (i + 1 >= args.size())
            return a + " needs a value";
        if (auto message = takeWriteValue(a, args[++i], out))
            return a + ": " + *message;
    }
    return checkWriteArgs(out);
}

// The item the tagging pages would write from these values.
brnItem buildItem(const WriteArgs& w)
{
    brnItem item{};
    item.blockSize = BRN_BLOCK_SIZE;
    item.itemType = w.itemType;
    item.formatVersion = 1;
    item.typeCode = static_cast<std::uint32_t>(w.itemType);
    item.itemId = w.itemId;
    item.libraryId = *w.libraryId;
    item.validMask = BRN_ITEM_IDENTITY | BRN_ITEM_LIBRARY;
    if (w.lock) {
        item.validMask |= BRN_ITEM_LOCKS;
        item.lockMask = BRN_ITEM_IDENTITY | BRN_ITEM_LIBRARY;
    }
    switch (w.itemType) {
    case BRN_ITEM_TYPE_BOOK:
        item.validMask |= BRN_ITEM_EAS | BRN_ITEM_BLOCK2 | BRN_ITEM_BLOCK4 | BRN_ITEM_EXTRA;
        item.easState = w.eas.value_or(true) ? 1 : 0;
        item.book.referenceFlag = w.reference ? 1 : 0;
        item.book.location = w.location;
        item.book.mediaType = w.mediaType;
        break;
    case BRN_ITEM_TYPE_PATRON_CARD: {
        item.validMask |= BRN_ITEM_EAS | BRN_ITEM_BLOCK2 | BRN_ITEM_BLOCK4 | BRN_ITEM_EXTRA;
        item.easState = 0;
        const Date registered = w.registered.value_or(today());
        const Date valid = w.validUntil.value_or(oneYearAfter(registered));
        item.patron.registerYear = registered.year;
        item.patron.registerMonth = registered.month;
        item.patron.registerDay = registered.day;
        item.patron.patronType = w.patronType;
        item.patron.cardStatus = w.cardStatus;
        item.patron.validYear = valid.year;
        item.patron.validMonth = valid.month;
        item.patron.validDay = valid.day;
        break;
    }
    default: // a shelf tag: the EAS bit only when asked for
        if (w.eas.value_or(false)) {
            item.validMask |= BRN_ITEM_EAS;
            item.easState = 1;
        }
        break;
    }
    return item;
}

std::string afiText(std::int32_t itemType)
{
    static const char* const kAfi[] = {"0x91", "0x92", "0x93"};
    return std::string(kAfi[itemType]) + " (that of a " + itemTypeName(itemType) + ")";
}

// Reads back what the write put on the tag: the identifier, the AFI of the
// item type and, where the reader family tells it, the EAS bit. 0 when all
// are as written; otherwise every difference is named and kExitFailed.
int verifyItem(const Options& options, OpenReader& reader, const brnItem& written)
{
    const bool easWritten = written.validMask & BRN_ITEM_EAS;
    brnItem back{};
    back.blockSize = BRN_BLOCK_SIZE;
    if (const std::int32_t code = brnReadSingleItem(reader.handle(), kVerifyRetryDelayMs,
                                                    BRN_ITEM_IDENTITY | (easWritten ? BRN_ITEM_EAS : 0), &back))
        return callFailed(options, "brnReadSingleItem", code);
    std::vector<std::string> differences;
    std::vector<std::pair<std::string, Json>> found;
    if (back.itemId != written.itemId || back.typeCode != written.typeCode
        || back.formatVersion != written.formatVersion) {
        differences.push_back("the tag holds identifier " + std::to_string(back.itemId) + ", not "
                              + std::to_string(written.itemId));
        found.emplace_back("itemId", Json::unsignedNumber(written.itemId));
        found.emplace_back("readItemId", Json::unsignedNumber(back.itemId));
    }
    // Only a tag with the AFI of the item type answers an inventory by type.
    if (brnInventoryByType(reader.handle(), written.itemType) < 1) {
        differences.push_back("its AFI is not " + afiText(written.itemType));
        found.emplace_back("afiMatches", Json::boolean(false));
    }
    // A family that cannot tell the EAS bit leaves it out of the read.
    if (easWritten && (back.validMask & BRN_ITEM_EAS) && back.easState != written.easState) {
        differences.push_back(std::string("its EAS bit is ") + (back.easState ? "on" : "off") + ", not "
                              + (written.easState ? "on" : "off"));
        found.emplace_back("readEas", Json::boolean(back.easState != 0));
    }
    if (differences.empty())
        return kExitOk;
    std::string what;
    for (const std::string& d : differences)
        what += (what.empty() ? "" : "; ") + d;
    printVerifyFailure(options.json, what, found);
    return kExitFailed;
}

} // namespace

int runWrite(const Options& options, const Args& args)
{
    WriteArgs w;
    if (const auto wrong = parseWriteArgs(args, w))
        return usageError(*wrong);
    return withReader(options, [&](OpenReader& reader) {
        // The tag staff laid on the reader alone, or none.
        if (const int stop = requireOneTag(options, reader))
            return stop;
        brnItem item = buildItem(w);
        if (const std::int32_t code = brnWriteItems(reader.handle(), &item))
            return callFailed(options, "brnWriteItems", code);
        Report report(options.json);
        report.add("family", "reader", familyName(reader.family()));
        report.add("itemType", "item type", itemTypeName(item.itemType), Json::number(item.itemType));
        // The library may keep only part of the identifier on the tag (and in the item).
        report.add("itemId", "stored identifier", std::to_string(item.itemId), Json::unsignedNumber(item.itemId));
        report.add("libraryId", "library identifier", std::to_string(item.libraryId),
                   Json::unsignedNumber(item.libraryId));
        if (item.validMask & BRN_ITEM_EAS)
            report.add("eas", "EAS", item.easState ? "on" : "off", Json::boolean(item.easState != 0));
        report.add("locked", "locked", w.lock ? "identifier, library" : "nothing", Json::boolean(w.lock));
        if (w.verify) {
            if (const int failed = verifyItem(options, reader, item))
                return failed;
            report.add("verified", "verified", "yes", Json::boolean(true));
        }
        report.print();
        return kExitOk;
    });
}

} // namespace tagctl
