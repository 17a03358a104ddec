// The data model codec's parts (brenholt_datamodel.h is its C interface):
// the ISO 28560-3 CRC, ISO/IEC 15962 lengths and compaction schemes, and
// the classification itself. Pure functions of the bytes given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "brenholt_datamodel.h"

namespace brenholt::datamodel {

using Bytes = std::span<const std::uint8_t>;

// CRC-16 with polynomial 0x1021, most significant bit first, start 0xFFFF,
// no final XOR.
std::uint16_t crc16(Bytes data);

// The CRC of an ISO 28560-3 basic block: bytes 0-18 and 21-33, bytes past
// the end of memory counted as 0x00.
std::uint16_t basicBlockCrc(Bytes memory);

// An ISO/IEC 15962 length at memory[pos]: 7 bits per byte, most significant
// group first, bit 7 set on every byte but the last. Gives the length and
// moves pos past it; nothing when memory ends inside it or it is longer than
// four bytes.
std::optional<std::size_t> readLength(Bytes memory, std::size_t& pos);

// A value as text.
struct Text {
    std::string text;
    bool hex = false;  // the bytes in hex: they do not decode as text
};

// Compacted data of one element undone (scheme BRN_DM_COMPACTION_*); oid
// selects the application-defined decoding (the ISIL scheme for OIDs 3
// and 11, hex otherwise).
Text decompact(unsigned scheme, unsigned oid, Bytes data);

// Classifies and decodes; afi and dsfid are 0-255 or BRN_DM_BYTE_UNKNOWN,
// memory at least BRN_DM_MIN_MEMORY bytes.
void classify(Bytes memory, int afi, int dsfid, brnDataModelInfo& info);

// The English name of an element's field; "" when there is none.
const char* elementName(const brnDataElement& element);

} // namespace brenholt::datamodel
