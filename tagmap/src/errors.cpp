#include "errors.h"

#include <iterator>

#include "quorvel.h"

namespace brenholt {
namespace {

// The texts in the GBK code page, byte for byte (trailing blanks included);
// beside each, its code and how it reads.
constexpr const char* kTexts[] = {
    "No Error.",                                                                  // 0
    "\xB2\xBB\xC4\xDC\xB4\xF2\xBF\xAA\xD6\xB8\xB6\xA8\xB4\xAE\xBF\xDA.",          // -1 不能打开指定串口.
    "\xB2\xBB\xC4\xDC\xC1\xAC\xBD\xD3\xB5\xBD\xD6\xF7\xBB\xFA.",                  // -2 不能连接到主机.
    "\xD4\xC4\xB6\xC1\xC6\xF7\xB4\xED\xCE\xF3.",                                  // -3 阅读器错误.
    "\xD4\xC4\xB6\xC1\xC6\xF7\xB0\xE6\xB1\xBE\xB4\xED\xCE\xF3. ",                 // -4 阅读器版本错误. (and a blank)
    "\xCE\xDE\xD0\xA7\xBE\xE4\xB1\xFA\xA3\xAC"                                    // -5 无效句柄，
    "\xD4\xC4\xB6\xC1\xC6\xF7\xCE\xB4\xB3\xF5\xCA\xBC\xBB\xAF.",                  //    阅读器未初始化.
    "\xB2\xBB\xC4\xDC\xB9\xD8\xB1\xD5\xC1\xAC\xBD\xD3. ",                         // -6 不能关闭连接. (and a blank)
    "\xD4\xC4\xB6\xC1\xC6\xF7\xB2\xBB\xD6\xA7\xB3\xD6\xB5\xC4\xCC\xD8\xD0\xD4.",  // -7 阅读器不支持的特性.
    "\xCE\xB4\xD5\xD2\xB5\xBD\xD4\xC4\xB6\xC1\xC6\xF7. ",                         // -8 未找到阅读器. (and a blank)
    "\xCE\xB4\xBF\xAA\xCA\xBC\xB6\xC1.",                                          // -9 未开始读.
    "\xD5\xFD\xD4\xDA\xB6\xC1.",                                                  // -10 正在读.
    "\xD7\xCA\xD4\xB4\xD2\xE7\xB3\xF6.",                                          // -11 资源溢出.
    "\xB2\xCE\xCA\xFD\xB4\xED\xCE\xF3. ",                                         // -12 参数错误. (and a blank)
    "\xB4\xE6\xD4\xDA\xB6\xE0\xB8\xF6\xB1\xEA\xC7\xA9. ",                         // -13 存在多个标签. (and a blank)
    "\xC3\xBB\xD3\xD0\xB1\xEA\xC7\xA9\xBB\xF2"                                    // -14 没有标签或
    "\xB6\xC1\xD0\xB4\xB1\xEA\xC7\xA9\xB4\xED\xCE\xF3.",                          //     读写标签错误.
    "\xB6\xC1\xB4\xED\xCE\xF3.",                                                  // -15 读错误.
};

} // namespace

const char* errorText(std::int32_t code)
{
    if (code > 0 || code < -static_cast<std::int32_t>(std::size(kTexts) - 1))
        return "";
    return kTexts[-code];
}

std::int32_t statusMapping(std::int32_t returnCode, std::uint8_t status)
{
    // A link whose line has gone fails its commands at once with the command
    // library's "connection lost"; to the callers that is the reader not
    // answering, as it was before the library could tell (brnReaderConnected
    // tells the two apart).
    if (returnCode == kLineGone)
        return BRN_ERR_VERSION;
    if (returnCode != 0)
        return returnCode;
    switch (status) {
    case QVL_STATUS_READ_ERROR:
    case QVL_STATUS_TAG_READ_ERROR: return BRN_ERR_READ;
    case QVL_STATUS_NO_TAG: return BRN_ERR_NO_TAG;
    case QVL_STATUS_MANY_TAGS: return BRN_ERR_MANY_TAGS;
    default: return BRN_OK;
    }
}

} // namespace brenholt
