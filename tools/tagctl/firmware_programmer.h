// Programming an ORBA2 reader's microcontroller from a firmware HEX file:
// the programming application over the command library's primitives, apart
// from the command line so that tests can run it on a link of their own.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "quorvel_firmware.h"

namespace tagctl::firmware {

using Image = std::array<std::uint16_t, ORBA_IMAGE_WORDS>;

// A word the HEX file does not set (a set word has at most 14 bits).
inline constexpr std::uint16_t kUnset = 0xFFFF;
// Word addresses of the image: program memory, the ID words and the
// configuration word, data memory.
inline constexpr std::size_t kProgramWords = 0x2000;
inline constexpr std::size_t kConfigBase = 0x2000;
inline constexpr std::size_t kConfigWordAddress = 0x2007;
inline constexpr std::size_t kDataBase = 0x2100;
inline constexpr std::size_t kDataBytes = 256;

// The words a HEX file sets, kUnset elsewhere, parsed by ORBA_HexToBinFile
// (through a temporary image file). False for a malformed file.
bool loadHex(const std::string& hexPath, Image& image);

// The words programming will write and verify: every set word of program and
// data memory, the ID words 0x2000-0x2003 and the configuration word (the
// device keeps nothing at 0x2004-0x2006).
struct Count {
    std::size_t program = 0;
    std::size_t data = 0;
    std::size_t config = 0;
    std::size_t total() const { return program + data + config; }
};
Count countWords(const Image& image);

struct Result {
    bool ok = false;
    std::string call;         // the primitive that failed
    std::uint32_t address = 0; // the word address it failed at
    bool mismatch = false;    // the word read back differs
    std::uint16_t expected = 0;
    std::uint16_t got = 0;
    std::size_t written = 0;  // words programmed and verified
};

// Called after each verified word: words done, words in all.
using Progress = std::function<void(std::size_t done, std::size_t total)>;

// Erases the whole device (code protection included), then programs every
// word of countWords() and reads each back right after its cycle: program
// memory, data memory, then the ID and configuration words last, so that a
// code protection they set cannot hide what was verified before. One
// programming session per memory: only a new entry brings the address
// counter back to 0. Stops at the first failure; programming mode is always
// ended.
Result program(std::int32_t handle, const Image& image, const Progress& progress = {});

// A progress bar of `width` cells: "[#####.....]  50/100 words".
std::string progressBar(std::size_t done, std::size_t total, std::size_t width = 40);

} // namespace tagctl::firmware
