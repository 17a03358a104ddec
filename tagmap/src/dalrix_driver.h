// The second-make driver, Dalrix.so: loaded on first need from the folder
// that holds this library (then from the program's folder, never from the
// current directory) and bound by the names of its entry points.
#pragma once

#include "brenholt.h"
#include "dalrix.h"

namespace brenholt {

// The driver's codes pass through this library unchanged under their names here.
static_assert(BRN_DRV_NO_ANSWER == DRV_NO_ANSWER && BRN_DRV_CRC_ERROR == DRV_CRC_ERROR &&
              BRN_DRV_LENGTH_ERROR == DRV_LENGTH_ERROR && BRN_DRV_BUSY == DRV_BUSY);

// The entry points this library calls.
struct DalrixDriver {
    decltype(&::OpenComPort) OpenComPort;
    decltype(&::CloseComPort) CloseComPort;
    decltype(&::GetReaderInformation) GetReaderInformation;
    decltype(&::SetActiveANT) SetActiveANT;
    decltype(&::OpenRf) OpenRf;
    decltype(&::CloseRf) CloseRf;
    decltype(&::Inventory) Inventory;
    decltype(&::Select) Select;
    decltype(&::ReadSingleBlock) ReadSingleBlock;
    decltype(&::ReadMultipleBlock) ReadMultipleBlock;
    decltype(&::WriteSingleBlock) WriteSingleBlock;
    decltype(&::LockBlock) LockBlock;
    decltype(&::WriteAFI) WriteAFI;
    decltype(&::GetSystemInformation) GetSystemInformation;
    decltype(&::TransparentRead) TransparentRead;
    decltype(&::TransparentWrite) TransparentWrite;
    // Not one of the 44 every driver has: null when the driver cannot tell
    // whether its line is up (it is then taken as up).
    decltype(&::ComPortConnected) ComPortConnected;
};

// The driver, once Dalrix.so has been loaded (see above) and
// all 44 entry points of the driver interface have been found in it; it then
// stays loaded for the life of the process. Null while the file or one of
// the names is missing (a later call looks again; nothing of a library that
// lacks a name is ever called).
const DalrixDriver* dalrixDriver();

} // namespace brenholt
