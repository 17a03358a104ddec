// Readers of the first make, reached through the reader command library. Their
// handle is the link number (1 and up) the library's link functions give out,
// carried in the pointer-sized handle.
#pragma once

#include <cstdint>
#include <string>

#include "brenholt.h"

namespace brenholt {

brnHandle handleOfLink(std::int32_t link);
std::int32_t linkOf(brnHandle handle);
// Whether handle can be a link: a positive number, not a second-make record.
bool isLinkHandle(brnHandle handle);

// The speed scan: at 115200, 57600, 38400, 19200, 9600 and 4800 baud, open a
// link on the port and ask the reader who it is; the first link whose reader
// answers is kept, every other one closed again.
struct SpeedScan {
    bool found = false;
    std::int32_t link = 0;
    std::string identification;
    bool portOpened = false;     // the port could be opened at some speed
    std::int32_t lastResult = 0; // the last identification that failed
    std::uint8_t lastStatus = 0;
};
SpeedScan scanSpeeds(std::int32_t port);

// The reader family an identification text names; 0 for texts of no family.
std::int32_t familyOfIdentification(const std::string& text);

} // namespace brenholt
