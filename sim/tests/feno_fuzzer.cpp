// Fuzzes the simulated FENO reader's command parsing: the input is cut into
// commands ([command][length][data]) sent as ZPX frames without a check, to
// a reader with three tags (one without EAS support) on its antenna.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "sim/reader.h"
#include "zpx/zpx_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    auto reader = sim::Reader::create("feno");
    for (const char* uid : {"E004010012345678", "E004010012345679", "E0070100AABBCCDD"})
        reader->place(sim::Tag(*sim::uidFromText(uid), 8));
    reader->editTag(*sim::uidFromText("E004010012345679"), [](sim::Tag& t) { t.setEasSupported(false); });

    const std::span<const std::uint8_t> input(data, size);
    std::vector<std::uint8_t> frames;
    for (std::size_t i = 0; i + 1 < size;) {
        const std::size_t n = std::min<std::size_t>(data[i + 1], size - i - 2);
        const auto frame = sim::zpx::requestFrame({sim::zpx::kModePlain, 0, data[i], input.subspan(i + 2, n)});
        frames.insert(frames.end(), frame.begin(), frame.end());
        i += n + 2;
    }
    reader->exchange(frames);
    return 0;
}
