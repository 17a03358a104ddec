// Fuzzing the answer parsers of the reader families: every exported command
// that reads something out of a reader's answer runs, compiled from the
// library's own sources, over a stand-in transport whose "line" is the
// fuzzer's input. The bytes go through the real frame receiver (its CRC
// check switched off), so the commands see exactly the answers a link could
// hand them; outputs are heap buffers of exactly the documented sizes, so
// that AddressSanitizer reports any write past them.
//
// Input: [call][n][n argument bytes][bytes the reader sends...]
//   call       picks the command from the table (modulo its size)
//   arguments  the command's arguments, drawn in order; 0 once used up
//              (argument byte 0, bit 0: pass NULL for every output)
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace sim {
class Reader;
}

namespace quorvel::fuzz {

// The link handle the stand-in transport accepts.
inline constexpr std::int32_t kHandle = 1;

// The arguments of one call, and the buffers they point to.
class Args {
public:
    explicit Args(std::span<const std::uint8_t> bytes);

    std::uint8_t u8();
    std::uint16_t u16();
    // Mostly small values, some negative ones, any value now and then.
    std::int32_t i32();
    // count bytes to read from (exactly count bytes long).
    const std::uint8_t* in(std::size_t count);
    // count 16-bit values to read from.
    const std::uint16_t* words(std::size_t count);
    // A zero-terminated text of up to 300 characters.
    const char* text();
    // An output of count values of T, zero-filled (NULL when the input asks for it).
    template <typename T>
    T* out(std::size_t count = 1)
    {
        if (nullOutputs_)
            return nullptr;
        return reinterpret_cast<T*>(buffer(count * sizeof(T)));
    }
    // A text output of size bytes; after the call it must hold its zero byte.
    char* textOut(std::size_t size);
    // An in-and-out buffer of size bytes, filled from the arguments.
    std::uint8_t* inOut(std::size_t size);
    std::uint8_t* status() { return out<std::uint8_t>(); }

    // Aborts unless code is one a command may return: 0, QVL_ERR_TIMEOUT or
    // a transport code; checks that text outputs are terminated.
    void check(std::int32_t code) const;

private:
    std::uint8_t* buffer(std::size_t size);

    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
    bool nullOutputs_ = false;
    std::vector<std::unique_ptr<std::uint8_t[]>> buffers_;
    std::vector<std::pair<const char*, std::size_t>> texts_;
};

struct Call {
    const char* name;
    void (*run)(Args&);
};

// The tables, one per family source (the link and identification commands
// are in the FENO table).
std::span<const Call> fenoCalls();
std::span<const Call> orbaCalls();
std::span<const Call> taluCalls();
std::span<const Call> girmCalls();
// All of them, in this order (the fuzz target's table).
std::span<const Call> allCalls();

// Runs one input (LLVMFuzzerTestOneInput).
int runInput(const std::uint8_t* data, std::size_t size);

// Seed generation: the line is a simulated reader; runs allCalls()[index]
// with no arguments and returns the input that replays it (what the reader
// sent as the line).
std::vector<std::uint8_t> recordSeed(std::size_t index, sim::Reader& reader);

} // namespace quorvel::fuzz
