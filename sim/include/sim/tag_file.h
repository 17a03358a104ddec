// Tags as text: one tag per line, used by readersim's tag files and its
// "place" command.
//
//   # a comment; blank lines are ignored
//   E004010012345678 afi=91 eas=1 locked=0-1 00000001 4C494231 00000000
//
// First the UID (16 hex digits, most significant first), then in any order:
//   afi=HH  dsfid=HH        AFI / DSFID value (hex)
//   eas=0|1                 EAS bit
//   noeas                   a chip without EAS support
//   blocks=N                number of blocks (1 to 256, default 28)
//   locked=LIST             locked blocks: numbers and ranges, e.g. 0-7,9
//   afilock dsfidlock easlock
//   HHHHHHHH                block values from block 0 on, 8 hex digits each,
//                           written as numbers (11223344: tag bytes 44 33 22 11)
//   mem=HHHH...             or the memory as bytes in tag order, from byte 0 of
//                           block 0 on, two hex digits a byte (110101: bytes
//                           11 01 01); the last block is filled up with zeros.
//                           Tags in other data models are written this way.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/tag.h"

namespace sim {

// One line; nothing (and error set) when malformed. Blank and comment lines
// are malformed here (loadTagFile skips them).
std::optional<Tag> parseTagLine(std::string_view line, std::string* error = nullptr);
// The line that parseTagLine turns back into the same tag memory.
std::string formatTagLine(const Tag& tag);
// Every tag of a file; nothing and error ("FILE:LINE: why") on the first bad line.
std::optional<std::vector<Tag>> loadTagFile(const std::string& path, std::string* error = nullptr);
// A multi-line listing of a tag's memory for people (readersim's "dump").
std::string dumpTag(const Tag& tag);

} // namespace sim
