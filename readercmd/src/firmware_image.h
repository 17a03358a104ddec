// Intel HEX parsing into firmware images of 14-bit words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>

#include "quorvel_firmware.h"

namespace quorvel {

inline constexpr std::size_t kImageWords = ORBA_IMAGE_WORDS;
using ImageSpan = std::span<std::uint16_t, kImageWords>;

// Reads Intel HEX text up to its end line, storing each record's words into
// image over what it holds. False for a line that breaks the format, a record
// reaching past the image, or text without the end line; records before the
// failing one remain stored.
bool parseIntelHex(std::FILE* in, ImageSpan image);

// Exclusive-ors word j with key[j % keyLength]; nothing without a key.
void applyWordKey(std::span<std::uint16_t> image, int keyLength, const std::uint16_t* key);

} // namespace quorvel
