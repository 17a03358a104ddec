// Fuzzes the simulated TALU reader with whatever a host may send it: each
// input is cut into commands (a command byte, a length byte, data), sent as
// well-formed ZPX frames to a reader with a few tags in its field.
#include <cstddef>
#include <cstdint>
#include <span>

#include "sim/reader.h"
#include "zpx/zpx_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    sim::PersonalityOptions options;
    options.extra["rf"] = "on";
    auto reader = sim::Reader::create("talu", options);
    for (const char* uid : {"E004010012345678", "E004010012345679", "E004010055667788"})
        reader->place(sim::Tag(*sim::uidFromText(uid), 8));
    reader->editTag(*sim::uidFromText("E004010012345679"), [](sim::Tag& t) { t.setEasSupported(false); });

    const std::span<const std::uint8_t> input(data, size);
    for (std::size_t i = 0; i + 2 <= size;) {
        const std::uint8_t command = data[i];
        const std::size_t n = std::min<std::size_t>(data[i + 1], size - i - 2);
        reader->exchange(sim::zpx::requestFrame({sim::zpx::kModeAddrCrc, 0, command, input.subspan(i + 2, n)}));
        i += n + 2;
    }
    return 0;
}
