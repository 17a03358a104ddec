// Readers of the second make, reached through the Dalrix driver. Their
// handle is the address of a one-byte reader address record that this
// library allocates at open (0xFF: any reader) and frees at close; the driver
// reads it with every call.
#pragma once

#include <cstdint>

#include "brenholt.h"

namespace brenholt {

struct Opened {
    std::int32_t code = BRN_OK;
    brnHandle handle = nullptr;
};

// Opens COMport through the driver and asks the reader for its information:
// -8 when the driver is missing, -1 when the port cannot be opened, -4 when
// the reader does not answer (the driver's port is closed again then).
Opened openSecondMake(std::int32_t port);
// Whether handle is an address record of an open second-make reader.
bool isSecondMakeReader(brnHandle handle);
// Closes the driver's port and frees the address record.
void closeSecondMake(brnHandle handle);
// Whether the driver's port is open and its line up (a driver that cannot
// tell is taken as up).
bool secondMakeLineUp();
// Makes antenna the active one: the driver's result.
std::int32_t selectSecondMakeAntenna(brnHandle handle, std::uint8_t antenna);

} // namespace brenholt
