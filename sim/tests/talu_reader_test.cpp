// The simulated TALU reader on its own: ZPX requests in, answers out, tag
// memory checked after every change.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "sim/reader.h"
#include "test_bytes.h"
#include "zpx/zpx_reader.h"

using namespace sim;
using simtest::Bytes;
using simtest::cat;

namespace {

const Uid kUidA = *uidFromText("E004010012345678");
const Uid kUidB = *uidFromText("E0040100AABBCCDD");
const Uid kUidC = *uidFromText("E004010055667788");
const Uid kNoEas = *uidFromText("E004010099999999");

struct Answer {
    std::uint8_t status = 0;
    std::uint8_t length = 0;
    Bytes data;
    // The records of a block list answer.
    std::vector<Bytes> records() const
    {
        std::vector<Bytes> out;
        std::size_t at = 0;
        while (at < data.size() && data[at] != 0xFF) {
            const std::size_t n = data[at];
            out.emplace_back(data.begin() + static_cast<long>(at + 1), data.begin() + static_cast<long>(at + 1 + n));
            at += n + 1;
        }
        return out;
    }
};

Bytes air(const Uid& uid)
{
    const auto a = uidToAir(uid);
    return Bytes(a.begin(), a.end());
}

class TaluReaderTest : public ::testing::Test {
protected:
    void SetUp() override { open({}); }

    void open(const PersonalityOptions& options)
    {
        std::string error;
        reader = Reader::create("talu", options, 0, &error);
        ASSERT_TRUE(reader) << error;
    }

    Answer send(std::uint8_t command, const Bytes& data = {})
    {
        const Bytes frame = zpx::requestFrame({zpx::kModeAddrCrc, 0, command, data});
        const Bytes reply = reader->exchange(frame);
        Answer a;
        EXPECT_GE(reply.size(), 6u);
        if (reply.size() < 6)
            return a;
        EXPECT_EQ(reply[0], zpx::kModeAddrCrc);
        EXPECT_EQ(zpx::crc16(std::span(reply).subspan(1, reply.size() - 3)),
                  std::uint16_t(reply[reply.size() - 2] << 8 | reply.back()));
        a.status = reply[2];
        a.length = reply[3];
        a.data.assign(reply.begin() + 4, reply.end() - 2);
        return a;
    }

    // The ISO carrier with the control byte the host uses for a tag command.
    Answer carry(const Bytes& request, std::uint8_t control = 0x05)
    {
        Bytes data{control};
        data.insert(data.end(), request.begin(), request.end());
        return send(0x21, data);
    }

    void placeThree()
    {
        Tag a(kUidA), b(kUidB), c(kUidC);
        a.setAfi(0x91);
        b.setAfi(0x92);
        c.setAfi(0x91);
        ASSERT_TRUE(reader->place(a));
        ASSERT_TRUE(reader->place(b));
        ASSERT_TRUE(reader->place(c));
    }

    std::unique_ptr<Reader> reader;
};

} // namespace

TEST_F(TaluReaderTest, IdentifiesAsEachModel)
{
    struct Case {
        std::string model;
        std::string text;
    };
    for (const Case& c : {Case{"", "MK-D1"}, Case{"MK-D1", "MK-D1"}, Case{"MK-E1", "MK-E1"}}) {
        PersonalityOptions o;
        o.model = c.model;
        open(o);
        const Answer id = send(0x60);
        EXPECT_EQ(id.status, 0);
        ASSERT_GE(id.data.size(), 2u);
        EXPECT_EQ(std::string(id.data.begin() + 2, id.data.end()), c.text);
        const Answer features = send(0x61);
        ASSERT_EQ(features.data.size(), 3u);
        EXPECT_EQ(features.data[2], 0x6F) << "ISO 15693 (bit 4) and CHM (bit 7) offered, active low";
    }
    PersonalityOptions bad;
    bad.model = "MK-A1";
    EXPECT_FALSE(Reader::create("talu", bad)) << "a model of another family";
    PersonalityOptions features;
    features.extra["features"] = "ef";
    open(features);
    EXPECT_EQ(send(0x61).data.at(2), 0xEF);
}

TEST_F(TaluReaderTest, RfFieldFollowsTheCommands)
{
    EXPECT_FALSE(reader->rfOn()) << "the field is off at power-up";
    reader->place(Tag(kUidA));
    EXPECT_EQ(send(0x20, {0x05, 16}).records().size(), 0u) << "no field, no tag";
    EXPECT_EQ(send(0x0C).status, 0);
    EXPECT_TRUE(reader->rfOn());
    EXPECT_EQ(send(0x20, {0x05, 16}).records().size(), 1u);
    EXPECT_EQ(send(0x0D).status, 0);
    EXPECT_FALSE(reader->rfOn());
    EXPECT_EQ(carry({0x22, 0x20, 0}).status, 0xC4) << "a carrier request without field reaches nobody";
}

TEST_F(TaluReaderTest, AutomaticInventoryGivesOneRecordPerTag)
{
    reader->setRf(true);
    EXPECT_EQ(send(0x20, {0x05, 16}).length, 0xFF);
    EXPECT_TRUE(send(0x20, {0x05, 16}).records().empty());

    placeThree();
    const Answer all = send(0x20, {0x05, 16});
    EXPECT_EQ(all.status, 0);
    const auto records = all.records();
    ASSERT_EQ(records.size(), 3u);
    std::vector<Uid> uids;
    for (const Bytes& r : records) {
        ASSERT_EQ(r.size(), 10u);
        EXPECT_EQ(r[0], 0x00);
        uids.push_back(uidFromAir(std::span(r).subspan(2)));
    }
    std::sort(uids.begin(), uids.end());
    EXPECT_EQ(uids, (std::vector<Uid>{kUidA, kUidC, kUidB}));

    const Answer books = send(0x20, {0x15, 16, 0x91});
    ASSERT_EQ(books.records().size(), 2u) << "AFI 0x91 matches two of three";
    EXPECT_EQ(send(0x20, {0x15, 16, 0x00}).records().size(), 3u) << "AFI 0 matches every tag";
    EXPECT_EQ(send(0x20, {0x15, 16, 0x93}).records().size(), 0u);
    EXPECT_EQ(send(0x20, {0x15, 16}).status, 0x82) << "AFI flag without AFI byte";
}

TEST_F(TaluReaderTest, ChmAutomaticInventoryReadsBlocks)
{
    reader->setRf(true);
    Tag a(kUidA);
    a.setBlock(0, 0x11223344);
    a.setBlock(1, 0x55667788);
    reader->place(a);
    // CHM form with option: flags, UID, blocks 0 and 1.
    auto records = send(0x20, {0x65, 16, 0, 1}).records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0], cat({{0x00}, air(kUidA), {0x44, 0x33, 0x22, 0x11, 0x88, 0x77, 0x66, 0x55}}));
    // Without option: flags and block 1 only.
    records = send(0x20, {0x25, 16, 1, 0}).records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0], (Bytes{0x00, 0x88, 0x77, 0x66, 0x55}));
    // Blocks beyond the tag: its error response.
    records = send(0x20, {0x25, 16, 27, 1}).records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0], (Bytes{0x01, 0x10}));
}

TEST_F(TaluReaderTest, BlockListStaysWithinTheHostsAnswerArea)
{
    reader->setRf(true);
    for (std::uint64_t i = 0; i < 200; ++i)
        ASSERT_TRUE(reader->place(Tag(uidFromValue(0xE004010000000000ull + i * 0x1357))));
    const Answer a = send(0x20, {0x05, 16});
    EXPECT_LE(a.data.size(), 2048u);
    EXPECT_EQ(a.data.back(), 0xFF);
    EXPECT_EQ(a.records().size(), 186u) << "11 bytes a record, one end byte";
}

TEST_F(TaluReaderTest, CarrierReadsWritesAndLocksBlocks)
{
    reader->setRf(true);
    Tag tag(kUidA);
    tag.setBlock(3, 0xA1B2C3D4);
    reader->place(tag);

    // Non-addressed and addressed reads hand the tag's response over as it is.
    Answer read = carry({0x02, 0x20, 3});
    EXPECT_EQ(read.status, 0);
    EXPECT_EQ(read.data, (Bytes{0x00, 0xD4, 0xC3, 0xB2, 0xA1}));
    read = carry(cat({{0x22, 0x20}, air(kUidA), {3}}));
    EXPECT_EQ(read.data, (Bytes{0x00, 0xD4, 0xC3, 0xB2, 0xA1}));
    EXPECT_EQ(carry(cat({{0x22, 0x20}, air(kUidB), {3}})).status, 0xC4) << "no such tag";

    // Write with option flag: the carrier's extra byte is set aside.
    Answer write = carry(cat({{0x62, 0x21}, air(kUidA), {5, 0x04, 0x03, 0x02, 0x01}, {63}}), 0x0D);
    EXPECT_EQ(write.status, 0);
    EXPECT_EQ(reader->tag(kUidA)->block(5), 0x01020304u);
    write = carry({0x02, 0x21, 6, 0xEE, 0xDD, 0xCC, 0xBB}, 0x0D);
    EXPECT_EQ(write.status, 0);
    EXPECT_EQ(reader->tag(kUidA)->block(6), 0xBBCCDDEEu);

    EXPECT_EQ(carry(cat({{0x22, 0x22}, air(kUidA), {5}}), 0x0D).status, 0);
    EXPECT_TRUE(reader->tag(kUidA)->blockLocked(5));
    const Answer refused = carry(cat({{0x22, 0x21}, air(kUidA), {5, 1, 2, 3, 4}}), 0x0D);
    EXPECT_EQ(refused.status, 0xC4) << "a locked block refuses the write";
    EXPECT_EQ(refused.data, (Bytes{0x01, 0x12}));
    EXPECT_EQ(reader->tag(kUidA)->block(5), 0x01020304u);

    const Answer status = carry(cat({{0x22, 0x2C}, air(kUidA), {0, 7}}));
    EXPECT_EQ(status.data, (Bytes{0x00, 0, 0, 0, 0, 0, 1, 0, 0}));
}

TEST_F(TaluReaderTest, CarrierAfiEasAndStates)
{
    reader->setRf(true);
    reader->place(Tag(kUidA));
    Tag noEas(kNoEas);
    noEas.setEasSupported(false);
    reader->place(noEas);

    EXPECT_EQ(carry(cat({{0x22, 0x27}, air(kUidA), {0x91}}), 0x0D).status, 0);
    EXPECT_EQ(reader->tag(kUidA)->afi(), 0x91);

    // EAS: set, alarm, reset, alarm silent (0xC4), lock; a chip without EAS refuses.
    EXPECT_EQ(carry(cat({{0x22, 0xA2, 0x04}, air(kUidA)}), 0x0D).status, 0);
    EXPECT_TRUE(reader->tag(kUidA)->eas());
    const Answer alarm = carry(cat({{0x22, 0xA5, 0x04}, air(kUidA)}));
    EXPECT_EQ(alarm.status, 0);
    EXPECT_EQ(alarm.data.size(), 33u);
    EXPECT_EQ(carry(cat({{0x22, 0xA3, 0x04}, air(kUidA)}), 0x0D).status, 0);
    EXPECT_FALSE(reader->tag(kUidA)->eas());
    EXPECT_EQ(carry(cat({{0x22, 0xA5, 0x04}, air(kUidA)})).status, 0xC4);
    EXPECT_EQ(carry(cat({{0x22, 0xA4, 0x04}, air(kUidA)}), 0x0D).status, 0);
    EXPECT_TRUE(reader->tag(kUidA)->easLocked());
    EXPECT_EQ(carry(cat({{0x22, 0xA2, 0x04}, air(kNoEas)}), 0x0D).status, 0xC4);

    // Both tags answer a non-addressed read with the same bytes: no collision.
    EXPECT_EQ(carry({0x02, 0x20, 0}).status, 0);
    reader->editTag(kNoEas, [](Tag& t) { t.setBlock(0, 1); });
    EXPECT_EQ(carry({0x02, 0x20, 0}).status, 0xCC);

    // Stay quiet goes out without waiting; the quiet tag then ignores non-addressed requests.
    const Answer quiet = carry(cat({{0x22, 0x02}, air(kNoEas)}), 0x01);
    EXPECT_EQ(quiet.status, 0);
    EXPECT_TRUE(quiet.data.empty());
    EXPECT_EQ(carry({0x02, 0x20, 0}).status, 0);
    // Select, then a select-flag request reaches it.
    EXPECT_EQ(carry(cat({{0x22, 0x25}, air(kNoEas)})).status, 0);
    EXPECT_EQ(carry({0x12, 0x20, 0}).data, (Bytes{0x00, 0x01, 0, 0, 0}));
}

TEST_F(TaluReaderTest, CarrierInventoryRunsTheSlots)
{
    reader->setRf(true);
    placeThree();
    // 16 slots, extra byte 10 after the empty mask.
    const Answer all = carry({0x06, 0x01, 0x00, 10});
    EXPECT_EQ(all.status, 0);
    EXPECT_EQ(all.length, 0xFF);
    std::size_t tags = 0;
    for (const Bytes& r : all.records())
        tags += r.size() == 10 ? 1 : 0;
    // The three test UIDs differ in their low nibbles (8, D, 8): A and C collide.
    EXPECT_EQ(tags, 1u);
    // AFI 0x92 and the mask: one tag.
    const Answer b = carry({0x16, 0x01, 0x92, 0x00, 10});
    ASSERT_EQ(b.records().size(), 1u);
    EXPECT_EQ(b.records()[0], cat({{0x00, 0x00}, air(kUidB)}));
    // One slot with a full-length mask, without the extra byte.
    const Answer one = carry(cat({{0x26, 0x01, 64}, air(kUidC)}));
    ASSERT_EQ(one.records().size(), 1u);
    EXPECT_EQ(uidFromAir(std::span(one.records()[0]).subspan(2)), kUidC);
}

TEST_F(TaluReaderTest, RefusesWhatItDoesNotKnow)
{
    EXPECT_EQ(send(0x55).status, 0x81);
    EXPECT_EQ(send(0x21, {0x05, 0x02}).status, 0x82);
    EXPECT_EQ(send(0x20, {}).status, 0x82);
    PersonalityOptions rfOn;
    rfOn.extra["rf"] = "on";
    open(rfOn);
    EXPECT_TRUE(reader->rfOn());
    PersonalityOptions unknown;
    unknown.extra["colour"] = "red";
    EXPECT_FALSE(Reader::create("talu", unknown));
}
