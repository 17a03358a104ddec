// Writes the seed corpus of the answer fuzzer: every command of its table run
// once against the simulated reader of its family, with tags on the antenna;
// each seed replays what the reader answered.
//
//   quorvel_answer_seeds DIR    (readercmd/tests/answers_corpus in the sources)
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

#include "fuzz_answers.h"
#include "sim/reader.h"
#include "sim/iso15693.h"
#include "sim/tag.h"

namespace {

std::string_view familyOf(std::string_view call)
{
    if (call.starts_with("ORBA_"))
        return "orba";
    if (call.starts_with("TALU_"))
        return "talu";
    if (call.starts_with("GIRM_"))
        return "girm";
    return "feno";
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const auto calls = quorvel::fuzz::allCalls();
    // One tag on the antenna, then two (several records, collisions).
    for (const int tags : {1, 2}) {
        for (std::size_t i = 0; i < calls.size(); ++i) {
            auto reader = sim::Reader::create(familyOf(calls[i].name));
            reader->setRf(true);
            for (const char* uid : {"E004010012345678", "E0040100AABBCCDD"}) {
                if (reader->tags().size() < static_cast<std::size_t>(tags))
                    reader->place(sim::Tag(*sim::uidFromText(uid)));
            }
            const auto seed = quorvel::fuzz::recordSeed(i, *reader);
            const std::string name = std::string(argv[1]) + "/" + calls[i].name + (tags > 1 ? ".2" : "");
            std::ofstream(name, std::ios::binary)
                .write(reinterpret_cast<const char*>(seed.data()), static_cast<std::streamsize>(seed.size()));
        }
    }
    return 0;
}
