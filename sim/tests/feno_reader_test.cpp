// The simulated FENO reader on its own: its answers to the high-level
// ISO 15693 commands, checked against the tags' memory and the air traffic.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>

#include "sim/reader.h"
#include "test_bytes.h"
#include "zpx/zpx_reader.h"

using namespace sim;
using simtest::Bytes;
using simtest::cat;
using simtest::uidBytes;

namespace {

const Uid kUid1 = *uidFromText("E004010012345678");
const Uid kUid2 = *uidFromText("E0040100AABBCCDD");
const Uid kUid3 = *uidFromText("E004010055667789");

struct Reply {
    std::uint8_t status = 0xFF;
    Bytes data;
};

// Time value 1000, high byte first.
const Bytes kTime{0x03, 0xE8};

class FenoReaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        reader_ = Reader::create("feno", {}, 0, &error);
        ASSERT_TRUE(reader_) << error;
    }

    Reply command(std::uint8_t code, const Bytes& data = {})
    {
        const Bytes answer = reader_->exchange(zpx::requestFrame({zpx::kModeAddrCrc, 0, code, data}));
        Reply r;
        // mode, address, status, length, data, CRC high, CRC low
        if (answer.size() < 6 || answer[3] == 0xFF || answer.size() != std::size_t{answer[3]} + 6u) {
            ADD_FAILURE() << "no plain answer to command " << int(code) << ": " << hexBytes(answer);
            return r;
        }
        r.status = answer[2];
        r.data.assign(answer.begin() + 4, answer.end() - 2);
        return r;
    }

    Tag place(const Uid& uid, std::uint8_t afi = 0)
    {
        Tag tag(uid);
        tag.setAfi(afi);
        EXPECT_TRUE(reader_->place(tag));
        return tag;
    }

    Tag tag(const Uid& uid) { return *reader_->tag(uid); }

    std::unique_ptr<Reader> reader_;
};

// A tag record: head (antenna 1 and outcome, payload length, ISO command,
// response flags, parameter, 0) and payload.
Bytes rec(std::uint8_t outcome, std::uint8_t isoCommand, std::uint8_t flags, std::uint8_t parameter,
          const Bytes& payload = {})
{
    return cat({static_cast<std::uint8_t>(0x10 | outcome), static_cast<std::uint8_t>(payload.size()), isoCommand,
                flags, parameter, 0x00},
               payload);
}

} // namespace

TEST_F(FenoReaderTest, IdentifiesWithItsModelAndOptions)
{
    const Reply r = command(0x60);
    EXPECT_EQ(r.status, 0x00);
    EXPECT_EQ(r.data, (Bytes{0x01, 0x21, 'M', 'K', '-', 'A', '1'}));

    PersonalityOptions o;
    o.model = "XY-9";
    o.extra = {{"hardware", "3"}, {"firmware", "0x40"}, {"rf", "off"}};
    auto other = Reader::create("feno", o);
    ASSERT_TRUE(other);
    EXPECT_FALSE(other->rfOn());
    const Bytes answer = other->exchange(zpx::requestFrame({zpx::kModeCrc, 0, 0x60, {}}));
    ASSERT_EQ(answer.size(), 3u + 6u + 2u);
    EXPECT_EQ(Bytes(answer.begin() + 3, answer.end() - 2), (Bytes{3, 0x40, 'X', 'Y', '-', '9'}));

    for (const auto& bad : std::vector<std::map<std::string, std::string>>{
             {{"rf", "maybe"}}, {{"firmware", "300"}}, {{"colour", "red"}}}) {
        PersonalityOptions wrong;
        wrong.extra = bad;
        EXPECT_FALSE(Reader::create("feno", wrong));
    }
}

TEST_F(FenoReaderTest, SwitchesTheFieldAndRefusesUnknownCommandsAndBadLengths)
{
    EXPECT_TRUE(reader_->rfOn());
    EXPECT_EQ(command(0x13, {0}).status, 0x00);
    EXPECT_FALSE(reader_->rfOn());
    EXPECT_EQ(command(0x13, {1}).status, 0x00);
    EXPECT_TRUE(reader_->rfOn());
    EXPECT_EQ(command(0x13, {2}).status, 0x82);
    EXPECT_EQ(command(0x13, {}).status, 0x82);
    EXPECT_EQ(command(0x0F, {7}).status, 0x00);
    EXPECT_EQ(command(0x0F, {0x01, 0x2C}).status, 0x00);
    EXPECT_EQ(command(0x0F, {1, 2, 3}).status, 0x82);
    EXPECT_EQ(command(0x22, {27, 3}).status, 0x00);
    EXPECT_EQ(command(0x1F, {1, 2}).status, 0x82);
    EXPECT_EQ(command(0x7E).status, 0x81);
    // Read block with addressing mode 2 but no UID, and with mode 3.
    EXPECT_EQ(command(0x26, cat({0, 0}, cat(kTime, {2}))).status, 0x82);
    EXPECT_EQ(command(0x26, cat({0, 0}, cat(kTime, {3}))).status, 0x82);

    reader_->setRf(false);
    EXPECT_EQ(command(0x07).status, 0x00);
    EXPECT_TRUE(reader_->rfOn()) << "restoring the defaults switches the field back on";
}

TEST_F(FenoReaderTest, InventoryGivesOneRecordPerTagWithTheUidMostSignificantFirst)
{
    const Bytes noMask = {1, 0, 1, 0, 0, 0x03, 0xE8, 0};
    Reply r = command(0x24, noMask);
    EXPECT_EQ(r.status, 0x00);
    EXPECT_TRUE(r.data.empty());

    place(kUid1, 0x91);
    reader_->editTag(kUid1, [](Tag& t) { t.setDsfid(0x33); });
    r = command(0x24, noMask);
    EXPECT_EQ(r.status, 0x00);
    EXPECT_EQ(r.data, rec(0, 0x01, 0x00, 0x33, uidBytes(kUid1)));

    place(kUid2, 0x92);
    place(kUid3, 0x91);
    r = command(0x24, noMask);
    ASSERT_EQ(r.data.size(), 3u * 14u);
    std::set<Uid> seen;
    for (std::size_t i = 0; i < r.data.size(); i += 14) {
        EXPECT_EQ(r.data[i + 1], 8);
        Uid uid{};
        std::copy_n(r.data.begin() + static_cast<std::ptrdiff_t>(i) + 6, 8, uid.begin());
        seen.insert(uid);
    }
    EXPECT_EQ(seen, (std::set<Uid>{kUid1, kUid2, kUid3}));

    // AFI filter: flag 1 with 0x91 finds two tags, with 0 every tag; flag 0 ignores the value.
    EXPECT_EQ(command(0x24, {1, 0, 1, 1, 0x91, 0x03, 0xE8, 0}).data.size(), 28u);
    EXPECT_EQ(command(0x24, {1, 0, 1, 1, 0x00, 0x03, 0xE8, 0}).data.size(), 42u);
    EXPECT_EQ(command(0x24, {1, 0, 1, 0, 0x93, 0x03, 0xE8, 0}).data.size(), 42u);
    EXPECT_TRUE(command(0x24, {1, 0, 1, 1, 0x93, 0x03, 0xE8, 0}).data.empty());
    // Single-slot rounds find the same tags.
    EXPECT_EQ(command(0x24, {1, 1, 1, 0, 0, 0x03, 0xE8, 0}).data.size(), 42u);
    // A mask of the low 8 bits (sent in air order): only the tag ending in 0x89.
    r = command(0x24, {1, 0, 1, 0, 0, 0x03, 0xE8, 8, 0x89});
    EXPECT_EQ(r.data, rec(0, 0x01, 0x00, 0x00, uidBytes(kUid3)));
    // Mask length 9 takes two mask bytes; one is too few.
    EXPECT_EQ(command(0x24, {1, 0, 1, 0, 0, 0x03, 0xE8, 9, 0x89}).status, 0x82);
    EXPECT_EQ(command(0x24, {1, 0, 1, 0, 0, 0x03, 0xE8, 9, 0x89, 0x01}).data.size(), 14u);

    reader_->setRf(false);
    r = command(0x24, noMask);
    EXPECT_EQ(r.status, 0x00);
    EXPECT_TRUE(r.data.empty()) << "no field, no tags";
}

TEST_F(FenoReaderTest, BlocksGoOutMostSignificantFirstAndInTheTagsOrderOnTheAir)
{
    place(kUid1);
    // Write block 2 unaddressed with 0x11223344 (most significant first).
    Reply r = command(0x27, cat({2, 0, 1, 0}, cat(kTime, {0, 0x11, 0x22, 0x33, 0x44})));
    EXPECT_EQ(r.status, 0x00);
    EXPECT_EQ(r.data, rec(0, 0x21, 0x00, 2));
    EXPECT_EQ(tag(kUid1).block(2), 0x11223344u);
    const Tag written = tag(kUid1);
    const auto bytes = written.blockBytes(2);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), (Bytes{0x44, 0x33, 0x22, 0x11}));

    // Read it back, unaddressed and by UID; with the option the security status comes first.
    EXPECT_EQ(command(0x26, cat({2, 0}, cat(kTime, {0}))).data, rec(0, 0x20, 0x00, 2, {0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(command(0x26, cat({2, 0}, cat(kTime, cat({2}, uidBytes(kUid1))))).data,
              rec(0, 0x20, 0x00, 2, {0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(command(0x26, cat({2, 1}, cat(kTime, {0}))).data, rec(0, 0x20, 0x00, 2, {0x00, 0x11, 0x22, 0x33, 0x44}));

    // Lock blocks 2 and 5; the status lists the last block first.
    EXPECT_EQ(command(0x28, cat({2, 0, 1, 1}, cat(kTime, {0}))).status, 0x00);
    EXPECT_EQ(command(0x28, cat({5, 0, 1, 1}, cat(kTime, cat({2}, uidBytes(kUid1))))).status, 0x00);
    EXPECT_TRUE(tag(kUid1).blockLocked(2));
    EXPECT_TRUE(tag(kUid1).blockLocked(5));
    r = command(0x29, cat({0, 7, 0}, cat(kTime, {0})));
    EXPECT_EQ(r.status, 0x00);
    EXPECT_EQ(r.data, rec(0, 0x2C, 0x00, 0, {0, 0, 1, 0, 0, 1, 0, 0}));

    // A locked block refuses the write: status 0xC4, the tag's error code in the record.
    r = command(0x27, cat({2, 0, 1, 0}, cat(kTime, {0, 1, 2, 3, 4})));
    EXPECT_EQ(r.status, 0xC4);
    EXPECT_EQ(r.data, rec(3, 0x21, 0x01, 2, {0x12}));
    EXPECT_EQ(tag(kUid1).block(2), 0x11223344u);
    // Locking it again: "already locked".
    EXPECT_EQ(command(0x28, cat({2, 0, 1, 1}, cat(kTime, {0}))).data, rec(3, 0x22, 0x01, 2, {0x11}));
}

TEST_F(FenoReaderTest, AddressingReachesOnlyTheNamedTagAndNonAddressedCommandsCollide)
{
    place(kUid1);
    place(kUid2);
    Reply r = command(0x27, cat({0, 0, 1, 0}, cat(kTime, cat(cat({2}, uidBytes(kUid2)), {0xCA, 0xFE, 0xBA, 0xBE}))));
    EXPECT_EQ(r.status, 0x00);
    EXPECT_EQ(tag(kUid2).block(0), 0xCAFEBABEu);
    EXPECT_EQ(tag(kUid1).block(0), 0u);

    // Both tags answer a non-addressed read of block 0 with different bytes.
    r = command(0x26, cat({0, 0}, cat(kTime, {0})));
    EXPECT_EQ(r.status, 0xCC);
    EXPECT_EQ(r.data, rec(2, 0x20, 0x00, 0));
    // A UID that is not in the field: nobody answers.
    r = command(0x26, cat({0, 0}, cat(kTime, cat({2}, uidBytes(kUid3)))));
    EXPECT_EQ(r.status, 0xC4);
    EXPECT_EQ(r.data, rec(1, 0x20, 0x00, 0));

    // Select, then mode 1 reaches the selected tag only.
    EXPECT_EQ(command(0x2B, cat({0}, cat(kTime, uidBytes(kUid1)))).status, 0x00);
    EXPECT_EQ(command(0x27, cat({1, 0, 1, 0}, cat(kTime, {1, 0, 0, 0, 7}))).status, 0x00);
    EXPECT_EQ(tag(kUid1).block(1), 7u);
    EXPECT_EQ(tag(kUid2).block(1), 0u);

    // Stay quiet takes a tag out of non-addressed commands until reset to ready.
    EXPECT_EQ(command(0x23, cat(uidBytes(kUid2), kTime)).status, 0x00);
    EXPECT_EQ(command(0x24, {1, 0, 1, 0, 0, 0x03, 0xE8, 0}).data.size(), 14u);
    EXPECT_EQ(command(0x2C, cat({0}, cat(kTime, cat({2}, uidBytes(kUid2))))).status, 0x00);
    EXPECT_EQ(command(0x24, {1, 0, 1, 0, 0, 0x03, 0xE8, 0}).data.size(), 28u);

    reader_->setRf(false);
    EXPECT_EQ(command(0x26, cat({0, 0}, cat(kTime, {0}))).status, 0xC4) << "no field: no tag answers";
}

TEST_F(FenoReaderTest, AfiDsfidAndSystemInformation)
{
    place(kUid1);
    EXPECT_EQ(command(0x2D, cat({0x91, 0, 1, 1}, cat(kTime, {0}))).data, rec(0, 0x27, 0x00, 0x91));
    EXPECT_EQ(command(0x2F, cat({0x05, 0, 1, 1}, cat(kTime, cat({2}, uidBytes(kUid1))))).status, 0x00);
    EXPECT_EQ(tag(kUid1).afi(), 0x91);
    EXPECT_EQ(tag(kUid1).dsfid(), 0x05);
    EXPECT_EQ(command(0x2E, cat({0, 1, 1}, cat(kTime, {0}))).status, 0x00);
    EXPECT_EQ(command(0x30, cat({0, 1, 1}, cat(kTime, {0}))).status, 0x00);
    EXPECT_TRUE(tag(kUid1).afiLocked());
    EXPECT_TRUE(tag(kUid1).dsfidLocked());
    EXPECT_EQ(command(0x2D, cat({0x92, 0, 1, 1}, cat(kTime, {0}))).status, 0xC4);
    EXPECT_EQ(tag(kUid1).afi(), 0x91);

    const Reply r = command(0x2A, cat({0}, cat(kTime, {0})));
    EXPECT_EQ(r.status, 0x00);
    EXPECT_EQ(r.data, rec(0, 0x2B, 0x00, 0, cat(cat({0x0F}, uidBytes(kUid1)), {0x05, 0x91, 27, 3, 0x01})));
}

TEST_F(FenoReaderTest, EasThroughTheHighLevelAndTransparentCommands)
{
    place(kUid1);
    const Bytes alarm = {0, 0, 0, 0x03, 0xE8, 32, 0x02, 0xA5, 0x04};
    // EAS off: the tag keeps quiet on the alarm.
    EXPECT_EQ(command(0x25, alarm).status, 0xC4);
    EXPECT_EQ(command(0x43, cat({0, 1, 0}, cat(kTime, {0}))).data, Bytes{0});

    EXPECT_EQ(command(0x42, cat({0, 1}, cat(kTime, {0}))).data, rec(0, 0xA2, 0x00, 0));
    EXPECT_TRUE(tag(kUid1).eas());
    Reply r = command(0x25, alarm);
    EXPECT_EQ(r.status, 0x00);
    ASSERT_EQ(r.data.size(), 38u) << "six head bytes and the 32-byte EAS sequence";
    EXPECT_EQ(r.data[1], 32);
    EXPECT_EQ(command(0x43, cat({0, 1, 0}, cat(kTime, cat({2}, uidBytes(kUid1))))).data, Bytes{1});

    EXPECT_EQ(command(0x42, cat({0, 0}, cat(kTime, cat({2}, uidBytes(kUid1))))).status, 0x00);
    EXPECT_FALSE(tag(kUid1).eas());
    EXPECT_EQ(command(0x42, cat({0, 1}, cat(kTime, {0}))).status, 0x00);
    EXPECT_EQ(command(0x42, cat({0, 2}, cat(kTime, {0}))).status, 0x00);
    EXPECT_TRUE(tag(kUid1).easLocked());
    EXPECT_EQ(command(0x42, cat({0, 0}, cat(kTime, {0}))).data, rec(3, 0xA3, 0x01, 0, {0x12}));
    EXPECT_TRUE(tag(kUid1).eas());
    EXPECT_EQ(command(0x42, cat({0, 3}, cat(kTime, {0}))).status, 0x82);

    // A chip without EAS refuses: 0xC4 from the high-level commands, its error answer through the transparent one.
    reader_->editTag(kUid1, [](Tag& t) { t.setEasSupported(false); });
    EXPECT_EQ(command(0x42, cat({0, 1}, cat(kTime, {0}))).status, 0xC4);
    EXPECT_EQ(command(0x43, cat({0, 1, 0}, cat(kTime, {0}))).status, 0xC4);
    r = command(0x25, alarm);
    EXPECT_EQ(r.status, 0x00);
    EXPECT_EQ(r.data, rec(3, 0xA5, 0x01, 0, {0x01}));
}
