// Continuous reading: a timer on the starting thread's message loop runs one
// read cycle per tick (an inventory, then for each tag not reported before
// its reads and the callbacks). The sorting buffer keeps the recently
// reported tags quiet.
//
// A cycle calls out to the caller in its middle, and the caller may do
// anything there: stop or restart reading, close the reader, change the
// sorting buffer's depth, or dispatch the message loop (a modal dialog). So
// the cycle holds no reference into the library's state across a callback
// and ends as soon as a callback changed that state (the epoch); and a tick
// that comes while the library is still busy with the reader is skipped.
#include <array>
#include <memory>
#include <vector>

#include "brenholt.h"
#include "errors.h"
#include "field_ops.h"
#include "item_codec.h"
#include "library_state.h"
#include "reading.h"
#include "tag_memory.h"

using namespace brenholt;

namespace {

void onTick(platform::MessageLoop::Id id);

void startReadingTimer()
{
    LibraryState& s = state();
    auto loop = platform::MessageLoop::currentShared();
    // A period of 0 would tick at every dispatch.
    const unsigned period = s.readSessionMs > 0 ? s.readSessionMs : 1;
    s.reading.timerId = loop->setTimer(period, onTick);
    s.reading.timerLoop = std::move(loop);
}

void killReadingTimer()
{
    ReadingState& r = state().reading;
    if (r.timerId > 0 && r.timerLoop) {
        const auto id = static_cast<platform::MessageLoop::Id>(r.timerId);
        if (r.timerLoop.get() == &platform::MessageLoop::current())
            r.timerLoop->killTimer(id);
        else // a loop is touched only by its own thread
            r.timerLoop->post([loop = std::weak_ptr(r.timerLoop), id] {
                if (auto owner = loop.lock())
                    owner->killTimer(id);
            });
    }
    if (r.timerId != 0)
        r.timerId = -1;
}

// Reading no longer runs: the tag memory callback goes with it.
void endReading(ReadingState& r)
{
    r.running = false;
    r.memory = {};
}

// Whether the library's reading state is still what it was when the cycle began.
class CycleGuard {
public:
    CycleGuard() : epoch_(state().epoch) {}
    bool intact() const { return state().epoch == epoch_; }

private:
    std::uint64_t epoch_;
};

// Event 3 or 4 to the item callback. False when the callback changed the
// reading state.
bool notifyItemCallback(brnHandle handle, std::int32_t event, const CycleGuard& guard)
{
    const ReadingState& r = state().reading;
    if (r.itemCallback)
        r.itemCallback(handle, event, nullptr, r.context);
    return guard.intact();
}

// A new tag to every callback that is set, each with its own copy of the
// record. False when a callback changed the reading state (no callback is
// called after that).
bool reportTag(brnHandle handle, const Uid& uid, const brnRawItem& raw, const CycleGuard& guard)
{
    const ReadingState& r = state().reading;
    if (r.rawCallback) {
        brnRawItem copy = raw;
        r.rawCallback(handle, BRN_EVENT_NEW_TAG, &copy, r.context);
        if (!guard.intact())
            return false;
    }
    if (r.rawUidCallback) {
        brnRawItem copy = raw;
        Uid id = uid;
        r.rawUidCallback(handle, BRN_EVENT_NEW_TAG, &copy, id.data(), r.context);
        if (!guard.intact())
            return false;
    }
    if (!r.itemCallback && !r.itemUidCallback)
        return true;
    brnItem item{};
    decodeItem(raw, item);
    const std::int32_t filter = state().typeFilter;
    if (filter != BRN_ANY_ITEM_TYPE && static_cast<std::uint32_t>(filter) != item.typeCode)
        return true;
    if (r.itemCallback) {
        brnItem copy = item;
        r.itemCallback(handle, BRN_EVENT_NEW_TAG, &copy, r.context);
        if (!guard.intact())
            return false;
    }
    if (r.itemUidCallback) {
        brnItem copy = item;
        Uid id = uid;
        r.itemUidCallback(handle, BRN_EVENT_NEW_TAG, &copy, id.data(), r.context);
        if (!guard.intact())
            return false;
    }
    return true;
}

void runCycle(ReaderFamily& family, brnHandle handle, AfiFilter filter)
{
    ReaderInUse busy;
    const CycleGuard guard;
    LibraryState& s = state();
    // A field that did not come on shows as an empty one; the flag stays
    // clear so that the next tick switches it on again (a refused or lost
    // switch-on would otherwise leave the field off for the whole session).
    switchRfOn(family, handle);
    std::vector<Uid> tags;
    if (!family.inventory(handle, InventoryUse::Continuous, filter, tags).ok)
        return;
    if (tags.empty()) {
        if (s.sorting.firstEntryInUse())
            notifyItemCallback(handle, BRN_EVENT_FIELD_EMPTY, guard);
        return;
    }
    if (tags.size() > 1 && family.reportsManyTags() && !notifyItemCallback(handle, BRN_EVENT_MANY_TAGS, guard))
        return;
    for (const Uid& uid : tags) {
        if (s.sorting.contains(uid))
            continue;
        // A tag that cannot be read completely is left for the next cycle.
        brnRawItem raw{};
        raw.blockSize = BRN_BLOCK_SIZE;
        if (readTagParts(family, handle, &uid, s.reading.rawMask, family.lockStatusOptional(), raw) != BRN_OK)
            continue;
        const ReadingState::MemoryRequest memoryRequest = s.reading.memory;
        brnTagMemory memory;
        if (memoryRequest.callback
            && readTagMemory(family, handle, &uid, uid, &raw, memoryRequest.maxBlocks, memory) != BRN_OK)
            continue;
        s.sorting.record(uid, raw.blocks[0], raw.blocks[1]);
        if (memoryRequest.callback) {
            memoryRequest.callback(handle, &memory, memoryRequest.context);
            if (!guard.intact())
                return;
        }
        if (!reportTag(handle, uid, raw, guard))
            return;
    }
}

// The reader's line has gone: reading stops as brnStopReadingItems stops it
// (there is no field left to switch off), and the callback reading was
// started with hears it, once.
void readerGone(brnHandle handle)
{
    LibraryState& s = state();
    killReadingTimer();
    endReading(s.reading);
    s.rfOn = false;
    ++s.epoch;
    const ReadingState& r = s.reading;
    switch (r.startedWith) {
    case ReadingState::Start::Raw:
        if (r.rawCallback)
            r.rawCallback(handle, BRN_EVENT_READER_GONE, nullptr, r.context);
        break;
    case ReadingState::Start::RawUid:
        if (r.rawUidCallback)
            r.rawUidCallback(handle, BRN_EVENT_READER_GONE, nullptr, nullptr, r.context);
        break;
    case ReadingState::Start::Item:
        if (r.itemCallback)
            r.itemCallback(handle, BRN_EVENT_READER_GONE, nullptr, r.context);
        break;
    case ReadingState::Start::ItemUid:
        if (r.itemUidCallback)
            r.itemUidCallback(handle, BRN_EVENT_READER_GONE, nullptr, nullptr, r.context);
        break;
    case ReadingState::Start::None:
        break;
    }
}

void tick(platform::MessageLoop::Id id)
{
    LibraryState& s = state();
    if (static_cast<std::int64_t>(id) != s.reading.timerId || !s.currentReader)
        return;
    // A nested dispatch (a callback's dialog, a second-make command waiting
    // for its answer) while the library works with the reader: skip the tick.
    if (s.readerBusy > 0)
        return;
    ReaderFamily* family = nullptr;
    const brnHandle handle = s.currentReader;
    if (currentFamily(handle, family) != BRN_OK)
        return;
    const AfiFilter filter = afiFilterFor(s.typeFilter);
    const CycleGuard guard;
    // The second make's commands dispatch this loop while they wait: no tick
    // during the cycle. The timer comes back unless the cycle's callbacks
    // stopped reading (or started a timer of their own).
    const bool pause = family->waitsOnCallersLoop();
    if (pause)
        killReadingTimer();
    runCycle(*family, handle, filter);
    // A cycle on a line that has gone fails at once; reading ends there,
    // unless a callback already changed it.
    if (guard.intact() && !readerLineUp(handle)) {
        readerGone(handle);
        return;
    }
    if (pause && s.rfOn && s.reading.timerId == -1)
        startReadingTimer();
}

// The timer's callback runs from the caller's loop: nothing thrown in a cycle
// reaches the caller's dispatching; the next tick starts afresh.
void onTick(platform::MessageLoop::Id id)
{
    platform::guarded([&] { tick(id); });
}

// The start every other start ends in.
std::int32_t startRaw(brnHandle handle, std::uint32_t rawMask, brnRawItemCallback rawCallback,
                      brnRawUIDCallback rawUidCallback, void* context)
{
    LibraryState& s = state();
    ReadingState& r = s.reading;
    r.rawCallback = rawCallback;
    r.rawUidCallback = rawUidCallback;
    r.rawMask = rawMask;
    r.context = context;
    s.currentReader = handle;
    s.sorting.clear();
    ++s.epoch;
    endReading(r);
    // One timer at a time: an earlier one would only tick in vain.
    killReadingTimer();
    if (!handle)
        return BRN_ERR_HANDLE;
    startReadingTimer();
    r.running = true;
    return BRN_OK;
}

std::int32_t startItems(brnHandle handle, std::int32_t typeFilter, std::uint32_t itemMask, brnItemCallback callback,
                        brnItemUIDCallback uidCallback, void* context)
{
    if (!handle)
        return BRN_ERR_HANDLE;
    LibraryState& s = state();
    s.reading.startedWith = uidCallback ? ReadingState::Start::ItemUid : ReadingState::Start::Item;
    s.reading.itemCallback = callback;
    s.reading.itemUidCallback = uidCallback;
    s.typeFilter = typeFilter;
    return startRaw(handle, itemRequestToRawRequest(itemMask), nullptr, nullptr, context);
}

std::int32_t startRawOnly(brnHandle handle, std::uint32_t rawMask, brnRawItemCallback rawCallback,
                          brnRawUIDCallback rawUidCallback, void* context)
{
    ReadingState& r = state().reading;
    r.startedWith = rawUidCallback ? ReadingState::Start::RawUid : ReadingState::Start::Raw;
    // Item callbacks left in place would be called with this start's context.
    r.itemCallback = nullptr;
    r.itemUidCallback = nullptr;
    return startRaw(handle, rawMask, rawCallback, rawUidCallback, context);
}

} // namespace

namespace brenholt {

void forgetReader(brnHandle handle)
{
    LibraryState& s = state();
    if (!handle || handle != s.currentReader)
        return;
    killReadingTimer();
    endReading(s.reading);
    s.currentReader = nullptr;
    ++s.epoch;
}

} // namespace brenholt

extern "C" {

int32_t brnStartReadingRawItems(brnHandle handle, uint32_t rawRequestMask, brnRawItemCallback callback, void* context)
{
    return guarded([&] { return startRawOnly(handle, rawRequestMask, callback, nullptr, context); });
}

int32_t brnStartReadingRawUIDs(brnHandle handle, uint32_t rawRequestMask, brnRawUIDCallback callback, void* context)
{
    return guarded([&] { return startRawOnly(handle, rawRequestMask, nullptr, callback, context); });
}

int32_t brnStartReadingItems(brnHandle handle, uint32_t itemRequestMask, brnItemCallback callback, void* context)
{
    return guarded([&] { return startItems(handle, BRN_ANY_ITEM_TYPE, itemRequestMask, callback, nullptr, context); });
}

int32_t brnStartReadingUIDs(brnHandle handle, uint32_t itemRequestMask, brnItemUIDCallback callback, void* context)
{
    return guarded([&] { return startItems(handle, BRN_ANY_ITEM_TYPE, itemRequestMask, nullptr, callback, context); });
}

int32_t brnStartReadingItemsByType(brnHandle handle, int32_t itemType, uint32_t itemRequestMask,
                                   brnItemCallback callback, void* context)
{
    return guarded([&] { return startItems(handle, itemType, itemRequestMask, callback, nullptr, context); });
}

int32_t brnStopReadingRawItems(brnHandle handle)
{
    return guarded([&]() -> std::int32_t {
        if (!handle)
            return BRN_ERR_HANDLE;
        LibraryState& s = state();
        killReadingTimer();
        endReading(s.reading);
        ++s.epoch;
        if (!s.rfOn)
            return BRN_OK;
        ReaderInUse busy;
        if (ReaderFamily* family = familyFor(s.family); family && family->accepts(handle))
            family->setRf(handle, false); // a failure to switch off is not reported
        s.rfOn = false;
        return BRN_OK;
    });
}

int32_t brnStopReadingItems(brnHandle handle)
{
    return guarded([&]() -> std::int32_t {
        if (!handle)
            return BRN_ERR_HANDLE;
        return brnStopReadingRawItems(handle);
    });
}

} // extern "C"
