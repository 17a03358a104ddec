// Texts of the tag mapping library: narrow strings in the GBK code page,
// shown by the desktop program (as Unicode) and by tagctl (in the terminal's
// codeset, or UTF-8 for scripts).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// GBK bytes in the codeset to (a name iconv knows, such as "UTF-8"). A byte
// that starts no valid GBK character (or one the codeset cannot hold) comes
// out as replacement and conversion goes on after it. None when the system
// cannot convert from GBK to that codeset at all.
// The calling thread keeps its conversion open for the next call to the same
// codeset.
std::optional<std::string> gbkTo(std::string_view gbk, const char* to, std::string_view replacement);

// What replaces a byte that does not convert, in UTF-8: U+FFFD.
inline constexpr std::string_view kUtf8Replacement = "\xEF\xBF\xBD";

} // namespace platform
