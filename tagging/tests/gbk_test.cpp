#include "gbk.h"

#include <gtest/gtest.h>

namespace {

TEST(Gbk, LibraryTextsBecomeUnicode)
{
    using namespace std::string_view_literals;
    EXPECT_EQ(fromGbk("\xce\xde\xd0\xa7\xb5\xc4\xcc\xf5\xc2\xeb\xb3\xa4\xb6\xc8"sv), QStringLiteral("无效的条码长度"));
    EXPECT_EQ(fromGbk("Open ComPort 3: "sv), QStringLiteral("Open ComPort 3: "));
    EXPECT_EQ(fromGbk(""sv), QString());
    // A byte that starts no character shows as U+FFFD; decoding goes on.
    EXPECT_EQ(fromGbk("A\xff\xce\xde"sv), QStringLiteral("A\uFFFD无"));
    EXPECT_EQ(fromGbk("\xce\xde\xce"sv), QStringLiteral("无\uFFFD"));   // cut in the middle
    const std::string longText(1000, 'x');
    EXPECT_EQ(fromGbk(longText), QString(1000, QLatin1Char('x')));
}

} // namespace
