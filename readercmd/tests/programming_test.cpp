// Programming the reader's microcontroller: the primitives against a simulated
// device on emulated modem lines of a real serial link (a pseudo-terminal),
// their line sequences and waits, and their failures. Whole programming runs,
// from assembler output to the device's memory, are tagctl's (tools/tests).

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "linvaro_testing.h"
#include "platform/clock.h"
#include "platform/thread.h"
#include "quorvel.h"
#include "quorvel_firmware.h"
#include "scripted_peer.h"
#include "sim/pic_target.h"

using sim::PicTarget;

namespace {

constexpr int kPort = 7;

// One modem-line operation as the device saw it.
struct LineEvent {
    char line;  // 'R' RTS set, 'D' DTR set, 'S' DSR read
    bool value; // the level set or read
    std::uint64_t us;
};

// The simulated device behind the link's modem lines, with a record of every
// line operation and an optional observer that may change the device midway.
class Bench {
public:
    explicit Bench(PicTarget::Options options = {}) : target(std::move(options)) {}

    LVRM_ModemLinesHooks hooks()
    {
        LVRM_ModemLinesHooks h{};
        h.context = this;
        h.setRTS = [](void* c, int32_t on) -> int32_t {
            auto* b = static_cast<Bench*>(c);
            const int32_t applied = PicTarget::rtsLine(&b->target, on);
            b->record('R', on != 0);
            return applied;
        };
        h.setDTR = [](void* c, int32_t on) -> int32_t {
            auto* b = static_cast<Bench*>(c);
            const int32_t applied = PicTarget::dtrLine(&b->target, on);
            b->record('D', on != 0);
            return applied;
        };
        h.getDSR = [](void* c) -> int32_t {
            auto* b = static_cast<Bench*>(c);
            const int32_t level = PicTarget::dsrLine(&b->target);
            b->record('S', level == 1);
            return level;
        };
        return h;
    }

    // The lines set (R and D), as "R1 D1 D0 ...".
    std::string settings(std::size_t from = 0) const
    {
        std::string s;
        for (std::size_t i = from; i < trace.size(); ++i)
            if (trace[i].line != 'S')
                s += (s.empty() ? "" : " ") + std::string(1, trace[i].line) + (trace[i].value ? "1" : "0");
        return s;
    }

    PicTarget target;
    std::vector<LineEvent> trace;
    std::function<void(const LineEvent&)> observer;

private:
    void record(char line, bool value)
    {
        trace.push_back({line, value, platform::monotonicUs()});
        if (observer)
            observer(trace.back());
    }
};

int ownNice()
{
    errno = 0;
    return ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
}

// A serial link on a pseudo-terminal with the simulated device on its modem lines.
class Programming : public ::testing::Test {
protected:
    void SetUp() override { open(std::make_unique<Bench>()); }

    void open(std::unique_ptr<Bench> fresh)
    {
        if (handle > 0)
            QVL_Close(handle);
        bench = std::move(fresh);
        if (!line)
            line = peer::ScriptedPeer::pty(kPort);
        handle = QVL_SerialOpen(kPort, 115200);
        ASSERT_GT(handle, 0);
        const LVRM_ModemLinesHooks hooks = bench->hooks();
        ASSERT_EQ(LVRM_TestAttachModemLines(handle, &hooks), 1);
    }

    void TearDown() override
    {
        if (handle > 0)
            QVL_Close(handle);
        // A test that stopped in programming mode leaves the thread raised.
        platform::restoreThreadPriority();
    }

    void enter()
    {
        ASSERT_EQ(ORBA_InitORBA2Programming(handle), 1);
        ASSERT_TRUE(bench->target.programming());
    }

    PicTarget& target() { return bench->target; }

    std::unique_ptr<peer::ScriptedPeer> line;
    std::unique_ptr<Bench> bench;
    std::int32_t handle = -1;
};

// Every primitive that needs programming mode, by name.
struct Primitive {
    const char* name;
    std::function<int(std::int32_t)> call;
};

std::vector<Primitive> modePrimitives()
{
    static std::uint16_t sink = 0;
    return {
        {"LoadConfiguration", [](std::int32_t h) { return ORBA_LoadConfiguration(h, 0x3FFF); }},
        {"BulkEraseSetup1", [](std::int32_t h) { return ORBA_BulkEraseSetup1(h); }},
        {"LoadDataToProgram", [](std::int32_t h) { return ORBA_LoadDataToProgram(h, 0x1234); }},
        {"LoadDataToData", [](std::int32_t h) { return ORBA_LoadDataToData(h, 0x12); }},
        {"ReadDataFromProgram", [](std::int32_t h) { return ORBA_ReadDataFromProgram(h, &sink); }},
        {"ReadDataFromData", [](std::int32_t h) { return ORBA_ReadDataFromData(h, &sink); }},
        {"IncrementAddress", [](std::int32_t h) { return ORBA_IncrementAddress(h); }},
        {"BulkEraseSetup2", [](std::int32_t h) { return ORBA_BulkEraseSetup2(h); }},
        {"BeginEraseProgrammingCycle", [](std::int32_t h) { return ORBA_BeginEraseProgrammingCycle(h); }},
        {"BeginProgrammingOnlyCycle", [](std::int32_t h) { return ORBA_BeginProgrammingOnlyCycle(h); }},
    };
}

} // namespace

TEST_F(Programming, PrimitivesOutsideProgrammingModeFailWithoutTouchingALine)
{
    for (const auto& p : modePrimitives())
        EXPECT_EQ(p.call(handle), 0) << p.name;
    EXPECT_TRUE(bench->trace.empty()) << bench->settings();

    // Handles that name no open link: every function fails, entry and end included.
    for (const std::int32_t bad : {0, -1, 17, handle + 1}) {
        for (const auto& p : modePrimitives())
            EXPECT_EQ(p.call(bad), 0) << p.name << " " << bad;
        EXPECT_EQ(ORBA_InitORBA2Programming(bad), 0) << bad;
        EXPECT_EQ(ORBA_EndORBA2Programming(bad), 0) << bad;
        EXPECT_EQ(ORBA_EraseCodeProtectedMemory(bad), 0) << bad;
    }
    EXPECT_TRUE(bench->trace.empty()) << bench->settings();
}

TEST_F(Programming, EntryFollowsTheDeviceSequenceWithItsWaits)
{
    const int normalNice = ownNice();
    enter();
    const auto& t = bench->trace;
    EXPECT_EQ(bench->settings(), "R1 D1 D0 R0 R1 D1");

    // The moments of the line settings and of the DSR reads between them.
    std::vector<std::size_t> sets;
    for (std::size_t i = 0; i < t.size(); ++i)
        if (t[i].line != 'S')
            sets.push_back(i);
    ASSERT_EQ(sets.size(), 6u);
    auto gap = [&](std::size_t a, std::size_t b) { return t[b].us - t[a].us; };
    EXPECT_GE(gap(sets[0], sets[1]), 200000u);
    EXPECT_GE(gap(sets[1], sets[2]), 40000u);
    EXPECT_GE(gap(sets[2], sets[2] + 1), 10000u);
    EXPECT_GE(gap(sets[3], sets[4]), 40000u);
    EXPECT_GE(gap(sets[4], sets[4] + 1), 10000u);
    EXPECT_GE(gap(sets[5] - 1, sets[5]), 70000u);
    // Each acknowledgement: on, on again at once, then polled 1 ms apart down to its fall.
    for (const auto& [first, end] : {std::pair{sets[2] + 1, sets[3]}, std::pair{sets[4] + 1, sets[5]}}) {
        ASSERT_EQ(end - first, 4u) << "three reads on, one off";
        EXPECT_TRUE(t[first].value && t[first + 1].value && t[first + 2].value);
        EXPECT_FALSE(t[first + 3].value);
        EXPECT_GE(gap(first + 1, first + 2), 1000u);
        EXPECT_GE(gap(first + 2, first + 3), 1000u);
    }

    const int raised = ownNice();
    EXPECT_LE(raised, normalNice);
    if (::geteuid() == 0) {
        EXPECT_LT(raised, normalNice) << "a privileged thread programs at raised priority";
    }

    // A second entry on the same link fails and touches nothing.
    const std::size_t before = t.size();
    EXPECT_EQ(ORBA_InitORBA2Programming(handle), 0);
    EXPECT_EQ(t.size(), before);

    const std::uint64_t start = platform::monotonicUs();
    EXPECT_EQ(ORBA_EndORBA2Programming(handle), 1);
    EXPECT_GE(platform::monotonicUs() - start, 500000u);
    EXPECT_EQ(bench->settings(before), "R0 D0");
    EXPECT_FALSE(target().programming());
    EXPECT_EQ(ownNice(), normalNice);
    EXPECT_EQ(ORBA_IncrementAddress(handle), 0) << "programming mode ended";
    EXPECT_EQ(ORBA_EndORBA2Programming(handle), 1) << "ending again is harmless";
}

// The device's acknowledgement reads on for `reads` DSR reads. The host reads
// once, again at once, then polls 1 ms apart: a fall first seen on poll 70 is too late.
struct AcknowledgeCase {
    int reads;
    bool entered;
};

class Acknowledgement : public Programming, public ::testing::WithParamInterface<AcknowledgeCase> {
protected:
    void SetUp() override
    {
        PicTarget::Options options;
        options.acknowledgeReads = GetParam().reads;
        open(std::make_unique<Bench>(options));
    }
};

TEST_P(Acknowledgement, MustFallWithinSixtyNinePolls)
{
    const int normalNice = ownNice();
    const AcknowledgeCase c = GetParam();
    EXPECT_EQ(ORBA_InitORBA2Programming(handle), c.entered ? 1 : 0);
    EXPECT_EQ(target().programming(), c.entered);
    if (c.entered) {
        EXPECT_EQ(ORBA_IncrementAddress(handle), 1);
        return;
    }
    EXPECT_EQ(bench->settings().substr(bench->settings().size() - 2), "R0") << "a failed entry leaves RTS off";
    EXPECT_EQ(ORBA_IncrementAddress(handle), 0);
    EXPECT_EQ(ownNice(), normalNice) << "a failed entry gives the priority back";
}

INSTANTIATE_TEST_SUITE_P(Reads, Acknowledgement,
                         ::testing::Values(AcknowledgeCase{1, true}, AcknowledgeCase{2, true},
                                           AcknowledgeCase{70, true},   // fall on poll 69
                                           AcknowledgeCase{71, false},  // fall on poll 70
                                           AcknowledgeCase{500, false}, // no fall
                                           AcknowledgeCase{0, false}),  // DSR never on
                         [](const auto& info) { return "On" + std::to_string(info.param.reads); });

TEST_F(Programming, SecondAcknowledgementMissingThenARetry)
{
    // The device stops answering once the host pulses RTS.
    bench->observer = [this](const LineEvent& e) {
        if (e.line == 'R' && !e.value && target().counters().entries == 0)
            target().setAcknowledgeReads(0);
    };
    EXPECT_EQ(ORBA_InitORBA2Programming(handle), 0);
    EXPECT_FALSE(target().programming());
    EXPECT_EQ(bench->settings(), "R1 D1 D0 R0 R1 R0");

    bench->observer = nullptr;
    target().setAcknowledgeReads(3);
    enter();
}

// A fault on one bit of a primitive's transaction, counted from its first bit.
struct BitFault {
    const char* primitive;
    bool echo; // else the level
    unsigned bit;
    int expected;
};

class BitFaults : public Programming, public ::testing::WithParamInterface<BitFault> {};

TEST_P(BitFaults, AreReported)
{
    const BitFault f = GetParam();
    enter();
    if (f.echo)
        target().invertEcho(f.bit);
    else
        target().invertLevel(f.bit);
    std::uint16_t value = 0xABCD;
    int result = -1;
    const std::string name = f.primitive;
    if (name == "IncrementAddress")
        result = ORBA_IncrementAddress(handle);
    else if (name == "BeginProgrammingOnlyCycle")
        result = ORBA_BeginProgrammingOnlyCycle(handle);
    else if (name == "LoadDataToProgram")
        result = ORBA_LoadDataToProgram(handle, 0x1555);
    else if (name == "ReadDataFromProgram")
        result = ORBA_ReadDataFromProgram(handle, &value);
    EXPECT_EQ(result, f.expected);
    if (name == "ReadDataFromProgram" && f.bit < 6) {
        EXPECT_EQ(value, 0xABCD) << "nothing read after a failed command";
    } else if (name == "ReadDataFromProgram") {
        EXPECT_EQ(value, 0x3FFF ^ (1u << (f.bit - 7))) << "the word as it came over the line";
    }
    if (name == "LoadDataToProgram" && f.bit < 6) {
        EXPECT_EQ(bench->trace.back().line, 'S') << "no data word after a failed command";
    }
}

INSTANTIATE_TEST_SUITE_P(
    OneBit, BitFaults,
    ::testing::Values(BitFault{"IncrementAddress", true, 0, 0}, BitFault{"IncrementAddress", true, 5, 0},
                      BitFault{"IncrementAddress", false, 2, 0}, // level off too early
                      BitFault{"IncrementAddress", false, 5, 0}, // level on after the last bit
                      BitFault{"BeginProgrammingOnlyCycle", true, 4, 0},
                      BitFault{"LoadDataToProgram", true, 3, 0},   // in the command
                      BitFault{"LoadDataToProgram", false, 5, 0},  // the command's last level must stay on
                      BitFault{"LoadDataToProgram", true, 6 + 8, 0},  // in the data word
                      BitFault{"LoadDataToProgram", false, 6 + 15, 0}, // the word's last level
                      BitFault{"ReadDataFromProgram", true, 1, 0},
                      BitFault{"ReadDataFromProgram", true, 6 + 4, 1}), // a bit of the word read
    [](const auto& info) {
        return std::string(info.param.primitive) + (info.param.echo ? "Echo" : "Level") +
               std::to_string(info.param.bit);
    });

TEST_F(Programming, LoadReadIncrementAndTheirWaits)
{
    enter();
    auto timed = [](auto call) {
        const std::uint64_t start = platform::monotonicUs();
        EXPECT_EQ(call(), 1);
        return platform::monotonicUs() - start;
    };
    // 6 bits of 100 us; a load adds 16 more.
    EXPECT_GE(timed([&] { return ORBA_IncrementAddress(handle); }), 600u);
    EXPECT_EQ(target().programCounter(), 1);
    EXPECT_GE(timed([&] { return ORBA_LoadDataToProgram(handle, 0xFFFF); }), 2200u);
    EXPECT_GE(timed([&] { return ORBA_BeginEraseProgrammingCycle(handle); }), 10600u);
    std::uint16_t value = 0;
    EXPECT_GE(timed([&] { return ORBA_ReadDataFromProgram(handle, &value); }), 2200u);
    EXPECT_EQ(value, 0x3FFF) << "the word is cut to 14 bits";

    EXPECT_EQ(ORBA_LoadDataToProgram(handle, 0x0A0A), 1);
    EXPECT_GE(timed([&] { return ORBA_BeginProgrammingOnlyCycle(handle); }), 5600u);
    EXPECT_EQ(ORBA_ReadDataFromProgram(handle, nullptr), 1);
    EXPECT_EQ(target().programMemory()[1], 0x0A0A);

    EXPECT_EQ(ORBA_LoadDataToData(handle, 0x3C5), 1);
    EXPECT_EQ(ORBA_BeginEraseProgrammingCycle(handle), 1);
    EXPECT_EQ(ORBA_ReadDataFromData(handle, &value), 1);
    EXPECT_EQ(value, 0xC5);
    EXPECT_EQ(target().dataMemory()[1], 0xC5);

    EXPECT_GE(timed([&] { return ORBA_BulkEraseSetup1(handle); }), 1100u);
    EXPECT_GE(timed([&] { return ORBA_BulkEraseSetup2(handle); }), 1100u);
    EXPECT_EQ(ORBA_LoadConfiguration(handle, 0x4123), 1);
    EXPECT_EQ(target().programCounter(), 0x2000);
    EXPECT_EQ(ORBA_BeginEraseProgrammingCycle(handle), 1);
    EXPECT_EQ(target().configMemory()[0], 0x0123);
    EXPECT_EQ(target().counters().lostEdges, 0u) << "every cycle was waited for";
    EXPECT_EQ(ORBA_EndORBA2Programming(handle), 1);
}

TEST_F(Programming, EraseCodeProtectedMemory)
{
    target().programMemory()[0x100] = 0x2805;
    target().dataMemory()[3] = 0x42;
    target().configMemory()[7] = 0x0000; // everything protected
    const int normalNice = ownNice();
    EXPECT_EQ(ORBA_EraseCodeProtectedMemory(handle), 1);
    EXPECT_FALSE(target().programming()) << "programming mode ends after the erase";
    EXPECT_EQ(target().counters().entries, 1u);
    EXPECT_EQ(target().counters().bulkErases, 1u);
    EXPECT_EQ(target().commands(), (std::vector<std::uint8_t>{0, 6, 6, 6, 6, 6, 6, 6, 1, 7, 8, 1, 7}));
    EXPECT_EQ(target().programMemory()[0x100], 0x3FFF);
    EXPECT_EQ(target().dataMemory()[3], 0xFF);
    EXPECT_EQ(target().configWord(), 0x3FFF);
    EXPECT_EQ(ownNice(), normalNice);
    EXPECT_EQ(ORBA_IncrementAddress(handle), 0);

    // Not while programming; and a step that fails ends programming all the same.
    enter();
    const std::size_t before = bench->trace.size();
    EXPECT_EQ(ORBA_EraseCodeProtectedMemory(handle), 0);
    EXPECT_EQ(bench->trace.size(), before);
    ASSERT_EQ(ORBA_EndORBA2Programming(handle), 1);

    target().configMemory()[7] = 0x0000;
    bench->observer = [this](const LineEvent&) {
        if (target().commands().size() == 13 + 3) { // the third increment of the second erase
            target().invertEcho(0);
            bench->observer = nullptr;
        }
    };
    EXPECT_EQ(ORBA_EraseCodeProtectedMemory(handle), 0);
    EXPECT_FALSE(target().programming());
    EXPECT_EQ(target().commands().size(), 13u + 4u) << "no erase command after the failed step";
    EXPECT_EQ(target().configWord(), 0x0000);
    EXPECT_EQ(ORBA_IncrementAddress(handle), 0);

    // A device that does not answer.
    target().setAcknowledgeReads(0);
    EXPECT_EQ(ORBA_EraseCodeProtectedMemory(handle), 0);
}
