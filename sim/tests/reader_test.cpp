// The reader core in process: framing, faults, line speed, timing, timers,
// counters and the tag API, driven through Reader::exchange() or through
// the line engine with a hand-held clock.
#include <gtest/gtest.h>

#include <thread>

#include "sim/raw.h"
#include "sim/reader.h"

using namespace sim;
using Bytes = std::vector<std::uint8_t>;

namespace {

const Uid kUid = *uidFromText("E004010012345678");
const Uid kUid2 = *uidFromText("E0040100AABBCCDD");
const Uid kUid3 = *uidFromText("E004010055667788");
constexpr std::uint8_t kHigh = iso::kFlagHighDataRate;

std::unique_ptr<Reader> rawReader()
{
    std::string error;
    auto reader = Reader::create("raw", {}, 0, &error);
    EXPECT_TRUE(reader) << error;
    return reader;
}

Bytes airFrame(const Bytes& isoRequest)
{
    return raw::frame(raw::kAir, isoRequest);
}

Bytes writeBlockFrame(std::uint8_t block, std::uint32_t value)
{
    return airFrame(iso::request(kHigh, iso::kWriteSingleBlock, nullptr,
                                 Bytes{block, static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                       static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)}));
}

const Bytes kIdentify = raw::frame(raw::kIdentify);

// A scripted family for what the raw family does not exercise: one byte is
// one command. 'A' answers two frames, the second 1 ms later; 'T' starts a
// 5 ms timer that sends "t" on its own; 'X' stops it; 'S' answers and then
// switches the reader to 9600 baud.
class Script final : public Personality {
public:
    Cut cut(std::span<const std::uint8_t>) const override { return Cut::frame(1); }
    int commandCode(std::span<const std::uint8_t> frame) const override { return frame[0]; }
    void handle(std::span<const std::uint8_t> frame, Context& ctx) override
    {
        switch (frame[0]) {
        case 'A':
            ctx.send({'a', '1'});
            ctx.send({'a', '2'}, 1000);
            break;
        case 'T':
            timer_ = ctx.startTimer(5000, [](Context& c) { c.send({'t'}); });
            ctx.send({'k'});
            break;
        case 'X':
            ctx.stopTimer(timer_);
            ctx.send({'x'});
            break;
        case 'S':
            ctx.send({'s'});
            ctx.setBaud(9600);
            break;
        default:
            break;
        }
    }

private:
    Context::TimerId timer_ = 0;
};

// Runs the line engine until nothing more is due at or before `until`.
Bytes drain(Reader& reader, std::uint64_t until)
{
    Bytes out;
    for (;;) {
        const auto due = reader.nextDueUs();
        const auto action = reader.lineOutput(due && *due <= until ? *due : until);
        out.insert(out.end(), action.bytes.begin(), action.bytes.end());
        if (!due || *due > until)
            return out;
    }
}

} // namespace

TEST(Registry, FindsFamiliesByNameInAnyCase)
{
    std::string error;
    auto reader = Reader::create("RAW", {}, 0, &error);
    ASSERT_TRUE(reader) << error;
    EXPECT_EQ(reader->family(), "raw");
    EXPECT_EQ(reader->baud(), 115200);
    EXPECT_EQ(Reader::create("raw", {}, 9600)->baud(), 9600);
    EXPECT_FALSE(Reader::create("nosuch", {}, 0, &error));
    EXPECT_NE(error.find("nosuch"), std::string::npos);
    bool listed = false;
    for (const auto* info : personalities())
        listed = listed || info->name == "raw";
    EXPECT_TRUE(listed);
}

TEST(Framing, PartialGarbledAndPipelinedInput)
{
    auto reader = rawReader();
    const Bytes answer = reader->exchange(kIdentify);
    const auto parsed = raw::parse(answer);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(std::string(parsed->data.begin(), parsed->data.end()), "RAW DIAGNOSTIC READER");

    // Byte by byte: nothing until the frame is complete.
    for (std::size_t i = 0; i + 1 < kIdentify.size(); ++i)
        EXPECT_TRUE(reader->exchange(Bytes{kIdentify[i]}).empty());
    EXPECT_EQ(reader->exchange(Bytes{kIdentify.back()}), answer);

    // Bytes that cannot start a frame are skipped.
    Bytes garbled{0x00, 0x01, 0x00};
    garbled.insert(garbled.end(), kIdentify.begin(), kIdentify.end());
    EXPECT_EQ(reader->exchange(garbled), answer);

    // Two requests at once: two answers, in order.
    Bytes two = kIdentify;
    const Bytes rfOff = raw::frame(raw::kRfOff);
    two.insert(two.end(), rfOff.begin(), rfOff.end());
    Bytes both = answer;
    const Bytes offAnswer = raw::frame(raw::kRfOff, Bytes{raw::kOk});
    both.insert(both.end(), offAnswer.begin(), offAnswer.end());
    EXPECT_EQ(reader->exchange(two), both);
    EXPECT_FALSE(reader->rfOn());
    EXPECT_EQ(reader->commandCount(), 5u);
    EXPECT_EQ(reader->commandCount(raw::kIdentify), 4u);
}

TEST(Framing, AnUnfinishedFrameIsDroppedAfterTheReceiveGap)
{
    auto reader = rawReader();
    const std::uint64_t t0 = 1'000'000;
    reader->lineInput(std::span(kIdentify).first(2), 115200, t0);
    reader->lineInput(std::span(kIdentify).subspan(2), 115200, t0 + 200'000);
    EXPECT_TRUE(drain(*reader, t0 + 300'000).empty());
    EXPECT_EQ(reader->commandCount(), 0u);
    reader->lineInput(kIdentify, 115200, t0 + 400'000);
    EXPECT_TRUE(raw::parse(drain(*reader, t0 + 400'000)));
}

TEST(LineSpeed, BytesAtAnotherSpeedAreIgnored)
{
    auto reader = rawReader();
    const std::uint64_t t0 = 1'000'000;
    for (const int hostBaud : {9600, 19200, 57600, -1}) {
        reader->lineInput(kIdentify, hostBaud, t0);
        EXPECT_FALSE(reader->nextDueUs()) << hostBaud;
    }
    EXPECT_EQ(reader->commandCount(), 0u);
    EXPECT_EQ(reader->ignoredBytes(), 4 * kIdentify.size());
    // Half a frame at the right speed, the rest at a wrong one: the frame is
    // lost, and what follows makes no frame until a pause resets the receiver.
    reader->lineInput(std::span(kIdentify).first(2), 115200, t0);
    reader->lineInput(std::span(kIdentify).subspan(2), 9600, t0);
    reader->lineInput(std::span(kIdentify).subspan(2), 115200, t0);
    reader->lineInput(kIdentify, 115200, t0);
    EXPECT_TRUE(drain(*reader, t0).empty());
    EXPECT_EQ(reader->commandCount(), 0u);
    const std::uint64_t later = t0 + 200'000;
    reader->lineInput(kIdentify, 115200, later);
    EXPECT_TRUE(raw::parse(drain(*reader, later)));
    reader->lineInput(kIdentify, 0, later); // a line without speed (TCP)
    EXPECT_TRUE(raw::parse(drain(*reader, later)));
}

TEST(Faults, EachKindShapesTheAnswerAsDocumented)
{
    auto reader = rawReader();
    Tag tag(kUid);
    reader->place(tag);
    const Bytes normal = reader->exchange(writeBlockFrame(1, 0x11111111));
    ASSERT_EQ(raw::parse(normal)->status, raw::kOk);

    // Silence: executed, answer lost.
    reader->addFault(Fault::silence());
    EXPECT_TRUE(reader->exchange(writeBlockFrame(1, 0x22222222)).empty());
    EXPECT_EQ(reader->tag(kUid)->block(1), 0x22222222u);
    EXPECT_EQ(reader->exchange(writeBlockFrame(1, 0x33333333)), normal) << "count 1: used up";

    // Wrong CRC: the check byte is broken.
    reader->addFault(Fault::wrongCrc());
    Bytes broken = reader->exchange(writeBlockFrame(1, 0x44444444));
    EXPECT_FALSE(raw::parse(broken));
    ASSERT_EQ(broken.size(), normal.size());
    broken.back() = static_cast<std::uint8_t>(~broken.back());
    EXPECT_EQ(broken, normal);

    // Cut short: the first half only.
    reader->addFault(Fault::cutShort());
    EXPECT_EQ(reader->exchange(writeBlockFrame(1, 0x55555555)), Bytes(normal.begin(), normal.begin() + normal.size() / 2));

    // Noise: given bytes, or three pseudo-random ones, before the answer.
    reader->addFault(Fault::noiseBytes({0xAA, 0x00}));
    Bytes noisy{0xAA, 0x00};
    noisy.insert(noisy.end(), normal.begin(), normal.end());
    EXPECT_EQ(reader->exchange(writeBlockFrame(1, 0x66666666)), noisy);
    reader->addFault(Fault::noiseBytes({}));
    const Bytes random = reader->exchange(writeBlockFrame(1, 0x66666666));
    ASSERT_EQ(random.size(), normal.size() + 3);
    EXPECT_EQ(Bytes(random.begin() + 3, random.end()), normal);

    // Status: not executed; the answer carries only the status.
    reader->addFault(Fault::statusByte(0x84));
    const auto status = raw::parse(reader->exchange(writeBlockFrame(1, 0x77777777)));
    ASSERT_TRUE(status);
    EXPECT_EQ(status->status, 0x84);
    EXPECT_TRUE(status->data.empty());
    EXPECT_EQ(reader->tag(kUid)->block(1), 0x66666666u);

    // Several faults on one command.
    reader->addFault(Fault::noiseBytes({0x01}));
    reader->addFault(Fault::cutShort());
    Bytes combined{0x01};
    combined.insert(combined.end(), normal.begin(), normal.begin() + normal.size() / 2);
    EXPECT_EQ(reader->exchange(writeBlockFrame(1, 0x88888888)), combined);
    EXPECT_TRUE(reader->faults().empty());
    EXPECT_EQ(reader->exchange(writeBlockFrame(1, 0x99999999)), normal);
}

TEST(Faults, TagsLeaveRightAfterTheFirstTagAnswer)
{
    auto reader = rawReader();
    for (const Uid& uid : {kUid, kUid2, kUid3})
        reader->place(Tag(uid));
    reader->addFault(Fault::tagsLeave());
    const auto answer = raw::parse(reader->exchange(raw::frame(raw::kInventory, Bytes{kHigh})));
    ASSERT_TRUE(answer);
    EXPECT_LE(answer->data[0], 1) << "at most the first tag to answer was seen";
    EXPECT_TRUE(reader->tags().empty());
    EXPECT_EQ(reader->shelf().size(), 3u);
    EXPECT_TRUE(reader->tag(kUid2)) << "shelved tags can still be inspected";
    EXPECT_TRUE(reader->putBack(kUid2));
    EXPECT_EQ(raw::parse(reader->exchange(raw::frame(raw::kInventory, Bytes{kHigh})))->data[0], 1);
}

TEST(Faults, LineCloseAndDelayThroughTheLineEngine)
{
    auto reader = rawReader();
    reader->place(Tag(kUid));
    const std::uint64_t t0 = 5'000'000;
    reader->addFault(Fault::lineClose(250));
    reader->lineInput(writeBlockFrame(0, 0x12345678), 115200, t0);
    const auto close = reader->lineOutput(t0);
    EXPECT_TRUE(close.close);
    EXPECT_EQ(close.reopenMs, 250);
    EXPECT_TRUE(close.bytes.empty());
    EXPECT_EQ(reader->tag(kUid)->block(0), 0u) << "nothing executed";

    reader->addFault(Fault::delay(40));
    reader->lineInput(kIdentify, 115200, t0);
    EXPECT_EQ(reader->nextDueUs(), t0 + 40'000);
    EXPECT_TRUE(reader->lineOutput(t0 + 39'999).bytes.empty());
    EXPECT_TRUE(raw::parse(reader->lineOutput(t0 + 40'000).bytes));
    EXPECT_EQ(reader->timingReport().faultDelayUs, 40'000u);
}

TEST(Faults, CountSkipCodeAndPermanent)
{
    auto reader = rawReader();
    const Bytes rfOn = raw::frame(raw::kRfOn);
    reader->addFault(Fault::silence(2).forCode(raw::kIdentify).after(1));
    EXPECT_FALSE(reader->exchange(kIdentify).empty()) << "skipped";
    EXPECT_FALSE(reader->exchange(rfOn).empty()) << "another code";
    EXPECT_TRUE(reader->exchange(kIdentify).empty());
    EXPECT_FALSE(reader->exchange(rfOn).empty());
    EXPECT_TRUE(reader->exchange(kIdentify).empty());
    EXPECT_FALSE(reader->exchange(kIdentify).empty()) << "two used up";
    EXPECT_TRUE(reader->faults().empty());

    reader->addFault(Fault::silence(Fault::kPermanent));
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(reader->exchange(kIdentify).empty());
    ASSERT_EQ(reader->faults().size(), 1u);
    reader->clearFaults();
    EXPECT_FALSE(reader->exchange(kIdentify).empty());
}

TEST(Faults, FrameSelectionAndFamiliesWithoutStatusHook)
{
    Reader reader(std::make_unique<Script>(), 115200, "script");
    reader.addFault(Fault::wrongCrc().onFrame(1));
    EXPECT_EQ(reader.exchange(Bytes{'A'}), (Bytes{'a', '1', 'a', static_cast<std::uint8_t>(~'2')}));
    reader.addFault(Fault::cutShort());
    EXPECT_EQ(reader.exchange(Bytes{'A'}), (Bytes{'a', 'a'}));
    reader.addFault(Fault::statusByte(0x84)); // no status hook: handled normally
    EXPECT_EQ(reader.exchange(Bytes{'A'}), (Bytes{'a', '1', 'a', '2'}));
}

TEST(Timing, FrameDelaysTimersAndSpeedChanges)
{
    Reader reader(std::make_unique<Script>(), 115200, "script");
    const std::uint64_t t0 = 1'000'000;
    reader.lineInput(Bytes{'A'}, 115200, t0);
    EXPECT_EQ(reader.lineOutput(t0).bytes, (Bytes{'a', '1'}));
    EXPECT_EQ(reader.nextDueUs(), t0 + 1000);
    // While the answer is out, the next command waits its turn.
    reader.lineInput(Bytes{'T'}, 115200, t0 + 10);
    EXPECT_EQ(reader.lineOutput(t0 + 999).bytes, Bytes{});
    EXPECT_EQ(reader.lineOutput(t0 + 1000).bytes, (Bytes{'a', '2', 'k'}));
    EXPECT_EQ(reader.nextDueUs(), t0 + 1000 + 5000);
    EXPECT_EQ(reader.lineOutput(t0 + 6000).bytes, Bytes{'t'});
    EXPECT_FALSE(reader.nextDueUs());
    // A stopped timer never fires.
    reader.lineInput(Bytes{'T'}, 115200, t0 + 7000);
    reader.lineInput(Bytes{'X'}, 115200, t0 + 7000);
    EXPECT_EQ(drain(reader, t0 + 20'000), (Bytes{'k', 'x'}));
    // The speed changes once the answer is out.
    reader.lineInput(Bytes{'S'}, 115200, t0 + 30'000);
    EXPECT_EQ(reader.baud(), 115200);
    EXPECT_EQ(reader.lineOutput(t0 + 30'000).bytes, Bytes{'s'});
    EXPECT_EQ(reader.baud(), 9600);
    reader.lineInput(Bytes{'A'}, 115200, t0 + 31'000);
    EXPECT_FALSE(reader.nextDueUs());
    reader.lineInput(Bytes{'A'}, 9600, t0 + 31'000);
    EXPECT_EQ(reader.lineOutput(t0 + 31'000).bytes, (Bytes{'a', '1'}));
}

TEST(Timing, RealisticModeSpendsWireAndAirTime)
{
    auto reader = rawReader();
    reader->place(Tag(kUid));
    const std::uint64_t t0 = 1'000'000;
    const double byteUs = 10e6 / 115200; // 86.8 us

    // None: the answer is there at once, but the time is still counted.
    reader->lineInput(kIdentify, 115200, t0);
    const Bytes fast = reader->lineOutput(t0).bytes;
    ASSERT_TRUE(raw::parse(fast));
    auto report = reader->timingReport();
    EXPECT_NEAR(static_cast<double>(report.wireUs), (kIdentify.size() + fast.size()) * byteUs, 1.0);
    EXPECT_EQ(report.airUs, 0u);

    // Realistic: the request's wire time first, then the answer byte by byte.
    reader->resetCounters();
    reader->setTiming(Timing::Realistic);
    reader->lineInput(kIdentify, 115200, t0);
    const std::uint64_t start = t0 + static_cast<std::uint64_t>(kIdentify.size() * byteUs);
    EXPECT_TRUE(reader->lineOutput(start).bytes.empty());
    Bytes got = reader->lineOutput(start + static_cast<std::uint64_t>(2.5 * byteUs)).bytes;
    EXPECT_EQ(got.size(), 2u);
    const std::uint64_t lastByteAt = start + static_cast<std::uint64_t>(fast.size() * byteUs);
    Bytes more = drain(*reader, lastByteAt - 10);
    got.insert(got.end(), more.begin(), more.end());
    EXPECT_EQ(got.size(), fast.size() - 1);
    more = drain(*reader, lastByteAt + 1);
    got.insert(got.end(), more.begin(), more.end());
    EXPECT_EQ(got, fast);
    EXPECT_TRUE(reader->waitIdle(0));

    // An air command also waits its air time before answering.
    const Bytes read = airFrame(iso::request(kHigh, iso::kReadSingleBlock, nullptr, Bytes{0}));
    reader->resetCounters();
    reader->lineInput(read, 115200, t0);
    report = reader->timingReport();
    EXPECT_GT(report.airUs, 3000u);
    const std::uint64_t answerAt = t0 + static_cast<std::uint64_t>(read.size() * byteUs) + report.airUs;
    EXPECT_TRUE(reader->lineOutput(answerAt - 10).bytes.empty());
    EXPECT_EQ(drain(*reader, t0 + report.modelledUs() + 5).size() + read.size(),
              static_cast<std::size_t>(static_cast<double>(report.wireUs) / byteUs + 0.5));
}

TEST(Tags, PlaceRemoveShelfMoveAndEdit)
{
    auto a = rawReader();
    auto b = rawReader();
    Tag tag(kUid);
    tag.setBlock(0, 0xABCD);
    ASSERT_TRUE(a->place(tag));
    EXPECT_FALSE(a->place(tag));
    ASSERT_TRUE(a->moveTag(kUid, *b));
    EXPECT_FALSE(a->moveTag(kUid, *b)) << "no longer on a";
    EXPECT_TRUE(a->tags().empty());
    ASSERT_EQ(b->tags().size(), 1u);
    EXPECT_EQ(b->tag(kUid)->block(0), 0xABCDu);
    b->exchange(writeBlockFrame(0, 0x1234));
    ASSERT_TRUE(b->moveTag(kUid, *a));
    EXPECT_EQ(a->tag(kUid)->block(0), 0x1234u) << "memory travels with the tag";

    EXPECT_TRUE(a->remove(kUid));
    EXPECT_TRUE(a->tags().empty());
    EXPECT_EQ(a->shelf().size(), 1u);
    EXPECT_TRUE(a->editTag(kUid, [](Tag& t) { t.setAfi(0x92); }));
    EXPECT_TRUE(a->putBack(kUid));
    EXPECT_FALSE(a->putBack(kUid));
    EXPECT_EQ(a->tag(kUid)->afi(), 0x92);
    EXPECT_TRUE(a->shelf().empty());
    EXPECT_FALSE(a->editTag(kUid2, [](Tag&) {}));

    // Placing a fresh tag with a shelved UID replaces the shelved one.
    a->remove(kUid);
    a->place(Tag(kUid));
    EXPECT_EQ(a->tag(kUid)->afi(), 0);
    EXPECT_TRUE(a->shelf().empty());
    EXPECT_EQ(a->removeAll().size(), 1u);
}

TEST(Counters, CommandsAirRequestsWaitsAndLog)
{
    auto reader = rawReader();
    std::vector<std::string> log;
    std::mutex logMutex;
    reader->setLog([&](const std::string& line) {
        std::lock_guard lock(logMutex);
        log.push_back(line);
    });
    reader->place(Tag(kUid));
    EXPECT_FALSE(reader->waitForCommands(1, 10));
    std::thread host([&] {
        reader->exchange(kIdentify);
        reader->exchange(airFrame(iso::request(kHigh, iso::kReadSingleBlock, nullptr, Bytes{0})));
    });
    EXPECT_TRUE(reader->waitForCommands(2, 5000));
    host.join();
    EXPECT_TRUE(reader->waitIdle(1000));
    EXPECT_EQ(reader->commandCount(raw::kAir), 1u);
    EXPECT_EQ(reader->commandCounts().size(), 2u);
    EXPECT_EQ(reader->airRequestCount(iso::kReadSingleBlock), 1u);
    reader->resetCounters();
    EXPECT_EQ(reader->commandCount(), 0u);
    EXPECT_EQ(reader->airRequestCount(iso::kReadSingleBlock), 0u);
    reader->setLog(nullptr);
    std::lock_guard lock(logMutex);
    const auto has = [&](const std::string& start) {
        return std::any_of(log.begin(), log.end(), [&](const std::string& l) { return l.rfind(start, 0) == 0; });
    };
    EXPECT_TRUE(has("tag E004010012345678 placed"));
    EXPECT_TRUE(has("<- 02 30 32"));
    EXPECT_TRUE(has("-> "));
}
