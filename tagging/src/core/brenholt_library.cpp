// The program's binding to the tag mapping library: each member forwards to
// the library's exported function of the same meaning.
//
//   errorString            brnGetErrorString
//   openSerial             brnOpenSerial
//   close                  brnClose
//   readerConnected        brnReaderConnected
//   getReadSessionDuration brnGetReadSessionDuration
//   setReadSessionDuration brnSetReadSessionDuration
//   setSortingBufferDepth  brnSetSortingBufferDepth
//   startReadingItems      brnStartReadingItems
//   stopReadingItems       brnStopReadingItems
//   setTagMemoryCallback   brnSetTagMemoryCallback
//   readSingleItem         brnReadSingleItem
//   readSingleTagMemory    brnReadSingleTagMemory
//   inventory              brnInventory
//   writeItems             brnWriteItems
//
// Continuous reading calls back on the thread that started it, from that
// thread's platform message loop, which the program drives from Qt's loop
// (CLoopBridge).
#include "reader_library.h"

namespace {

class BrenholtLibrary final : public ReaderLibrary {
public:
    const char* errorString(int code) override { return brnGetErrorString(code); }

    int openSerial(int port, ReaderHandle* handle, int* family) override { return brnOpenSerial(port, handle, family); }
    int close(ReaderHandle handle) override { return brnClose(handle); }
    int readerConnected(ReaderHandle handle) override { return brnReaderConnected(handle); }

    int getReadSessionDuration(ReaderHandle handle, std::uint32_t number, std::uint32_t* ms) override
    {
        return brnGetReadSessionDuration(handle, number, ms);
    }
    int setReadSessionDuration(ReaderHandle handle, std::uint32_t number, std::uint32_t ms) override
    {
        return brnSetReadSessionDuration(handle, number, ms);
    }
    int setSortingBufferDepth(ReaderHandle handle, int depth) override
    {
        return brnSetSortingBufferDepth(handle, depth);
    }

    int startReadingItems(ReaderHandle handle, std::uint32_t requestMask, ItemCallback callback,
                          void* context) override
    {
        return brnStartReadingItems(handle, requestMask, callback, context);
    }
    int stopReadingItems(ReaderHandle handle) override { return brnStopReadingItems(handle); }
    int setTagMemoryCallback(ReaderHandle handle, std::uint32_t maxBlocks, TagMemoryCallback callback,
                             void* context) override
    {
        return brnSetTagMemoryCallback(handle, maxBlocks, callback, context);
    }

    int readSingleItem(ReaderHandle handle, std::uint32_t retryDelayMs, std::uint32_t requestMask,
                       brnItem* item) override
    {
        return brnReadSingleItem(handle, retryDelayMs, requestMask, item);
    }
    int readSingleTagMemory(ReaderHandle handle, std::uint32_t retryDelayMs, std::uint32_t maxBlocks,
                            brnTagMemory* memory) override
    {
        return brnReadSingleTagMemory(handle, retryDelayMs, maxBlocks, memory);
    }
    int inventory(ReaderHandle handle) override { return brnInventory(handle); }
    int writeItems(ReaderHandle handle, brnItem* item) override { return brnWriteItems(handle, item); }
};

} // namespace

ReaderLibrary& brenholtLibrary()
{
    static BrenholtLibrary library;
    return library;
}
