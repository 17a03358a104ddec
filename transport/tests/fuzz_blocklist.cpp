// Walks arbitrary data as a block list through the exported functions. The
// data sit in a buffer of exactly the input's size, so that AddressSanitizer
// sees any read past the size the caller gave.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "linvaro.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size)
{
    if (size > 1 << 16)
        return 0;
    auto data = std::make_unique<std::uint8_t[]>(size ? size : 1);
    if (size)
        std::memcpy(data.get(), input, size);
    const auto n = static_cast<std::int32_t>(size);
    const std::int32_t blocks = LVRM_GetNbBlocks(size ? data.get() : nullptr, n);
    if (blocks < -7 || blocks > n)
        std::abort();
    std::uint8_t block[255];
    std::uint32_t length = 0;
    std::size_t total = 0;
    for (std::int32_t i = -1; i <= (blocks < 0 ? 1 : blocks); ++i) {
        const std::int32_t got = LVRM_GetBlock(data.get(), n, i, block, &length);
        const bool exists = blocks >= 0 && i >= 0 && i < blocks;
        if (got != (exists ? 1 : 0) || (exists && length > 254))
            std::abort();
        if (exists)
            total += length + 1;
    }
    // the blocks and the end byte lie within the data
    if (blocks > 0 && total + 1 > size)
        std::abort();
    return 0;
}
