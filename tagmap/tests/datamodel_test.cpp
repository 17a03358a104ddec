// The data model codec: the public test vectors of both library data models,
// damaged and short tags, and this library's own tags as its encoder writes them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "brenholt_datamodel.h"
#include "datamodel.h"
#include "item_codec.h"
#include "sim/tag_file.h"

extern "C" unsigned brnDataModelHeaderCheckC(void);

namespace {

using namespace brenholt;
using Memory = std::vector<std::uint8_t>;

Memory fromHex(const std::string& hex)
{
    Memory m;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        m.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return m;
}

Memory padded(Memory m, std::size_t size)
{
    m.resize(size);
    return m;
}

brnDataModelInfo classified(const Memory& m, int afi = BRN_DM_BYTE_UNKNOWN, int dsfid = BRN_DM_BYTE_UNKNOWN)
{
    brnDataModelInfo info{};
    EXPECT_EQ(brnClassifyTag(m.data(), static_cast<std::uint32_t>(m.size()), afi, dsfid, &info), BRN_OK);
    return info;
}

// "id.field=text" for extension block fields, "oid=text" for data elements;
// hex values as 0x...
std::vector<std::string> elementsOf(const brnDataModelInfo& info)
{
    std::vector<std::string> out;
    for (std::uint32_t i = 0; i < info.elementCount; ++i) {
        const brnDataElement& e = info.elements[i];
        std::string s = std::to_string(e.id);
        if (e.kind == BRN_DM_ELEMENT_BLOCK_FIELD)
            s += "." + std::to_string(e.field);
        out.push_back(s + "=" + (e.flags & BRN_DM_ELEMENT_HEX ? "0x" : "") + e.text);
    }
    return out;
}

// Public vectors (tag memory in tag order, byte 0 first).
const std::string kV1 = "11010131313232333334340000000000000000513e4445373035000000000000";
const std::string kV4 = "11010131303030303030303536000000000000" "98a4" "444b3731383530300000000000";
const std::string kV5 = "11010131303030303030313336000000000000" "3615" "444b3731383530300000000000"
                        "0501000501" "22020071" "426f67766f676e656e00" "3132333435363738393000" "00"
                        "6137383936353663" "00";
const std::string kV6 = "11010131363230313534343239000000000000c4cf46494d616d6b2d4d0000000000" "06650076" "7461";
const std::string kV7 = "81010132393335303030303033363439000000" "8793" "5255" "323933" "000000";
const std::string kV8 = "31010111333232310034343300000000510000003745443e0000353000000000";
const std::string kV9 = "9101046091ce43800201a80501106702424103073240de05ab075b00";
const std::string kV10 = "910508002bdc545e14d64e8080808080" "c70005042c726198" "19040132915f" "6e03a2b380";
// A basic block whose owner fills bytes 23-33 ("DK-ABCDEFGHIJK").
const std::string kLongOwner = "11010131323334353600000000000000000000dd48444b4142434445464748494a4b";

struct Vector {
    const char* name;
    Memory memory;
    int afi;
    int dsfid;
    int model;
    const char* itemId;
    const char* owner;
    int version;
    int usage;
    int parts;
    int part;
    int crcValid;
    std::uint32_t flags;
    std::vector<std::string> elements;
};

void PrintTo(const Vector& v, std::ostream* os) { *os << v.name; }

constexpr int kNone = BRN_DM_BYTE_UNKNOWN;
constexpr std::uint32_t kShort = BRN_DM_FLAG_OWNER_TRUNCATED;
constexpr int kIso3 = BRN_DM_MODEL_ISO28560_3;
constexpr int kIso2 = BRN_DM_MODEL_ISO28560_2;

std::vector<Vector> vectors()
{
    Memory broken = fromHex(kV4);
    broken[7] = '9';
    return {
        {"ddm_on_32_bytes", fromHex(kV1), kNone, kNone, kIso3, "11223344", "DE-705", 1, 1, 1, 1, 1, kShort, {}},
        {"ddm_empty_item", fromHex("11010100000000000000000000000000000000ca9f4445373035000000000000"), kNone, kNone,
         kIso3, "", "DE-705", 1, 1, 1, 1, 1, kShort, {}},
        {"every_field_empty", fromHex("000000000000000000000000000000000000004cf10000000000000000000000"), kNone,
         kNone, kIso3, "", "", 0, 0, 0, 0, 1, kShort, {}},
        {"annex_b1", fromHex(kV4), BRN_DM_AFI_IN_STOCK, 0x3E, kIso3, "1000000056", "DK-718500", 1, 1, 1, 1, 1, 0, {}},
        {"annex_b1_on_32_bytes", padded(fromHex(kV4), 32), kNone, kNone, kIso3, "1000000056", "DK-718500", 1, 1, 1, 1,
         1, kShort, {}},
        // 0x11 is also a valid ISO 28560-2 precursor: the CRC settles it.
        {"annex_b1_with_the_dsfid_of_28560_2", fromHex(kV4), BRN_DM_AFI_ON_LOAN, BRN_DM_DSFID_ISO28560_2, kIso3,
         "1000000056", "DK-718500", 1, 1, 1, 1, 1, 0, {}},
        {"annex_b2_extension_blocks", fromHex(kV5), kNone, kNone, kIso3, "1000000136", "DK-718500", 1, 1, 1, 1, 1, 0,
         {"1.0=1", "2.0=Bogvognen", "2.1=1234567890", "2.3=a789656c"}},
        {"finnish_tag", padded(fromHex(kV6), 84), kNone, kNone, kIso3, "1620154429", "FI-Mamk-M", 1, 1, 1, 1, 1, 0,
         {"101.0=ta"}},
        {"usage_in_the_high_nibble", padded(fromHex(kV7), 32), kNone, kNone, kIso3, "2935000003649", "RU-293", 1, 8,
         1, 1, 1, kShort | BRN_DM_FLAG_USAGE_SWAPPED, {}},
        {"blocks_reversed", fromHex(kV8), kNone, kNone, kIso3, "11223344", "DE-705", 1, 1, 1, 1, 1,
         kShort | BRN_DM_FLAG_BLOCKS_REVERSED, {}},
        {"owner_of_eleven_bytes", fromHex(kLongOwner), kNone, kNone, kIso3, "123456", "DK-ABCDEFGHIJK", 1, 1, 1, 1, 1,
         0, {}},
        // Bytes 32-33 hold owner letters: without them the CRC cannot match.
        {"owner_of_eleven_bytes_read_as_32", padded(fromHex(kLongOwner), 32), kNone, kNone, BRN_DM_MODEL_UNKNOWN,
         "123456", "DK-ABCDEFGHI", 1, 1, 1, 1, 0, kShort | BRN_DM_FLAG_CRC_FAILED | BRN_DM_FLAG_MEMORY_ENDS, {}},
        {"broken_crc", broken, BRN_DM_AFI_IN_STOCK, kNone, BRN_DM_MODEL_UNKNOWN, "1000900056", "DK-718500", 1, 1, 1,
         1, 0, BRN_DM_FLAG_CRC_FAILED, {}},
        {"iso28560_2", padded(fromHex(kV9), 32), BRN_DM_AFI_IN_STOCK, BRN_DM_DSFID_ISO28560_2, kIso2, "1620168259",
         "FI-Mamk-M", -1, 1, -1, -1, -1, 0, {"1=1620168259", "2=0xA8", "5=0x10", "7=BA", "3=FI-Mamk-M"}},
        {"iso28560_2_without_dsfid", padded(fromHex(kV9), 32), kNone, kNone, kIso2, "1620168259", "FI-Mamk-M", -1, 1,
         -1, -1, -1, BRN_DM_FLAG_GUESSED, {"1=1620168259", "2=0xA8", "5=0x10", "7=BA", "3=FI-Mamk-M"}},
        {"iso15962_annex_p", fromHex(kV10), kNone, BRN_DM_DSFID_ISO28560_2, kIso2, "12345678912345678", "", -1, -1, -1,
         -1, -1, 0, {"1=12345678912345678", "7=AB12XY", "9=20091231", "14=0xA2B380"}},
        {"iso15962_annex_p_without_dsfid", fromHex(kV10), kNone, kNone, kIso2, "12345678912345678", "", -1, -1, -1,
         -1, -1, BRN_DM_FLAG_GUESSED, {"1=12345678912345678", "7=AB12XY", "9=20091231", "14=0xA2B380"}},
        // An item identifier longer than what was read.
        {"iso28560_2_cut", padded(fromHex("9101206091ce43800201a80501106702424103073240de05ab075b"), 32), kNone,
         BRN_DM_DSFID_ISO28560_2, kIso2, "", "", -1, -1, -1, -1, -1, BRN_DM_FLAG_MEMORY_ENDS, {}},
        {"blank", Memory(32), BRN_AFI_BOOK, kNone, BRN_DM_MODEL_UNKNOWN, "", "", -1, -1, -1, -1, -1, BRN_DM_FLAG_BLANK,
         {}},
    };
}

class DataModelVectors : public ::testing::TestWithParam<Vector> {};

TEST_P(DataModelVectors, ClassifyAndDecode)
{
    const Vector& v = GetParam();
    const brnDataModelInfo info = classified(v.memory, v.afi, v.dsfid);
    EXPECT_STREQ(brnDataModelName(info.model), brnDataModelName(v.model));
    EXPECT_STREQ(info.itemId, v.itemId);
    EXPECT_STREQ(info.owner, v.owner);
    EXPECT_EQ(info.version, v.version);
    EXPECT_EQ(info.typeOfUsage, v.usage);
    EXPECT_EQ(info.parts, v.parts);
    EXPECT_EQ(info.part, v.part);
    EXPECT_EQ(info.crcValid, v.crcValid);
    EXPECT_EQ(info.flags, v.flags) << std::hex << info.flags;
    EXPECT_EQ(elementsOf(info), v.elements);
}

INSTANTIATE_TEST_SUITE_P(PublicVectors, DataModelVectors, ::testing::ValuesIn(vectors()),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(DataModel, CrcCheckValues)
{
    auto crcOf = [](const std::string& s) {
        return datamodel::crc16({reinterpret_cast<const std::uint8_t*>(s.data()), s.size()});
    };
    EXPECT_EQ(crcOf("RFID tag data model"), 0x1AEE);
    EXPECT_EQ(crcOf("123456789"), 0x29B1);
    EXPECT_EQ(crcOf("11010131313232333334340000000000000000"), 0xDA6E);
    EXPECT_EQ(datamodel::basicBlockCrc(Memory(32)), 0xF14C);
    EXPECT_EQ(datamodel::basicBlockCrc(fromHex(kV4)), 0xA498);
}

TEST(DataModel, CompactionSchemesAndLengths)
{
    struct Case {
        unsigned scheme, oid;
        const char* data;
        const char* text;
        bool hex;
    };
    for (const Case& c : std::initializer_list<Case>{
             {BRN_DM_COMPACTION_INTEGER, 1, "1cbe991a14", "123456789012", false},
             {BRN_DM_COMPACTION_NUMERIC, 1, "410f", "410", false},
             {BRN_DM_COMPACTION_NUMERIC, 1, "4a0f", "4A0F", true},
             {BRN_DM_COMPACTION_5BIT, 17, "541c", "JPN", false},
             {BRN_DM_COMPACTION_6BIT, 1, "0420f1cb3d35da", "ABC123456", false},
             {BRN_DM_COMPACTION_7BIT, 1, "8308", "AB", false},
             {BRN_DM_COMPACTION_APPLICATION, 3, "3240de05ab075b", "FI-Mamk-M", false},
             {BRN_DM_COMPACTION_APPLICATION, 2, "a8", "A8", true},
             {BRN_DM_COMPACTION_OCTET, 17, "e9", "\xc3\xa9", false},
             {BRN_DM_COMPACTION_UTF8, 17, "c3a9", "\xc3\xa9", false},
             {BRN_DM_COMPACTION_UTF8, 17, "c328", "C328", true},
         }) {
        const auto t = datamodel::decompact(c.scheme, c.oid, fromHex(c.data));
        EXPECT_EQ(t.text, c.text) << c.data;
        EXPECT_EQ(t.hex, c.hex) << c.data;
    }
    for (const auto& [hex, length] : std::initializer_list<std::pair<const char*, int>>{
             {"7f", 127}, {"8100", 128}, {"810a", 138}, {"ff7f", 16383}, {"818000", 16384}, {"81", -1}}) {
        std::size_t pos = 0;
        const auto got = datamodel::readLength(fromHex(hex), pos);
        EXPECT_EQ(got ? static_cast<int>(*got) : -1, length) << hex;
    }
}

TEST(DataModel, ElementNames)
{
    const brnDataModelInfo b2 = classified(fromHex(kV5));
    EXPECT_STREQ(brnDataElementName(&b2.elements[1]), "supplier identifier");
    const brnDataModelInfo iso2 = classified(padded(fromHex(kV9), 32), kNone, BRN_DM_DSFID_ISO28560_2);
    EXPECT_STREQ(brnDataElementName(&iso2.elements[4]), "owner library");
    EXPECT_STREQ(brnDataElementName(nullptr), "");
}

// This library's tags, encoded by its own item encoder.
TEST(DataModel, OwnTagsAreHouse)
{
    struct Case {
        std::int32_t itemType;
        std::uint64_t itemId;
        int afi;
    };
    for (const Case& c : std::initializer_list<Case>{
             {BRN_ITEM_TYPE_BOOK, 4412001234567ULL, BRN_AFI_BOOK},
             {BRN_ITEM_TYPE_BOOK, 4412001234567ULL, kNone},
             {BRN_ITEM_TYPE_BOOK, 0x1100000001ULL, kNone}, // starts 0x11 like an ISO 28560-3 tag
             {BRN_ITEM_TYPE_PATRON_CARD, 9876543210123ULL, BRN_AFI_PATRON_CARD},
             {BRN_ITEM_TYPE_PATRON_CARD, 9876543210123ULL, kNone},
             {BRN_ITEM_TYPE_SHELF_TAG, 42, BRN_AFI_SHELF_TAG},
             {BRN_ITEM_TYPE_SHELF_TAG, 42, kNone},
         }) {
        brnItem item{};
        item.blockSize = BRN_BLOCK_SIZE;
        item.validMask = BRN_ITEM_ALL;
        item.formatVersion = 1;
        item.typeCode = static_cast<std::uint32_t>(c.itemType);
        item.itemType = c.itemType;
        item.itemId = c.itemId;
        item.libraryId = 44120;
        item.book.bookYear = 2024;
        brnRawItem raw{};
        encodeItem(item, raw);
        Memory m(32);
        ASSERT_EQ(brnRawItemTagBytes(&raw, m.data()), 32u);
        const std::string what =
            std::to_string(c.itemType) + "/" + std::to_string(c.itemId) + "/" + std::to_string(c.afi);
        EXPECT_EQ(classified(m, c.afi).model, BRN_DM_MODEL_HOUSE) << what;
        // One book in 65536 happens to carry a matching basic-block CRC.
        const std::uint16_t crc = datamodel::basicBlockCrc(m);
        m[19] = static_cast<std::uint8_t>(crc);
        m[20] = static_cast<std::uint8_t>(crc >> 8);
        EXPECT_EQ(classified(m, c.afi).model, BRN_DM_MODEL_HOUSE) << what << " with a matching CRC";
    }
}

TEST(DataModel, RawItemBytesAndParameters)
{
    brnRawItem raw{};
    raw.validMask = BRN_RAW_BLOCK(0) | BRN_RAW_BLOCK(1) | BRN_RAW_BLOCK(3);
    raw.blocks[0] = 0x10000000;
    raw.blocks[1] = 0x0012D687;
    raw.blocks[2] = 0xFFFFFFFF; // not marked present
    raw.blocks[3] = 44120;
    Memory m(32, 0xEE);
    EXPECT_EQ(brnRawItemTagBytes(&raw, m.data()), 8u);
    EXPECT_EQ(m, padded(fromHex("0000001087d6120000000000" "58ac0000"), 32));
    EXPECT_EQ(brnRawItemTagBytes(nullptr, m.data()), 0u);

    brnDataModelInfo info{};
    info.model = 77;
    EXPECT_EQ(brnClassifyTag(m.data(), 31, kNone, kNone, &info), BRN_ERR_PARAMETER);
    EXPECT_EQ(brnClassifyTag(nullptr, 32, kNone, kNone, &info), BRN_ERR_PARAMETER);
    EXPECT_EQ(brnClassifyTag(m.data(), 32, 256, kNone, &info), BRN_ERR_PARAMETER);
    EXPECT_EQ(brnClassifyTag(m.data(), 32, kNone, -2, &info), BRN_ERR_PARAMETER);
    EXPECT_EQ(brnClassifyTag(m.data(), 32, kNone, kNone, nullptr), BRN_ERR_PARAMETER);
    EXPECT_EQ(info.model, 77);
    EXPECT_STREQ(brnDataModelName(99), "unknown");
    EXPECT_EQ(brnDataModelHeaderCheckC(), sizeof(brnDataModelInfo) + offsetof(brnDataModelInfo, elements));
}

// The simulator's example tags of both models classify as what they are.
TEST(DataModel, SimulatorExampleTags)
{
    std::string error;
    const auto tags = sim::loadTagFile(SIM_EXAMPLES_DIR "/library_standard_tags.txt", &error);
    ASSERT_TRUE(tags) << error;
    std::vector<std::string> got;
    for (const sim::Tag& tag : *tags) {
        Memory m;
        for (int b = 0; b < tag.blockCount(); ++b)
            for (std::uint8_t byte : tag.blockBytes(b))
                m.push_back(byte);
        const brnDataModelInfo info = classified(m, tag.afi(), tag.dsfid());
        got.push_back(std::string(brnDataModelName(info.model)) + " " + info.itemId + " " + info.owner);
    }
    EXPECT_EQ(got, (std::vector<std::string>{"iso28560-3 1000000136 DK-718500", "iso28560-2 1620168259 FI-Mamk-M"}));
}

} // namespace
