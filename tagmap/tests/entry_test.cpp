// The exported entry without a reader: error texts byte for byte, the
// version, the process-wide settings, and calls that must fail cleanly
// before any reader is opened.
#include <gtest/gtest.h>

#include <iconv.h>

#include <climits>
#include <cstring>
#include <string>

#include "brenholt.h"

namespace {

// UTF-8 to GBK through iconv, independently of the library's own bytes.
std::string toGbk(const std::string& utf8)
{
    iconv_t cd = iconv_open("GBK", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return "<no iconv>";
    std::string out(utf8.size() * 2 + 4, '\0');
    char* src = const_cast<char*>(utf8.data());
    std::size_t srcLeft = utf8.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    const std::size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (rc == static_cast<std::size_t>(-1))
        return "<not convertible>";
    out.resize(out.size() - dstLeft);
    return out;
}

std::string hexOf(const std::string& s)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char c : s) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
        hex += ' ';
    }
    return hex;
}

// A handle that no open call gave out.
brnHandle strayHandle()
{
    static std::uint8_t record = 0xFF;
    return &record;
}

} // namespace

// First: the values a freshly loaded library starts with.
TEST(BrenholtSettings, StartValues)
{
    std::uint32_t value = 0;
    EXPECT_EQ(brnGetTagsMask(nullptr, &value), 0);
    EXPECT_EQ(value, 4u);
    EXPECT_EQ(brnGetChannelsMask(nullptr, &value), 0);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(brnGetReadSessionDuration(nullptr, 4, &value), 0);
    EXPECT_EQ(value, 200u);
    std::int32_t depth = 0;
    EXPECT_EQ(brnGetSortingBufferDepth(nullptr, &depth), 0);
    EXPECT_EQ(depth, 16);
}

TEST(BrenholtErrors, TextsAreTheGbkBytes)
{
    const struct {
        int code;
        const char* utf8;
    } texts[] = {
        {0, "No Error."},
        {-1, "不能打开指定串口."},
        {-2, "不能连接到主机."},
        {-3, "阅读器错误."},
        {-4, "阅读器版本错误. "},
        {-5, "无效句柄，阅读器未初始化."},
        {-6, "不能关闭连接. "},
        {-7, "阅读器不支持的特性."},
        {-8, "未找到阅读器. "},
        {-9, "未开始读."},
        {-10, "正在读."},
        {-11, "资源溢出."},
        {-12, "参数错误. "},
        {-13, "存在多个标签. "},
        {-14, "没有标签或读写标签错误."},
        {-15, "读错误."},
    };
    for (const auto& t : texts) {
        const char* text = brnGetErrorString(t.code);
        ASSERT_NE(text, nullptr) << t.code;
        EXPECT_EQ(hexOf(text), hexOf(toGbk(t.utf8))) << "code " << t.code;
    }
    // The same constant storage every time.
    EXPECT_EQ(brnGetErrorString(-5), brnGetErrorString(-5));
}

TEST(BrenholtErrors, OtherCodesGiveTheEmptyText)
{
    for (int code : {-16, 1, 48, 0x30, -100, INT_MIN, INT_MAX}) {
        const char* text = brnGetErrorString(code);
        ASSERT_NE(text, nullptr) << code;
        EXPECT_STREQ(text, "") << code;
    }
}

TEST(BrenholtEntry, Version)
{
    brnVersion version;
    std::memset(&version, 0x5A, sizeof version);
    brnGetVersion(&version);
    EXPECT_STREQ(version.versionText, "Brenholt V1.0.0 .");
    EXPECT_EQ(version.major, 1u);
    EXPECT_EQ(version.minor, 0u);
    EXPECT_EQ(version.build, 0u);
}

TEST(BrenholtSettings, StoredAndGivenBack)
{
    std::uint32_t value = 0;
    EXPECT_EQ(brnSetTagsMask(strayHandle(), 0xA5A5), 0);
    EXPECT_EQ(brnGetTagsMask(nullptr, &value), 0);
    EXPECT_EQ(value, 0xA5A5u);
    EXPECT_EQ(brnSetChannelsMask(nullptr, 7), 0);
    EXPECT_EQ(brnGetChannelsMask(strayHandle(), &value), 0);
    EXPECT_EQ(value, 7u);
    // Any duration; the number argument plays no part.
    EXPECT_EQ(brnSetReadSessionDuration(nullptr, 99, 50), 0);
    EXPECT_EQ(brnGetReadSessionDuration(nullptr, 4, &value), 0);
    EXPECT_EQ(value, 50u);
    EXPECT_EQ(brnSetReadSessionDuration(nullptr, 4, 0), 0);
    EXPECT_EQ(brnGetReadSessionDuration(nullptr, 0, &value), 0);
    EXPECT_EQ(value, 0u);
}

TEST(BrenholtSettings, SortingBufferDepth)
{
    std::int32_t depth = -1;
    EXPECT_EQ(brnSetSortingBufferDepth(nullptr, 80), 0);
    EXPECT_EQ(brnGetSortingBufferDepth(nullptr, &depth), 0);
    EXPECT_EQ(depth, 80);
    // Depth 0 is taken (the buffer then keeps no tag quiet).
    EXPECT_EQ(brnSetSortingBufferDepth(nullptr, 0), 0);
    EXPECT_EQ(brnGetSortingBufferDepth(nullptr, &depth), 0);
    EXPECT_EQ(depth, 0);
    // Refused depths leave the buffer as it was.
    EXPECT_EQ(brnSetSortingBufferDepth(nullptr, 3), 0);
    EXPECT_EQ(brnSetSortingBufferDepth(nullptr, -1), BRN_ERR_PARAMETER);
    EXPECT_EQ(brnSetSortingBufferDepth(nullptr, INT_MAX), BRN_ERR_RESOURCES);
    EXPECT_EQ(brnGetSortingBufferDepth(nullptr, &depth), 0);
    EXPECT_EQ(depth, 3);
}

TEST(BrenholtSettings, MissingOutputsAreParameterErrors)
{
    EXPECT_EQ(brnGetTagsMask(nullptr, nullptr), BRN_ERR_PARAMETER);
    EXPECT_EQ(brnGetChannelsMask(nullptr, nullptr), BRN_ERR_PARAMETER);
    EXPECT_EQ(brnGetSortingBufferDepth(nullptr, nullptr), BRN_ERR_PARAMETER);
    EXPECT_EQ(brnGetReadSessionDuration(nullptr, 4, nullptr), BRN_ERR_PARAMETER);
    brnGetVersion(nullptr); // nothing to fill, nothing happens
}

// Before any open the reader family is -1: no family-dependent call runs.
TEST(BrenholtEntry, WithoutReader)
{
    brnRawItem raw{};
    brnItem item{};
    std::uint8_t uid[8] = {};
    std::uint32_t locks = 0;
    brnHandle h = strayHandle();

    EXPECT_EQ(brnReadSingleRawItem(h, 10, 0x3FF, &raw), BRN_ERR_READER);
    EXPECT_EQ(brnReadSingleRawItem(nullptr, 10, 0x3FF, &raw), BRN_ERR_READER); // the family is looked at first
    EXPECT_EQ(brnReadSingleRawItemByType(h, 10, 0, 0x3FF, &raw), BRN_ERR_READER);
    EXPECT_EQ(brnReadSingleItem(nullptr, 10, 4, &item), BRN_ERR_HANDLE);
    EXPECT_EQ(brnReadSingleItem(h, 10, 4, &item), BRN_ERR_READER);
    EXPECT_EQ(brnReadSingleItemByType(h, 10, 1, 4, &item), BRN_ERR_READER);
    EXPECT_EQ(brnReadSingleUID(nullptr, uid), BRN_ERR_HANDLE);
    EXPECT_EQ(brnReadSingleUID(h, uid), BRN_ERR_READER);
    EXPECT_EQ(brnReadSingleRawItemLocking(h, 10, 2, &locks), BRN_ERR_READER);
    EXPECT_EQ(brnReadSingleItemLocking(nullptr, 10, 4, &locks), BRN_ERR_HANDLE);
    EXPECT_EQ(brnReadSingleItemLocking(h, 10, 4, &locks), BRN_ERR_READER);
    EXPECT_EQ(brnInventory(nullptr), BRN_ERR_HANDLE);
    EXPECT_EQ(brnInventory(h), 0);
    EXPECT_EQ(brnInventoryByType(h, 0), 0);
    EXPECT_EQ(brnSelectANT(h, 1), BRN_ERR_READER);
    brnReaderInfo info{};
    EXPECT_EQ(brnGetReaderInfo(nullptr, &info), BRN_ERR_HANDLE);
    EXPECT_EQ(brnClose(nullptr), 0);
}

TEST(BrenholtEntry, OpenByUnknownKindOpensNothing)
{
    brnHandle handle = strayHandle();
    std::int32_t family = 77;
    for (const char* kind : {"", "KORV", "DLX", "D", "second", static_cast<const char*>(nullptr)})
        EXPECT_EQ(brnOpenSerialByType(3, kind, &handle, &family), BRN_ERR_NO_READER) << (kind ? kind : "null");
    EXPECT_EQ(handle, strayHandle());
    EXPECT_EQ(family, 77);
    EXPECT_EQ(brnOpenSerial(3, nullptr, &family), BRN_ERR_PARAMETER);
    EXPECT_EQ(brnOpenSerial(3, &handle, nullptr), BRN_ERR_PARAMETER);
}

// A chosen family with a handle that no open of that family gave out: the
// library does not take the handle for a reader of that family.
TEST(BrenholtEntry, SwitchedFamilyWithStrayHandle)
{
    brnHandle h = strayHandle();
    EXPECT_EQ(brnSwitchReader(h, BRN_FAMILY_DALRIX, 0), 0);
    EXPECT_EQ(brnSwitchReader(h, BRN_FAMILY_DALRIX, 2), 0); // the antenna choice fails quietly
    brnRawItem raw{};
    EXPECT_EQ(brnReadSingleRawItem(h, 10, 0x3FF, &raw), BRN_ERR_HANDLE);
    EXPECT_EQ(brnSelectANT(h, 1), BRN_ERR_HANDLE);
    EXPECT_EQ(brnInventory(h), 0);
    EXPECT_EQ(brnClose(h), 0);
    EXPECT_EQ(brnSwitchReader(nullptr, 3, 0), 0);
    EXPECT_EQ(brnReadSingleRawItem(h, 10, 0x3FF, &raw), BRN_ERR_READER);
}
