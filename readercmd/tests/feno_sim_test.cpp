// The FENO commands end to end: through the link over a pseudo-terminal to a
// simulated FENO reader, with the argument values the tag mapping library
// passes, checked against the simulated tags' memory.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "quorvel.h"
#include "quorvel_feno.h"
#include "simulated_family.h"

using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr int kPort = 4;
constexpr std::uint16_t kTime = 1000;

const sim::Uid kUid1 = *sim::uidFromText("E004010012345678");
const sim::Uid kUid2 = *sim::uidFromText("E0040100AABBCCDD");
const sim::Uid kUid3 = *sim::uidFromText("E004010055667789");

// What the host reads from a raw answer.
struct Raw {
    std::int32_t code = 99;
    std::uint8_t status = 0xEE;
    std::uint8_t length = 0;
    std::array<std::uint8_t, 255> data{};
    bool ok() const { return code == 0 && (status & 0x80) == 0; }
    // Bytes 6.. of the record: its payload.
    Bytes payload() const { return Bytes(data.begin() + 6, data.begin() + std::max<int>(length, 6)); }
};

// A block value as the host hands it over: most significant byte first.
std::array<std::uint8_t, 4> bigEndian(std::uint32_t value)
{
    return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

std::uint32_t fromBigEndian(const std::uint8_t* bytes)
{
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 | std::uint32_t{bytes[2]} << 8 | bytes[3];
}

// One simulated FENO reader and link for the whole suite.
class FenoReader : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        family_ = new sim_test::SimulatedFamily;
        family_->serve("feno", kPort);
    }
    static void TearDownTestSuite()
    {
        delete family_;
        family_ = nullptr;
    }
    void SetUp() override
    {
        ASSERT_GT(handle(), 0);
        reader().removeAll();
        reader().setRf(true);
    }

    static std::int32_t handle() { return family_->handle(); }
    static sim::Reader& reader() { return family_->reader(); }
    static sim::Tag tag(const sim::Uid& uid) { return family_->tag(uid); }
    static void place(const sim::Uid& uid, std::uint8_t afi = 0, bool eas = true) { family_->place(uid, afi, eas); }

    // The calls as the tag mapping library makes them.
    static std::vector<sim::Uid> inventory(std::int32_t afiFlag, std::int32_t afi, std::uint8_t* status = nullptr)
    {
        std::vector<std::uint8_t> entries(FENO_MAX_ENTRIES * FENO_ENTRY_SIZE);
        std::int32_t count = -1;
        std::uint8_t s = 0xEE;
        EXPECT_EQ(FENO_InventoryISO15693Ex(handle(), 1, 0, 1, afiFlag, afi, 0, nullptr, kTime, &count, entries.data(),
                                           &s),
                  0);
        if (status)
            *status = s;
        std::vector<sim::Uid> uids;
        for (std::int32_t i = 0; i < count; ++i) {
            sim::Uid uid{};
            std::memcpy(uid.data(), entries.data() + i * FENO_ENTRY_SIZE + 6, 8);
            uids.push_back(uid);
        }
        return uids;
    }
    static Raw readBlock(int block, const sim::Uid* uid = nullptr)
    {
        Raw r;
        r.code = FENO_ReadBlockISO15693(handle(), block, 0, uid ? 2 : 0, uid ? uid->data() : nullptr, kTime, &r.length,
                                        r.data.data(), &r.status);
        return r;
    }
    static Raw writeBlock(int block, std::uint32_t value, const sim::Uid* uid = nullptr)
    {
        Raw r;
        const auto bytes = bigEndian(value);
        r.code = FENO_WriteBlockISO15693(handle(), block, 4, bytes.data(), 0, 1, 0, uid ? 2 : 0,
                                         uid ? uid->data() : nullptr, kTime, &r.length, r.data.data(), &r.status);
        return r;
    }
    static Raw lockBlock(int block, const sim::Uid* uid = nullptr)
    {
        Raw r;
        r.code = FENO_LockBlockISO15693(handle(), block, 0, 1, 1, uid ? 2 : 0, uid ? uid->data() : nullptr, kTime,
                                        &r.length, r.data.data(), &r.status);
        return r;
    }
    static Raw blockStatus(const sim::Uid* uid = nullptr)
    {
        Raw r;
        r.code = FENO_BlockStatusISO15693(handle(), 0, 8, 0, uid ? 2 : 0, uid ? uid->data() : nullptr, kTime, &r.length,
                                          r.data.data(), &r.status);
        return r;
    }
    static Raw writeAfi(std::uint8_t afi, const sim::Uid* uid = nullptr)
    {
        Raw r;
        r.code = FENO_WriteAfiISO15693(handle(), afi, 0, 1, 1, uid ? 2 : 0, uid ? uid->data() : nullptr, kTime,
                                       &r.length, r.data.data(), &r.status);
        return r;
    }
    static Raw programEas(std::int32_t value, const sim::Uid* uid = nullptr)
    {
        Raw r;
        r.code = FENO_ProgramEASCHMISO15693(handle(), 0, uid ? 2 : 0, uid ? uid->data() : nullptr, value, kTime,
                                            &r.length, r.data.data(), &r.status);
        return r;
    }
    static Raw easAlarm()
    {
        static const std::uint8_t request[3] = {0x02, 0xA5, 0x04};
        Raw r;
        r.code = FENO_GenericCommandISO15693(handle(), 0, 0, 0, 3, request, 33, kTime, &r.length, r.data.data(),
                                             &r.status);
        return r;
    }
    // A write or lock the tag mapping library counts as done.
    static bool writeDone(const Raw& r) { return r.ok() && (r.data[0] & 0x0F) == 0 && (r.data[1] & 0x01) == 0; }

    static inline sim_test::SimulatedFamily* family_ = nullptr;
};

} // namespace

TEST_F(FenoReader, IdentifiesAsMkA1AndSetsUp)
{
    char text[256];
    std::memset(text, 'x', sizeof text);
    std::uint8_t first = 0, second = 0, status = 0xEE;
    ASSERT_EQ(QVL_IdentifyReaderOnNetwork(handle(), text, &first, &second, &status), 0);
    EXPECT_EQ(status, 0x00);
    EXPECT_STREQ(text, "MK-A1");
    EXPECT_EQ(first, 0x01);
    EXPECT_EQ(second, 0x21);

    status = 0xEE;
    EXPECT_EQ(FENO_RestoreDefaults(handle(), &status), 0);
    EXPECT_EQ(status, 0x00);
    EXPECT_EQ(FENO_SetPower(handle(), 7, &status), 0);
    EXPECT_EQ(status, 0x00);
    EXPECT_EQ(FENO_SetPowerEx(handle(), 300, &status), 0);
    EXPECT_EQ(status, 0x00);
    EXPECT_EQ(FENO_SetMemoryMapISO15693(handle(), 28, 4, &status), 0);
    EXPECT_EQ(status, 0x00);
}

TEST_F(FenoReader, SwitchesTheRfField)
{
    std::uint8_t status = 0xEE;
    ASSERT_EQ(FENO_SetRf(handle(), 0, &status), 0);
    EXPECT_EQ(status, 0x00);
    EXPECT_FALSE(reader().rfOn());
    place(kUid1);
    EXPECT_TRUE(inventory(0, 0).empty()) << "no field, no tags";
    EXPECT_FALSE(readBlock(0).ok());

    ASSERT_EQ(FENO_SetRf(handle(), 1, &status), 0);
    EXPECT_EQ(status, 0x00);
    EXPECT_TRUE(reader().rfOn());
    EXPECT_EQ(inventory(0, 0), std::vector<sim::Uid>{kUid1});
}

TEST_F(FenoReader, InventoriesOfNoneOneAndThreeTagsWithAndWithoutAfi)
{
    std::uint8_t status = 0xEE;
    EXPECT_TRUE(inventory(0, 0, &status).empty());
    EXPECT_EQ(status, 0x00);
    EXPECT_TRUE(inventory(1, 0x91).empty());

    place(kUid1, 0x91);
    EXPECT_EQ(inventory(0, 0), std::vector<sim::Uid>{kUid1});
    EXPECT_EQ(inventory(1, 0x91), std::vector<sim::Uid>{kUid1});
    EXPECT_EQ(inventory(1, 0x00), std::vector<sim::Uid>{kUid1}) << "AFI 0 matches every tag";
    EXPECT_TRUE(inventory(1, 0x92).empty());

    place(kUid2, 0x92);
    place(kUid3, 0x91);
    const auto all = inventory(0, 0);
    EXPECT_EQ(std::set<sim::Uid>(all.begin(), all.end()), (std::set<sim::Uid>{kUid1, kUid2, kUid3}));
    EXPECT_EQ(all.size(), 3u);
    EXPECT_EQ(inventory(1, 0x00).size(), 3u);
    const auto books = inventory(1, 0x91);
    EXPECT_EQ(std::set<sim::Uid>(books.begin(), books.end()), (std::set<sim::Uid>{kUid1, kUid3}));
    EXPECT_EQ(inventory(1, 0x92), std::vector<sim::Uid>{kUid2});
    EXPECT_TRUE(inventory(1, 0x93).empty());

    // The raw form hands over the same bytes: 14 per tag.
    std::uint8_t length = 0;
    std::array<std::uint8_t, 255> data{};
    ASSERT_EQ(FENO_InventoryISO15693(handle(), 1, 0, 1, 0, 0, 0, nullptr, kTime, &length, data.data(), &status), 0);
    EXPECT_EQ(length, 42);
    // A mask of the UID's low byte picks one tag out.
    const std::uint8_t mask[1] = {0x89};
    std::vector<std::uint8_t> entries(FENO_MAX_ENTRIES * FENO_ENTRY_SIZE);
    std::int32_t count = -1;
    ASSERT_EQ(FENO_InventoryISO15693Ex(handle(), 1, 0, 1, 0, 0, 8, mask, kTime, &count, entries.data(), &status), 0);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(0, std::memcmp(entries.data() + 6, kUid3.data(), 8));
}

TEST_F(FenoReader, WritesReadsAndLocksBlocksInTheTagsOwnOrder)
{
    place(kUid1);
    for (int block = 0; block < 8; ++block) {
        const std::uint32_t value = 0x01020304u * static_cast<std::uint32_t>(block + 1) + 0xA0000000u;
        ASSERT_TRUE(writeDone(writeBlock(block, value))) << block;
        EXPECT_EQ(tag(kUid1).block(block), value) << "tag byte 0 is the low byte";
        const Raw r = readBlock(block);
        ASSERT_TRUE(r.ok());
        EXPECT_EQ(r.length, 10);
        EXPECT_EQ(fromBigEndian(r.data.data() + 6), value) << "bytes 6 to 9, most significant first";
    }
    // Addressed to the tag's UID, as continuous reading does.
    ASSERT_TRUE(writeDone(writeBlock(3, 0xCAFEBABE, &kUid1)));
    const Raw r = readBlock(3, &kUid1);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(fromBigEndian(r.data.data() + 6), 0xCAFEBABEu);

    ASSERT_TRUE(writeDone(lockBlock(1)));
    ASSERT_TRUE(writeDone(lockBlock(6, &kUid1)));
    EXPECT_TRUE(tag(kUid1).blockLocked(1));
    EXPECT_TRUE(tag(kUid1).blockLocked(6));
    EXPECT_FALSE(tag(kUid1).blockLocked(0));
    for (const sim::Uid* uid : {static_cast<const sim::Uid*>(nullptr), &kUid1}) {
        const Raw s = blockStatus(uid);
        ASSERT_TRUE(s.ok());
        ASSERT_EQ(s.length, 14);
        for (int block = 0; block < 8; ++block)
            EXPECT_EQ(s.data[13 - block], (block == 1 || block == 6) ? 1 : 0) << "block " << block;
    }

    // A locked block refuses: the write fails and the tag keeps its value.
    const std::uint32_t before = tag(kUid1).block(1);
    const Raw refused = writeBlock(1, 0x12345678);
    EXPECT_EQ(refused.code, 0);
    EXPECT_EQ(refused.status, QVL_STATUS_NO_TAG);
    EXPECT_FALSE(writeDone(refused));
    EXPECT_EQ(tag(kUid1).block(1), before);
    EXPECT_FALSE(writeDone(lockBlock(1))) << "already locked";

    // A UID that is not on the reader: nobody answers.
    const Raw missing = readBlock(0, &kUid2);
    EXPECT_EQ(missing.status, QVL_STATUS_NO_TAG);
}

TEST_F(FenoReader, NonAddressedCommandsMeetSeveralTags)
{
    place(kUid1);
    place(kUid2);
    ASSERT_TRUE(writeDone(writeBlock(0, 0x11111111, &kUid1)));
    ASSERT_TRUE(writeDone(writeBlock(0, 0x22222222, &kUid2)));
    const Raw r = readBlock(0);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.status, QVL_STATUS_MANY_TAGS) << "two tags answered differently";
    // A non-addressed write reaches both tags.
    ASSERT_TRUE(writeDone(writeBlock(5, 0x55667788)));
    EXPECT_EQ(tag(kUid1).block(5), 0x55667788u);
    EXPECT_EQ(tag(kUid2).block(5), 0x55667788u);
}

TEST_F(FenoReader, WritesTheAfi)
{
    place(kUid1);
    place(kUid2);
    ASSERT_TRUE(writeDone(writeAfi(0x92, &kUid2)));
    EXPECT_EQ(tag(kUid2).afi(), 0x92);
    EXPECT_EQ(tag(kUid1).afi(), 0x00);
    EXPECT_EQ(inventory(1, 0x92), std::vector<sim::Uid>{kUid2});

    reader().remove(kUid2);
    ASSERT_TRUE(writeDone(writeAfi(0x91)));
    EXPECT_EQ(tag(kUid1).afi(), 0x91);

    std::uint8_t length = 0, status = 0xEE;
    std::array<std::uint8_t, 255> data{};
    ASSERT_EQ(FENO_LockAfiISO15693(handle(), 0, 1, 1, 2, kUid1.data(), kTime, &length, data.data(), &status), 0);
    EXPECT_EQ(status, 0x00);
    EXPECT_TRUE(tag(kUid1).afiLocked());
    EXPECT_FALSE(writeDone(writeAfi(0x93)));
    EXPECT_EQ(tag(kUid1).afi(), 0x91);
}

TEST_F(FenoReader, SetsResetsLocksAndQueriesTheEasBit)
{
    place(kUid1);
    // EAS off: no alarm answer; the tag mapping library leaves the EAS state out.
    Raw alarm = easAlarm();
    EXPECT_FALSE(alarm.ok());
    std::int32_t flag = -1;
    std::uint8_t status = 0xEE;
    ASSERT_EQ(FENO_CheckEASCHMISO15693(handle(), 0, 0, nullptr, 1, 0, kTime, &flag, &status), 0);
    EXPECT_EQ(flag, 0);

    ASSERT_TRUE(programEas(1).ok());
    EXPECT_TRUE(tag(kUid1).eas());
    alarm = easAlarm();
    EXPECT_TRUE(alarm.ok());
    EXPECT_EQ(alarm.length, 38) << "the length that means EAS on";
    ASSERT_EQ(FENO_CheckEASCHMISO15693(handle(), 0, 2, kUid1.data(), 1, 0, kTime, &flag, &status), 0);
    EXPECT_EQ(flag, 1);

    ASSERT_TRUE(programEas(0, &kUid1).ok());
    EXPECT_FALSE(tag(kUid1).eas());
    EXPECT_NE(easAlarm().length, 38);

    ASSERT_TRUE(programEas(1, &kUid1).ok());
    ASSERT_TRUE(programEas(2).ok());
    EXPECT_TRUE(tag(kUid1).easLocked());
    const Raw locked = programEas(0);
    EXPECT_EQ(locked.status, QVL_STATUS_NO_TAG);
    EXPECT_TRUE(tag(kUid1).eas());
    EXPECT_EQ(easAlarm().length, 38);
}

TEST_F(FenoReader, AChipWithoutEasRefusesWithC4)
{
    place(kUid1, 0, false);
    const Raw set = programEas(1);
    EXPECT_EQ(set.code, 0);
    EXPECT_EQ(set.status, QVL_STATUS_NO_TAG) << "the status the tag mapping library lets pass";
    EXPECT_FALSE(tag(kUid1).eas());
    EXPECT_NE(easAlarm().length, 38);
    // The blocks are written all the same.
    EXPECT_TRUE(writeDone(writeBlock(0, 0x01020304)));
}

TEST_F(FenoReader, SelectQuietAndSystemInformation)
{
    place(kUid1);
    place(kUid2);
    std::uint8_t length = 0, status = 0xEE;
    std::array<std::uint8_t, 255> data{};
    ASSERT_EQ(FENO_SelectISO15693(handle(), 0, kUid2.data(), kTime, &length, data.data(), &status), 0);
    EXPECT_EQ(status, 0x00);
    // Mode 1 reaches the selected tag only.
    Raw r;
    const auto value = bigEndian(0x0BADF00D);
    r.code = FENO_WriteBlockISO15693(handle(), 4, 4, value.data(), 0, 1, 0, 1, nullptr, kTime, &r.length, r.data.data(),
                                     &r.status);
    ASSERT_TRUE(writeDone(r));
    EXPECT_EQ(tag(kUid2).block(4), 0x0BADF00Du);
    EXPECT_EQ(tag(kUid1).block(4), 0u);

    ASSERT_EQ(FENO_StayQuietISO15693(handle(), kUid1.data(), kTime, &status), 0);
    EXPECT_EQ(inventory(0, 0), std::vector<sim::Uid>{kUid2});
    ASSERT_EQ(FENO_RTReadyISO15693(handle(), 0, 2, kUid1.data(), kTime, &length, data.data(), &status), 0);
    EXPECT_EQ(inventory(0, 0).size(), 2u);

    ASSERT_EQ(FENO_WriteDsfidISO15693(handle(), 0x2A, 0, 1, 1, 2, kUid1.data(), kTime, &length, data.data(), &status),
              0);
    EXPECT_EQ(tag(kUid1).dsfid(), 0x2A);
    ASSERT_EQ(FENO_SystemInfoISO15693(handle(), 0, 2, kUid1.data(), kTime, &length, data.data(), &status), 0);
    EXPECT_EQ(status, 0x00);
    ASSERT_EQ(length, 6 + 14); // information flags, UID, DSFID, AFI, memory size (2), IC reference
    EXPECT_EQ(0, std::memcmp(data.data() + 7, kUid1.data(), 8)) << "the UID most significant first";
    EXPECT_EQ(data[15], 0x2A);
    ASSERT_EQ(FENO_LockDsfidISO15693(handle(), 0, 1, 1, 2, kUid1.data(), kTime, &length, data.data(), &status), 0);
    EXPECT_TRUE(tag(kUid1).dsfidLocked());
}
