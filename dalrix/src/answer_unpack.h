// What the exports take out of a checked answer: each command's answer data
// unpacked into the caller's variables. Stateless, so that the unpacking can
// be exercised apart from a port.
//
// Every function returns 0, or DRV_LENGTH_ERROR when the data do not have the
// length the command needs (nothing is written then). Null outputs are skipped.
#pragma once

#include <cstdint>
#include <span>

#include "frame_codec.h"

namespace dalrix {

// Block sizes of the tag commands by their state byte.
std::size_t readBlockSize(std::uint8_t state);
std::size_t writeBlockSize(std::uint8_t state);

// A reader query answered with exactly one byte.
int unpackByte(std::span<const std::uint8_t> data, std::uint8_t* value);

// The reader information: at least 8 data bytes. address receives the
// answering reader's address; data bytes 2 and 3 are not passed on.
int unpackReaderInformation(const Answer& answer, std::uint8_t* address, std::uint8_t* version,
                            std::uint8_t* infoA, std::uint8_t* infoB, std::uint8_t* scanTime);

// One block: its security status byte, then readBlockSize(state) bytes.
int unpackSingleBlock(std::span<const std::uint8_t> data, std::uint8_t state, std::uint8_t* securityStatus,
                      std::uint8_t* block);

// count blocks, each a security status byte and readBlockSize(state) bytes:
// count status bytes and count blocks back to back.
int unpackMultipleBlocks(std::span<const std::uint8_t> data, std::uint8_t state, std::uint8_t count,
                         std::uint8_t* securityStatus, std::uint8_t* blocks);

// Flags, the 8-byte UID, then the fields the flags announce (bits 0 to 3):
// DSFID, AFI, memory size (2 bytes), IC reference.
int unpackSystemInformation(std::span<const std::uint8_t> data, std::uint8_t* flags, std::uint8_t* uid,
                            std::uint8_t* dsfid, std::uint8_t* afi, std::uint8_t* memorySize,
                            std::uint8_t* icReference);

// All data bytes (a buffer of at most 251).
void copyAll(std::span<const std::uint8_t> data, std::uint8_t* out);

} // namespace dalrix
