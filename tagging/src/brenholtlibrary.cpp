// The program's binding to the tag mapping library: each member forwards to
// the library's exported function of the same meaning.
//
//   errorString            brnGetErrorString
//   openSerial             brnOpenSerial
//   close                  brnClose
//   getReadSessionDuration brnGetReadSessionDuration
//   setReadSessionDuration brnSetReadSessionDuration
//   setSortingBufferDepth  brnSetSortingBufferDepth
//   startReadingItems      brnStartReadingItems
//   stopReadingItems       brnStopReadingItems
//   readSingleItem         brnReadSingleItem
//   writeItems             brnWriteItems
//
// The library does not export continuous reading and writing yet. Until it
// does, those three members behave as the library does for a handle it
// cannot use: they fail with "invalid handle" (-5). Binding them is a matter
// of replacing their bodies by the forwarding calls.
#include "readerlibrary.h"

namespace {

constexpr int kInvalidHandle = -5;

class BrenholtLibrary final : public ReaderLibrary {
public:
    const char* errorString(int code) override { return brnGetErrorString(code); }

    int openSerial(int port, ReaderHandle* handle, int* family) override { return brnOpenSerial(port, handle, family); }
    int close(ReaderHandle handle) override { return brnClose(handle); }

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

    int startReadingItems(ReaderHandle, std::uint32_t, ItemCallback, void*) override { return kInvalidHandle; }
    int stopReadingItems(ReaderHandle) override { return kInvalidHandle; }

    int readSingleItem(ReaderHandle handle, std::uint32_t retryDelayMs, std::uint32_t requestMask,
                       brnItem* item) override
    {
        return brnReadSingleItem(handle, retryDelayMs, requestMask, item);
    }
    int writeItems(ReaderHandle, brnItem*) override { return kInvalidHandle; }
};

} // namespace

ReaderLibrary& brenholtLibrary()
{
    static BrenholtLibrary library;
    return library;
}
