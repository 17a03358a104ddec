// Single reads through the whole stack against a simulated reader of each
// family on a pseudo-terminal: the one-tag search with its retries, raw and
// item reads (by type too), UID read, lock queries, inventory counts and
// the RF field the reads leave behind.
#include <algorithm>
#include <array>
#include <cstring>

#include "brenholt_datamodel.h"
#include "platform/clock.h"
#include "reader_fixture.h"
#include "sim/iso15693.h"

using namespace brenholt_test;

namespace {

constexpr std::uint32_t kAllRaw = BRN_RAW_EAS | BRN_RAW_LOCKS | BRN_RAW_ALL_BLOCKS;

struct Stopwatch {
    std::uint64_t start = platform::monotonicMs();
    std::uint64_t ms() const { return platform::monotonicMs() - start; }
};

class SingleRead : public ReaderTest {};

} // namespace

TEST_P(SingleRead, RawReadOfEverything)
{
    place(kBook);
    open();
    brnRawItem raw{};
    ASSERT_EQ(brnReadSingleRawItem(handle_, 10, kAllRaw, &raw), BRN_OK);
    EXPECT_EQ(raw.blockSize, 4);
    EXPECT_EQ(raw.validMask, kAllRaw);
    EXPECT_EQ(raw.easState, 1);
    EXPECT_EQ(raw.lockMask, BRN_RAW_LOCK_BLOCK(0) | BRN_RAW_LOCK_BLOCK(1));
    const std::uint32_t expected[8] = {0x10000000, 0x00003039, 0x20040000, 0x0000AC58,
                                       0x9BC38000, 0x11111111, 0x22222222, 0x33333333};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(raw.blocks[i], expected[i]) << "block " << i;
    EXPECT_FALSE(reader().rfOn()) << "a completed read switches the field off";
}

TEST_P(SingleRead, RawReadOfSomeBlocks)
{
    place(kCard);
    open();
    brnRawItem raw;
    std::memset(&raw, 0xA5, sizeof raw);
    ASSERT_EQ(brnReadSingleRawItem(handle_, 10, 0x00C, &raw), BRN_OK);
    EXPECT_EQ(raw.validMask, 0x00Cu);
    EXPECT_EQ(raw.blocks[0], 0x12000000u);
    EXPECT_EQ(raw.blocks[1], 0x013524A1u);
    EXPECT_EQ(raw.blocks[2], 0u) << "the record is cleared before it is filled";
    EXPECT_EQ(raw.lockMask, 0u);
    // An EAS bit that is off is read as such, or on FENO readers (whose tag
    // does not answer the query then) not at all.
    ASSERT_EQ(brnReadSingleRawItem(handle_, 10, BRN_RAW_EAS | BRN_RAW_BLOCK(3), &raw), BRN_OK);
    EXPECT_EQ(raw.validMask, GetParam().easOffAnswered ? BRN_RAW_EAS | BRN_RAW_BLOCK(3) : BRN_RAW_BLOCK(3));
    EXPECT_EQ(raw.easState, 0);
    EXPECT_EQ(raw.blocks[3], 44120u);
}

TEST_P(SingleRead, NothingRequestedReadsNothing)
{
    place(kBook);
    open();
    const std::uint64_t commands = reader().commandCount();
    brnRawItem raw;
    std::memset(&raw, 0x5A, sizeof raw);
    const brnRawItem before = raw;
    EXPECT_EQ(brnReadSingleRawItem(handle_, 10, 0, &raw), BRN_OK);
    EXPECT_EQ(std::memcmp(&raw, &before, sizeof raw), 0);
    std::uint32_t locks = 0x77;
    EXPECT_EQ(brnReadSingleRawItemLocking(handle_, 10, 0, &locks), BRN_OK);
    EXPECT_EQ(locks, 0x77u);
    EXPECT_EQ(reader().commandCount(), commands);
    // An item mask without any part asks for nothing: the item comes back all zero.
    brnItem item;
    std::memset(&item, 0x5A, sizeof item);
    EXPECT_EQ(brnReadSingleItem(handle_, 10, 0x80, &item), BRN_OK);
    EXPECT_EQ(item.blockSize, 0);
    EXPECT_EQ(item.validMask, 0u);
    EXPECT_EQ(item.itemId, 0u);
}

TEST_P(SingleRead, ItemReadDecodesTheBook)
{
    place(kBook);
    open();
    brnItem item{};
    ASSERT_EQ(brnReadSingleItem(handle_, 10, BRN_ITEM_ALL, &item), BRN_OK);
    EXPECT_EQ(item.validMask, static_cast<std::uint32_t>(BRN_ITEM_ALL));
    EXPECT_EQ(item.itemType, BRN_ITEM_TYPE_BOOK);
    EXPECT_EQ(item.itemId, 4412000012345u) << "library 44120 stores the short number";
    EXPECT_EQ(item.libraryId, 44120u);
    EXPECT_EQ(item.formatVersion, 1u);
    EXPECT_EQ(item.book.location, 64u);
    EXPECT_EQ(item.book.mediaType, 1u);
    EXPECT_EQ(item.book.bookYear, 2026u);
    EXPECT_EQ(item.book.bookMonth, 3u);
    EXPECT_EQ(item.book.bookDay, 15u);
    EXPECT_EQ(item.easState, 1);
    EXPECT_EQ(item.lockMask, static_cast<std::uint32_t>(BRN_ITEM_IDENTITY));
    EXPECT_EQ(item.extraWord, 0x11111111u);
    EXPECT_EQ(item.extraLong, 0x2222222233333333u);
    // As the desktop program verifies a write: the identifier only.
    brnItem id{};
    ASSERT_EQ(brnReadSingleItem(handle_, 10, BRN_ITEM_IDENTITY, &id), BRN_OK);
    EXPECT_EQ(id.validMask, static_cast<std::uint32_t>(BRN_ITEM_IDENTITY));
    EXPECT_EQ(id.itemId, 12345u) << "without the library identifier the stored number stays short";
}

TEST_P(SingleRead, NoTagAfterThreeInventories)
{
    open();
    const std::uint64_t commands = reader().commandCount();
    constexpr std::uint32_t kDelay = 60;
    brnItem item{};
    item.itemId = 99;
    Stopwatch watch;
    EXPECT_EQ(brnReadSingleItem(handle_, kDelay, BRN_ITEM_IDENTITY, &item), BRN_ERR_NO_TAG);
    EXPECT_GE(watch.ms(), 3 * kDelay) << "a wait after each of the three empty inventories";
    EXPECT_EQ(reader().commandCount() - commands, 4u) << "RF on, then three inventories";
    EXPECT_EQ(item.itemId, 99u) << "a failed item read leaves the item alone";
    EXPECT_TRUE(reader().rfOn()) << "a failed read leaves the field on";
}

TEST_P(SingleRead, TwoTagsAtOnce)
{
    if (!GetParam().manyTagInventories)
        GTEST_SKIP() << "this family's inventory reports one tag";
    place(kBook);
    place(kCard);
    open();
    const std::uint64_t commands = reader().commandCount();
    constexpr std::uint32_t kDelay = 500;
    brnRawItem raw{};
    Stopwatch watch;
    EXPECT_EQ(brnReadSingleRawItem(handle_, kDelay, kAllRaw, &raw), BRN_ERR_MANY_TAGS);
    EXPECT_LT(watch.ms(), kDelay) << "no retry when tags answered";
    EXPECT_EQ(reader().commandCount() - commands, 2u) << "RF on, one inventory";
}

TEST_P(SingleRead, ByTypeFiltersOnTheAfi)
{
    place(kCard);
    open();
    brnItem item{};
    ASSERT_EQ(brnReadSingleItemByType(handle_, 10, BRN_ITEM_TYPE_PATRON_CARD, BRN_ITEM_IDENTITY, &item), BRN_OK);
    EXPECT_EQ(item.itemType, BRN_ITEM_TYPE_PATRON_CARD);
    EXPECT_EQ(item.itemId, 20260001u);
    // Another type's AFI: the card does not answer, on readers that filter.
    brnRawItem raw{};
    const std::int32_t book = brnReadSingleRawItemByType(handle_, 10, BRN_ITEM_TYPE_BOOK, 0x00C, &raw);
    if (GetParam().afiSingleReads) {
        EXPECT_EQ(book, BRN_ERR_NO_TAG);
    } else {
        EXPECT_EQ(book, BRN_OK);
        EXPECT_EQ(raw.blocks[0], 0x12000000u);
    }
    // A type without an AFI reads any tag.
    EXPECT_EQ(brnReadSingleRawItemByType(handle_, 10, 7, 0x00C, &raw), BRN_OK);
    EXPECT_EQ(raw.blocks[1], 0x013524A1u);
}

TEST_P(SingleRead, ByTypeAmongOtherTags)
{
    if (!GetParam().afiSingleReads || !GetParam().manyTagInventories)
        GTEST_SKIP() << "this family's single reads find one tag of any AFI";
    place(kBook);
    place(kCard);
    place(kShelf);
    open();
    brnItem item{};
    const std::int32_t code = brnReadSingleItemByType(handle_, 10, BRN_ITEM_TYPE_SHELF_TAG, BRN_ITEM_IDENTITY, &item);
    if (GetParam().addressedReads) {
        ASSERT_EQ(code, BRN_OK);
        EXPECT_EQ(item.itemType, BRN_ITEM_TYPE_SHELF_TAG);
        EXPECT_EQ(item.itemId, 3001u);
    } else {
        // The one shelf tag is found, but the unaddressed block reads reach all three.
        EXPECT_EQ(code, BRN_ERR_READ);
    }
    EXPECT_EQ(brnReadSingleItem(handle_, 10, BRN_ITEM_IDENTITY, &item), BRN_ERR_MANY_TAGS);
}

TEST_P(SingleRead, LockQueries)
{
    place(kBook);
    open();
    std::uint32_t locks = 0;
    ASSERT_EQ(brnReadSingleRawItemLocking(handle_, 10, BRN_RAW_LOCKS, &locks), BRN_OK);
    EXPECT_EQ(locks, BRN_RAW_LOCK_BLOCK(0) | BRN_RAW_LOCK_BLOCK(1));
    // Without bit 1 the query finds the tag but reads no lock status.
    locks = 0x55;
    ASSERT_EQ(brnReadSingleRawItemLocking(handle_, 10, BRN_RAW_BLOCK(0), &locks), BRN_OK);
    EXPECT_EQ(locks, 0u);
    ASSERT_EQ(brnReadSingleItemLocking(handle_, 10, BRN_ITEM_IDENTITY, &locks), BRN_OK);
    EXPECT_EQ(locks, static_cast<std::uint32_t>(BRN_ITEM_IDENTITY));
    EXPECT_FALSE(reader().rfOn());

    reader().removeAll();
    place(kCard);
    ASSERT_EQ(brnReadSingleItemLocking(handle_, 10, BRN_ITEM_EXTRA, &locks), BRN_OK);
    EXPECT_EQ(locks, static_cast<std::uint32_t>(BRN_ITEM_EXTRA));
}

TEST_P(SingleRead, UidReadLeavesTheFieldOn)
{
    place(kBook);
    open();
    std::uint8_t uid[8] = {};
    ASSERT_EQ(brnReadSingleUID(handle_, uid), BRN_OK);
    EXPECT_TRUE(std::equal(uid, uid + 8, kBookUid));
    EXPECT_TRUE(reader().rfOn());
    // The next read finds the flag set and does not switch the field on
    // again; with the field gone behind its back, it finds no tag.
    reader().setRf(false);
    brnRawItem raw{};
    EXPECT_EQ(brnReadSingleRawItem(handle_, 10, 0x00C, &raw), BRN_ERR_NO_TAG);
    EXPECT_FALSE(reader().rfOn());
    // The field is on again, as the library last left it: the read completes
    // and switches it off.
    reader().setRf(true);
    ASSERT_EQ(brnReadSingleRawItem(handle_, 10, 0x00C, &raw), BRN_OK);
    EXPECT_EQ(raw.blocks[1], 0x00003039u);
    EXPECT_FALSE(reader().rfOn());
    // After a completed read the flag is clear: the next read switches the field on itself.
    ASSERT_EQ(brnReadSingleRawItem(handle_, 10, 0x00C, &raw), BRN_OK);
}

TEST_P(SingleRead, InventoryCounts)
{
    place(kBook);
    place(kCard);
    place(kShelf);
    open();
    // A count sees every tag, on the second make too (its streamed inventory).
    const std::int32_t all = 3;
    EXPECT_EQ(brnInventory(handle_), all);
    EXPECT_FALSE(reader().rfOn()) << "the count switches the field off";
    EXPECT_EQ(brnInventoryByType(handle_, BRN_ITEM_TYPE_PATRON_CARD), 1);
    EXPECT_EQ(brnInventoryByType(handle_, 9), all) << "a type without an AFI counts every tag";
    reader().removeAll();
    EXPECT_EQ(brnInventory(handle_), 0);
    EXPECT_EQ(brnInventoryByType(handle_, BRN_ITEM_TYPE_BOOK), 0);
}

TEST_P(SingleRead, CallsOnAnotherFamilysHandle)
{
    place(kBook);
    open();
    // The process-wide family decides; a handle of another make is refused.
    ASSERT_EQ(brnSwitchReader(handle_, GetParam().firstMake ? BRN_FAMILY_DALRIX : BRN_FAMILY_FENO, 0), 0);
    brnRawItem raw{};
    EXPECT_EQ(brnReadSingleRawItem(handle_, 10, kAllRaw, &raw), BRN_ERR_HANDLE);
    ASSERT_EQ(brnSwitchReader(handle_, GetParam().number, 0), 0);
    EXPECT_EQ(brnReadSingleRawItem(handle_, 10, kAllRaw, &raw), BRN_OK);
}

TEST_P(SingleRead, TagMemoryOfEachDataModel)
{
    const struct {
        const char* line;
        std::int32_t afi, dsfid, model;
        std::uint32_t size; // the whole memory; this library's tags blocks 0 to 7
        const char* itemId;
        const char* owner;
    } tags[] = {
        {kIso28560_3, 0x07, 0x3E, BRN_DM_MODEL_ISO28560_3, 112, "1000000136", "DK-718500"},
        {kIso28560_2, 0x07, 0x06, BRN_DM_MODEL_ISO28560_2, 112, "1620168259", "FI-Mamk-M"},
        {kBook, 0x91, 0x00, BRN_DM_MODEL_HOUSE, 32, "", ""},
    };
    open();
    for (const auto& t : tags) {
        SCOPED_TRACE(std::string(t.line, 16));
        place(t.line);
        brnTagMemory m;
        std::memset(&m, 0xA5, sizeof m);
        ASSERT_EQ(brnReadSingleTagMemory(handle_, 10, BRN_TAG_MEMORY_MAX_BLOCKS, &m), BRN_OK);
        EXPECT_EQ(sim::uidToText(std::to_array(m.uid)), std::string(t.line, 16));
        EXPECT_EQ((std::array{m.afi, m.dsfid, m.blockCount, m.blockSize}),
                  (std::array<std::int32_t, 4>{t.afi, t.dsfid, 28, 4}));
        ASSERT_EQ(m.size, t.size);
        const sim::Tag tag = *reader().tag(*sim::uidFromText(std::string(t.line, 16)));
        for (std::uint32_t i = 0; i < m.size; ++i)
            ASSERT_EQ(m.memory[i], tag.blockBytes(static_cast<int>(i / 4))[i % 4]) << "byte " << i;
        EXPECT_FALSE(reader().rfOn()) << "a completed read switches the field off";
        brnDataModelInfo info{};
        ASSERT_EQ(brnClassifyTagMemory(&m, &info), BRN_OK);
        EXPECT_EQ(info.model, t.model);
        EXPECT_STREQ(info.itemId, t.itemId);
        EXPECT_STREQ(info.owner, t.owner);
        // No blocks: the UID and the system information alone.
        ASSERT_EQ(brnReadSingleTagMemory(handle_, 10, 0, &m), BRN_OK);
        EXPECT_EQ(m.size, 0u);
        EXPECT_EQ(m.afi, t.afi);
        reader().removeAll();
    }
    brnTagMemory m{};
    EXPECT_EQ(brnReadSingleTagMemory(handle_, 0, 8, &m), BRN_ERR_NO_TAG);
    EXPECT_EQ(brnReadSingleTagMemory(handle_, 0, BRN_TAG_MEMORY_MAX_BLOCKS + 1, &m), BRN_ERR_PARAMETER);
    EXPECT_EQ(brnReadSingleTagMemory(nullptr, 0, 8, &m), BRN_ERR_HANDLE);
}

INSTANTIATE_TEST_SUITE_P(Families, SingleRead,
                         ::testing::ValuesIn(kFamilies),
                         [](const auto& info) { return std::string(info.param.sim); });
