// Feeds arbitrary byte streams to a link's receiver. The first input byte
// picks options: bit 0 switches the CRC comparison off (so that frames reach
// completion), bits 1-7 how often a new request interrupts the stream.
// Checks the receiver's promises on every completed answer.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "frame.h"

using namespace linvaro;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t options = input[0];
    setCrcCheck((options & 1) == 0);
    const std::size_t requestEvery = options >> 1; // 0: never

    static AnswerState state; // 4 KB; one is enough, reset for every input
    state.resetEmpty();
    state.beginRequest();
    static std::uint8_t data[kAnswerDataSize];
    for (std::size_t i = 1; i < size; ++i) {
        if (requestEvery && i % requestEvery == 0)
            state.beginRequest();
        const auto completed = state.feed(input[i]);
        check(state.receivedCount() <= kAnswerDataSize);
        if (!completed)
            continue;
        check(*completed == 0 || *completed == -2);
        const std::uint32_t count = state.receivedCount();
        std::uint8_t mode = 0, address = 0, command = 0, length = 0;
        check(state.take(&mode, &address, &command, &length, data) == *completed);
        if (*completed != 0) {
            check(mode == 0 && address == 0 && command == 0 && length == 0);
            continue;
        }
        check(isKnownMode(mode));
        if (length != 0xFF) {
            check(count == length);
        } else {
            // an accepted block list is one the walker accepts too
            check(count >= 1 && data[count - 1] == 0xFF);
            const std::int32_t blocks = countBlocks(data, static_cast<std::int32_t>(count));
            check(blocks >= 0);
            std::uint8_t block[255];
            std::uint32_t blockLength = 0;
            for (std::int32_t b = 0; b < blocks; ++b)
                check(copyBlock(data, static_cast<std::int32_t>(count), b, block, &blockLength) && blockLength < 255);
        }
    }
    return 0;
}
