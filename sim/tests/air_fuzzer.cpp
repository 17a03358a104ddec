// Fuzzes what the simulator takes from outside: air requests to tags (with
// the 16-slot pulses), host bytes through a reader's framing and faults, and
// the tag and fault text forms.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "sim/fault.h"
#include "sim/field.h"
#include "sim/raw.h"
#include "sim/reader.h"
#include "sim/tag_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> input(data, size);
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    sim::parseTagLine(text);
    sim::parseFault(text);

    // Requests separated by a length byte; length 0 is a slot pulse.
    sim::Field field;
    for (const char* uid : {"E004010012345678", "E004010012345679", "E0070100AABBCCDD"})
        field.place(sim::Tag(*sim::uidFromText(uid), 8));
    field.find(*sim::uidFromText("E004010012345679"))->setEasSupported(false);
    for (std::size_t i = 0; i < size;) {
        const std::size_t n = std::min<std::size_t>(data[i], size - i - 1);
        field.transact(input.subspan(i + 1, n));
        i += n + 1;
    }
    if (size)
        field.inventory(data[0] & 0x33);

    auto reader = sim::Reader::create("raw");
    reader->place(sim::Tag(*sim::uidFromText("E004010012345678")));
    if (size > 2 && data[0] == 0xFA)
        reader->addFault(sim::Fault::cutShort());
    reader->exchange(input);
    return 0;
}
