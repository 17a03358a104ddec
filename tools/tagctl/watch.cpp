// tagctl watch: continuous reading. One line per tag as it comes into the
// field (a tag once while it stays among the recently reported), until
// Ctrl-C / SIGTERM or, with --count, until that many tags were reported; when
// the reader's line goes it says so and exits with 1.
// With --json each line is one JSON object.
//
// The library's reading timer ticks on this thread's message loop, so the
// command dispatches that loop; a signal reaches it through a pipe the loop
// watches.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "commands.h"
#include "output.h"
#include "platform/loop.h"

namespace tagctl {
namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

// SIGINT and SIGTERM end the watch through the pipe while it runs.
class SignalWatch {
public:
    SignalWatch()
    {
        if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        struct sigaction action {};
        action.sa_handler = onSignal;
        ::sigemptyset(&action.sa_mask);
        for (int s : {SIGINT, SIGTERM})
            ::sigaction(s, &action, nullptr);
    }
    ~SignalWatch()
    {
        for (int s : {SIGINT, SIGTERM})
            ::signal(s, SIG_DFL);
        for (int& fd : signalPipe)
            if (fd >= 0) {
                ::close(fd);
                fd = -1;
            }
    }
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;
    int fd() const { return signalPipe[0]; }
};

struct WatchArgs {
    std::optional<std::int32_t> type;
    bool raw = false;
    std::optional<std::uint32_t> periodMs;
    long count = 0; // 0: until interrupted
};

std::optional<std::string> parseWatchArgs(const Args& args, WatchArgs& out)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--raw") {
            out.raw = true;
        } else if (a == "--type" && hasValue) {
            out.type = parseItemType(args[++i]);
            if (!out.type)
                return "unknown item type '" + args[i] + "' (book, card, shelf or a number)";
        } else if (a == "--period" && hasValue) {
            const auto ms = parseDecimal(args[++i], 1, 60000);
            if (!ms)
                return "bad period '" + args[i] + "' (1 to 60000 ms, decimal)";
            out.periodMs = static_cast<std::uint32_t>(*ms);
        } else if (a == "--count" && hasValue) {
            const auto n = parseDecimal(args[++i], 1, 1000000);
            if (!n)
                return "bad count '" + args[i] + "' (1 to 1000000, decimal)";
            out.count = *n;
        } else {
            return "unexpected argument '" + a + "'";
        }
    }
    if (out.raw && out.type)
        return "--raw and --type do not go together (raw reading takes every tag)";
    return std::nullopt;
}

// What the callbacks share: the output form and the progress of the watch.
struct Watch {
    bool json = false;
    brnHandle handle = nullptr;
    long limit = 0;
    long tags = 0;
    bool interrupted = false;
    bool readerGone = false; // reading stopped by itself: the reader's line went
    // The data model of the tag whose memory came last: the memory callback
    // comes just before the item callbacks of the same tag.
    brnDataModelInfo model{};
    bool modelKnown = false;

    bool done() const { return interrupted || readerGone || (limit > 0 && tags >= limit); }
    // Whether the event is the reader's going (taken note of).
    bool gone(std::int32_t event)
    {
        readerGone = readerGone || event == BRN_EVENT_READER_GONE;
        return event == BRN_EVENT_READER_GONE;
    }

    void line(const std::string& text, Json json) const
    {
        if (this->json)
            std::printf("%s\n", json.text().c_str());
        else
            std::printf("%s\n", text.c_str());
        std::fflush(stdout);
    }
    // A tag was reported and printed: stop reading once enough were.
    void counted()
    {
        ++tags;
        if (limit > 0 && tags >= limit)
            brnStopReadingItems(handle); // allowed from inside the callback
    }
};

Watch& watchOf(void* context) { return *static_cast<Watch*>(context); }

std::string easText(bool told, std::int32_t state) { return !told ? "EAS ?" : state ? "EAS on" : "EAS off"; }
Json easJson(bool told, std::int32_t state) { return told ? Json::boolean(state != 0) : Json::null(); }

// A tag of a public library data model: what it holds in that model.
void printStandardTag(const brnDataModelInfo& model, std::string text, Json json, const brnItem& item, Watch& w)
{
    for (ModelField& f : dataModelFields(model)) {
        if (f.key == "dataModel" || f.key == "itemId")
            text += f.text + "  ";
        else if (f.key == "owner")
            text += "owner " + f.text + "  ";
        json.set(f.key, std::move(f.value));
    }
    const bool told = item.validMask & BRN_ITEM_EAS;
    json.set("eas", easJson(told, item.easState));
    w.line(text + easText(told, item.easState), std::move(json));
    w.counted();
}

void printItem(brnItem* item, const std::uint8_t* uid, Watch& w)
{
    std::string text;
    Json json = Json::object().set("event", Json::string("tag"));
    if (uid) {
        text = hexBytes(uid, 8) + "  ";
        json.set("uid", Json::string(hexBytes(uid, 8)));
    }
    const bool modelKnown = std::exchange(w.modelKnown, false);
    if (modelKnown && isStandardTag(w.model))
        return printStandardTag(w.model, std::move(text), std::move(json), *item, w);
    text += itemTypeName(item->itemType) + "  " + std::to_string(item->itemId);
    json.set("itemType", Json::number(item->itemType))
        .set("typeCode", Json::number(item->typeCode))
        .set("itemId", Json::unsignedNumber(item->itemId));
    if (item->validMask & BRN_ITEM_LIBRARY) {
        text += "  library " + std::to_string(item->libraryId);
        json.set("libraryId", Json::unsignedNumber(item->libraryId));
    }
    if (item->itemType == BRN_ITEM_TYPE_BOOK && (item->validMask & BRN_ITEM_BLOCK2)) {
        text += "  location " + locationText(item->book.location);
        json.set("location", Json::number(item->book.location));
    }
    const bool told = item->validMask & BRN_ITEM_EAS;
    text += "  " + easText(told, item->easState);
    json.set("eas", easJson(told, item->easState));
    if ((item->validMask & BRN_ITEM_LOCKS) && (item->lockMask & BRN_ITEM_IDENTITY))
        text += "  locked";
    if (item->validMask & BRN_ITEM_LOCKS)
        json.set("lockMask", Json::unsignedNumber(item->lockMask));
    if (modelKnown)
        for (ModelField& f : dataModelFields(w.model))
            json.set(f.key, std::move(f.value));
    w.line(text, std::move(json));
    w.counted();
}

void onMemory(brnHandle, const brnTagMemory* memory, void* context)
{
    Watch& w = watchOf(context);
    w.modelKnown = memory && brnClassifyTagMemory(memory, &w.model) == BRN_OK;
}

void onItem(brnHandle, std::int32_t event, brnItem* item, void* context)
{
    if (!watchOf(context).gone(event) && event == BRN_EVENT_NEW_TAG && item)
        printItem(item, nullptr, watchOf(context));
}

void onItemUid(brnHandle, std::int32_t event, brnItem* item, std::uint8_t* uid, void* context)
{
    if (!watchOf(context).gone(event) && event == BRN_EVENT_NEW_TAG && item)
        printItem(item, uid, watchOf(context));
}

void onRawUid(brnHandle, std::int32_t event, brnRawItem* raw, std::uint8_t* uid, void* context)
{
    Watch& w = watchOf(context);
    if (w.gone(event) || event != BRN_EVENT_NEW_TAG || !raw || !uid)
        return;
    std::string text = hexBytes(uid, 8) + " ";
    std::vector<Json> blocks;
    for (std::uint32_t value : raw->blocks) {
        text += " " + hex(value, 8);
        blocks.push_back(Json::unsignedNumber(value));
    }
    const bool told = raw->validMask & BRN_RAW_EAS;
    text += "  " + easText(told, raw->easState);
    std::vector<Json> locked;
    std::string lockedText;
    for (int i = 0; i < BRN_ITEM_BLOCKS; ++i)
        if (raw->lockMask & BRN_RAW_LOCK_BLOCK(i)) {
            lockedText += (lockedText.empty() ? "  locked " : ",") + std::to_string(i);
            locked.push_back(Json::number(i));
        }
    Json json = Json::object()
                    .set("event", Json::string("tag"))
                    .set("uid", Json::string(hexBytes(uid, 8)))
                    .set("blocks", Json::array(std::move(blocks)))
                    .set("eas", easJson(told, raw->easState))
                    .set("lockedBlocks", Json::array(std::move(locked)));
    w.line(text + lockedText, std::move(json));
    w.counted();
}

} // namespace

int runWatch(const Options& options, const Args& args)
{
    WatchArgs watchArgs;
    if (const auto wrong = parseWatchArgs(args, watchArgs))
        return usageError(*wrong);
    return withReader(options, [&](OpenReader& reader) {
        if (watchArgs.periodMs)
            if (const std::int32_t code = brnSetReadSessionDuration(reader.handle(), 0, *watchArgs.periodMs))
                return callFailed(options, "brnSetReadSessionDuration", code);
        SignalWatch signals;
        Watch watch;
        watch.json = options.json;
        watch.handle = reader.handle();
        watch.limit = watchArgs.count;
        const char* call = "brnStartReadingUIDs";
        std::int32_t code = BRN_OK;
        if (watchArgs.raw) {
            call = "brnStartReadingRawUIDs";
            code = brnStartReadingRawUIDs(reader.handle(), BRN_RAW_EAS | BRN_RAW_LOCKS | BRN_RAW_ALL_BLOCKS, onRawUid,
                                          &watch);
        } else if (watchArgs.type) {
            // Reading by type hands out items without their UIDs.
            call = "brnStartReadingItemsByType";
            code = brnStartReadingItemsByType(reader.handle(), *watchArgs.type, BRN_ITEM_ALL, onItem, &watch);
        } else {
            code = brnStartReadingUIDs(reader.handle(), BRN_ITEM_ALL, onItemUid, &watch);
        }
        if (code != BRN_OK)
            return callFailed(options, call, code);
        // Items come with their tag's data model; raw records as they are.
        if (!watchArgs.raw)
            if (const std::int32_t set = brnSetTagMemoryCallback(reader.handle(), BRN_TAG_MEMORY_MAX_BLOCKS, onMemory,
                                                                  &watch))
                return callFailed(options, "brnSetTagMemoryCallback", set);
        std::fprintf(stderr, "tagctl: watching the %s reader on COM%d (Ctrl-C stops)\n",
                     familyName(reader.family()).c_str(), options.port);

        platform::MessageLoop& loop = platform::MessageLoop::current();
        const platform::MessageLoop::Id interrupt = loop.watchFd(signals.fd(), [&] {
            char drained[16];
            while (::read(signals.fd(), drained, sizeof drained) > 0) {
            }
            watch.interrupted = true;
        });
        while (!watch.done())
            loop.dispatchOnce(-1);
        loop.unwatch(interrupt);
        brnStopReadingItems(reader.handle());
        if (watch.readerGone) {
            printStopped(options.json, "watch",
                         "the reader stopped answering: its line has gone (unplugged, switched off or closed) after "
                             + std::to_string(watch.tags) + " tags",
                         {{"event", Json::string("readerGone")}, {"tags", Json::number(watch.tags)}});
            return kExitFailed;
        }
        return kExitOk;
    });
}

} // namespace tagctl
