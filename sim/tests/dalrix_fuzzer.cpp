// Fuzzes the simulated second-make reader with requests that pass its CRC
// check, so the fuzzer reaches the command handling: the input is chunks of
// a length byte and that many bytes (address, command, state, data); each
// chunk of 3 to 250 bytes goes out as a frame with its Len and right CRC,
// any other chunk as raw bytes on the line.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "sim/reader.h"

namespace {

std::uint16_t crc16(std::span<const std::uint8_t> bytes)
{
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t b : bytes) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408) : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> input(data, size);
    std::vector<std::uint8_t> host;
    for (std::size_t i = 0; i < size;) {
        const std::size_t n = std::min<std::size_t>(data[i], size - i - 1);
        const auto chunk = input.subspan(i + 1, n);
        i += n + 1;
        if (n < 3 || n > 250) {
            host.insert(host.end(), chunk.begin(), chunk.end());
            continue;
        }
        const std::size_t start = host.size();
        host.push_back(static_cast<std::uint8_t>(n + 2));
        host.insert(host.end(), chunk.begin(), chunk.end());
        const std::uint16_t crc = crc16(std::span(host).subspan(start));
        host.push_back(static_cast<std::uint8_t>(crc & 0xFF));
        host.push_back(static_cast<std::uint8_t>(crc >> 8));
    }

    auto reader = sim::Reader::create("dalrix");
    sim::Tag eas(*sim::uidFromText("E004010012345678"));
    eas.setEas(true);
    sim::Tag plain(*sim::uidFromText("E004010012345679"), 8, 8);
    plain.setEasSupported(false);
    reader->place(eas);
    reader->place(plain);
    if (size > 2 && data[0] == 0xFA)
        reader->addFault(sim::Fault::statusByte(0x0F));
    reader->exchange(host);
    return 0;
}
