// The tag mapping library's error texts are narrow strings in the GBK code
// page; the program shows them as Unicode text (platform::gbkTo, the one
// conversion tagctl uses too).
#pragma once

#include <QString>

#include <string_view>

// GBK bytes to text. A byte that starts no valid GBK character shows as
// U+FFFD and decoding goes on after it.
QString fromGbk(std::string_view bytes);
