#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

using namespace std::string_view_literals;

// "无效的条码长度" in GBK, a text of the tag mapping library.
constexpr std::string_view kGbk = "\xce\xde\xd0\xa7\xb5\xc4\xcc\xf5\xc2\xeb\xb3\xa4\xb6\xc8"sv;
constexpr std::string_view kUtf8 = "无效的条码长度"sv;

TEST(GbkText, BecomesTheCodesetAsked)
{
    EXPECT_EQ(platform::gbkTo(kGbk, "UTF-8", platform::kUtf8Replacement), std::string(kUtf8));
    EXPECT_EQ(platform::gbkTo("Open ComPort 3: "sv, "UTF-8", "?"), "Open ComPort 3: ");
    EXPECT_EQ(platform::gbkTo(""sv, "UTF-8", "?"), "");
    // The same thread in another codeset and back: each call in its own.
    EXPECT_EQ(platform::gbkTo(kGbk, "GB18030", "?"), std::string(kGbk));
    EXPECT_EQ(platform::gbkTo(kGbk, "UTF-8", "?"), std::string(kUtf8));
    EXPECT_EQ(platform::gbkTo(kGbk, "no such codeset", "?"), std::nullopt);
    EXPECT_EQ(platform::gbkTo("x"sv, "UTF-8", "?"), "x");
}

TEST(GbkText, ABytePastConvertingIsReplacedAndConversionGoesOn)
{
    const std::string_view fffd = platform::kUtf8Replacement;
    EXPECT_EQ(platform::gbkTo("A\xff\xce\xde"sv, "UTF-8", fffd), "A" + std::string(fffd) + "无");
    EXPECT_EQ(platform::gbkTo("\xce\xde\xce"sv, "UTF-8", fffd), "无" + std::string(fffd));   // cut in the middle
    EXPECT_EQ(platform::gbkTo("A\xff"sv, "UTF-8", "?"), "A?");
    // A character the codeset cannot hold: its bytes are replaced one by one
    // until conversion is back in step.
    const std::optional<std::string> ascii = platform::gbkTo("a\xce\xde"sv, "ASCII", "?");
    ASSERT_TRUE(ascii);
    EXPECT_EQ(ascii->substr(0, 2), "a?");
    const std::string longText(1000, 'x');
    EXPECT_EQ(platform::gbkTo(longText, "UTF-8", "?"), longText);
}

TEST(GbkText, EveryThreadConvertsOnItsOwn)
{
    std::string other;
    std::thread thread([&] { other = platform::gbkTo(kGbk, "UTF-8", "?").value_or("none"); });
    const std::optional<std::string> here = platform::gbkTo(kGbk, "GB18030", "?");
    thread.join();
    EXPECT_EQ(other, std::string(kUtf8));
    EXPECT_EQ(here, std::string(kGbk));
}

} // namespace
