// Arbitrary bytes as a HEX file: the parser must never write outside the
// image nor store a word wider than 14 bits.
#include <array>
#include <cstdint>
#include <cstdio>

#include "firmware_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    std::FILE* in = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (!in)
        return 0;
    std::array<std::uint16_t, quorvel::kImageWords> image{};
    const bool ok = quorvel::parseIntelHex(in, image);
    std::fclose(in);
    for (auto word : image)
        if (word > 0x3FFF)
            __builtin_trap();
    (void)ok;
    return 0;
}
