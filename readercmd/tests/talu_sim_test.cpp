// TALU commands end to end: Quorvel over a pseudo-terminal to the simulated
// TALU reader, with the arguments the tag mapping library passes, checked
// against the simulated tags' memory.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>

#include "linvaro.h"
#include "quorvel.h"
#include "quorvel_talu.h"
#include "simulated_family.h"

namespace {

constexpr int kPort = 4;

// Most significant byte first, as the host and the simulator both hold it.
using Uid = sim::Uid;

const sim::Uid kTag1 = *sim::uidFromText("E004010012345671");
const sim::Uid kTag2 = *sim::uidFromText("E004010012345682");
const sim::Uid kTag3 = *sim::uidFromText("E004010012345693");

// The UID of an inventory record: bytes 2 to 9, least significant first.
Uid recordUid(const std::uint8_t* record)
{
    Uid uid{};
    for (int i = 0; i < 8; ++i)
        uid[static_cast<std::size_t>(7 - i)] = record[2 + i];
    return uid;
}

// The block value of a read answer: bytes 1 to 4, least significant first.
std::uint32_t readValue(const std::uint8_t* data)
{
    return std::uint32_t{data[1]} | std::uint32_t{data[2]} << 8 | std::uint32_t{data[3]} << 16 |
           std::uint32_t{data[4]} << 24;
}

// A block value as the host hands it to a write: most significant first.
std::array<std::uint8_t, 4> valueBytes(std::uint32_t value)
{
    return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

// One simulated TALU reader and link for the whole suite.
class TaluEndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        family = new sim_test::SimulatedFamily;
        family->serve("talu", kPort);
        handle = family->handle();
    }
    static void TearDownTestSuite()
    {
        delete family;
        family = nullptr;
    }

    void SetUp() override
    {
        ASSERT_GT(handle, 0);
        reader().clearFaults();
        reader().removeAll();
        reader().setRf(false);
        ASSERT_EQ(QVL_SetTimeout(handle, 2000), 1);
        std::uint8_t status = 0xEE;
        ASSERT_EQ(TALU_SetRf(handle, 1, &status), 0);
        ASSERT_EQ(status, 0);
    }

    static sim::Reader& reader() { return family->reader(); }
    static void place(const sim::Uid& uid, std::uint8_t afi = 0, bool easSupported = true)
    {
        family->place(uid, afi, easSupported);
    }
    static sim::Tag tag(const sim::Uid& uid) { return family->tag(uid); }

    // The automatic inventory as the tag mapping library runs it.
    std::vector<Uid> inventory(bool afiFlag = false, std::uint8_t afi = 0)
    {
        std::uint8_t count = 0xEE, status = 0xEE;
        std::vector<std::uint8_t> records(TALU_MAX_RECORDS * TALU_RECORD_SIZE);
        EXPECT_EQ(TALU_AutoInventoryISO15693(handle, 0, afiFlag ? 1 : 0, afi, 16, &count, records.data(), &status), 0);
        EXPECT_EQ(status, 0);
        std::vector<Uid> uids;
        for (int i = 0; i < count && count != 0xEE; ++i)
            uids.push_back(recordUid(&records[static_cast<std::size_t>(i) * TALU_RECORD_SIZE]));
        std::sort(uids.begin(), uids.end());
        return uids;
    }

    static inline sim_test::SimulatedFamily* family = nullptr;
    static inline std::int32_t handle = -1;
    std::uint8_t status = 0xEE;
    std::uint8_t data[TALU_ANSWER_SIZE] = {};
};

TEST_F(TaluEndToEnd, RfFieldOnAndOff)
{
    EXPECT_TRUE(reader().rfOn());
    EXPECT_EQ(TALU_SetRf(handle, 0, &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(reader().rfOn());
    place(kTag1);
    EXPECT_TRUE(inventory().empty()) << "no field, no tag";
    EXPECT_EQ(TALU_SetRf(handle, 1, &status), 0);
    EXPECT_TRUE(reader().rfOn());
    EXPECT_EQ(inventory().size(), 1u);
}

TEST_F(TaluEndToEnd, AutomaticInventoryOfNoneOneAndThreeTags)
{
    EXPECT_TRUE(inventory().empty());
    EXPECT_TRUE(inventory(true, 0x91).empty());
    place(kTag1, 0x91);
    EXPECT_EQ(inventory(), (std::vector<Uid>{kTag1}));
    EXPECT_EQ(inventory(true, 0x91), (std::vector<Uid>{kTag1}));
    EXPECT_TRUE(inventory(true, 0x92).empty());
    place(kTag2, 0x92);
    place(kTag3, 0x91);
    EXPECT_EQ(inventory(), (std::vector<Uid>{kTag1, kTag2, kTag3}));
    EXPECT_EQ(inventory(true, 0x91), (std::vector<Uid>{kTag1, kTag3}));
    EXPECT_EQ(inventory(true, 0x92), (std::vector<Uid>{kTag2}));
    EXPECT_EQ(inventory(true, 0x00).size(), 3u) << "AFI 0 matches every tag";
}

TEST_F(TaluEndToEnd, CarrierInventoryWithAndWithoutAfiAndMask)
{
    std::uint8_t count = 0;
    std::vector<std::uint8_t> records(TALU_MAX_RECORDS * TALU_RECORD_SIZE);
    const auto uids = [&] {
        std::vector<Uid> out;
        for (int i = 0; i < count; ++i)
            out.push_back(recordUid(&records[static_cast<std::size_t>(i) * TALU_RECORD_SIZE]));
        std::sort(out.begin(), out.end());
        return out;
    };
    EXPECT_EQ(TALU_InventoryISO15693(handle, 0, 0, 0, 0, nullptr, &count, records.data(), &status), 0);
    EXPECT_EQ(count, 0);
    place(kTag1, 0x91);
    place(kTag2, 0x92);
    place(kTag3, 0x91);
    EXPECT_EQ(TALU_InventoryISO15693(handle, 0, 0, 0, 0, nullptr, &count, records.data(), &status), 0);
    EXPECT_EQ(uids(), (std::vector<Uid>{kTag1, kTag2, kTag3}));
    EXPECT_EQ(TALU_InventoryISO15693(handle, 0, 1, 0x91, 0, nullptr, &count, records.data(), &status), 0);
    EXPECT_EQ(uids(), (std::vector<Uid>{kTag1, kTag3}));
    // One slot, mask on the low 8 bits of the UID (0x82): tag 2 alone.
    const std::uint8_t mask[] = {0x82};
    EXPECT_EQ(TALU_InventoryISO15693(handle, 1, 0, 0, 8, mask, &count, records.data(), &status), 0);
    EXPECT_EQ(uids(), (std::vector<Uid>{kTag2}));
}

TEST_F(TaluEndToEnd, WriteReadAndLockBlocks)
{
    place(kTag1);
    const Uid uid = kTag1;
    for (int block = 0; block < 8; ++block) {
        const auto value = 0x11223300u + static_cast<std::uint32_t>(block);
        const auto bytes = valueBytes(value);
        ASSERT_EQ(TALU_WriteBlockISO15693(handle, block, 4, bytes.data(), 0, 2, uid.data(), data, &status), 0);
        ASSERT_EQ(status, 0);
        EXPECT_EQ(tag(kTag1).block(block), value) << "block " << block;
    }
    for (int block = 0; block < 8; ++block) {
        std::memset(data, 0xEE, sizeof data);
        ASSERT_EQ(TALU_ReadBlockISO15693(handle, block, 2, uid.data(), data, &status), 0);
        ASSERT_EQ(status, 0);
        EXPECT_EQ(readValue(data), 0x11223300u + static_cast<std::uint32_t>(block));
    }
    // Unaddressed, on the one tag in the field; the option flag sets the extra byte aside.
    const auto bytes = valueBytes(0xCAFEF00D);
    EXPECT_EQ(TALU_WriteBlockISO15693(handle, 9, 4, bytes.data(), 1, 0, nullptr, data, &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(tag(kTag1).block(9), 0xCAFEF00Du);
    EXPECT_EQ(TALU_ReadBlockISO15693(handle, 9, 0, nullptr, data, &status), 0);
    EXPECT_EQ(readValue(data), 0xCAFEF00Du);

    // Locks: blocks 1 and 6, then the lock status of blocks 0 to 7.
    EXPECT_EQ(TALU_LockBlockISO15693(handle, 1, 0, 2, uid.data(), data, &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(TALU_LockBlockISO15693(handle, 6, 0, 0, nullptr, data, &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(tag(kTag1).blockLocked(1));
    EXPECT_TRUE(tag(kTag1).blockLocked(6));
    for (const std::uint8_t* address : {uid.data(), static_cast<const std::uint8_t*>(nullptr)}) {
        std::memset(data, 0xEE, sizeof data);
        ASSERT_EQ(TALU_BlockStatusISO15693(handle, 0, 8, address ? 2 : 0, address, data, &status), 0);
        ASSERT_EQ(status, 0);
        for (int block = 0; block < 8; ++block)
            EXPECT_EQ(data[1 + block], block == 1 || block == 6 ? 1 : 0) << "block " << block;
    }

    // A locked block refuses: the status that means "no tag or tag error", memory unchanged.
    std::memset(data, 0xEE, sizeof data);
    EXPECT_EQ(TALU_WriteBlockISO15693(handle, 1, 4, bytes.data(), 0, 2, uid.data(), data, &status), 0);
    EXPECT_EQ(status, TALU_STATUS_NO_TAG);
    EXPECT_EQ(data[0], 0xEE);
    EXPECT_EQ(tag(kTag1).block(1), 0x11223301u);
    EXPECT_EQ(TALU_LockBlockISO15693(handle, 1, 0, 2, uid.data(), data, &status), 0);
    EXPECT_EQ(status, TALU_STATUS_NO_TAG) << "already locked";

    // A UID that is not in the field.
    const Uid other = kTag2;
    EXPECT_EQ(TALU_ReadBlockISO15693(handle, 0, 2, other.data(), data, &status), 0);
    EXPECT_EQ(status, TALU_STATUS_NO_TAG);
}

TEST_F(TaluEndToEnd, AfiAndDsfid)
{
    place(kTag1);
    const Uid uid = kTag1;
    EXPECT_EQ(TALU_WriteAfiISO15693(handle, 0x91, 0, 2, uid.data(), data, &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(tag(kTag1).afi(), 0x91);
    EXPECT_EQ(TALU_WriteAfiISO15693(handle, 0x92, 0, 0, nullptr, data, &status), 0);
    EXPECT_EQ(tag(kTag1).afi(), 0x92);
    EXPECT_EQ(inventory(true, 0x92), (std::vector<Uid>{uid}));
    EXPECT_EQ(TALU_LockAfiISO15693(handle, 0, 2, uid.data(), data, &status), 0);
    EXPECT_TRUE(tag(kTag1).afiLocked());
    EXPECT_EQ(TALU_WriteAfiISO15693(handle, 0x93, 0, 2, uid.data(), data, &status), 0);
    EXPECT_EQ(status, TALU_STATUS_NO_TAG);
    EXPECT_EQ(tag(kTag1).afi(), 0x92);

    EXPECT_EQ(TALU_WriteDsfidISO15693(handle, 0x3C, 1, 2, uid.data(), data, &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(tag(kTag1).dsfid(), 0x3C);
    EXPECT_EQ(TALU_LockDsfidISO15693(handle, 0, 0, nullptr, data, &status), 0);
    EXPECT_TRUE(tag(kTag1).dsfidLocked());

    // System information: flags, info flags, UID least significant first, DSFID, AFI, ...
    std::memset(data, 0xEE, sizeof data);
    EXPECT_EQ(TALU_SystemInfoISO15693(handle, 2, uid.data(), data, &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(recordUid(data), uid);
    EXPECT_EQ(data[10], 0x3C);
    EXPECT_EQ(data[11], 0x92);
    EXPECT_EQ(data[12], 27) << "28 blocks";
}

TEST_F(TaluEndToEnd, EasSetResetLockAndQuery)
{
    place(kTag1);
    place(kTag2, 0, false);
    const Uid uid = kTag1;
    std::int32_t eas = -1;

    EXPECT_EQ(TALU_WriteEasCHM(handle, 1, 2, uid.data(), data, &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(tag(kTag1).eas());
    EXPECT_EQ(TALU_CheckEasCHM(handle, 2, uid.data(), &eas, &status), 0);
    EXPECT_EQ(eas, 1);
    EXPECT_EQ(status, 0);

    EXPECT_EQ(TALU_WriteEasCHM(handle, 0, 2, uid.data(), data, &status), 0);
    EXPECT_FALSE(tag(kTag1).eas());
    EXPECT_EQ(TALU_CheckEasCHM(handle, 2, uid.data(), &eas, &status), 0);
    EXPECT_EQ(eas, 0) << "a tag with its EAS bit off stays silent: status QVL_STATUS_NO_TAG becomes 0";
    EXPECT_EQ(status, 0);

    EXPECT_EQ(TALU_WriteEasCHM(handle, 2, 2, uid.data(), data, &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(tag(kTag1).easLocked());
    EXPECT_EQ(TALU_WriteEasCHM(handle, 1, 2, uid.data(), data, &status), 0);
    EXPECT_EQ(status, TALU_STATUS_NO_TAG) << "the EAS bit is locked";
    EXPECT_FALSE(tag(kTag1).eas());

    // A chip without EAS refuses with the status the host lets pass.
    const Uid plain = kTag2;
    EXPECT_EQ(TALU_WriteEasCHM(handle, 1, 2, plain.data(), data, &status), 0);
    EXPECT_EQ(status, TALU_STATUS_NO_TAG);
    eas = -1;
    EXPECT_EQ(TALU_CheckEasCHM(handle, 2, plain.data(), &eas, &status), 0);
    EXPECT_EQ(eas, 0);
    EXPECT_EQ(status, 0);
}

TEST_F(TaluEndToEnd, TagStates)
{
    place(kTag1);
    const Uid uid = kTag1;
    EXPECT_EQ(TALU_StayQuietISO15693(handle, uid.data(), &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(tag(kTag1).state(), sim::Tag::State::Quiet);
    EXPECT_TRUE(inventory().empty()) << "a quiet tag keeps out of inventories";
    EXPECT_EQ(TALU_ReadBlockISO15693(handle, 0, 0, nullptr, data, &status), 0);
    EXPECT_EQ(status, TALU_STATUS_NO_TAG);

    EXPECT_EQ(TALU_RTReadyISO15693(handle, 2, uid.data(), data, &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(tag(kTag1).state(), sim::Tag::State::Ready);

    EXPECT_EQ(TALU_SelectISO15693(handle, uid.data(), data, &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(tag(kTag1).state(), sim::Tag::State::Selected);
    reader().editTag(kTag1, [](sim::Tag& t) { t.setBlock(2, 0x01020304); });
    EXPECT_EQ(TALU_ReadBlockISO15693(handle, 2, 1, nullptr, data, &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(readValue(data), 0x01020304u);
}

TEST_F(TaluEndToEnd, ChmAutomaticInventoryCarriesBlocks)
{
    place(kTag1);
    reader().editTag(kTag1, [](sim::Tag& t) {
        t.setBlock(0, 0xA0A1A2A3);
        t.setBlock(1, 0xB0B1B2B3);
    });
    std::uint8_t count = 0;
    std::vector<std::uint8_t> records(TALU_MAX_RECORDS * TALU_RECORD_SIZE);
    EXPECT_EQ(TALU_AutoInventoryCHM(handle, 0, 1, 0, 0, 0, 2, 16, &count, records.data(), &status), 0);
    ASSERT_EQ(count, 1);
    // flags, UID least significant first, then the blocks as the tag holds them.
    EXPECT_EQ(records[0], 0x00);
    Uid uid{};
    for (int i = 0; i < 8; ++i)
        uid[static_cast<std::size_t>(7 - i)] = records[static_cast<std::size_t>(1 + i)];
    EXPECT_EQ(uid, kTag1);
    EXPECT_EQ(readValue(&records[8]), 0xA0A1A2A3u);
    EXPECT_EQ(readValue(&records[12]), 0xB0B1B2B3u);
}

TEST_F(TaluEndToEnd, RefusalsAndLineFaultsLeaveOutputsAlone)
{
    place(kTag1);
    const Uid uid = kTag1;
    ASSERT_EQ(QVL_SetTimeout(handle, 300), 1);

    reader().addFault(sim::Fault::statusByte(QVL_STATUS_TAG_READ_ERROR));
    std::memset(data, 0xEE, sizeof data);
    EXPECT_EQ(TALU_ReadBlockISO15693(handle, 0, 2, uid.data(), data, &status), 0);
    EXPECT_EQ(status, QVL_STATUS_TAG_READ_ERROR);
    EXPECT_EQ(data[0], 0xEE);

    std::uint8_t count = 0xEE;
    std::uint8_t records[TALU_RECORD_SIZE];
    std::memset(records, 0xEE, sizeof records);
    reader().addFault(sim::Fault::statusByte(QVL_STATUS_MANY_TAGS));
    EXPECT_EQ(TALU_AutoInventoryISO15693(handle, 0, 0, 0, 16, &count, records, &status), 0);
    EXPECT_EQ(status, QVL_STATUS_MANY_TAGS);
    EXPECT_EQ(count, 0xEE);
    EXPECT_EQ(records[0], 0xEE);

    status = 0xEE;
    reader().addFault(sim::Fault::wrongCrc());
    EXPECT_EQ(TALU_ReadBlockISO15693(handle, 0, 2, uid.data(), data, &status), LVRM_ERR_WRONG_CRC);
    reader().addFault(sim::Fault::silence());
    EXPECT_EQ(TALU_ReadBlockISO15693(handle, 0, 2, uid.data(), data, &status), QVL_ERR_TIMEOUT);
    EXPECT_EQ(status, 0xEE);
    EXPECT_EQ(data[0], 0xEE);

    // The next command goes through again.
    EXPECT_EQ(TALU_ReadBlockISO15693(handle, 0, 2, uid.data(), data, &status), 0);
    EXPECT_EQ(status, 0);
}

// Each model identifies itself, at the speed it is set to only.
TEST(TaluModels, IdentificationAndFeatures)
{
    sim::PortFolder ports;
    struct Case {
        const char* model;
        int baud;
    };
    for (const Case c : {Case{"MK-D1", 115200}, Case{"MK-E1", 38400}}) {
        SCOPED_TRACE(c.model);
        sim::PersonalityOptions options;
        options.model = c.model;
        std::string error;
        auto served = sim::serveReader("talu", ports.portPath(7), c.baud, options, &error);
        ASSERT_TRUE(served) << error;

        if (c.baud != 115200) {
            const std::int32_t wrong = QVL_SerialOpen(7, 115200);
            ASSERT_GT(wrong, 0);
            ASSERT_EQ(QVL_SetTimeout(wrong, 200), 1);
            char text[256] = "x";
            std::uint8_t id1 = 0, id2 = 0, status = 0;
            EXPECT_EQ(QVL_IdentifyReaderOnNetwork(wrong, text, &id1, &id2, &status), QVL_ERR_TIMEOUT);
            QVL_Close(wrong);
        }

        const std::int32_t h = QVL_SerialOpen(7, c.baud);
        ASSERT_GT(h, 0);
        char text[256] = {};
        std::uint8_t id1 = 0, id2 = 0, status = 0xEE;
        EXPECT_EQ(QVL_IdentifyReaderOnNetwork(h, text, &id1, &id2, &status), 0);
        EXPECT_EQ(status, 0);
        EXPECT_STREQ(text, c.model);
        EXPECT_NE(id1, 0);

        TALU_Features features{};
        EXPECT_EQ(TALU_GetFeatures(h, &features, &status), 0);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(features.flags[4], 1) << "ISO 15693";
        EXPECT_EQ(features.flags[7], 1) << "CHM commands";
        QVL_Close(h);
    }
}

} // namespace
