#include "barcode.h"
#include "settings.h"

#include "core_test.h"

#include <gtest/gtest.h>

namespace {

BarcodeStructure structure(int total, int valid, QChar verify, QString prefix, QString beg = {}, QString end = {})
{
    BarcodeStructure s;
    s.TotalLen = static_cast<std::int16_t>(total);
    s.ValidLen = static_cast<std::int16_t>(valid);
    s.Verify = verify;
    s.Prefix = std::move(prefix);
    s.BegBound = std::move(beg);
    s.EndBound = std::move(end);
    return s;
}

TEST(BarPar, TheExampleLineRoundTrips)
{
    const BarcodeStructure s = structure(10, 8, '1', "0");
    EXPECT_EQ(formatBarParLine(s), QStringLiteral("10:8:1:0::\n"));
    const auto parsed = parseBarPar(QStringLiteral("10:8:1:0::\n"));
    ASSERT_EQ(parsed.size(), 1u);
    EXPECT_EQ(parsed[0], s);
}

TEST(BarPar, SeveralStructuresKeepTheirOrderAndEmptyLinesAreSkipped)
{
    const std::vector<BarcodeStructure> list{
        structure(10, 8, '1', "0", "0100000000", "0199999999"),
        structure(13, 13, '0', "44120"),
        structure(8, 7, '2', "*"),
        structure(0, 0, '0', ""),
        structure(6, 6, '0', QStringLiteral("图书")),
    };
    const QString text = formatBarPar(list);
    EXPECT_EQ(text, QStringLiteral("10:8:1:0:0100000000:0199999999\n13:13:0:44120::\n8:7:2:*::\n"
                                   "0:0:0:::\n6:6:0:图书::\n"));
    EXPECT_EQ(parseBarPar(text), list);
    EXPECT_EQ(parseBarPar(QStringLiteral("\n\n10:8:1:0::\n\n13:13:0:44120::")),
              (std::vector<BarcodeStructure>{structure(10, 8, '1', "0"), list[1]}));
}

TEST(BarPar, BadLinesStillMakeStructuresWithZeroOrEmptyFields)
{
    const auto parsed = parseBarPar(QStringLiteral("abc\n12:x\n-3:+4:\n10:8:1:A:B:C:D\n 7:5:10:P"));
    ASSERT_EQ(parsed.size(), 5u);
    EXPECT_EQ(parsed[0], structure(0, 0, QChar(), ""));
    EXPECT_EQ(parsed[1], structure(12, 0, QChar(), ""));
    EXPECT_EQ(parsed[2], structure(-3, 4, QChar(), ""));
    // A colon in a field shifts the ones after it; the last takes the rest.
    EXPECT_EQ(parsed[3], structure(10, 8, '1', "A", "B", "C:D"));
    EXPECT_EQ(parsed[4], structure(7, 5, '1', "P"));
    // A missing check character mode writes back as an empty field.
    EXPECT_EQ(formatBarParLine(parsed[1]), QStringLiteral("12:0::::\n"));
}

TEST(BarPar, OverlongFieldsAreCutToTheirWidths)
{
    const QString longPrefix(200, 'P');
    const QString longBound(300, '9');
    const auto parsed = parseBarPar(QStringLiteral("10:8:1:%1:%2:%2\n").arg(longPrefix, longBound));
    ASSERT_EQ(parsed.size(), 1u);
    EXPECT_EQ(parsed[0].Prefix.size(), 130);
    EXPECT_EQ(parsed[0].BegBound.size(), 255);
    EXPECT_EQ(parsed[0].EndBound.size(), 255);
    EXPECT_EQ(parseBarPar(QStringLiteral("99999:-99999:0:::"))[0], structure(32767, -32768, '0', ""));
}

struct CheckCase {
    const char* name;
    const char* barPar;
    const char* barcode;
    bool accepted;
    const char* result;
    const char* message;
};

void PrintTo(const CheckCase& c, std::ostream* os)
{
    *os << c.name;
}

class Check : public CoreTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(Check, GivesResultAndMessage)
{
    const CheckCase& c = GetParam();
    CSettings().setBarPar(QString::fromUtf8(c.barPar));
    CBarcodeChecker checker;
    EXPECT_EQ(checker.check(QString::fromUtf8(c.barcode)), c.accepted);
    EXPECT_EQ(checker.result(), QString::fromUtf8(c.result));
    EXPECT_EQ(checker.message(), QString::fromUtf8(c.message));
}

const CheckCase kCheckCases[] = {
    {"NoStructuresAcceptsUnchanged", "", "AB", true, "AB", ""},
    {"CheckCharacterRemovedThenPrefixPlusValidLenKept", "10:8:1:0::\n", "0123456789", true, "012345678", ""},
    {"WrongPrefix", "10:8:1:0::\n", "1123456789", false, "", "前缀错误"},
    {"NoStructureOfThatLength", "10:8:1:0::\n", "012345678901", false, "012345678901", " 无效的条码长度!"},
    {"StarPrefixTakesAnyFirstCharacter", "10:8:1:*::\n", "X123456789", true, "X12345678", ""},
    {"BelowTheLowerBound", "10:8:1:0:0100000000:\n", "0099999999", false, "", "条码范围错误"},
    {"AboveTheUpperBound", "10:8:1:0::0199999999\n", "0200000000", false, "", "条码范围错误"},
    {"WithinBoundsWholeBarcodeCompared", "10:8:1:0:0100000000:0199999999\n", "0199999999", true, "019999999", ""},
    {"NoCheckCharacterKeepsTheEnd", "10:10:0:::\n", "1234567890", true, "1234567890", ""},
    {"Code39CheckCharacterRemovedUnverified", "8:7:2:::\n", "ABC1234Z", true, "ABC1234", ""},
    {"ValidLenCutsAfterThePrefix", "13:5:0:4412::\n", "4412000000123", true, "441200000", ""},
    {"PrefixLongerThanTheBarcode", "3:1:0:ABCD::\n", "ABC", false, "", "前缀错误"},
    {"LaterStructureOfTheSameLengthApplies", "10:8:1:1::\n10:8:1:0::\n", "0123456789", false, "012345678",
     "前缀错误"},
    {"MessagesOfSeveralStructuresAreJoined", "10:8:1:1::\n10:8:1:0:5:\n", "0123456789", false, "",
     "前缀错误条码范围错误"},
    {"OtherLengthsAreSkipped", "12:8:1:9::\n10:8:1:0::\n", "0123456789", true, "012345678", ""},
    {"TotalLenZeroHidesTheRest", "0:0:0:::\n10:8:1:0::\n", "0123456789", false, "0123456789",
     " 无效的条码长度!"},
    {"NegativeValidLenKeepsNothingSoTheLengthIsInvalid", "10:-5:0:::\n", "0123456789", false, "0123456789",
     " 无效的条码长度!"},
    {"MissingModeCountsAsACheckCharacter", "10:9::::\n", "0123456789", true, "012345678", ""},
};

INSTANTIATE_TEST_SUITE_P(Barcodes, Check, ::testing::ValuesIn(kCheckCases),
                         [](const auto& info) { return std::string(info.param.name); });

class Checker : public CoreTest {};

TEST_F(Checker, LoadsOnFirstUseAndAgainOnlyWhenForced)
{
    CSettings().setBarPar(QStringLiteral("10:8:1:0::\n"));
    CBarcodeChecker checker;
    EXPECT_FALSE(checker.isLoaded());
    EXPECT_TRUE(checker.check(QStringLiteral("0123456789")));
    EXPECT_TRUE(checker.isLoaded());

    CSettings().setBarPar(QStringLiteral("10:8:1:1::\n"));
    EXPECT_TRUE(checker.check(QStringLiteral("0123456789")));   // still the old list
    checker.load(false);
    EXPECT_TRUE(checker.check(QStringLiteral("0123456789")));
    checker.load(true);
    EXPECT_FALSE(checker.check(QStringLiteral("0123456789")));
    EXPECT_EQ(checker.message(), CBarcodeChecker::kPrefixError);
    ASSERT_EQ(checker.structures().size(), 1u);

    // Each check starts afresh.
    EXPECT_TRUE(checker.check(QStringLiteral("1123456789")));
    EXPECT_EQ(checker.message(), QString());
    EXPECT_EQ(checker.result(), QStringLiteral("112345678"));
}

TEST(ItemId, FromTheLeadingNumberBelow2To57)
{
    const struct {
        const char* text;
        std::uint64_t id;
    } cases[] = {
        {"4412000000123", 4412000000123ull},
        {"200000000000000000", 0},            // 2 x 10^17 needs more than 57 bits
        {"144115188075855871", 144115188075855871ull},  // 2^57 - 1
        {"144115188075855872", 0},            // 2^57
        {"99999999999999999999999999", 0},    // beyond 64 bits
        {"ABC123", 0},
        {"", 0},
        {"  42x7", 42},
        {"00000000123", 123},
        {"-5", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(itemIdFromText(QString::fromLatin1(c.text)), c.id) << c.text;
}

} // namespace
