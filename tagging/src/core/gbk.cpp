#include "gbk.h"

#include <platform/text.h>

#include <optional>
#include <string>

QString fromGbk(std::string_view bytes)
{
    const std::optional<std::string> utf8 = platform::gbkTo(bytes, "UTF-8", platform::kUtf8Replacement);
    if (!utf8)
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return QString::fromUtf8(utf8->data(), static_cast<qsizetype>(utf8->size()));
}
