// The simulated microcontroller driven line by line, with a clock the test turns.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "sim/pic_target.h"

using sim::PicTarget;

namespace {

// A host that drives the lines without waiting: the device sees each change at once.
class Host {
public:
    explicit Host(PicTarget& target) : t(target) {}

    // Reads an acknowledgement down to its fall (at most 100 reads): how many read on.
    int acknowledgement()
    {
        int on = 0;
        while (on < 100 && t.dsr())
            ++on;
        return on;
    }

    void enter()
    {
        t.setRts(true);
        t.setDtr(true);
        t.setDtr(false);
        firstAck = acknowledgement();
        t.setRts(false);
        t.setRts(true);
        secondAck = acknowledgement();
        t.setDtr(true);
    }

    void leave()
    {
        t.setRts(false);
        t.setDtr(false);
    }

    struct Bit {
        bool echo;
        bool level;
    };
    Bit bit(bool b)
    {
        t.setDtr(b);
        t.setRts(false);
        t.setDtr(true);
        const bool echo = t.dsr();
        t.setRts(true);
        return {echo, t.dsr()};
    }

    // Sends the bits of value, least significant first; the levels after each.
    std::vector<bool> send(unsigned value, unsigned count)
    {
        std::vector<bool> levels;
        t.setDtr(true);
        for (unsigned i = 0; i < count; ++i) {
            const bool b = (value >> i & 1) != 0;
            const Bit got = bit(b);
            EXPECT_EQ(got.echo, b) << "echo of bit " << i;
            levels.push_back(got.level);
        }
        return levels;
    }

    std::vector<bool> command(std::uint8_t c) { return send(c, 6); }
    std::vector<bool> data(std::uint16_t v) { return send(static_cast<unsigned>(v & 0x3FFF) << 1, 16); }

    std::uint16_t receive()
    {
        t.setDtr(true);
        unsigned word = 0;
        for (int i = 0; i < 16; ++i) {
            t.setRts(false);
            const bool b = t.dsr();
            t.setRts(true);
            (void)t.dsr();
            word = word >> 1 | (b ? 0x8000u : 0u);
        }
        return static_cast<std::uint16_t>(word >> 1 & 0x3FFF);
    }

    PicTarget& t;
    int firstAck = -1;
    int secondAck = -1;
};

// Levels a transaction of n bits shows: on until its last bit.
std::vector<bool> levels(unsigned n, bool last)
{
    std::vector<bool> v(n, true);
    v.back() = last;
    return v;
}

// A clock the test turns; the device's cycles take their time on it.
struct Clock {
    std::uint64_t us = 1000;
    PicTarget::Options options(int acknowledgeReads = 3)
    {
        return {acknowledgeReads, [this] { return us; }};
    }
};

class Target : public ::testing::Test {
protected:
    Clock clock;
    PicTarget target{clock.options()};
    Host host{target};

    void enter()
    {
        host.enter();
        ASSERT_TRUE(target.programming());
    }
    // Loads, programs with an erase/programming cycle, lets the cycle finish.
    void programWord(std::uint8_t load, std::uint16_t value)
    {
        host.command(load);
        host.data(value);
        host.command(0x08);
        clock.us += PicTarget::kEraseProgramCycleUs;
    }
    std::uint16_t readWord(std::uint8_t read)
    {
        host.command(read);
        return host.receive();
    }
};

} // namespace

TEST_F(Target, EntryAcknowledgesTwiceThenProgrammingStartsAtAddressZero)
{
    for (const int reads : {0, 1, 3, 70}) {
        PicTarget t(clock.options(reads));
        Host h(t);
        h.enter();
        EXPECT_EQ(h.firstAck, reads);
        if (reads == 0) {
            EXPECT_FALSE(t.programming()) << "no acknowledgement: the entry ended at its first step";
            continue;
        }
        EXPECT_EQ(h.secondAck, reads);
        EXPECT_TRUE(t.programming());
        EXPECT_EQ(t.programCounter(), 0);
        EXPECT_EQ(t.counters().entries, 1u);
    }
}

TEST_F(Target, EntryOutOfOrderStartsOver)
{
    // A DTR pulse with RTS off is no request.
    target.setDtr(true);
    target.setDtr(false);
    EXPECT_FALSE(target.dsr());

    // An RTS pulse without the DTR pulse before it.
    target.setRts(true);
    target.setRts(false);
    target.setRts(true);
    EXPECT_FALSE(target.dsr());

    // The next step before the acknowledgement was read down to its fall.
    target.setDtr(true);
    target.setDtr(false);
    EXPECT_TRUE(target.dsr());
    target.setRts(false);
    target.setRts(true);
    target.setDtr(true);
    EXPECT_FALSE(target.programming());
    EXPECT_FALSE(target.dsr());

    // After all that, a proper entry still works.
    target.setRts(false);
    target.setDtr(false);
    enter();
}

TEST_F(Target, AFailedEntryLeavesTheNextOneWorking)
{
    // The host gives up on an acknowledgement and drops RTS; its next
    // attempt starts with RTS on and a DTR pulse.
    target.setAcknowledgeReads(0);
    host.enter();
    EXPECT_FALSE(target.programming());
    target.setRts(false);
    target.setDtr(false);
    target.setAcknowledgeReads(3);
    enter();
}

TEST_F(Target, CommandsEchoEveryBitAndShowTheirLevels)
{
    enter();
    for (const std::uint8_t c : {0x01, 0x06, 0x07, 0x08, 0x18}) {
        EXPECT_EQ(host.command(c), levels(6, false)) << int(c);
        clock.us += PicTarget::kEraseProgramCycleUs;
    }
    EXPECT_EQ(host.command(0x02), levels(6, true));
    EXPECT_EQ(host.data(0x1234), levels(16, false));
    EXPECT_EQ(host.command(0x04), levels(6, true));
    EXPECT_EQ(host.receive(), 0x3FFF) << "the load alone programs nothing";
    EXPECT_EQ(target.commands(), (std::vector<std::uint8_t>{0x01, 0x06, 0x07, 0x08, 0x18, 0x02, 0x04}));
    EXPECT_EQ(target.counters().unknownCommands, 0u);
    host.command(0x3F);
    EXPECT_EQ(target.counters().unknownCommands, 1u);
}

TEST_F(Target, ProgramDataAndConfigurationMemories)
{
    enter();
    const std::vector<std::uint16_t> words = {0x2805, 0x0000, 0x3FFF, 0x1555};
    for (std::size_t i = 0; i < words.size(); ++i) {
        programWord(0x02, words[i]);
        EXPECT_EQ(readWord(0x04), words[i]);
        host.command(0x06);
    }
    EXPECT_EQ(target.programCounter(), words.size());
    for (std::size_t i = 0; i < words.size(); ++i)
        EXPECT_EQ(target.programMemory()[i], words[i]);

    // Data memory answers at the low 8 bits of the same counter, 8 bits wide.
    programWord(0x03, 0x3AB);
    EXPECT_EQ(readWord(0x05), 0xAB);
    EXPECT_EQ(target.dataMemory()[words.size()], 0xAB);
    EXPECT_EQ(target.programMemory()[words.size()], 0x3FFF);

    // Load configuration moves to 0x2000; the configuration word is at 0x2007.
    host.command(0x00);
    host.data(0x0123);
    EXPECT_EQ(target.programCounter(), 0x2000);
    host.command(0x08);
    clock.us += PicTarget::kEraseProgramCycleUs;
    for (int i = 0; i < 7; ++i)
        host.command(0x06);
    EXPECT_EQ(readWord(0x04), 0x3FFF);
    programWord(0x02, 0x3F72);
    EXPECT_EQ(readWord(0x04), 0x3F72);
    EXPECT_EQ(target.configMemory()[0], 0x0123);
    EXPECT_EQ(target.configWord(), 0x3F72);

    // The words between the IDs and the configuration word keep nothing.
    host.leave();
    enter();
    host.command(0x00);
    host.data(0x3FFF);
    for (int i = 0; i < 5; ++i)
        host.command(0x06);
    programWord(0x02, 0x0000);
    EXPECT_EQ(readWord(0x04), 0x3FFF);
}

TEST_F(Target, ProgrammingOnlyCyclesClearBits)
{
    enter();
    programWord(0x02, 0x0F0F);
    host.command(0x02);
    host.data(0x33CC);
    host.command(0x18);
    clock.us += PicTarget::kProgramOnlyCycleUs;
    EXPECT_EQ(readWord(0x04), 0x0F0F & 0x33CC);
    EXPECT_EQ(target.counters().cycles, 2u);
}

TEST_F(Target, EdgesDuringACycleAreLost)
{
    enter();
    host.command(0x02);
    host.data(0x0001);
    host.command(0x08);
    // Still inside the cycle: no echo, no level, and the command is lost.
    const Host::Bit during = host.bit(true);
    EXPECT_FALSE(during.echo);
    EXPECT_FALSE(during.level);
    EXPECT_GT(target.counters().lostEdges, 0u);
    clock.us += PicTarget::kEraseProgramCycleUs - 1;
    EXPECT_FALSE(host.bit(true).echo);
    clock.us += 1;
    EXPECT_EQ(readWord(0x04), 0x0001);
    EXPECT_EQ(target.commands(), (std::vector<std::uint8_t>{0x02, 0x08, 0x04})) << "the lost bits made no command";
}

TEST_F(Target, IncrementWrapsWithinEachMemory)
{
    enter();
    for (unsigned i = 0; i < PicTarget::kProgramWords; ++i)
        host.command(0x06);
    EXPECT_EQ(target.programCounter(), 0);
    host.command(0x00);
    host.data(0x3FFF);
    for (unsigned i = 0; i < 0x2000; ++i)
        host.command(0x06);
    EXPECT_EQ(target.programCounter(), 0x2000);
}

TEST_F(Target, CodeProtectionAndTheEraseThatLiftsIt)
{
    target.programMemory()[0] = 0x1111;
    target.dataMemory()[0] = 0x22;
    target.configMemory()[7] = 0x3F72 & ~0x3030 & ~0x0100; // program and data memory protected
    enter();
    EXPECT_EQ(readWord(0x04), 0);
    EXPECT_EQ(readWord(0x05), 0);
    programWord(0x02, 0x0000);
    EXPECT_EQ(target.programMemory()[0], 0x1111);

    // A bulk erase of program memory is refused while protected.
    host.command(0x02);
    host.data(0x3FFF);
    host.command(0x01);
    host.command(0x07);
    host.command(0x08);
    clock.us += PicTarget::kEraseProgramCycleUs;
    host.command(0x01);
    host.command(0x07);
    EXPECT_EQ(target.programMemory()[0], 0x1111);
    EXPECT_EQ(target.counters().bulkErases, 0u);
    EXPECT_EQ(target.counters().refusedWrites, 2u);

    // At the configuration word the same sequence erases everything.
    host.command(0x00);
    host.data(0x3FFF);
    for (int i = 0; i < 7; ++i)
        host.command(0x06);
    host.command(0x01);
    host.command(0x07);
    host.command(0x08);
    clock.us += PicTarget::kEraseProgramCycleUs;
    host.command(0x01);
    host.command(0x07);
    EXPECT_EQ(target.counters().bulkErases, 1u);
    EXPECT_FALSE(target.programProtected());
    EXPECT_FALSE(target.dataProtected());
    EXPECT_EQ(target.programMemory()[0], 0x3FFF);
    EXPECT_EQ(target.dataMemory()[0], 0xFF);
    EXPECT_EQ(target.configWord(), 0x3FFF);
}

TEST_F(Target, BulkEraseOfOneMemory)
{
    target.programMemory()[5] = 0x0005;
    target.dataMemory()[5] = 0x05;
    enter();
    // Data memory only.
    host.command(0x03);
    host.data(0xFF);
    host.command(0x01);
    host.command(0x07);
    host.command(0x08);
    clock.us += PicTarget::kEraseProgramCycleUs;
    EXPECT_EQ(target.dataMemory()[5], 0xFF);
    EXPECT_EQ(target.programMemory()[5], 0x0005);
    // Program memory only.
    host.command(0x02);
    host.data(0x3FFF);
    host.command(0x01);
    host.command(0x07);
    host.command(0x08);
    clock.us += PicTarget::kEraseProgramCycleUs;
    EXPECT_EQ(target.programMemory()[5], 0x3FFF);
    EXPECT_EQ(target.counters().bulkErases, 2u);
}

TEST_F(Target, LeavingProgrammingMode)
{
    enter();
    host.leave();
    EXPECT_FALSE(target.programming());
    EXPECT_EQ(target.counters().exits, 1u);
    EXPECT_FALSE(target.dsr());
    // DTR falling while RTS is on is a data bit, not a way out.
    enter();
    host.bit(false);
    EXPECT_TRUE(target.programming());
}

TEST_F(Target, InjectedFaultsHitOneBit)
{
    enter();
    target.invertEcho(2);
    target.setDtr(true);
    for (int i = 0; i < 6; ++i) {
        const bool b = (0x06 >> i & 1) != 0;
        const Host::Bit got = host.bit(b);
        EXPECT_EQ(got.echo, i == 2 ? !b : b) << i;
    }
    target.invertLevel(5);
    std::vector<bool> got;
    for (int i = 0; i < 6; ++i)
        got.push_back(host.bit((0x06 >> i & 1) != 0).level);
    EXPECT_EQ(got, levels(6, true)) << "the last level of an increment reads on";
}
