// The driver's exports, looked up by name in the real Dalrix.so the way the
// tag mapping library binds them.
#pragma once

#include <string>

#include "dalrix.h"
#include "platform/dynlib.h"

// Every export, in the order the tag mapping library looks the first 44 up,
// then the three it leaves out (it looks the last one up without needing it).
#define DALRIX_EXPORTS(X)                                                                                  \
    X(AutoOpenComPort) X(OpenComPort) X(CloseComPort) X(CloseSpecComPort) X(GetReaderInformation) X(OpenRf) \
    X(CloseRf) X(WriteComAdr) X(WriteInventoryScanTime) X(SetGeneralOutput) X(GetGeneralInput) X(SetRelay)  \
    X(SetActiveANT) X(GetANTStatus) X(SetUserDefinedBlockLength) X(GetUserDefinedBlocklength)              \
    X(SetScanMode) X(GetScanModeStatus) X(ReadScanModeData) X(SetAccessTime) X(GetAccessTime)              \
    X(SetReceiveChannel) X(GetReceiveChannelStatus) X(SetParseMode) X(GetParseMode) X(Inventory)           \
    X(StayQuiet) X(ReadSingleBlock) X(WriteSingleBlock) X(LockBlock) X(ReadMultipleBlock) X(Select)        \
    X(ResetToReady) X(WriteAFI) X(LockAFI) X(WriteDSFID) X(LockDSFID) X(GetSystemInformation)              \
    X(CustomizedReadSingleBlock) X(CustomizedWriteSingleBlock) X(CustomizedReadMultipleBlock)              \
    X(TransparentRead) X(TransparentWrite) X(TransparentCustomizedCmd) X(SetActiveANT_2) X(GetANTStatus_2)     \
    X(ComPortConnected)

namespace dalrix_test {

struct DalrixApi {
#define DALRIX_MEMBER(name) decltype(&::name) name = nullptr;
    DALRIX_EXPORTS(DALRIX_MEMBER)
#undef DALRIX_MEMBER

    platform::SharedLibrary library;
    std::string missing; // the first name that did not resolve, if any

    bool complete() const { return library.isOpen() && missing.empty(); }
};

// The folder of the test program, where the build puts Dalrix.so.
std::string driverPath();

// Loads the driver once for the whole test program (it keeps one driver
// object per process, like every program that uses it) and binds every export.
DalrixApi& dalrix();

} // namespace dalrix_test
