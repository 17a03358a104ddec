#include "dalrix_driver.h"

#include <iterator>
#include <memory>
#include <string>

#include "platform/dynlib.h"

namespace brenholt {
namespace {

// The driver interface, in the order the names are looked up; the first
// missing one ends the search.
constexpr const char* kEntryPoints[] = {
    "AutoOpenComPort", "OpenComPort", "CloseComPort", "CloseSpecComPort", "GetReaderInformation", "OpenRf", "CloseRf",
    "WriteComAdr", "WriteInventoryScanTime", "SetGeneralOutput", "GetGeneralInput", "SetRelay", "SetActiveANT",
    "GetANTStatus", "SetUserDefinedBlockLength", "GetUserDefinedBlocklength", "SetScanMode", "GetScanModeStatus",
    "ReadScanModeData", "SetAccessTime", "GetAccessTime", "SetReceiveChannel", "GetReceiveChannelStatus",
    "SetParseMode", "GetParseMode", "Inventory", "StayQuiet", "ReadSingleBlock", "WriteSingleBlock", "LockBlock",
    "ReadMultipleBlock", "Select", "ResetToReady", "WriteAFI", "LockAFI", "WriteDSFID", "LockDSFID",
    "GetSystemInformation", "CustomizedReadSingleBlock", "CustomizedWriteSingleBlock",
    "CustomizedReadMultipleBlock", "TransparentRead", "TransparentWrite", "TransparentCustomizedCmd"};
static_assert(std::size(kEntryPoints) == 44);

template <typename F>
void bind(const platform::SharedLibrary& library, F& entry, const char* name)
{
    entry = reinterpret_cast<F>(library.symbol(name));
}

// The driver's file name; also the address by which the folder of this
// library is found.
constexpr char kDriverFile[] = "Dalrix.so";

std::unique_ptr<DalrixDriver> load()
{
    // Beside this library, else beside the program; never from the current directory.
    auto library = platform::SharedLibrary::openByName(kDriverFile, kDriverFile);
    if (!library.isOpen())
        return nullptr;
    for (const char* name : kEntryPoints)
        if (!library.symbol(name))
            return nullptr; // unloaded again on the way out
    auto driver = std::make_unique<DalrixDriver>();
    bind(library, driver->OpenComPort, "OpenComPort");
    bind(library, driver->CloseComPort, "CloseComPort");
    bind(library, driver->GetReaderInformation, "GetReaderInformation");
    bind(library, driver->SetActiveANT, "SetActiveANT");
    bind(library, driver->OpenRf, "OpenRf");
    bind(library, driver->CloseRf, "CloseRf");
    bind(library, driver->Inventory, "Inventory");
    bind(library, driver->Select, "Select");
    bind(library, driver->ReadSingleBlock, "ReadSingleBlock");
    bind(library, driver->ReadMultipleBlock, "ReadMultipleBlock");
    bind(library, driver->WriteSingleBlock, "WriteSingleBlock");
    bind(library, driver->LockBlock, "LockBlock");
    bind(library, driver->WriteAFI, "WriteAFI");
    bind(library, driver->GetSystemInformation, "GetSystemInformation");
    bind(library, driver->TransparentRead, "TransparentRead");
    bind(library, driver->TransparentWrite, "TransparentWrite");
    bind(library, driver->ComPortConnected, "ComPortConnected");
    library.keepLoaded();
    return driver;
}

} // namespace

const DalrixDriver* dalrixDriver()
{
    static std::unique_ptr<DalrixDriver> driver;
    if (!driver)
        driver = load();
    return driver.get();
}

} // namespace brenholt
