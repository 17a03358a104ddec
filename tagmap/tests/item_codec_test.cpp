#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <ostream>
#include <vector>

#include "item_codec.h"

extern "C" int brnHeaderCheckC(void);

// Records have no padding, so byte equality is field equality.
bool operator==(const brnItem& a, const brnItem& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void PrintTo(const brnItem& i, std::ostream* os)
{
    *os << "{size " << i.blockSize << std::hex << " valid 0x" << i.validMask << " lock 0x"
        << i.lockMask << std::dec << " eas " << i.easState << " fv " << i.formatVersion
        << " tc " << i.typeCode << " id " << i.itemId << " lib " << i.libraryId << " type "
        << i.itemType << " slots";
    const auto& b = i.book;
    for (auto s : {b.bookDateFlag, b.bookMonth, b.bookDay, b.bookYear, b.bookDateAux,
                   b.referenceFlag, b.location, b.mediaType, b.bookAux})
        *os << ' ' << s;
    *os << " extra " << i.extraWord << ' ' << i.extraLong << '}';
}

void PrintTo(const brnRawItem& r, std::ostream* os)
{
    *os << "{size " << r.blockSize << std::hex << " valid 0x" << r.validMask << " lock 0x"
        << r.lockMask << std::dec << " eas " << r.easState << " blocks" << std::hex;
    for (auto b : r.blocks)
        *os << " " << b;
    *os << std::dec << '}';
}

namespace {

using namespace brenholt;
using Blocks = std::array<std::uint32_t, 8>;

// Bits hi..lo of a block value set.
constexpr std::uint32_t bits(int hi, int lo)
{
    return static_cast<std::uint32_t>(((std::uint64_t{1} << (hi - lo + 1)) - 1) << lo);
}

Blocks at(int block, int hi, int lo)
{
    Blocks b{};
    b[block] = bits(hi, lo);
    return b;
}

Blocks blocksOf(const brnRawItem& raw)
{
    Blocks b;
    std::copy(std::begin(raw.blocks), std::end(raw.blocks), b.begin());
    return b;
}

// Year fields of both views at 1970, which is stored as zero.
void zeroYears(brnItem& item)
{
    if (item.itemType == BRN_ITEM_TYPE_BOOK)
        item.book.bookYear = 1970;
    if (item.itemType == BRN_ITEM_TYPE_PATRON_CARD)
        item.patron.registerYear = item.patron.validYear = 1970;
}

brnItem itemOfType(std::int32_t type, std::uint32_t validMask)
{
    brnItem item{};
    item.blockSize = BRN_BLOCK_SIZE;
    item.validMask = validMask;
    item.itemType = type;
    zeroYears(item);
    return item;
}

brnRawItem rawWith(std::uint32_t validMask, const Blocks& blocks)
{
    brnRawItem raw{};
    raw.blockSize = BRN_BLOCK_SIZE;
    raw.validMask = validMask;
    std::copy(blocks.begin(), blocks.end(), raw.blocks);
    return raw;
}

// ---------------------------------------------------------------------------
// Bit layout: each field set to all ones lands on exactly its bits, and those
// bits alone decode to the field's largest value.

struct FieldCase {
    const char* name;
    std::int32_t itemType;          // view the field belongs to (book for common fields)
    void (*setAllOnes)(brnItem&);   // writes more ones than the field can hold
    void (*setLargest)(brnItem&);   // the value those bits decode to
    Blocks blocks;                  // the bits the field occupies
};

std::ostream& operator<<(std::ostream& os, const FieldCase& c) { return os << c.name; }

#define FIELD(view, field, type, block, hi, lo)                                                \
    FieldCase { #view "." #field, type, [](brnItem& i) { i.view.field = ~0u; },                \
                [](brnItem& i) { i.view.field = bits(hi - lo, 0); }, at(block, hi, lo) }
#define YEAR(view, field, type, block, hi, lo)                                                 \
    FieldCase { #view "." #field, type, [](brnItem& i) { i.view.field = 2993; },               \
                [](brnItem& i) { i.view.field = 2993; }, at(block, hi, lo) }

const std::vector<FieldCase>& fieldCases()
{
    static const std::vector<FieldCase> cases = {
        {"formatVersion", 0, [](brnItem& i) { i.formatVersion = ~0u; },
         [](brnItem& i) { i.formatVersion = 0xF; }, at(0, 31, 28)},
        {"typeCode", 0, [](brnItem& i) { i.typeCode = ~0u; },
         [](brnItem& i) { // type 7 has no slots: they stay clear
             i.typeCode = 7;
             i.itemType = 7;
             i.validMask &= ~(BRN_ITEM_BLOCK2 | BRN_ITEM_BLOCK4 | BRN_ITEM_EXTRA);
             i.book = {};
         },
         at(0, 27, 25)},
        {"itemId", 0, [](brnItem& i) { i.itemId = ~0ull; },
         [](brnItem& i) { i.itemId = (1ull << 57) - 1; }, Blocks{bits(24, 0), ~0u}},
        {"itemId high part", 0, [](brnItem& i) { i.itemId = 0x01FFFFFF00000000ull; },
         [](brnItem& i) { i.itemId = 0x01FFFFFF00000000ull; }, at(0, 24, 0)},
        {"libraryId", 0, [](brnItem& i) { i.libraryId = ~0u; },
         [](brnItem& i) { i.libraryId = ~0u; }, at(3, 31, 0)},
        {"book extraWord", 0, [](brnItem& i) { i.extraWord = ~0u; },
         [](brnItem& i) { i.extraWord = ~0u; }, at(5, 31, 0)},
        {"book extraLong high", 0, [](brnItem& i) { i.extraLong = 0xFFFFFFFF00000000ull; },
         [](brnItem& i) { i.extraLong = 0xFFFFFFFF00000000ull; }, at(6, 31, 0)},
        {"book extraLong low", 0, [](brnItem& i) { i.extraLong = 0xFFFFFFFFull; },
         [](brnItem& i) { i.extraLong = 0xFFFFFFFFull; }, at(7, 31, 0)},
        {"patron extraWord", 1, [](brnItem& i) { i.extraWord = ~0u; },
         [](brnItem& i) { i.extraWord = ~0u; }, at(5, 31, 0)},
        {"patron extraLong", 1, [](brnItem& i) { i.extraLong = ~0ull; },
         [](brnItem& i) { i.extraLong = ~0ull; }, Blocks{0, 0, 0, 0, 0, 0, ~0u, ~0u}},

        FIELD(book, referenceFlag, 0, 2, 31, 31),
        FIELD(book, location, 0, 2, 30, 23),
        FIELD(book, mediaType, 0, 2, 22, 18),
        FIELD(book, bookAux, 0, 2, 17, 0),
        FIELD(book, bookDateFlag, 0, 4, 31, 31),
        FIELD(book, bookMonth, 0, 4, 30, 27),
        FIELD(book, bookDay, 0, 4, 26, 22),
        YEAR(book, bookYear, 0, 4, 21, 12),
        FIELD(book, bookDateAux, 0, 4, 11, 0),

        FIELD(patron, registerMonth, 1, 2, 31, 28),
        FIELD(patron, registerDay, 1, 2, 27, 23),
        YEAR(patron, registerYear, 1, 2, 22, 13),
        FIELD(patron, patronType, 1, 2, 12, 5),
        FIELD(patron, cardStatus, 1, 2, 4, 0),
        FIELD(patron, validMonth, 1, 4, 31, 28),
        FIELD(patron, validDay, 1, 4, 27, 23),
        YEAR(patron, validYear, 1, 4, 22, 13),
        FIELD(patron, patronAux, 1, 4, 12, 0),
    };
    return cases;
}

class FieldLayout : public ::testing::TestWithParam<FieldCase> {};

TEST_P(FieldLayout, EncodesOntoExactlyItsBits)
{
    const FieldCase& c = GetParam();
    brnItem item = itemOfType(c.itemType, BRN_ITEM_ALL);
    c.setAllOnes(item);
    brnRawItem raw{};
    encodeItem(item, raw);
    EXPECT_EQ(blocksOf(raw), c.blocks);
}

TEST_P(FieldLayout, DecodesFromExactlyItsBits)
{
    const FieldCase& c = GetParam();
    brnRawItem raw = rawWith(BRN_RAW_EAS | BRN_RAW_ALL_BLOCKS, c.blocks);
    raw.blocks[0] |= static_cast<std::uint32_t>(c.itemType) << 25;

    brnItem expected = itemOfType(c.itemType, BRN_ITEM_ALL & ~BRN_ITEM_LOCKS);
    expected.typeCode = static_cast<std::uint32_t>(c.itemType);
    c.setLargest(expected);

    brnItem item{};
    decodeItem(raw, item);
    EXPECT_EQ(item, expected);
}

INSTANTIATE_TEST_SUITE_P(AllFields, FieldLayout, ::testing::ValuesIn(fieldCases()),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             for (auto& ch : n)
                                 if (!std::isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return n;
                         });

TEST(Records, HeaderCompilesAsCWithTheSameLayoutAndSharedSlots)
{
    EXPECT_EQ(brnHeaderCheckC(), 88 + 48 + 1);
}

// ---------------------------------------------------------------------------
// Whole items both ways.

brnItem sampleBook()
{
    brnItem b = itemOfType(BRN_ITEM_TYPE_BOOK, BRN_ITEM_ALL);
    b.easState = 1;
    b.lockMask = BRN_ITEM_EAS | BRN_ITEM_IDENTITY | BRN_ITEM_BLOCK2 | BRN_ITEM_LIBRARY
                 | BRN_ITEM_BLOCK4 | BRN_ITEM_EXTRA;
    b.formatVersion = 1;
    b.typeCode = 0;
    b.itemId = 0x00ABCDEF12345678ull & ((1ull << 57) - 1);
    b.libraryId = 12345;
    b.book = {1, 12, 31, 2024, 0xABC, 1, 33, 17, 0x2F0F0};
    b.extraWord = 0xDEADBEEF;
    b.extraLong = 0x0123456789ABCDEFull;
    return b;
}

brnItem samplePatronCard()
{
    brnItem p = itemOfType(BRN_ITEM_TYPE_PATRON_CARD, BRN_ITEM_ALL);
    p.easState = 0;
    p.formatVersion = 1;
    p.typeCode = 1;
    p.itemId = 20061234;
    p.libraryId = 7;
    p.patron = {9, 1, 2006, 3, 2, 8, 31, 2030, 0x1555};
    p.extraWord = 1;
    p.extraLong = 2;
    return p;
}

TEST(ItemCodec, BookEncodesToKnownBlocks)
{
    brnItem book = sampleBook();
    brnRawItem raw{};
    encodeItem(book, raw);
    EXPECT_EQ(raw.blockSize, 4);
    EXPECT_EQ(raw.validMask, 0x3FFu);
    EXPECT_EQ(raw.lockMask, 0x3FDu);
    EXPECT_EQ(raw.easState, 1);
    const Blocks expected = {
        0x10ABCDEFu,
        0x12345678u,
        1u << 31 | 33u << 23 | 17u << 18 | 0x2F0F0u,
        12345u,
        1u << 31 | 12u << 27 | 31u << 22 | 54u << 12 | 0xABCu,
        0xDEADBEEFu,
        0x01234567u,
        0x89ABCDEFu,
    };
    EXPECT_EQ(blocksOf(raw), expected);
}

TEST(ItemCodec, PatronCardEncodesToKnownBlocks)
{
    brnItem card = samplePatronCard();
    brnRawItem raw{};
    encodeItem(card, raw);
    const Blocks expected = {
        0x12000000u, 20061234u, 9u << 28 | 1u << 23 | 36u << 13 | 3u << 5 | 2u, 7u,
        8u << 28 | 31u << 23 | 60u << 13 | 0x1555u, 1u, 0u, 2u,
    };
    EXPECT_EQ(blocksOf(raw), expected);
}

TEST(ItemCodec, ItemsSurviveEncodeAndDecode)
{
    for (const brnItem& original : {sampleBook(), samplePatronCard()}) {
        brnItem item = original;
        brnRawItem raw{};
        encodeItem(item, raw);
        EXPECT_EQ(item, original) << "encoding must not change a regular item";
        brnItem back{};
        decodeItem(raw, back);
        EXPECT_EQ(back, original);
    }
}

TEST(ItemCodec, DecodeOverwritesEveryFieldOfTheCallersRecord)
{
    brnItem item;
    std::memset(&item, 0xA5, sizeof item);
    decodeItem(rawWith(0, {}), item);
    brnItem expected{};
    expected.blockSize = 4;
    EXPECT_EQ(item, expected);
}

TEST(ItemCodec, BlockSizeIsCopiedAsItIs)
{
    brnItem item = sampleBook();
    item.blockSize = 7;
    brnRawItem raw{};
    encodeItem(item, raw);
    EXPECT_EQ(raw.blockSize, 7);
    raw.blockSize = -3;
    decodeItem(raw, item);
    EXPECT_EQ(item.blockSize, -3);
}

TEST(ItemCodec, EasStateTravelsOnlyWhenMarked)
{
    brnItem item = itemOfType(BRN_ITEM_TYPE_BOOK, 0);
    item.easState = 1;
    brnRawItem raw{};
    encodeItem(item, raw);
    EXPECT_EQ(raw.validMask, 0u);
    EXPECT_EQ(raw.easState, 0);
    item.validMask = BRN_ITEM_EAS;
    encodeItem(item, raw);
    EXPECT_EQ(raw.validMask, BRN_RAW_EAS);
    EXPECT_EQ(raw.easState, 1);

    raw = rawWith(0, {});
    raw.easState = 1;
    decodeItem(raw, item);
    EXPECT_EQ(item.validMask, 0u);
    EXPECT_EQ(item.easState, 0);
    raw.validMask = BRN_RAW_EAS;
    decodeItem(raw, item);
    EXPECT_EQ(item.validMask, BRN_ITEM_EAS);
    EXPECT_EQ(item.easState, 1);
}

TEST(ItemCodec, IdentityBlocksAreComputedEvenWhenNotToBeWritten)
{
    brnItem item = itemOfType(BRN_ITEM_TYPE_BOOK, BRN_ITEM_LIBRARY);
    item.formatVersion = 0x13; // only the low four bits survive
    item.typeCode = 0xA;       // only the low three bits survive
    item.itemId = 0x0000000500000006ull;
    item.libraryId = 9;
    brnRawItem raw{};
    encodeItem(item, raw);
    EXPECT_EQ(raw.validMask, BRN_RAW_BLOCK(3));
    EXPECT_EQ(raw.blocks[0], 0x34000005u);
    EXPECT_EQ(raw.blocks[1], 6u);
}

TEST(ItemCodec, ItemIdLosesTheBitsAboveBit56)
{
    brnItem item = itemOfType(BRN_ITEM_TYPE_BOOK, BRN_ITEM_IDENTITY);
    item.itemId = (1ull << 57) + 5;
    brnRawItem raw{};
    encodeItem(item, raw);
    EXPECT_EQ(raw.blocks[0], 0u);
    EXPECT_EQ(raw.blocks[1], 5u);
    item.itemId = ~0ull;
    encodeItem(item, raw);
    brnItem back{};
    decodeItem(raw, back);
    EXPECT_EQ(back.itemId, (1ull << 57) - 1);
}

// ---------------------------------------------------------------------------
// Item types and the two views of the slots.

TEST(ItemTypes, TypeComesFromBlockZeroBitsTwentySevenToTwentyFive)
{
    for (std::uint32_t type = 0; type < 8; ++type) {
        brnItem item{};
        decodeItem(rawWith(BRN_RAW_BLOCK(0), {type << 25}), item);
        EXPECT_EQ(item.itemType, static_cast<std::int32_t>(type));
        EXPECT_EQ(item.typeCode, type);
        // Read or not, block 0 decides the type.
        decodeItem(rawWith(BRN_RAW_BLOCK(3), {type << 25}), item);
        EXPECT_EQ(item.itemType, static_cast<std::int32_t>(type));
        EXPECT_EQ(item.typeCode, 0u);
    }
}

TEST(ItemTypes, WithoutBlocksZeroAndOneAPatronCardDecodesAsABook)
{
    brnItem card = samplePatronCard();
    brnRawItem raw{};
    encodeItem(card, raw);
    raw.validMask &= ~(BRN_RAW_BLOCK(0) | BRN_RAW_BLOCK(1));
    raw.blocks[0] = raw.blocks[1] = 0; // not read
    brnItem item{};
    decodeItem(raw, item);
    EXPECT_EQ(item.itemType, BRN_ITEM_TYPE_BOOK);
    EXPECT_EQ(item.validMask, BRN_ITEM_EAS | BRN_ITEM_LOCKS | BRN_ITEM_BLOCK2 | BRN_ITEM_LIBRARY | BRN_ITEM_BLOCK4
                                  | BRN_ITEM_EXTRA);
    // Block 2 of the card seen through the book view.
    EXPECT_EQ(item.book.referenceFlag, 1u);                // registerMonth 9 = 0b1001
    EXPECT_EQ(item.book.location, (9u & 7) << 5 | 1u << 0); // month low bits, day
    EXPECT_EQ(item.book.bookAux, raw.blocks[2] & 0x3FFFF);
    EXPECT_EQ(item.book.bookYear, 1970 + ((raw.blocks[4] >> 12) & 0x3FF));
}

TEST(ItemTypes, ShelfTagReadWithEverythingKeepsOnlyTheCommonParts)
{
    brnRawItem raw = rawWith(0x3FF, {0x14000000u | 0x00000012u, 0x34567890u, ~0u, 44120u, ~0u,
                                     ~0u, ~0u, ~0u});
    raw.lockMask = 0x3FF;
    raw.easState = 1;
    brnItem item{};
    decodeItem(raw, item);

    brnItem expected{};
    expected.blockSize = 4;
    expected.validMask = BRN_ITEM_EAS | BRN_ITEM_LOCKS | BRN_ITEM_IDENTITY | BRN_ITEM_LIBRARY;
    expected.lockMask = BRN_ITEM_EAS | BRN_ITEM_IDENTITY | BRN_ITEM_LIBRARY | BRN_ITEM_EXTRA;
    expected.easState = 1;
    expected.formatVersion = 1;
    expected.typeCode = 2;
    expected.itemType = BRN_ITEM_TYPE_SHELF_TAG;
    expected.itemId = 0x1234567890ull; // no library offset outside books
    expected.libraryId = 44120;
    EXPECT_EQ(item, expected);
}

TEST(ItemTypes, OtherTypesWriteZeroBlocksButStillMarkThem)
{
    for (std::int32_t type : {2, 3, 7, -1}) {
        SCOPED_TRACE(type);
        brnItem item = itemOfType(type, BRN_ITEM_EXTRA);
        item.book = {1, 2, 3, 2000, 5, 1, 7, 8, 9};
        item.extraWord = ~0u;
        item.extraLong = ~0ull;
        brnRawItem raw{};
        encodeItem(item, raw);
        EXPECT_EQ(raw.validMask, 0x380u);
        EXPECT_EQ(blocksOf(raw), Blocks{});

        item.validMask = BRN_ITEM_BLOCK2 | BRN_ITEM_BLOCK4;
        encodeItem(item, raw);
        EXPECT_EQ(raw.validMask, BRN_RAW_BLOCK(2) | BRN_RAW_BLOCK(4));
        EXPECT_EQ(blocksOf(raw), Blocks{});
    }
}

TEST(ItemTypes, AfiPerType)
{
    EXPECT_EQ(afiForItemType(0), 0x91);
    EXPECT_EQ(afiForItemType(1), 0x92);
    EXPECT_EQ(afiForItemType(2), 0x93);
    EXPECT_EQ(afiForItemType(3), std::nullopt);
    EXPECT_EQ(afiForItemType(-1), std::nullopt);
}

// ---------------------------------------------------------------------------
// Year codes.

struct YearCase {
    std::uint32_t year;
    std::uint32_t code;
    std::uint32_t readsBack;
};

TEST(YearCodes, StoredAsYearSince1970ModuloTen24)
{
    const YearCase cases[] = {
        {2000, 30, 2000}, {1970, 0, 1970}, {2993, 1023, 2993}, {2994, 0, 1970},
        {1969, 1023, 2993}, {0, 78, 2048}, {2048, 78, 2048}, {2024, 54, 2024},
    };
    struct YearField {
        std::int32_t type;
        std::uint32_t& (*field)(brnItem&);
        int block;
        int shift;
    };
    const YearField fields[] = {
        {0, [](brnItem& i) -> std::uint32_t& { return i.book.bookYear; }, 4, 12},
        {1, [](brnItem& i) -> std::uint32_t& { return i.patron.registerYear; }, 2, 13},
        {1, [](brnItem& i) -> std::uint32_t& { return i.patron.validYear; }, 4, 13},
    };
    for (const auto& f : fields) {
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << "block " << f.block << " year " << c.year);
            EXPECT_EQ(yearCode(c.year), c.code);
            brnItem item = itemOfType(f.type, BRN_ITEM_BLOCK2 | BRN_ITEM_BLOCK4);
            f.field(item) = c.year;
            brnRawItem raw{};
            encodeItem(item, raw);
            EXPECT_EQ((raw.blocks[f.block] >> f.shift) & 0x3FF, c.code);
            raw.validMask |= BRN_RAW_BLOCK(0);
            raw.blocks[0] = static_cast<std::uint32_t>(f.type) << 25;
            brnItem back{};
            decodeItem(raw, back);
            EXPECT_EQ(f.field(back), c.readsBack);
        }
    }
}

// ---------------------------------------------------------------------------
// Library 44120 keeps only the last part of a book's number on the tag.

struct ShortIdEncode {
    std::uint64_t itemId;
    std::uint32_t libraryId;
    std::int32_t itemType;
    std::uint64_t stored; // in blocks 0 and 1, and left in the caller's record
};

TEST(ShortIds, EncodingShortensTheCallersNumberInsideTheRange)
{
    const ShortIdEncode cases[] = {
        {4412000000123ull, 44120, 0, 123},
        {4412000000000ull, 44120, 0, 0},
        {4412009999998ull, 44120, 0, 9999998},
        {4412009999999ull, 44120, 0, 4412009999999ull},
        {4411999999999ull, 44120, 0, 4411999999999ull},
        {123, 44120, 0, 123},
        {4412000000123ull, 44121, 0, 4412000000123ull},
        {4412000000123ull, 44120, 1, 4412000000123ull},
        {4412000000123ull, 44120, 2, 4412000000123ull},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.itemId << " lib " << c.libraryId << " type " << c.itemType);
        brnItem item = itemOfType(c.itemType, BRN_ITEM_IDENTITY | BRN_ITEM_LIBRARY);
        item.itemId = c.itemId;
        item.libraryId = c.libraryId;
        brnRawItem raw{};
        encodeItem(item, raw);
        EXPECT_EQ((std::uint64_t{raw.blocks[0] & 0x1FFFFFF} << 32) | raw.blocks[1], c.stored);
        EXPECT_EQ(item.itemId, c.stored);
    }
}

struct ShortIdDecode {
    std::uint64_t stored;
    std::uint32_t libraryId;
    std::uint32_t typeCode;
    bool libraryRead;
    std::uint64_t shown;
};

TEST(ShortIds, DecodingRestoresTheFullNumberOfShortStoredBooks)
{
    const ShortIdDecode cases[] = {
        {123, 44120, 0, true, 4412000000123ull},
        {0, 44120, 0, true, 4412000000000ull},
        {9999998, 44120, 0, true, 4412009999998ull},
        {9999999, 44120, 0, true, 9999999},
        {10000000, 44120, 0, true, 10000000},
        {(1ull << 32) + 123, 44120, 0, true, (1ull << 32) + 123},
        {123, 44121, 0, true, 123},
        {123, 44120, 1, true, 123},
        {123, 44120, 2, true, 123},
        {123, 44120, 0, false, 123}, // without block 3 the library is unknown
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.stored << " lib " << c.libraryId << " type "
                                        << c.typeCode << " read " << c.libraryRead);
        brnRawItem raw = rawWith(BRN_RAW_BLOCK(0) | BRN_RAW_BLOCK(1)
                                     | (c.libraryRead ? BRN_RAW_BLOCK(3) : 0u),
                                 {static_cast<std::uint32_t>(c.stored >> 32) | c.typeCode << 25,
                                  static_cast<std::uint32_t>(c.stored), 0,
                                  c.libraryRead ? c.libraryId : 0u});
        brnItem item{};
        decodeItem(raw, item);
        EXPECT_EQ(item.itemId, c.shown);
    }
}

TEST(ShortIds, ABookOfTheLibraryReadsBackAsWritten)
{
    brnItem book = sampleBook();
    book.libraryId = 44120;
    book.itemId = 4412000000123ull;
    brnRawItem raw{};
    encodeItem(book, raw);
    EXPECT_EQ(raw.blocks[0] & 0x1FFFFFF, 0u);
    EXPECT_EQ(raw.blocks[1], 123u);
    EXPECT_EQ(book.itemId, 123u);
    brnItem back{};
    decodeItem(raw, back);
    EXPECT_EQ(back.itemId, 4412000000123ull);
}

// ---------------------------------------------------------------------------
// Masks.

struct MaskCase {
    std::uint32_t in;
    std::uint32_t out;
};

TEST(Masks, ItemRequestToRawRequest)
{
    const MaskCase cases[] = {
        {0x01, 0x001}, {0x02, 0x002}, {0x04, 0x00C}, {0x08, 0x010}, {0x10, 0x020},
        {0x20, 0x040}, {0x40, 0x380}, {0x7F, 0x3FF}, {0xFFFFFF80u, 0}, {0, 0},
        {0x44, 0x38C},
    };
    for (const auto& c : cases)
        EXPECT_EQ(itemRequestToRawRequest(c.in), c.out) << std::hex << c.in;
}

TEST(Masks, RawLockStatusToItemLockBits)
{
    const MaskCase cases[] = {
        {0x001, 0}, {0x002, 0}, {0x004, 0x04}, {0x008, 0x04}, {0x00C, 0x04}, {0x010, 0x08},
        {0x020, 0x10}, {0x040, 0x20}, {0x080, 0x40}, {0x100, 0x40}, {0x200, 0x40},
        {0x3FF, 0x7C}, {0xFFFFFC00u, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rawLocksToItemLocks(c.in), c.out) << std::hex << c.in;
}

TEST(Masks, EncodedLocksCoverWholeBlockGroupsWhateverTheType)
{
    const MaskCase cases[] = {
        {0x01, 0x001}, {0x02, 0}, {0x04, 0x00C}, {0x08, 0x010}, {0x10, 0x020},
        {0x20, 0x040}, {0x40, 0x380}, {0x7F, 0x3FD}, {0xFFFFFF80u, 0},
    };
    for (std::int32_t type : {0, 1, 2, 5}) {
        for (const auto& c : cases) {
            brnItem item = itemOfType(type, BRN_ITEM_LOCKS);
            item.lockMask = c.in;
            brnRawItem raw{};
            encodeItem(item, raw);
            EXPECT_EQ(raw.validMask, BRN_RAW_LOCKS);
            EXPECT_EQ(raw.lockMask, c.out) << "type " << type << std::hex << " locks " << c.in;
        }
    }
    brnItem item = itemOfType(0, 0);
    item.lockMask = 0x7F;
    brnRawItem raw{};
    encodeItem(item, raw);
    EXPECT_EQ(raw.lockMask, 0u) << "locks travel only when marked";
}

TEST(Masks, DecodedLocksDependOnTheTypeForBlocksTwoAndFour)
{
    struct Case {
        std::uint32_t raw;
        std::uint32_t book;  // also patron cards
        std::uint32_t other; // shelf tags and unknown types
    };
    const Case cases[] = {
        {0x001, 0x01, 0x01}, {0x002, 0, 0}, {0x004, 0x04, 0x04}, {0x008, 0x04, 0x04},
        {0x010, 0x08, 0}, {0x020, 0x10, 0x10}, {0x040, 0x20, 0}, {0x080, 0x40, 0x40},
        {0x100, 0x40, 0x40}, {0x200, 0x40, 0x40}, {0x3FF, 0x7D, 0x55},
    };
    for (std::uint32_t type : {0u, 1u, 2u, 6u}) {
        for (const auto& c : cases) {
            brnRawItem raw = rawWith(BRN_RAW_LOCKS, {type << 25});
            raw.lockMask = c.raw;
            brnItem item{};
            decodeItem(raw, item);
            EXPECT_EQ(item.validMask, BRN_ITEM_LOCKS);
            EXPECT_EQ(item.lockMask, type < 2 ? c.book : c.other)
                << "type " << type << std::hex << " raw " << c.raw;
        }
    }
    brnRawItem raw = rawWith(0, {});
    raw.lockMask = 0x3FF;
    brnItem item{};
    decodeItem(raw, item);
    EXPECT_EQ(item.lockMask, 0u) << "lock status counts only when it was read";
}

TEST(Masks, EachItemPartMarksItsBlocks)
{
    const MaskCase cases[] = {
        {0x01, 0x001}, {0x02, 0x002}, {0x04, 0x00C}, {0x08, 0x010}, {0x10, 0x020},
        {0x20, 0x040}, {0x40, 0x380}, {0x7F, 0x3FF}, {0xFFFFFF80u, 0},
    };
    for (std::int32_t type : {0, 1, 2}) {
        for (const auto& c : cases) {
            brnItem item = itemOfType(type, c.in);
            brnRawItem raw{};
            encodeItem(item, raw);
            EXPECT_EQ(raw.validMask, c.out) << "type " << type << std::hex << " valid " << c.in;
        }
    }
}

TEST(Masks, EachReadPartMarksItsItemFields)
{
    struct Case {
        std::uint32_t raw;
        std::uint32_t book;
        std::uint32_t shelf;
    };
    const Case cases[] = {
        {0x001, 0x01, 0x01}, {0x002, 0x02, 0x02}, {0x004, 0x04, 0x04}, {0x008, 0x04, 0x04},
        {0x010, 0x08, 0}, {0x020, 0x10, 0x10}, {0x040, 0x20, 0}, {0x080, 0x40, 0},
        {0x100, 0x40, 0}, {0x200, 0x40, 0}, {0xFFFFFC00u, 0, 0},
    };
    for (const auto& c : cases) {
        brnItem item{};
        decodeItem(rawWith(c.raw, {}), item);
        EXPECT_EQ(item.validMask, c.book) << std::hex << c.raw;
        decodeItem(rawWith(c.raw, {2u << 25}), item);
        EXPECT_EQ(item.validMask, c.shelf) << std::hex << c.raw;
    }
}

} // namespace
