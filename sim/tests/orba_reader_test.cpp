// The simulated ORBA reader on the wire: ZPX frames in, ZPX frames out, with
// the tags' memory and state as the evidence.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "sim/reader.h"
#include "zpx/zpx_reader.h"

using namespace sim;
using Bytes = std::vector<std::uint8_t>;

namespace {

const Uid kUid1 = *uidFromText("E004010012345671");
const Uid kUid2 = *uidFromText("E004010012345672");
const Uid kUid3 = *uidFromText("E004010012345681"); // the same first slot as kUid1

struct Reply {
    std::uint8_t status = 0;
    std::uint8_t length = 0;
    Bytes data;
};

class OrbaReaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        reader = Reader::create("orba");
        ASSERT_TRUE(reader);
    }

    // One command in mode 2 at address 0; the answer taken apart.
    Reply command(std::uint8_t code, const Bytes& data = {})
    {
        const Bytes answer = reader->exchange(zpx::requestFrame({zpx::kModeAddrCrc, 0, code, data}));
        Reply r;
        if (answer.size() < 6) {
            ADD_FAILURE() << "no answer to command " << int(code);
            return r;
        }
        EXPECT_EQ(answer[0], zpx::kModeAddrCrc);
        r.status = answer[2];
        r.length = answer[3];
        r.data.assign(answer.begin() + 4, answer.end() - 2);
        return r;
    }

    // A carrier command; the records of its answer.
    std::vector<Bytes> carry(std::uint8_t control, const Bytes& request, std::uint8_t* status = nullptr)
    {
        Bytes data{control};
        data.insert(data.end(), request.begin(), request.end());
        const Reply r = command(0x28, data);
        if (status)
            *status = r.status;
        if (r.length != 0xFF)
            return {r.data};
        std::vector<Bytes> records;
        for (std::size_t i = 0; i < r.data.size() && r.data[i] != 0xFF;) {
            const std::size_t n = r.data[i];
            records.emplace_back(r.data.begin() + static_cast<long>(i) + 1,
                                 r.data.begin() + static_cast<long>(i + 1 + n));
            i += 1 + n;
        }
        return records;
    }

    void place(const Uid& uid, std::uint8_t afi = 0)
    {
        Tag tag(uid);
        tag.setAfi(afi);
        ASSERT_TRUE(reader->place(tag));
    }

    std::unique_ptr<Reader> reader;
};

Bytes addressed(std::uint8_t flags, std::uint8_t code, const Uid& uid, const Bytes& params = {})
{
    return iso::request(flags, code, &uid, params);
}

} // namespace

TEST_F(OrbaReaderTest, IdentifiesAsEachModelOfTheFamily)
{
    for (const char* model : {"MK-B1", "MK-C1", "MK-B1-G1", "MK-G1", "mk-g1"}) {
        PersonalityOptions options;
        options.model = model;
        reader = Reader::create("orba", options);
        ASSERT_TRUE(reader) << model;
        const Reply r = command(0x60);
        EXPECT_EQ(r.status, 0);
        ASSERT_GE(r.data.size(), 2u);
        EXPECT_NE(r.data[0], 0) << model;
        EXPECT_EQ(std::string(r.data.begin() + 2, r.data.end()), model);
    }
    PersonalityOptions options;
    options.extra = {{"hardware", "0x7A"}, {"firmware", "5"}, {"rf", "off"}};
    reader = Reader::create("orba", options);
    ASSERT_TRUE(reader);
    const Reply r = command(0x60);
    EXPECT_EQ(r.data, (Bytes{0x7A, 0x05, 'M', 'K', '-', 'B', '1'}));
    EXPECT_FALSE(reader->rfOn());

    for (const auto& [key, value] : std::map<std::string, std::string>{
             {"hardware", "256"}, {"firmware", "x"}, {"rf", "maybe"}, {"colour", "1"}}) {
        PersonalityOptions bad;
        bad.extra[key] = value;
        EXPECT_FALSE(Reader::create("orba", bad)) << key << "=" << value;
    }
}

TEST_F(OrbaReaderTest, RfFieldAndCarrierWithoutIt)
{
    place(kUid1);
    EXPECT_EQ(command(0x0D).status, 0);
    EXPECT_FALSE(reader->rfOn());
    std::uint8_t status = 0;
    carry(0x02, {0x26, 0x01, 0x00, 0x00}, &status);
    EXPECT_EQ(status, 0x84) << "nothing goes on the air with the field off";
    EXPECT_EQ(reader->airRequestCount(iso::kInventory), 0u);
    EXPECT_EQ(command(0x0C).status, 0);
    EXPECT_TRUE(reader->rfOn());
    EXPECT_EQ(command(0x0C, {0x10}).status, 0) << "RF control bytes are taken";
}

TEST_F(OrbaReaderTest, InventoryGivesOneRecordPerTagAndHonoursAfi)
{
    auto records = carry(0x02, {0x06, 0x01, 0x00});
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0], Bytes{0x01}) << "nobody answered";

    place(kUid1, 0x91);
    records = carry(0x02, {0x06, 0x01, 0x00});
    ASSERT_EQ(records.size(), 1u);
    Bytes expected{0x00, 0x00, 0x00};
    const auto air = uidToAir(kUid1);
    expected.insert(expected.end(), air.begin(), air.end());
    EXPECT_EQ(records[0], expected) << "record status, flags, DSFID, UID least significant first";

    place(kUid2, 0x92);
    place(kUid3, 0x91);
    records = carry(0x02, {0x06, 0x01, 0x00});
    ASSERT_EQ(records.size(), 3u);
    std::vector<Uid> seen;
    for (const Bytes& r : records) {
        ASSERT_EQ(r.size(), 11u);
        seen.push_back(uidFromAir(std::span(r).subspan(3)));
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<Uid>{kUid1, kUid2, kUid3}));

    records = carry(0x02, {0x16, 0x01, 0x91, 0x00});
    ASSERT_EQ(records.size(), 2u) << "AFI 0x91 only";
    records = carry(0x02, {0x16, 0x01, 0x92, 0x00});
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(uidFromAir(std::span(records[0]).subspan(3)), kUid2);

    // A mask of 8 bits (value 0x71) leaves only the tag whose UID ends in 71.
    records = carry(0x02, {0x06, 0x01, 0x08, 0x71});
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(uidFromAir(std::span(records[0]).subspan(3)), kUid1);
    // One slot: the reader still resolves every tag.
    EXPECT_EQ(carry(0x02, {0x26, 0x01, 0x00}).size(), 3u);
}

TEST_F(OrbaReaderTest, ComposedFlagsWithoutTheRawBit)
{
    place(kUid1, 0x91);
    place(kUid2, 0x93);
    // 0x10 in the control byte becomes the AFI flag of the inventory.
    auto records = carry(0x10, {0x01, 0x93, 0x00});
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(uidFromAir(std::span(records[0]).subspan(3)), kUid2);
    // 0x20 addresses: read block 0 of the first tag.
    reader->editTag(kUid1, [](Tag& t) { t.setBlock(0, 0x44332211); });
    const auto air = uidToAir(kUid1);
    Bytes request{0x20};
    request.insert(request.end(), air.begin(), air.end());
    request.push_back(0x00);
    records = carry(0x20, request);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0], (Bytes{0x00, 0x00, 0x11, 0x22, 0x33, 0x44}));
}

TEST_F(OrbaReaderTest, WritesNeedTheWriteAlikeBitToHearTheAnswer)
{
    place(kUid1);
    auto records = carry(0x03, addressed(0x22, 0x21, kUid1, {0x02, 0x44, 0x33, 0x22, 0x11}));
    EXPECT_EQ(records, (std::vector<Bytes>{{0x00, 0x00}}));
    EXPECT_EQ(reader->tag(kUid1)->block(2), 0x11223344u);

    records = carry(0x02, addressed(0x22, 0x21, kUid1, {0x03, 0x01, 0x02, 0x03, 0x04}));
    EXPECT_EQ(records, (std::vector<Bytes>{{0x01}})) << "the answer came after the reader stopped listening";
    EXPECT_EQ(reader->tag(kUid1)->block(3), 0x04030201u) << "but the tag did write";

    records = carry(0x03, addressed(0x22, 0x22, kUid1, {0x02}));
    EXPECT_EQ(records, (std::vector<Bytes>{{0x00, 0x00}}));
    records = carry(0x03, addressed(0x22, 0x21, kUid1, {0x02, 0, 0, 0, 0}));
    EXPECT_EQ(records, (std::vector<Bytes>{{0x00, 0x01, 0x12}})) << "a locked block refuses";
    EXPECT_EQ(reader->tag(kUid1)->block(2), 0x11223344u);

    records = carry(0x02, addressed(0x22, 0x2C, kUid1, {0x00, 0x03}));
    EXPECT_EQ(records, (std::vector<Bytes>{{0x00, 0x00, 0x00, 0x00, 0x01, 0x00}}));
}

TEST_F(OrbaReaderTest, TwoTagsAnsweringDifferentlyCollide)
{
    place(kUid1);
    place(kUid2);
    reader->editTag(kUid2, [](Tag& t) { t.setBlock(0, 1); });
    EXPECT_EQ(carry(0x02, {0x02, 0x20, 0x00}), (std::vector<Bytes>{{0x03}}));
    std::uint8_t status = 0xEE;
    carry(0x02, {0x02}, &status);
    EXPECT_EQ(status, 0x82) << "a raw request needs flags and command";
}

TEST_F(OrbaReaderTest, UplinkTimingAndUnknownCommands)
{
    EXPECT_EQ(command(0x29).data, Bytes{0x02});
    EXPECT_EQ(command(0x29, {0x05}).status, 0);
    EXPECT_EQ(command(0x29).data, Bytes{0x05});
    EXPECT_EQ(command(0x2A, {0x33, 0x44}).status, 0);
    EXPECT_EQ(command(0x2A).data, (Bytes{0x33, 0x44}));
    EXPECT_EQ(command(0x2A, {0x01}).status, 0x82);
    EXPECT_EQ(command(0x77).status, 0x81);
}

TEST_F(OrbaReaderTest, BlockListAnswersAreDescribedToTheirEnd)
{
    // The reader logs every answer; a block list must be read up to its
    // check bytes, not for the 255 bytes its length byte would say.
    PersonalityOptions options;
    auto personality = findPersonality("orba")->make(options);
    const Bytes answer = zpx::answerFrame(zpx::kModeAddrCrc, 0, zpx::Answer::blocks(0, {{0x01}, {0x02, 0x03}}));
    EXPECT_EQ(personality->describe(answer), "mode 2 cmd 00 len 6: 01 01 02 02 03 FF");
}
