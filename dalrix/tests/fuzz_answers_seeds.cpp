// Writes the seed corpus of the answer fuzzer: the simulated second-make
// reader's answers to the requests the driver sends.
//
//   dalrix_answer_seeds DIR    (dalrix/tests/answers_corpus in the sources)
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "frame_codec.h"
#include "sim/iso15693.h"
#include "sim/reader.h"
#include "sim/tag.h"

using dalrix::Bytes;
using dalrix::TDalrix1;

namespace {

struct Seed {
    const char* name;
    std::uint8_t command, state;
    Bytes data;
    std::uint8_t count = 0; // blocks of a multiple-block read
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const Seed seeds[] = {
        {"reader_information", 0x00, 0xF0, {}},
        {"general_input", 0x06, 0xF0, {}},
        {"scan_mode_status", 0x0B, 0xF0, {}},
        {"inventory_one", 0x01, 0x00, {}},
        {"inventory_stream", 0x01, 0x06, {}},
        {"inventory_stream_afi", 0x01, 0x07, {0x00}},
        {"read_block", 0x20, 0x00, {0x01}},
        {"read_block_missing", 0x20, 0x00, {0x60}},
        {"read_blocks", 0x23, 0x00, {0x00, 0x03}, 4},
        {"system_information", 0x2B, 0x00, {}},
        {"transparent_read", 0x02, 0xE0, {0x23, 0x02, 0x20, 0x00}},
    };
    for (const Seed& s : seeds) {
        auto reader = sim::Reader::create("dalrix");
        reader->setRf(true);
        for (const char* uid : {"E004010012345678", "E0040100AABBCCDD"})
            reader->place(sim::Tag(*sim::uidFromText(uid)));
        if (s.command >= 0x20 && s.state != 0xE0) // tag commands without a UID: one tag
            reader->remove(*sim::uidFromText("E0040100AABBCCDD"));
        const auto request = TDalrix1::buildRequest(0, s.command, s.state, {}, s.data);
        const auto answer = reader->exchange(*request);
        Bytes seed{0, s.state, s.count};
        seed.insert(seed.end(), answer.begin(), answer.end());
        std::ofstream(std::string(argv[1]) + "/" + s.name, std::ios::binary)
            .write(reinterpret_cast<const char*>(seed.data()), static_cast<std::streamsize>(seed.size()));
    }
    return 0;
}
