// The real Dalrix.so, bound by name, against the simulated second-make
// reader on a pseudo-terminal: the exports the tag mapping library calls,
// with the arguments it passes, down to the tags' memory; the reader's
// faults as the driver sees them; its line speed.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "dalrix_api.h"
#include "platform/clock.h"
#include "pty_peer.h"
#include "sim/iso15693.h"
#include "sim/tag.h"
#include "simulated_reader.h"

using dalrix_test::Bytes;
using dalrix_test::dalrix;
using dalrix_test::hex;
using dalrix_test::PortFolder;
using dalrix_test::SimulatedReader;
using dalrix_test::withCrc;

namespace {

const sim::Uid kUid = *sim::uidFromText("E004010012345678");
const sim::Uid kUid2 = *sim::uidFromText("E0040100AABBCCDD");
const sim::Uid kUid3 = *sim::uidFromText("E004010055667788");

// Statuses of the simulated reader.
constexpr int32_t kNoTag = 0x0B;
constexpr int32_t kTagError = 0x0F;
constexpr int32_t kStreamEnd = 0x01;

struct Stopwatch {
    std::uint64_t startUs = platform::monotonicUs();
    std::uint64_t ms() const { return (platform::monotonicUs() - startUs) / 1000; }
};

// An inventory entry as the driver lists it: DSFID, UID most significant first.
Bytes entry(std::uint8_t dsfid, const sim::Uid& uid)
{
    Bytes out(1 + uid.size());
    out[0] = dsfid;
    std::copy(uid.begin(), uid.end(), out.begin() + 1);
    return out;
}

struct InventoryResult {
    int32_t result;
    std::vector<Bytes> entries;
};

InventoryResult inventory(std::uint8_t& address, std::uint8_t type, std::uint8_t afi = 0)
{
    std::uint8_t list[255 * 9];
    std::uint8_t count = 0;
    InventoryResult r{dalrix().Inventory(&address, &type, &afi, list, &count), {}};
    for (int i = 0; i < count; ++i)
        r.entries.emplace_back(list + i * 9, list + i * 9 + 9);
    return r;
}

sim::Tag numberedTag(const sim::Uid& uid)
{
    sim::Tag tag(uid);
    for (int b = 0; b < tag.blockCount(); ++b)
        tag.setBlock(b, 0x10203000u + static_cast<std::uint32_t>(b));
    return tag;
}

Bytes blockBytes(const sim::Tag& tag, int block)
{
    const auto bytes = tag.blockBytes(block);
    return Bytes(bytes.begin(), bytes.end());
}

// The simulated reader at address 0 on COM1, opened through the driver the
// way the tag mapping library opens it (address record 0xFF).
class SimulatedReaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dalrix().complete()) << dalrix().library.error() << dalrix().missing;
        sim_ = std::make_unique<SimulatedReader>(ports_, 1, 0x00);
        ASSERT_EQ(dalrix().OpenComPort(0, &address_), 0);
        ASSERT_EQ(address_, 0x00);
    }
    void TearDown() override { dalrix().CloseComPort(); }

    sim::Reader& reader() { return sim_->reader(); }
    sim::Tag tag(const sim::Uid& uid) { return *reader().tag(uid); }

    PortFolder ports_;
    std::unique_ptr<SimulatedReader> sim_;
    std::uint8_t address_ = 0xFF;
    std::uint8_t err_ = 0xEE;
};

const std::uint8_t kState0 = 0;
const std::uint8_t kState1 = 1;

} // namespace

TEST(SimulatedReaderOnAPort, ReaderInformationAndAddress)
{
    ASSERT_TRUE(dalrix().complete());
    PortFolder ports;
    SimulatedReader sim(ports, 3, 0x21);
    std::uint8_t address = 0xFF, version[2], infoA = 0, infoB[2], scanTime = 0;
    ASSERT_EQ(dalrix().OpenComPort(2, &address), 0);
    EXPECT_EQ(address, 0x21) << "the answering reader's address";
    address = 0xFF;
    ASSERT_EQ(dalrix().GetReaderInformation(&address, version, &infoA, infoB, &scanTime), 0);
    EXPECT_EQ(address, 0x21);
    EXPECT_EQ(hex(version), "01 05");
    EXPECT_EQ(infoA, 4) << "antenna ports";
    EXPECT_EQ(hex(infoB), "00 FB") << "largest answer data";
    EXPECT_EQ(scanTime, 10);

    // A new address: the old one reaches the reader no more, 0xFF still does.
    const std::uint8_t newAddress = 0x07;
    EXPECT_EQ(dalrix().WriteComAdr(&address, &newAddress), 0);
    EXPECT_EQ(address, 0x21) << "left to the caller";
    Stopwatch watch;
    EXPECT_EQ(dalrix().OpenRf(&address), DRV_NO_ANSWER);
    EXPECT_GE(watch.ms(), 700u);
    address = 0x07;
    EXPECT_EQ(dalrix().OpenRf(&address), 0);
    address = 0xFF;
    ASSERT_EQ(dalrix().GetReaderInformation(&address, version, &infoA, infoB, &scanTime), 0);
    EXPECT_EQ(address, 0x07);

    const std::uint8_t scan = 5;
    EXPECT_EQ(dalrix().WriteInventoryScanTime(&address, &scan), 0);
    ASSERT_EQ(dalrix().GetReaderInformation(&address, version, &infoA, infoB, &scanTime), 0);
    EXPECT_EQ(scanTime, 5);
    dalrix().CloseComPort();
}

TEST(SimulatedReaderOnAPort, AnswersOnlyAt19200)
{
    ASSERT_TRUE(dalrix().complete());
    PortFolder ports;
    SimulatedReader sim(ports, 2, 0x00, 9600);
    std::uint8_t address = 0xFF;
    Stopwatch watch;
    EXPECT_EQ(dalrix().OpenComPort(1, &address), DRV_NO_ANSWER);
    EXPECT_GE(watch.ms(), 700u);
    EXPECT_LT(watch.ms(), 1400u);
    EXPECT_EQ(address, 0xFF);
    EXPECT_EQ(sim.reader().ignoredBytes(), 6u) << "the request arrived, at the wrong speed";
    EXPECT_EQ(sim.reader().commandCount(), 0u);

    sim.reader().setBaud(19200);
    std::uint8_t version[2], infoA, infoB[2], scanTime;
    EXPECT_EQ(dalrix().GetReaderInformation(&address, version, &infoA, infoB, &scanTime), 0);
    EXPECT_EQ(address, 0x00);
    dalrix().CloseComPort();
}

TEST_F(SimulatedReaderTest, RfFieldOffAndOn)
{
    reader().place(sim::Tag(kUid));
    EXPECT_EQ(dalrix().CloseRf(&address_), 0);
    EXPECT_FALSE(reader().rfOn());
    InventoryResult r = inventory(address_, 0);
    EXPECT_EQ(r.result, kNoTag) << "no tag answers without the field";
    EXPECT_TRUE(r.entries.empty());
    EXPECT_EQ(dalrix().OpenRf(&address_), 0);
    EXPECT_TRUE(reader().rfOn());
    r = inventory(address_, 0);
    EXPECT_EQ(r.result, 0);
    ASSERT_EQ(r.entries.size(), 1u);
    EXPECT_EQ(hex(r.entries[0]), hex(entry(0x00, kUid)));
}

TEST_F(SimulatedReaderTest, SingleAndStreamInventories)
{
    sim::Tag a(kUid), b(kUid2), c(kUid3);
    a.setDsfid(0x11);
    b.setDsfid(0x22);
    b.setAfi(0x92);
    c.setAfi(0x91);
    for (const sim::Tag& t : {a, b, c})
        reader().place(t);
    std::vector<Bytes> all{entry(0x11, kUid), entry(0x22, kUid2), entry(0x00, kUid3)};
    std::sort(all.begin(), all.end());

    // The single answer: one of the tags, as the library's single reads take it.
    InventoryResult r = inventory(address_, 0);
    EXPECT_EQ(r.result, 0);
    ASSERT_EQ(r.entries.size(), 1u);
    EXPECT_NE(std::find(all.begin(), all.end(), r.entries[0]), all.end());
    r = inventory(address_, 1, 0x92);
    EXPECT_EQ(r.result, 0);
    ASSERT_EQ(r.entries.size(), 1u);
    EXPECT_EQ(hex(r.entries[0]), hex(entry(0x22, kUid2)));

    // The streams: every tag once, ended by the reader's closing status.
    for (std::uint8_t type : {2, 6}) {
        SCOPED_TRACE("type " + std::to_string(type));
        Stopwatch watch;
        r = inventory(address_, type);
        EXPECT_EQ(r.result, kStreamEnd);
        std::sort(r.entries.begin(), r.entries.end());
        EXPECT_EQ(r.entries, all);
        EXPECT_LT(watch.ms(), 800u) << "the closing frame ends the 1100 ms window";
    }
    for (std::uint8_t type : {3, 7}) {
        r = inventory(address_, type, 0x91);
        EXPECT_EQ(r.result, kStreamEnd);
        ASSERT_EQ(r.entries.size(), 1u);
        EXPECT_EQ(hex(r.entries[0]), hex(entry(0x00, kUid3)));
    }

    // A tag frame echoed on the line ahead of the stream: listed once.
    Bytes echo = entry(0x11, kUid);
    echo.insert(echo.begin(), {0x0D, 0x00, 0x00});
    reader().addFault(sim::Fault::noiseBytes(withCrc(echo)));
    r = inventory(address_, 2);
    EXPECT_EQ(r.result, kStreamEnd);
    std::sort(r.entries.begin(), r.entries.end());
    EXPECT_EQ(r.entries, all);

    // No tags: the closing frame alone.
    reader().removeAll();
    r = inventory(address_, 6);
    EXPECT_EQ(r.result, kStreamEnd);
    EXPECT_TRUE(r.entries.empty());
}

TEST_F(SimulatedReaderTest, ReadBlocksWithTheirSecurityStatus)
{
    sim::Tag t = numberedTag(kUid);
    t.setBlockLocked(2);
    t.setBlockLocked(5);
    reader().place(t);

    std::uint8_t security = 0xEE, block[4] = {};
    ASSERT_EQ(dalrix().ReadSingleBlock(&address_, &kState0, kUid.data(), 2, &security, block, &err_), 0);
    EXPECT_EQ(security, 0x01);
    EXPECT_EQ(hex(block), hex(blockBytes(t, 2))) << "the tag's own byte order";
    EXPECT_EQ(hex(block), "02 30 20 10");
    EXPECT_EQ(err_, 0x00);
    ASSERT_EQ(dalrix().ReadSingleBlock(&address_, &kState0, kUid.data(), 3, &security, block, &err_), 0);
    EXPECT_EQ(security, 0x00);

    // Blocks 0 to 7, addressed, and unaddressed as the lock query sends it.
    for (const std::uint8_t* uid : {kUid.data(), static_cast<const std::uint8_t*>(nullptr)}) {
        SCOPED_TRACE(uid ? "with UID" : "without UID");
        std::uint8_t statuses[8], blocks[32];
        std::fill(std::begin(statuses), std::end(statuses), 0xEE);
        ASSERT_EQ(dalrix().ReadMultipleBlock(&address_, &kState0, uid, 0, 8, statuses, blocks, &err_), 0);
        EXPECT_EQ(hex(statuses), "00 00 01 00 00 01 00 00");
        for (int b = 0; b < 8; ++b)
            EXPECT_EQ(hex(Bytes(blocks + 4 * b, blocks + 4 * b + 4)), hex(blockBytes(t, b))) << "block " << b;
    }

    // A block the tag does not have: the tag's error code comes through.
    EXPECT_EQ(dalrix().ReadSingleBlock(&address_, &kState0, kUid.data(), 40, &security, block, &err_), kTagError);
    EXPECT_EQ(err_, sim::iso::kErrBlockNotAvailable);
    // Another tag's UID: no answer from the air.
    EXPECT_EQ(dalrix().ReadSingleBlock(&address_, &kState0, kUid2.data(), 0, &security, block, &err_), kNoTag);
}

TEST_F(SimulatedReaderTest, WriteAndLockBlocksAsTheTagMappingLibraryDoes)
{
    reader().place(sim::Tag(kUid));
    // Addressed (state 0 with the UID) and unaddressed (state 1, no UID).
    for (std::uint8_t b = 0; b < 8; ++b) {
        const std::uint8_t data[4] = {static_cast<std::uint8_t>(0xA0 + b), 0xB1, 0xC2, 0xD3};
        const bool addressed = b % 2 == 0;
        ASSERT_EQ(dalrix().WriteSingleBlock(&address_, addressed ? &kState0 : &kState1, addressed ? kUid.data() : nullptr,
                                            b, data, &err_),
                  0);
        EXPECT_EQ(hex(blockBytes(tag(kUid), b)), hex(Bytes(data, data + 4))) << "block " << int(b);
    }
    EXPECT_EQ(tag(kUid).block(0), 0xD3C2B1A0u);

    EXPECT_EQ(dalrix().LockBlock(&address_, &kState0, kUid.data(), 3, &err_), 0);
    EXPECT_EQ(dalrix().LockBlock(&address_, &kState1, nullptr, 4, &err_), 0);
    EXPECT_TRUE(tag(kUid).blockLocked(3));
    EXPECT_TRUE(tag(kUid).blockLocked(4));
    EXPECT_FALSE(tag(kUid).blockLocked(5));

    const std::uint8_t other[4] = {1, 2, 3, 4};
    EXPECT_EQ(dalrix().WriteSingleBlock(&address_, &kState0, kUid.data(), 3, other, &err_), kTagError);
    EXPECT_EQ(err_, sim::iso::kErrLocked);
    EXPECT_EQ(tag(kUid).block(3), 0xD3C2B1A3u) << "a locked block keeps its value";
    EXPECT_EQ(dalrix().LockBlock(&address_, &kState0, kUid.data(), 3, &err_), kTagError);
    EXPECT_EQ(err_, sim::iso::kErrAlreadyLocked);

    // What was written reads back the same.
    std::uint8_t security = 0, block[4];
    ASSERT_EQ(dalrix().ReadSingleBlock(&address_, &kState0, kUid.data(), 6, &security, block, &err_), 0);
    EXPECT_EQ(hex(block), "A6 B1 C2 D3");
}

TEST_F(SimulatedReaderTest, AfiSelectAndSystemInformation)
{
    reader().place(numberedTag(kUid));
    reader().place(numberedTag(kUid2));
    EXPECT_EQ(dalrix().WriteAFI(&address_, &kState0, kUid.data(), 0x91, &err_), 0);
    EXPECT_EQ(tag(kUid).afi(), 0x91);
    EXPECT_EQ(tag(kUid2).afi(), 0x00);

    EXPECT_EQ(dalrix().Select(&address_, kUid2.data(), &err_), 0);
    EXPECT_EQ(tag(kUid2).state(), sim::Tag::State::Selected);
    EXPECT_EQ(tag(kUid).state(), sim::Tag::State::Ready);
    // State 2: the selected tag, without a UID.
    const std::uint8_t selected = 2;
    EXPECT_EQ(dalrix().WriteAFI(&address_, &selected, nullptr, 0x93, &err_), 0);
    EXPECT_EQ(tag(kUid2).afi(), 0x93);
    EXPECT_EQ(tag(kUid).afi(), 0x91);
    EXPECT_EQ(dalrix().Select(&address_, kUid.data(), &err_), 0);
    EXPECT_EQ(tag(kUid2).state(), sim::Tag::State::Ready) << "selecting another tag deselects it";
    EXPECT_EQ(dalrix().Select(&address_, kUid3.data(), &err_), kNoTag);

    std::uint8_t flags = 0, uid[8], dsfid = 0xEE, afi = 0xEE, memory[2], ic = 0xEE;
    ASSERT_EQ(dalrix().GetSystemInformation(&address_, &kState0, kUid.data(), &flags, uid, &dsfid, &afi, memory, &ic,
                                            &err_),
              0);
    EXPECT_EQ(flags, 0x0F);
    EXPECT_EQ(hex(uid), hex(kUid)) << "most significant byte first";
    EXPECT_EQ(dsfid, 0x00);
    EXPECT_EQ(afi, 0x91);
    EXPECT_EQ(hex(memory), "1B 03") << "28 blocks of 4 bytes";
    EXPECT_EQ(ic, 0x01);
}

namespace {

// The EAS steps of the tag mapping library in mode 2: select the tag, then
// the transparent custom command (parameters as the library passes them).
struct Eas {
    std::uint8_t& address;
    std::uint8_t length = 0;
    std::uint8_t answer[256] = {};
    std::uint8_t err = 0;

    int32_t query(const sim::Uid& uid)
    {
        if (const int32_t selected = dalrix().Select(&address, uid.data(), &err); selected != 0)
            return selected;
        const std::uint8_t data[3] = {0x03, 0xA5, 0x04};
        return dalrix().TransparentRead(&address, 0x23, 3, data, &length, answer, &err);
    }
    int32_t write(const sim::Uid& uid, std::uint8_t command)
    {
        if (const int32_t selected = dalrix().Select(&address, uid.data(), &err); selected != 0)
            return selected;
        const std::uint8_t parameters[4] = {0x00, 0x44, 0x00, 0x00};
        const std::uint8_t data[3] = {0x03, command, 0x04};
        return dalrix().TransparentWrite(&address, parameters, 3, 3, data, &length, answer, &err);
    }
};

} // namespace

TEST_F(SimulatedReaderTest, EasThroughTheTransparentCommands)
{
    Eas eas{address_};
    reader().place(sim::Tag(kUid));
    EXPECT_EQ(eas.query(kUid), kNoTag) << "EAS off: the chip keeps silent, the query fails";

    EXPECT_EQ(eas.write(kUid, sim::iso::kSetEas), 0);
    EXPECT_EQ(eas.length, 1) << "the tag's flags byte";
    EXPECT_EQ(eas.answer[0], 0x00);
    EXPECT_TRUE(tag(kUid).eas());

    ASSERT_EQ(eas.query(kUid), 0) << "EAS on: the alarm answer";
    ASSERT_EQ(eas.length, 33);
    EXPECT_EQ(eas.answer[0], 0x00);
    const auto sequence = sim::Tag::easSequence();
    EXPECT_TRUE(std::equal(sequence.begin(), sequence.end(), eas.answer + 1));

    EXPECT_EQ(eas.write(kUid, sim::iso::kResetEas), 0);
    EXPECT_FALSE(tag(kUid).eas());
    EXPECT_EQ(eas.query(kUid), kNoTag);

    EXPECT_EQ(eas.write(kUid, sim::iso::kSetEas), 0);
    EXPECT_EQ(eas.write(kUid, sim::iso::kLockEas), 0);
    EXPECT_TRUE(tag(kUid).easLocked());
    EXPECT_EQ(eas.write(kUid, sim::iso::kResetEas), kTagError);
    EXPECT_EQ(eas.err, sim::iso::kErrLocked);
    EXPECT_TRUE(tag(kUid).eas());

    // A chip without EAS refuses both.
    reader().removeAll();
    sim::Tag plain(kUid2);
    plain.setEasSupported(false);
    reader().place(plain);
    EXPECT_EQ(eas.query(kUid2), kTagError);
    EXPECT_EQ(eas.err, sim::iso::kErrNotSupported);
    EXPECT_EQ(eas.write(kUid2, sim::iso::kSetEas), kTagError);
    EXPECT_FALSE(tag(kUid2).eas());
}

TEST_F(SimulatedReaderTest, AntennaAndOutputs)
{
    reader().place(sim::Tag(kUid));
    std::uint8_t antenna = 0;
    EXPECT_EQ(dalrix().GetANTStatus(&address_, &antenna), 0);
    EXPECT_EQ(antenna, 1);
    const std::uint8_t two = 2, one = 1, nine = 9;
    EXPECT_EQ(dalrix().SetActiveANT(&address_, &two), 0);
    EXPECT_EQ(dalrix().GetANTStatus(&address_, &antenna), 0);
    EXPECT_EQ(antenna, 2);
    EXPECT_EQ(inventory(address_, 0).result, kNoTag) << "the tag lies on antenna 1";
    EXPECT_EQ(dalrix().SetActiveANT(&address_, &nine), 0xFF) << "no antenna 9";
    EXPECT_EQ(dalrix().SetActiveANT(&address_, &one), 0);
    EXPECT_EQ(inventory(address_, 0).entries.size(), 1u);

    const std::uint8_t bits = 0x05;
    EXPECT_EQ(dalrix().SetGeneralOutput(&address_, &bits), 0);
    EXPECT_EQ(dalrix().SetRelay(&address_, &one), 0);
    std::uint8_t input = 0xEE;
    EXPECT_EQ(dalrix().GetGeneralInput(&address_, &input), 0);
    EXPECT_EQ(input, 0x00);
    const std::uint8_t channel = 3;
    EXPECT_EQ(dalrix().SetReceiveChannel(&address_, &channel), 0);
    std::uint8_t value = 0;
    EXPECT_EQ(dalrix().GetReceiveChannelStatus(&address_, &value), 0);
    EXPECT_EQ(value, 3);
}

TEST_F(SimulatedReaderTest, FaultsAsTheDriverSeesThem)
{
    reader().place(sim::Tag(kUid));
    std::uint8_t security = 0, block[4];

    reader().addFault(sim::Fault::silence());
    Stopwatch watch;
    EXPECT_EQ(dalrix().OpenRf(&address_), DRV_NO_ANSWER);
    EXPECT_GE(watch.ms(), 700u);
    EXPECT_LT(watch.ms(), 1400u);

    reader().addFault(sim::Fault::wrongCrc());
    watch = {};
    EXPECT_EQ(dalrix().ReadSingleBlock(&address_, &kState0, kUid.data(), 0, &security, block, &err_), DRV_CRC_ERROR);
    EXPECT_LT(watch.ms(), 500u) << "at once";

    reader().addFault(sim::Fault::statusByte(0x05));
    EXPECT_EQ(dalrix().OpenRf(&address_), 0x05);
    reader().addFault(sim::Fault::statusByte(0x0F).forCode(0x25));
    EXPECT_EQ(dalrix().Select(&address_, kUid.data(), &err_), 0x0F);
    EXPECT_EQ(err_, 0x0F);
    EXPECT_NE(tag(kUid).state(), sim::Tag::State::Selected) << "not executed";

    reader().addFault(sim::Fault::delay(300));
    watch = {};
    EXPECT_EQ(dalrix().OpenRf(&address_), 0);
    EXPECT_GE(watch.ms(), 290u);

    reader().addFault(sim::Fault::cutShort());
    watch = {};
    EXPECT_EQ(dalrix().OpenRf(&address_), DRV_NO_ANSWER);
    EXPECT_GE(watch.ms(), 1400u) << "half a frame keeps the wait going to 1500 ms";

    // The tag leaves as it answers the inventory: it is listed, then gone.
    reader().addFault(sim::Fault::tagsLeave());
    EXPECT_EQ(inventory(address_, 0).entries.size(), 1u);
    EXPECT_EQ(dalrix().ReadSingleBlock(&address_, &kState0, kUid.data(), 0, &security, block, &err_), kNoTag);
    reader().putBack(kUid);
    EXPECT_EQ(dalrix().ReadSingleBlock(&address_, &kState0, kUid.data(), 0, &security, block, &err_), 0);

    // The line closes instead of answering; the port works again once reopened.
    const std::uint64_t generation = sim_->server().lineGeneration();
    reader().addFault(sim::Fault::lineClose(-1));
    EXPECT_EQ(dalrix().OpenRf(&address_), DRV_NO_ANSWER);
    EXPECT_TRUE(sim_->server().waitLineClosed(2000));
    sim_->server().reopenLine();
    ASSERT_TRUE(sim_->server().waitLineGeneration(generation + 1, 2000));
    std::uint8_t any = 0xFF;
    EXPECT_EQ(dalrix().OpenComPort(0, &any), 0);
    EXPECT_EQ(dalrix().OpenRf(&any), 0);
}
