// Writing through the whole stack against a simulated reader of each family;
// the simulator's tag memory is the judge: blocks, AFI, EAS and locks after
// item and raw writes, refused EAS commands, a write that fails half-way,
// and the rewrite of a tag found by its item identifier (through the sorting
// buffer of continuous reading, or by searching the field).
#include <cstring>
#include <map>
#include <vector>

#include "platform/clock.h"
#include "platform/loop.h"
#include "reader_fixture.h"
#include "sim/fault.h"
#include "sim/iso15693.h"

using namespace brenholt_test;

namespace {

// An unwritten tag, and one whose EAS commands the chip refuses.
const char* const kBlank = "E0040100000000D1";
const char* const kBlankWithoutEas = "E0040100000000D2 noeas";
// Books as the workstation leaves them, without locks.
const char* const kOpenBook = "E0040100000000E5 afi=91 eas=1 10000000 00003039 20040000 0000AC58";
const char* const kOtherBook = "E0040100000000E6 afi=91 eas=1 10000000 0000D431 20040000 0000AC58";

sim::Uid uidOf(const char* line) { return *sim::uidFromText(std::string(line, 16)); }

// What a write of such an item leaves on the tag.
struct Expected {
    const char* name;
    brnItem (*make)(bool);
    bool option; // lock (book, card) / EAS (shelf)
    std::uint8_t afi;
    std::map<int, std::uint32_t> blocks; // block values; other blocks stay 0
    std::vector<int> lockedBlocks;       // on families that lock block 0
    bool eas;
};

const Expected kItems[] = {
    // The book's date slots are 0: year 0 is stored as its code (0 - 1970) mod 1024 = 78.
    {"book", bookItem, true, 0x91,
     {{0, 0x10000000}, {1, 0x00003039}, {2, 0x20040000}, {3, 0x0000AC58}, {4, 0x0004E000}}, {0, 1, 3}, true},
    {"card", cardItem, true, 0x92,
     {{0, 0x12000000}, {1, 0x013524A1}, {2, 0x9086C081}, {3, 0x0000AC58}, {4, 0x8F872000}}, {0, 1, 3}, false},
    {"shelf", shelfItem, true, 0x93, {{0, 0x14000000}, {1, 0x00000BB9}, {3, 0x0000AC58}}, {}, true},
};

class Writing : public ReaderTest {
protected:
    sim::Tag tagOnReader(const char* line) { return *reader().tag(uidOf(line)); }

    // The blocks the family locks of those asked for: TALU readers never lock block 0.
    std::vector<int> lockedOn(const std::vector<int>& asked) const
    {
        std::vector<int> locked;
        for (int b : asked)
            if (b != 0 || GetParam().number != BRN_FAMILY_TALU)
                locked.push_back(b);
        return locked;
    }
    static std::vector<int> lockedBlocks(const sim::Tag& tag)
    {
        std::vector<int> locked;
        for (int b = 0; b < tag.blockCount(); ++b)
            if (tag.blockLocked(b))
                locked.push_back(b);
        return locked;
    }
    // The reader command that writes a block, as the simulator counts it.
    int blockWriteCommand() const
    {
        switch (GetParam().number) {
        case BRN_FAMILY_FENO: return 0x27;
        case BRN_FAMILY_ORBA: return 0x28; // the ISO carrier
        default: return 0x21;              // TALU's ISO carrier; the second make's write
        }
    }
};

} // namespace

TEST_P(Writing, ItemsOfEveryTypeWriteAndReadBack)
{
    open();
    for (const Expected& e : kItems) {
        SCOPED_TRACE(e.name);
        reader().removeAll();
        place(kBlank);
        brnItem item = e.make(e.option);
        ASSERT_EQ(brnWriteItems(handle_, &item), BRN_OK);
        EXPECT_TRUE(reader().rfOn()) << "a write leaves the field on";

        const sim::Tag tag = tagOnReader(kBlank);
        for (int b = 0; b < 8; ++b) {
            const auto it = e.blocks.find(b);
            EXPECT_EQ(tag.block(b), it == e.blocks.end() ? 0u : it->second) << "block " << b;
        }
        EXPECT_EQ(tag.afi(), e.afi);
        EXPECT_EQ(tag.eas(), e.eas);
        EXPECT_FALSE(tag.easLocked());
        EXPECT_EQ(lockedBlocks(tag), lockedOn(e.lockedBlocks));

        brnItem back{};
        ASSERT_EQ(brnReadSingleItem(handle_, 10, BRN_ITEM_ALL, &back), BRN_OK);
        EXPECT_EQ(back.itemType, item.itemType);
        EXPECT_EQ(back.typeCode, item.typeCode);
        EXPECT_EQ(back.formatVersion, 1u);
        EXPECT_EQ(back.itemId, e.make(e.option).itemId) << "the full identifier comes back";
        EXPECT_EQ(back.libraryId, 44120u);
        if (item.itemType == BRN_ITEM_TYPE_BOOK) {
            EXPECT_EQ(back.book.location, item.book.location);
            EXPECT_EQ(back.book.mediaType, item.book.mediaType);
            EXPECT_EQ(back.book.referenceFlag, item.book.referenceFlag);
        } else if (item.itemType == BRN_ITEM_TYPE_PATRON_CARD) {
            EXPECT_EQ(std::memcmp(&back.patron, &item.patron, sizeof item.patron), 0) << "the nine slots";
        }
        if (back.validMask & BRN_ITEM_EAS) {
            EXPECT_EQ(back.easState, e.eas ? 1 : 0);
        }
    }
}

TEST_P(Writing, LibraryOffsetLeavesTheShortIdentifierInTheItem)
{
    place(kBlank);
    open();
    brnItem item = bookItem(false);
    ASSERT_EQ(brnWriteItems(handle_, &item), BRN_OK);
    EXPECT_EQ(item.itemId, 12345u);
    // The verification the pages do: the identifier alone, against the item as left.
    brnItem back{};
    back.blockSize = 4;
    ASSERT_EQ(brnReadSingleItem(handle_, 10, BRN_ITEM_IDENTITY, &back), BRN_OK);
    EXPECT_EQ(back.itemId, item.itemId);
}

TEST_P(Writing, RawBlocksWithoutAndWithLocks)
{
    place("E0040100000000D1 afi=07 00000000 00000000 77777777");
    open();
    brnRawItem raw{};
    raw.blockSize = 4;
    raw.validMask = 0x00E; // lock status bit, blocks 0 and 1
    raw.blocks[0] = 0xA0A0A0A0;
    raw.blocks[1] = 0x01020304;
    raw.blocks[2] = 0xFFFFFFFF; // not asked for
    ASSERT_EQ(brnWriteRawItems(handle_, BRN_ADDRESS_ANY, nullptr, &raw, 0, 0), BRN_OK);
    sim::Tag tag = tagOnReader(kBlank);
    EXPECT_EQ(tag.block(0), 0xA0A0A0A0u);
    EXPECT_EQ(tag.block(1), 0x01020304u);
    EXPECT_EQ(tag.block(2), 0x77777777u);
    EXPECT_EQ(tag.blockBytes(1)[0], 0x04) << "tag byte 0 is the value's low byte";
    EXPECT_EQ(tag.afi(), 0x07) << "no AFI asked for";
    EXPECT_TRUE(lockedBlocks(tag).empty()) << "lock bit set, but no block asked to be locked";

    raw.lockMask = 0x00C;
    ASSERT_EQ(brnWriteRawItems(handle_, BRN_ADDRESS_ANY, nullptr, &raw, 1, 0x91), BRN_OK);
    tag = tagOnReader(kBlank);
    EXPECT_EQ(lockedBlocks(tag), lockedOn({0, 1}));
    EXPECT_EQ(tag.afi(), 0x91);
}

TEST_P(Writing, EasLockOnlyOnTalu)
{
    place(kBlank);
    open();
    brnRawItem raw{};
    raw.blockSize = 4;
    raw.validMask = BRN_RAW_EAS | BRN_RAW_LOCKS;
    raw.easState = 1;
    raw.lockMask = BRN_RAW_LOCK_EAS;
    ASSERT_EQ(brnWriteRawItems(handle_, BRN_ADDRESS_ANY, nullptr, &raw, 0, 0), BRN_OK);
    const sim::Tag tag = tagOnReader(kBlank);
    EXPECT_TRUE(tag.eas());
    EXPECT_EQ(tag.easLocked(), GetParam().number == BRN_FAMILY_TALU);
    EXPECT_TRUE(lockedBlocks(tag).empty());
}

TEST_P(Writing, AddressedToOneTagAmongOthers)
{
    if (!GetParam().manyTagInventories)
        GTEST_SKIP() << "this family's readers handle one tag";
    place(kOpenBook);
    place(kOtherBook);
    open();
    brnRawItem raw{};
    raw.blockSize = 4;
    raw.validMask = BRN_RAW_BLOCK(5);
    raw.blocks[5] = 0x5A5A0001;
    const sim::Uid uid = uidOf(kOtherBook);
    ASSERT_EQ(brnWriteRawItems(handle_, BRN_ADDRESS_UID, uid.data(), &raw, 1, 0x93), BRN_OK);
    EXPECT_EQ(tagOnReader(kOtherBook).block(5), 0x5A5A0001u);
    EXPECT_EQ(tagOnReader(kOtherBook).afi(), 0x93);
    EXPECT_EQ(tagOnReader(kOpenBook).block(5), 0u);
    EXPECT_EQ(tagOnReader(kOpenBook).afi(), 0x91);
}

TEST_P(Writing, TagWithoutEasIsStillWritten)
{
    place(kBlankWithoutEas);
    open();
    brnItem item = bookItem(false);
    const std::int32_t code = brnWriteItems(handle_, &item);
    const sim::Tag tag = tagOnReader(kBlankWithoutEas);
    if (GetParam().firstMake) {
        // FENO and TALU readers answer 0xC4, ORBA readers report the tag's
        // refusal in the record only: the write goes on.
        ASSERT_EQ(code, BRN_OK);
        EXPECT_EQ(tag.block(3), 44120u);
        EXPECT_EQ(tag.afi(), 0x91);
    } else {
        // The second make reports the tag's error: the write ends there.
        EXPECT_EQ(code, 0x0F);
        EXPECT_EQ(tag.block(0), 0u);
        EXPECT_FALSE(reader().rfOn());
    }
    EXPECT_FALSE(tag.eas());
}

TEST_P(Writing, BlockWriteFailingAtBlockThree)
{
    place("E0040100000000D1 afi=07 00000000 00000000 00000000 33333333 44444444");
    open();
    brnRawItem raw{};
    raw.blockSize = 4;
    raw.validMask = BRN_RAW_ALL_BLOCKS;
    for (int i = 0; i < 8; ++i)
        raw.blocks[i] = 0xB0000000u + static_cast<std::uint32_t>(i);
    const std::uint8_t status = GetParam().firstMake ? 0xC4 : 0x0F;
    reader().addFault(sim::Fault::statusByte(status).forCode(blockWriteCommand()).after(3));
    const std::int32_t code = brnWriteRawItems(handle_, BRN_ADDRESS_ANY, nullptr, &raw, 0, 0);
    EXPECT_EQ(code, GetParam().firstMake ? BRN_ERR_NO_TAG : 0x0F);
    const sim::Tag tag = tagOnReader(kBlank);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(tag.block(i), 0xB0000000u + static_cast<std::uint32_t>(i)) << "block " << i;
    EXPECT_EQ(tag.block(3), 0x33333333u);
    EXPECT_EQ(tag.block(4), 0x44444444u);
    EXPECT_FALSE(reader().rfOn()) << "a failed write switches the field off";
    EXPECT_TRUE(reader().faults().empty()) << "the fault met block 3";
}

TEST_P(Writing, LineHungUpDuringTheWriteFailsAtOnce)
{
    place(kBlank);
    open();
    // The line closes as the reader takes the second command of that code
    // (a block write, or the EAS write on readers that carry both).
    reader().addFault(sim::Fault::lineClose(-1).forCode(blockWriteCommand()).after(1));
    brnItem item = bookItem(false);
    const std::uint64_t t0 = platform::monotonicMs();
    const std::int32_t noAnswer = GetParam().firstMake ? BRN_ERR_VERSION : 0x30; // the driver's "no answer"
    EXPECT_EQ(brnWriteItems(handle_, &item), noAnswer);
    if (GetParam().firstMake) {
        EXPECT_LT(platform::monotonicMs() - t0, 3000u) << "not the write's 6 s answer time-out";
    }
    EXPECT_EQ(tagOnReader(kBlank).block(3), 0u);
    EXPECT_EQ(brnReaderConnected(handle_), 0);
    // Every later command fails at once (before: three time-outs of a search).
    const std::uint64_t t1 = platform::monotonicMs();
    EXPECT_EQ(brnReadSingleItem(handle_, 10, BRN_ITEM_IDENTITY, &item), noAnswer);
    EXPECT_EQ(brnWriteItems(handle_, &item), noAnswer);
    EXPECT_LT(platform::monotonicMs() - t1, 1500u) << "a reader that does not answer takes seconds";
}

TEST_P(Writing, SlowAnswersWithinTheWriteTimeOut)
{
    if (!GetParam().firstMake)
        GTEST_SKIP() << "the second make's driver keeps its own time-outs";
    place(kBlank);
    open();
    // Far beyond the link's 500 ms, within the write's 6000 ms.
    reader().addFault(sim::Fault::delay(1500).forCode(blockWriteCommand()).after(1));
    brnItem item = shelfItem(false);
    ASSERT_EQ(brnWriteItems(handle_, &item), BRN_OK);
    EXPECT_EQ(tagOnReader(kBlank).block(1), 3001u);
}

TEST_P(Writing, ByItemIdFoundThroughTheSortingBuffer)
{
    place(kOpenBook);
    open();
    // Continuous reading reports the book with its blocks 0 and 1.
    ASSERT_EQ(brnSetReadSessionDuration(handle_, 0, 20), BRN_OK);
    int reported = 0;
    ASSERT_EQ(brnStartReadingItems(handle_, BRN_ITEM_IDENTITY,
                                   [](brnHandle, std::int32_t event, brnItem*, void* count) {
                                       if (event == BRN_EVENT_NEW_TAG)
                                           ++*static_cast<int*>(count);
                                   },
                                   &reported),
              BRN_OK);
    ASSERT_TRUE(platform::MessageLoop::current().runUntil([&] { return reported == 1; }, 5000));
    ASSERT_EQ(brnStopReadingItems(handle_), BRN_OK);
    brnSetReadSessionDuration(handle_, 0, 200);

    // A second tag comes; the write reaches the one the sorting buffer names.
    place(kOtherBook);
    const std::uint64_t inventories = reader().airRequestCount(sim::iso::kInventory);
    brnItem item = bookItem(false);
    item.book.location = (3 << 5) | 2; // 3C
    item.validMask = BRN_ITEM_IDENTITY | BRN_ITEM_BLOCK2;
    ASSERT_EQ(brnWriteItemByItemID(handle_, &item), BRN_OK);
    EXPECT_EQ(reader().airRequestCount(sim::iso::kInventory), inventories) << "no inventory";
    EXPECT_EQ(tagOnReader(kOpenBook).block(2), 0x31040000u);
    EXPECT_EQ(tagOnReader(kOtherBook).block(2), 0x20040000u);
    EXPECT_EQ(tagOnReader(kOpenBook).afi(), 0x91) << "no AFI written";
}

TEST_P(Writing, ByItemIdFoundInTheField)
{
    place(kOpenBook);
    if (GetParam().manyTagInventories)
        place(kOtherBook);
    open();
    brnItem item = bookItem(false);
    item.itemId = 4412000054321ULL; // the other book when there is one
    if (!GetParam().manyTagInventories)
        item.itemId = 4412000012345ULL;
    item.validMask = BRN_ITEM_IDENTITY | BRN_ITEM_LIBRARY | BRN_ITEM_EXTRA;
    item.extraWord = 0xE0E0E0E0;
    const std::int32_t code = brnWriteItemByItemID(handle_, &item);
    if (GetParam().number == BRN_FAMILY_FENO) {
        EXPECT_EQ(code, BRN_ERR_READER) << "FENO readers do not search the field";
        return;
    }
    ASSERT_EQ(code, BRN_OK);
    const char* target = GetParam().manyTagInventories ? kOtherBook : kOpenBook;
    EXPECT_EQ(tagOnReader(target).block(5), 0xE0E0E0E0u);
    if (GetParam().manyTagInventories) {
        EXPECT_EQ(tagOnReader(kOpenBook).block(5), 0u);
    }
    EXPECT_FALSE(reader().rfOn()) << "switched off after the write found by searching";

    // No tag with the identifier: -14, the field stays on.
    item.itemId = 999;
    EXPECT_EQ(brnWriteItemByItemID(handle_, &item), BRN_ERR_NO_TAG);
    EXPECT_TRUE(reader().rfOn());
    // No tag at all.
    reader().removeAll();
    EXPECT_EQ(brnWriteItemByItemID(handle_, &item), BRN_ERR_NO_TAG);
}

TEST_P(Writing, RefusedCalls)
{
    place(kBlank);
    open();
    const std::uint64_t commands = reader().commandCount();
    brnItem item = bookItem(false);
    EXPECT_EQ(brnWriteItems(nullptr, &item), BRN_ERR_HANDLE);
    EXPECT_EQ(brnWriteItems(handle_, nullptr), BRN_ERR_PARAMETER);
    // An identifier without an item type that has an AFI: nothing is written.
    item.itemType = 5;
    EXPECT_EQ(brnWriteItems(handle_, &item), BRN_ERR_PARAMETER);
    EXPECT_EQ(item.itemId, 4412000012345u) << "the item is left alone";

    brnRawItem raw{};
    raw.blockSize = 4;
    raw.validMask = BRN_RAW_BLOCK(0);
    const sim::Uid uid = uidOf(kBlank);
    EXPECT_EQ(brnWriteRawItems(nullptr, 0, nullptr, &raw, 0, 0), BRN_ERR_HANDLE);
    EXPECT_EQ(brnWriteRawItems(handle_, 0, nullptr, nullptr, 0, 0), BRN_ERR_PARAMETER);
    EXPECT_EQ(brnWriteRawItems(handle_, 2, nullptr, &raw, 0, 0), BRN_ERR_PARAMETER) << "mode 2 needs a UID";
    EXPECT_EQ(brnWriteRawItems(handle_, 1, uid.data(), &raw, 0, 0), BRN_ERR_PARAMETER) << "no such mode";
    raw.blockSize = 8;
    EXPECT_EQ(brnWriteRawItems(handle_, 0, nullptr, &raw, 0, 0), BRN_ERR_PARAMETER);

    brnItem zero = bookItem(false);
    zero.itemId = 0;
    EXPECT_EQ(brnWriteItemByItemID(nullptr, &zero), BRN_ERR_PARAMETER) << "identifier 0 first";
    EXPECT_EQ(brnWriteItemByItemID(handle_, nullptr), BRN_ERR_PARAMETER);
    brnItem some = bookItem(false);
    EXPECT_EQ(brnWriteItemByItemID(nullptr, &some), BRN_ERR_HANDLE);
    EXPECT_EQ(reader().commandCount(), commands) << "nothing reached the reader";

    // Without the identifier no AFI is needed, and none is written.
    brnItem library{};
    library.blockSize = 4;
    library.itemType = 5;
    library.validMask = BRN_ITEM_LIBRARY;
    library.libraryId = 77;
    ASSERT_EQ(brnWriteItems(handle_, &library), BRN_OK);
    EXPECT_EQ(tagOnReader(kBlank).block(3), 77u);
    EXPECT_EQ(tagOnReader(kBlank).afi(), 0);
}

INSTANTIATE_TEST_SUITE_P(Families, Writing, ::testing::ValuesIn(kFamilies),
                         [](const auto& info) { return std::string(info.param.sim); });
