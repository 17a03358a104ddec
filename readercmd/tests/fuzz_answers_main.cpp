// libFuzzer entry of the answer fuzzer (see fuzz_answers.h).
#include <cstddef>
#include <cstdint>

#include "frame.h"
#include "fuzz_answers.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    linvaro::setCrcCheck(false); // answers reach the parsers whatever their check bytes
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return quorvel::fuzz::runInput(data, size);
}
