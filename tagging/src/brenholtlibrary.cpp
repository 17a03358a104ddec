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
//
// The library does not export its reader functions yet (brenholt.h holds only
// the item records so far). Until it does, the binding behaves as the library
// does when no reader answers on the port: opening fails with "no reader
// found" (-8) and every call on a handle fails with "invalid handle" (-5).
// Binding it is a matter of replacing each body below by the forwarding call.
#include "readerlibrary.h"

namespace {

constexpr int kNoReaderFound = -8;
constexpr int kInvalidHandle = -5;

class BrenholtLibrary final : public ReaderLibrary {
public:
    const char* errorString(int) override { return ""; }

    int openSerial(int, ReaderHandle* handle, int*) override
    {
        *handle = nullptr;
        return kNoReaderFound;
    }
    int close(ReaderHandle) override { return 0; }

    int getReadSessionDuration(ReaderHandle, std::uint32_t, std::uint32_t*) override { return kInvalidHandle; }
    int setReadSessionDuration(ReaderHandle, std::uint32_t, std::uint32_t) override { return kInvalidHandle; }
    int setSortingBufferDepth(ReaderHandle, int) override { return kInvalidHandle; }

    int startReadingItems(ReaderHandle, std::uint32_t, ItemCallback, void*) override { return kInvalidHandle; }
    int stopReadingItems(ReaderHandle) override { return kInvalidHandle; }
};

} // namespace

ReaderLibrary& brenholtLibrary()
{
    static BrenholtLibrary library;
    return library;
}
