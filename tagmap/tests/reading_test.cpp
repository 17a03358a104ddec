// Continuous reading through the whole stack against a simulated reader of
// each family: the ticks on this thread's message loop, the events and the
// records they carry, the sorting buffer, the type filter, stops and starts
// from anywhere (a callback included), and callbacks that dispatch the loop.
// A tick is counted by the inventories the simulated field saw.
#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <map>
#include <vector>

#include "brenholt_datamodel.h"
#include "platform/loop.h"
#include "reader_fixture.h"
#include "sim/iso15693.h"

using namespace brenholt_test;

namespace {

constexpr std::uint32_t kPeriodMs = 20;
constexpr int kWaitMs = 5000;
constexpr std::uint32_t kAllItem = BRN_ITEM_ALL;
constexpr std::uint32_t kAllRaw = BRN_RAW_EAS | BRN_RAW_LOCKS | BRN_RAW_ALL_BLOCKS;

using Uid8 = std::array<std::uint8_t, 8>;

// The reader command a cycle's inventory is, per family.
const std::map<std::int32_t, int> kReaderInventoryCommand = {
    {BRN_FAMILY_FENO, 0x24}, {BRN_FAMILY_ORBA, 0x28}, {BRN_FAMILY_TALU, 0x20}, {BRN_FAMILY_DALRIX, 0x01}};

// A book whose tag carries the patron card AFI.
const char* const kBookWithCardAfi = "E0040100CAFE0001 afi=92 eas=1 10000000 00000457 00000000 0000AC58";
// Three books for the sorting buffer.
const char* const kTagA = "E0040100000000A1 afi=91 10000000 000000A1";
const char* const kTagB = "E0040100000000B2 afi=91 10000000 000000B2";
const char* const kTagC = "E0040100000000C3 afi=91 10000000 000000C3";

// One callback as it came.
struct Seen {
    std::int32_t event = 0;
    bool withRecord = false;
    brnItem item{};
    brnRawItem raw{};
    Uid8 uid{};
    brnTagMemory memory{};
};

// Collects the callbacks; a hook may act from inside one.
struct Recorder {
    brnHandle expectedHandle = nullptr;
    std::vector<Seen> seen;
    int nesting = 0;
    int deepest = 0;
    bool wrongHandle = false;
    std::function<void(const Seen&)> hook;

    int count(std::int32_t event) const
    {
        return static_cast<int>(std::count_if(seen.begin(), seen.end(), [&](const Seen& s) { return s.event == event; }));
    }
    std::vector<std::uint64_t> reportedIds() const
    {
        std::vector<std::uint64_t> ids;
        for (const Seen& s : seen)
            if (s.event == BRN_EVENT_NEW_TAG)
                ids.push_back(s.withRecord ? (s.item.itemId ? s.item.itemId : s.raw.blocks[1]) : 0);
        return ids;
    }
    void add(brnHandle handle, Seen s)
    {
        wrongHandle |= handle != expectedHandle;
        seen.push_back(s);
        ++nesting;
        deepest = std::max(deepest, nesting);
        if (hook)
            hook(seen.back());
        --nesting;
    }
};

Recorder& recorderOf(void* context) { return *static_cast<Recorder*>(context); }

// One callback as seen: the event, a copy of the record (an item or a raw
// item, into `field`) and of the UID when the callback hands them over.
template <typename Record>
void record(brnHandle handle, std::int32_t event, const Record* rec, Record Seen::*field, const std::uint8_t* uid,
            void* context)
{
    Seen s;
    s.event = event;
    s.withRecord = rec != nullptr;
    if (rec)
        s.*field = *rec;
    if (uid)
        std::copy_n(uid, 8, s.uid.begin());
    recorderOf(context).add(handle, s);
}

void onItem(brnHandle handle, std::int32_t event, brnItem* item, void* context)
{
    record(handle, event, item, &Seen::item, nullptr, context);
}

void onItemUid(brnHandle handle, std::int32_t event, brnItem* item, std::uint8_t* uid, void* context)
{
    record(handle, event, item, &Seen::item, uid, context);
}

void onRaw(brnHandle handle, std::int32_t event, brnRawItem* raw, void* context)
{
    record(handle, event, raw, &Seen::raw, nullptr, context);
}

void onRawUid(brnHandle handle, std::int32_t event, brnRawItem* raw, std::uint8_t* uid, void* context)
{
    record(handle, event, raw, &Seen::raw, uid, context);
}

// The tag memory callback, seen as an event of its own.
constexpr std::int32_t kMemoryEvent = -1;

void onMemory(brnHandle handle, const brnTagMemory* memory, void* context)
{
    Seen s;
    s.event = kMemoryEvent;
    s.withRecord = memory != nullptr;
    if (memory) {
        s.memory = *memory;
        std::copy_n(memory->uid, 8, s.uid.begin());
    }
    recorderOf(context).add(handle, s);
}

Uid8 uidOf(const char* line) { return *sim::uidFromText(std::string(line, 16)); }

class Reading : public ReaderTest {
protected:
    void SetUp() override
    {
        ReaderTest::SetUp();
        baseTimers_ = loop().timerCount();
    }
    void TearDown() override
    {
        if (handle_)
            brnStopReadingItems(handle_);
        ReaderTest::TearDown();
        brnSetSortingBufferDepth(nullptr, 16);
        brnSetReadSessionDuration(nullptr, 0, 200);
    }

    static platform::MessageLoop& loop() { return platform::MessageLoop::current(); }

    void openForReading()
    {
        open();
        recorder_.expectedHandle = handle_;
        ASSERT_EQ(brnSetReadSessionDuration(handle_, 0, kPeriodMs), BRN_OK);
    }
    std::int32_t startItems(std::uint32_t mask = kAllItem)
    {
        return brnStartReadingItems(handle_, mask, onItem, &recorder_);
    }

    std::uint64_t inventories() { return reader().airRequestCount(sim::iso::kInventory); }
    // Dispatches until the field has seen n more inventories (n ticks).
    void runTicks(int n)
    {
        const std::uint64_t target = inventories() + static_cast<std::uint64_t>(n);
        ASSERT_TRUE(loop().runUntil([&] { return inventories() >= target; }, kWaitMs)) << "ticks stopped coming";
    }
    // Dispatches until the recorder holds count events of the kind.
    void waitForEvents(std::int32_t event, int count)
    {
        ASSERT_TRUE(loop().runUntil([&] { return recorder_.count(event) >= count; }, kWaitMs))
            << "event " << event << " seen " << recorder_.count(event) << " times, not " << count;
    }
    // Lays a tag down, waits for its report and takes it off again.
    void presentOnce(const char* line)
    {
        const int before = recorder_.count(BRN_EVENT_NEW_TAG);
        place(line);
        waitForEvents(BRN_EVENT_NEW_TAG, before + 1);
        reader().remove(uidOf(line));
    }

    Recorder recorder_;
    std::size_t baseTimers_ = 0;
};

} // namespace

TEST_P(Reading, OneTagLeftOnTheReaderIsReportedOnce)
{
    place(kBook);
    openForReading();
    ASSERT_EQ(startItems(), BRN_OK);
    EXPECT_EQ(loop().timerCount(), baseTimers_ + 1);
    runTicks(10);
    ASSERT_EQ(recorder_.count(BRN_EVENT_NEW_TAG), 1);
    EXPECT_EQ(recorder_.seen.size(), 1u) << "nothing else while the tag stays";
    const Seen& book = recorder_.seen.front();
    ASSERT_TRUE(book.withRecord);
    EXPECT_EQ(book.item.itemType, BRN_ITEM_TYPE_BOOK);
    EXPECT_EQ(book.item.itemId, 4412000012345u);
    EXPECT_EQ(book.item.libraryId, 44120u);
    EXPECT_EQ(book.item.easState, 1);
    EXPECT_EQ(book.item.lockMask & BRN_ITEM_IDENTITY, static_cast<std::uint32_t>(BRN_ITEM_IDENTITY));
    const std::uint32_t eas = GetParam().easOffAnswered || book.item.easState ? BRN_ITEM_EAS : 0;
    EXPECT_EQ(book.item.validMask, (kAllItem & ~BRN_ITEM_EAS) | eas);
    EXPECT_FALSE(recorder_.wrongHandle);
    EXPECT_TRUE(reader().rfOn()) << "the field stays on between ticks";

    EXPECT_EQ(brnStopReadingItems(handle_), BRN_OK);
    EXPECT_FALSE(reader().rfOn());
    EXPECT_EQ(loop().timerCount(), baseTimers_);
    const std::uint64_t commands = reader().commandCount();
    loop().runFor(4 * kPeriodMs);
    EXPECT_EQ(reader().commandCount(), commands) << "no tick after the stop";
}

TEST_P(Reading, AFieldThatDidNotComeOnIsSwitchedOnAgainAtTheNextTick)
{
    if (!GetParam().firstMake)
        GTEST_SKIP() << "the second make's reader does not refuse the field";
    place(kBook);
    openForReading();
    // The first command of the first tick is the field's switch-on: refused.
    reader().addFault(sim::Fault::statusByte(0x81));
    ASSERT_EQ(startItems(), BRN_OK);
    waitForEvents(BRN_EVENT_NEW_TAG, 1);
    EXPECT_TRUE(reader().rfOn());
}

TEST_P(Reading, DepthTwoForgetsTheOldestTag)
{
    openForReading();
    ASSERT_EQ(brnSetSortingBufferDepth(handle_, 2), BRN_OK);
    ASSERT_EQ(startItems(BRN_ITEM_IDENTITY), BRN_OK);
    for (const char* tag : {kTagA, kTagB, kTagC, kTagA})
        presentOnce(tag);
    EXPECT_EQ(recorder_.reportedIds(), (std::vector<std::uint64_t>{0xA1, 0xB2, 0xC3, 0xA1}));

    // The default depth keeps A quiet after B.
    ASSERT_EQ(brnSetSortingBufferDepth(handle_, 16), BRN_OK);
    recorder_.seen.clear();
    ASSERT_EQ(startItems(BRN_ITEM_IDENTITY), BRN_OK);
    presentOnce(kTagA);
    presentOnce(kTagB);
    place(kTagA);
    runTicks(4);
    EXPECT_EQ(recorder_.reportedIds(), (std::vector<std::uint64_t>{0xA1, 0xB2}));
}

TEST_P(Reading, DepthZeroKeepsNothingQuiet)
{
    place(kBook);
    openForReading();
    ASSERT_EQ(brnSetSortingBufferDepth(handle_, 0), BRN_OK);
    ASSERT_EQ(startItems(), BRN_OK);
    runTicks(4);
    EXPECT_GE(recorder_.count(BRN_EVENT_NEW_TAG), 3) << "the tag at (nearly) every tick";
    reader().removeAll();
    const int reported = recorder_.count(BRN_EVENT_NEW_TAG);
    runTicks(3);
    EXPECT_EQ(recorder_.count(BRN_EVENT_NEW_TAG), reported);
    EXPECT_EQ(recorder_.count(BRN_EVENT_FIELD_EMPTY), 0) << "nothing recorded, so nothing was seen";
}

TEST_P(Reading, EmptyFieldIsToldOnlyAfterATag)
{
    openForReading();
    ASSERT_EQ(startItems(), BRN_OK);
    runTicks(4);
    EXPECT_TRUE(recorder_.seen.empty()) << "an empty field right after the start says nothing";

    presentOnce(kCard);
    runTicks(3);
    EXPECT_EQ(recorder_.count(BRN_EVENT_FIELD_EMPTY), 3) << "at every tick";
    for (const Seen& s : recorder_.seen) {
        if (s.event == BRN_EVENT_FIELD_EMPTY) {
            EXPECT_FALSE(s.withRecord);
        }
    }

    // A new start forgets the tag.
    ASSERT_EQ(startItems(), BRN_OK);
    const std::size_t seen = recorder_.seen.size();
    runTicks(3);
    EXPECT_EQ(recorder_.seen.size(), seen);
}

TEST_P(Reading, SeveralTagsInTheField)
{
    if (!GetParam().manyTagInventories)
        GTEST_SKIP() << "this family's inventory reports one tag";
    place(kBook);
    place(kCard);
    place(kShelf);
    openForReading();
    // One inventory command per tick (the anticollision in the field takes
    // several air inventories when tags collide).
    const auto cycles = [this] { return reader().commandCount(kReaderInventoryCommand.at(GetParam().number)); };
    const std::uint64_t cyclesBefore = cycles();
    ASSERT_EQ(startItems(), BRN_OK);
    waitForEvents(BRN_EVENT_NEW_TAG, 3);
    ASSERT_TRUE(loop().runUntil([&] { return cycles() >= cyclesBefore + 3; }, kWaitMs));
    EXPECT_EQ(recorder_.count(BRN_EVENT_NEW_TAG), 3);
    std::vector<std::int32_t> types;
    for (const Seen& s : recorder_.seen)
        if (s.event == BRN_EVENT_NEW_TAG)
            types.push_back(s.item.itemType);
    std::sort(types.begin(), types.end());
    EXPECT_EQ(types, (std::vector<std::int32_t>{0, 1, 2}));
    if (GetParam().number == BRN_FAMILY_TALU) {
        ASSERT_FALSE(recorder_.seen.empty());
        EXPECT_EQ(recorder_.seen.front().event, BRN_EVENT_MANY_TAGS) << "told before the tags";
        EXPECT_FALSE(recorder_.seen.front().withRecord);
        EXPECT_EQ(static_cast<std::uint64_t>(recorder_.count(BRN_EVENT_MANY_TAGS)), cycles() - cyclesBefore)
            << "at every tick with several tags";
    } else {
        EXPECT_EQ(recorder_.count(BRN_EVENT_MANY_TAGS), 0);
    }
}

TEST_P(Reading, TypeFilterActsAfterRecording)
{
    openForReading();
    ASSERT_EQ(brnStartReadingItemsByType(handle_, BRN_ITEM_TYPE_PATRON_CARD, kAllItem, onItem, &recorder_), BRN_OK);
    // A book with the card AFI answers the inventory and is recorded, but is
    // not given to the item callback.
    place(kBookWithCardAfi);
    runTicks(3);
    EXPECT_EQ(recorder_.count(BRN_EVENT_NEW_TAG), 0);
    reader().remove(uidOf(kBookWithCardAfi));
    // A true book does not even answer.
    place(kBook);
    runTicks(2);
    EXPECT_EQ(recorder_.count(BRN_EVENT_NEW_TAG), 0);
    reader().remove(uidOf(kBook));
    presentOnce(kCard);
    EXPECT_EQ(recorder_.seen.back().item.itemType, BRN_ITEM_TYPE_PATRON_CARD);

    // Widened without a new start (a count takes every type): the recorded
    // book stays quiet, the other book is new.
    EXPECT_EQ(brnInventoryByType(handle_, BRN_ANY_ITEM_TYPE), 0);
    reader().putBack(uidOf(kBookWithCardAfi));
    runTicks(3);
    EXPECT_EQ(recorder_.count(BRN_EVENT_NEW_TAG), 1);
    reader().remove(uidOf(kBookWithCardAfi));
    presentOnce(kBook);
    EXPECT_EQ(recorder_.seen.back().item.itemId, 4412000012345u);
}

TEST_P(Reading, RawRecordsAndUids)
{
    place(kBook);
    openForReading();
    ASSERT_EQ(brnStartReadingRawUIDs(handle_, kAllRaw, onRawUid, &recorder_), BRN_OK);
    waitForEvents(BRN_EVENT_NEW_TAG, 1);
    const Seen& raw = recorder_.seen.front();
    EXPECT_TRUE(std::equal(raw.uid.begin(), raw.uid.end(), kBookUid)) << "most significant byte first";
    EXPECT_EQ(raw.raw.blockSize, 4);
    const std::uint32_t expected[8] = {0x10000000, 0x00003039, 0x20040000, 0x0000AC58,
                                       0x9BC38000, 0x11111111, 0x22222222, 0x33333333};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(raw.raw.blocks[i], expected[i]) << "block " << i;
    EXPECT_EQ(raw.raw.lockMask, BRN_RAW_LOCK_BLOCK(0) | BRN_RAW_LOCK_BLOCK(1));
    EXPECT_EQ(raw.raw.validMask, kAllRaw);

    // Only the blocks asked for; a raw start calls no item callback set before.
    recorder_.seen.clear();
    ASSERT_EQ(startItems(), BRN_OK);
    ASSERT_EQ(brnStartReadingRawItems(handle_, BRN_RAW_BLOCK(3), onRaw, &recorder_), BRN_OK);
    waitForEvents(BRN_EVENT_NEW_TAG, 1);
    runTicks(2);
    ASSERT_EQ(recorder_.seen.size(), 1u);
    EXPECT_EQ(recorder_.seen.front().raw.validMask, BRN_RAW_BLOCK(3));
    EXPECT_EQ(recorder_.seen.front().raw.blocks[3], 44120u);
    EXPECT_EQ(recorder_.seen.front().raw.blocks[0], 0u);

    // The item UID form.
    recorder_.seen.clear();
    ASSERT_EQ(brnStartReadingUIDs(handle_, BRN_ITEM_IDENTITY, onItemUid, &recorder_), BRN_OK);
    waitForEvents(BRN_EVENT_NEW_TAG, 1);
    EXPECT_TRUE(std::equal(recorder_.seen.front().uid.begin(), recorder_.seen.front().uid.end(), kBookUid));
    EXPECT_EQ(recorder_.seen.front().item.itemId, 12345u) << "without block 3 the library's offset is unknown";
}

TEST_P(Reading, StopFromInsideACallback)
{
    place(kBook);
    place(kCard);
    openForReading();
    recorder_.hook = [this](const Seen& s) {
        if (s.event == BRN_EVENT_NEW_TAG) {
            EXPECT_EQ(brnStopReadingItems(handle_), BRN_OK);
        }
    };
    ASSERT_EQ(startItems(), BRN_OK);
    waitForEvents(BRN_EVENT_NEW_TAG, 1);
    loop().runFor(5 * kPeriodMs);
    EXPECT_EQ(recorder_.count(BRN_EVENT_NEW_TAG), 1);
    EXPECT_EQ(recorder_.seen.back().event, BRN_EVENT_NEW_TAG) << "no callback after the stop, not even in the same cycle";
    EXPECT_FALSE(reader().rfOn());
    EXPECT_EQ(loop().timerCount(), baseTimers_) << "no timer is started again";
}

TEST_P(Reading, RestartFromInsideACallbackKeepsOneTimer)
{
    place(kBook);
    openForReading();
    int restarts = 0;
    recorder_.hook = [&](const Seen& s) {
        if (s.event == BRN_EVENT_NEW_TAG && restarts++ == 0) {
            EXPECT_EQ(startItems(), BRN_OK);
        }
    };
    ASSERT_EQ(startItems(), BRN_OK);
    waitForEvents(BRN_EVENT_NEW_TAG, 2); // the new start forgot the tag
    runTicks(3);
    EXPECT_EQ(recorder_.count(BRN_EVENT_NEW_TAG), 2);
    EXPECT_EQ(loop().timerCount(), baseTimers_ + 1);
}

TEST_P(Reading, StartingAgainReplacesTheTimer)
{
    place(kBook);
    openForReading();
    ASSERT_EQ(startItems(), BRN_OK);
    waitForEvents(BRN_EVENT_NEW_TAG, 1);
    ASSERT_EQ(startItems(), BRN_OK);
    EXPECT_EQ(loop().timerCount(), baseTimers_ + 1) << "the earlier timer is gone";
    waitForEvents(BRN_EVENT_NEW_TAG, 2);
    runTicks(3);
    EXPECT_EQ(recorder_.count(BRN_EVENT_NEW_TAG), 2);
    EXPECT_EQ(brnStopReadingRawItems(handle_), BRN_OK);
    EXPECT_EQ(loop().timerCount(), baseTimers_);
}

TEST_P(Reading, NullHandlesAndStopsWithoutAStart)
{
    place(kBook);
    openForReading();
    EXPECT_EQ(brnStopReadingItems(handle_), BRN_OK) << "a stop without a start";
    EXPECT_EQ(brnStopReadingItems(nullptr), BRN_ERR_HANDLE);
    EXPECT_EQ(brnStopReadingRawItems(nullptr), BRN_ERR_HANDLE);
    EXPECT_EQ(brnStartReadingItems(nullptr, kAllItem, onItem, &recorder_), BRN_ERR_HANDLE);
    EXPECT_EQ(brnStartReadingUIDs(nullptr, kAllItem, onItemUid, &recorder_), BRN_ERR_HANDLE);
    EXPECT_EQ(brnStartReadingItemsByType(nullptr, 1, kAllItem, onItem, &recorder_), BRN_ERR_HANDLE);
    EXPECT_EQ(brnStartReadingRawUIDs(nullptr, kAllRaw, onRawUid, &recorder_), BRN_ERR_HANDLE);

    // A raw start on a null handle ends reading that ran: no current reader, no timer.
    ASSERT_EQ(startItems(), BRN_OK);
    waitForEvents(BRN_EVENT_NEW_TAG, 1);
    EXPECT_EQ(brnStartReadingRawItems(nullptr, kAllRaw, onRaw, &recorder_), BRN_ERR_HANDLE);
    EXPECT_EQ(loop().timerCount(), baseTimers_);
    const std::uint64_t commands = reader().commandCount();
    loop().runFor(4 * kPeriodMs);
    EXPECT_EQ(reader().commandCount(), commands);
    EXPECT_EQ(recorder_.seen.size(), 1u);
}

TEST_P(Reading, ClosingTheReaderStopsReading)
{
    place(kBook);
    openForReading();
    ASSERT_EQ(startItems(), BRN_OK);
    waitForEvents(BRN_EVENT_NEW_TAG, 1);
    EXPECT_EQ(brnClose(handle_), BRN_OK);
    handle_ = nullptr;
    EXPECT_EQ(loop().timerCount(), baseTimers_);
    const std::uint64_t commands = reader().commandCount();
    loop().runFor(4 * kPeriodMs);
    EXPECT_EQ(reader().commandCount(), commands);
}

TEST_P(Reading, CallbackThatDispatchesTheLoopIsNotEnteredAgain)
{
    // The desktop program may show a dialog from a callback; its event loop
    // keeps dispatching this thread's loop meanwhile.
    place(kTagA);
    openForReading();
    recorder_.hook = [this](const Seen& s) {
        if (s.event != BRN_EVENT_NEW_TAG || recorder_.count(BRN_EVENT_NEW_TAG) != 1)
            return;
        reader().remove(uidOf(kTagA));
        place(kTagB);
        loop().runFor(6 * kPeriodMs);
    };
    ASSERT_EQ(startItems(BRN_ITEM_IDENTITY), BRN_OK);
    waitForEvents(BRN_EVENT_NEW_TAG, 2);
    EXPECT_EQ(recorder_.deepest, 1) << "no cycle ran inside a callback";
    EXPECT_EQ(recorder_.reportedIds(), (std::vector<std::uint64_t>{0xA1, 0xB2}));
}

TEST_P(Reading, ReadWhileReadingRunsIsNotDisturbedByTicks)
{
    // A second-make command waits for its answer by dispatching this
    // thread's loop, so ticks fall due inside it; they are skipped.
    place(kBook);
    openForReading();
    ASSERT_EQ(startItems(BRN_ITEM_IDENTITY), BRN_OK);
    waitForEvents(BRN_EVENT_NEW_TAG, 1);
    reader().addFault(sim::Fault::delay(8 * kPeriodMs, 2));
    brnItem item{};
    const std::size_t seen = recorder_.seen.size();
    ASSERT_EQ(brnReadSingleItem(handle_, 10, BRN_ITEM_IDENTITY | BRN_ITEM_LIBRARY, &item), BRN_OK);
    EXPECT_EQ(item.itemId, 4412000012345u);
    EXPECT_EQ(recorder_.seen.size(), seen) << "no callback inside the read";
    // Reading goes on afterwards.
    reader().remove(uidOf(kBook));
    presentOnce(kCard);
    EXPECT_EQ(recorder_.seen.back().item.itemId, 20260001u);
}

TEST_P(Reading, HungUpLineEndsReadingWithOneEvent)
{
    place(kBook);
    openForReading();
    ASSERT_EQ(startItems(), BRN_OK);
    waitForEvents(BRN_EVENT_NEW_TAG, 1);
    EXPECT_EQ(brnReaderConnected(handle_), 1);
    served_.server->closeLine();
    waitForEvents(BRN_EVENT_READER_GONE, 1);
    EXPECT_FALSE(recorder_.seen.back().withRecord);
    EXPECT_EQ(brnReaderConnected(handle_), 0);
    EXPECT_EQ(loop().timerCount(), baseTimers_) << "reading has stopped";
    loop().runFor(4 * kPeriodMs);
    EXPECT_EQ(recorder_.count(BRN_EVENT_READER_GONE), 1);

    // A later start hears it again at its first tick, through the callback it gave.
    recorder_.seen.clear();
    ASSERT_EQ(brnStartReadingRawUIDs(handle_, kAllRaw, onRawUid, &recorder_), BRN_OK);
    waitForEvents(BRN_EVENT_READER_GONE, 1);
    EXPECT_EQ(recorder_.seen.size(), 1u);
    EXPECT_EQ(recorder_.seen.back().uid, Uid8{}) << "no UID";
    EXPECT_EQ(loop().timerCount(), baseTimers_);
    EXPECT_EQ(brnReaderConnected(nullptr), BRN_ERR_HANDLE);
}

TEST_P(Reading, TagMemoryComesJustBeforeEachTag)
{
    place(kIso28560_3);
    openForReading();
    EXPECT_EQ(brnSetTagMemoryCallback(handle_, 32, onMemory, &recorder_), BRN_ERR_NOT_READING);
    ASSERT_EQ(brnStartReadingUIDs(handle_, BRN_ITEM_IDENTITY | BRN_ITEM_LIBRARY, onItemUid, &recorder_), BRN_OK);
    EXPECT_EQ(brnSetTagMemoryCallback(handle_, BRN_TAG_MEMORY_MAX_BLOCKS + 1, onMemory, &recorder_),
              BRN_ERR_PARAMETER);
    ASSERT_EQ(brnSetTagMemoryCallback(handle_, 32, onMemory, &recorder_), BRN_OK);
    waitForEvents(BRN_EVENT_NEW_TAG, 1);
    ASSERT_EQ(recorder_.seen.size(), 2u);
    const Seen& iso = recorder_.seen[0];
    ASSERT_EQ(iso.event, kMemoryEvent);
    EXPECT_EQ(iso.uid, uidOf(kIso28560_3));
    EXPECT_EQ(recorder_.seen[1].uid, iso.uid);
    EXPECT_EQ(iso.memory.afi, 0x07);
    EXPECT_EQ(iso.memory.size, 112u) << "28 blocks: fewer than asked for";
    brnDataModelInfo info{};
    ASSERT_EQ(brnClassifyTagMemory(&iso.memory, &info), BRN_OK);
    EXPECT_EQ(info.model, BRN_DM_MODEL_ISO28560_3);
    EXPECT_STREQ(info.owner, "DK-718500");

    // This library's book: blocks 0 to 7 alone, none read twice.
    reader().remove(uidOf(kIso28560_3));
    recorder_.seen.clear();
    const std::uint64_t blockReads = reader().airRequestCount(sim::iso::kReadSingleBlock);
    place(kBook);
    waitForEvents(BRN_EVENT_NEW_TAG, 1);
    ASSERT_EQ(recorder_.seen.size(), 2u);
    EXPECT_EQ(recorder_.seen[0].memory.size, 32u);
    EXPECT_EQ(reader().airRequestCount(sim::iso::kReadSingleBlock) - blockReads, 8u);

    // A memory callback that stops reading: the tag goes no further.
    recorder_.seen.clear();
    recorder_.hook = [this](const Seen& s) {
        if (s.event == kMemoryEvent) {
            EXPECT_EQ(brnStopReadingItems(handle_), BRN_OK);
        }
    };
    ASSERT_EQ(brnStartReadingUIDs(handle_, BRN_ITEM_IDENTITY, onItemUid, &recorder_), BRN_OK);
    ASSERT_EQ(brnSetTagMemoryCallback(handle_, 8, onMemory, &recorder_), BRN_OK);
    waitForEvents(kMemoryEvent, 1);
    loop().runFor(4 * kPeriodMs);
    EXPECT_EQ(recorder_.seen.size(), 1u);

    // The stop cleared it: the next start reports tags alone.
    recorder_.hook = nullptr;
    recorder_.seen.clear();
    ASSERT_EQ(startItems(), BRN_OK);
    waitForEvents(BRN_EVENT_NEW_TAG, 1);
    runTicks(2);
    EXPECT_EQ(recorder_.count(kMemoryEvent), 0);
}

INSTANTIATE_TEST_SUITE_P(Families, Reading, ::testing::ValuesIn(kFamilies),
                         [](const auto& info) { return std::string(info.param.sim); });
