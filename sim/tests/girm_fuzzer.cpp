// Fuzzes the simulated GIRM gate with host commands: each chunk of the input
// (a length byte, then a command byte and its data) goes out as one frame
// without CRC, with armed and quiet tags in the gate.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "sim/reader.h"
#include "zpx/zpx_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    auto reader = sim::Reader::create("girm");
    bool eas = true;
    for (const char* uid : {"E004010012345671", "E004010012345681", "E007010012345672"}) {
        sim::Tag tag(*sim::uidFromText(uid), 8);
        tag.setEas(eas);
        eas = !eas;
        reader->place(tag);
    }
    for (std::size_t i = 0; i < size;) {
        const std::size_t n = std::min<std::size_t>(data[i], size - i - 1);
        if (n >= 1) {
            const std::span<const std::uint8_t> chunk(data + i + 1, n);
            reader->exchange(sim::zpx::requestFrame({sim::zpx::kModePlain, 0, chunk[0], chunk.subspan(1)}));
        }
        i += n + 1;
    }
    return 0;
}
