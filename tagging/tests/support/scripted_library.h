// A stand-in for the tag mapping library: records every call in order,
// answers from a script of result codes, and keeps the continuous-reading
// callback so a test can raise reading events. Error texts are GBK bytes,
// as the library gives them.
#pragma once

#include "reader_library.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <optional>
#include <vector>
#include <string>

class ScriptedLibrary final : public ReaderLibrary {
public:
    // Installs itself for its lifetime.
    ScriptedLibrary();
    ~ScriptedLibrary() override;

    const char* errorString(int code) override;
    int openSerial(int port, ReaderHandle* handle, int* family) override;
    int close(ReaderHandle handle) override;
    int readerConnected(ReaderHandle handle) override;
    int getReadSessionDuration(ReaderHandle handle, std::uint32_t number, std::uint32_t* ms) override;
    int setReadSessionDuration(ReaderHandle handle, std::uint32_t number, std::uint32_t ms) override;
    int setSortingBufferDepth(ReaderHandle handle, int depth) override;
    int startReadingItems(ReaderHandle handle, std::uint32_t requestMask, ItemCallback callback,
                          void* context) override;
    int stopReadingItems(ReaderHandle handle) override;
    int setTagMemoryCallback(ReaderHandle handle, std::uint32_t maxBlocks, TagMemoryCallback callback,
                             void* context) override;
    int readSingleTagMemory(ReaderHandle handle, std::uint32_t retryDelayMs, std::uint32_t maxBlocks,
                            brnTagMemory* memory) override;
    int readSingleItem(ReaderHandle handle, std::uint32_t retryDelayMs, std::uint32_t requestMask,
                       brnItem* item) override;
    int inventory(ReaderHandle handle) override;
    int writeItems(ReaderHandle handle, brnItem* item) override;

    // Another library's tag: ISO 28560-3, item 1000000056 of DK-718500 (the
    // public example of its basic block), UID E004010028560003, AFI 0x07.
    static brnTagMemory standardTagMemory();

    // Raises a reading event with the last start's callback and context.
    void raise(int event, brnItem* item);
    // Hands a tag's memory to the tag memory callback given since the last
    // start, if any.
    void raiseTagMemory(const brnTagMemory& memory);

    // The calls so far, e.g. "brnOpenSerial 3", "brnSetReadSessionDuration #1 50",
    // "brnClose #1"; #n is the handle of the n-th successful open, #0 none.
    QStringList calls;
    // Result of each call by name (e.g. "brnOpenSerial"); 0 when not given.
    std::map<QString, int> results;
    // The read session duration the reader answers with.
    std::uint32_t readerDuration = 200;
    int family = 5;
    // Error texts by code (GBK bytes); other codes give "".
    std::map<int, std::string> errorTexts;
    // The items handed to brnWriteItems, as they came.
    std::vector<brnItem> written;
    // Runs in each brnOpenSerial, before it answers (the speed scan).
    std::function<void()> onOpen;
    // Applied to each item written, as the library may change it (e.g. the
    // number offset of library 44120).
    std::function<void(brnItem&)> onWrite;
    // Whether the reader's line is up (brnReaderConnected; not among the calls).
    bool lineUp = true;
    // The tags an inventory finds.
    int tagsInField = 1;
    // What brnReadSingleItem finds: the item last written, unless given here.
    std::optional<brnItem> tagOnReader;
    // What brnReadSingleTagMemory finds (result "brnReadSingleTagMemory"):
    // no memory at all unless given. The tag memory calls are kept apart
    // from the calls above: "brnReadSingleTagMemory #1 10 256",
    // "brnSetTagMemoryCallback #1 256".
    brnTagMemory tagMemory{};
    QStringList memoryCalls;

private:
    int result(const QString& call) const;
    static QString name(ReaderHandle handle);
    ScriptedLibrary* m_previous;
    int m_opened = 0;
    ItemCallback m_callback = nullptr;
    void* m_context = nullptr;
    TagMemoryCallback m_memoryCallback = nullptr;
    void* m_memoryContext = nullptr;
    ReaderHandle m_reading = nullptr;
    brnItem m_lastOnTag{};
};
