#include "scripted_library.h"

#include <algorithm>
#include <iterator>

ScriptedLibrary::ScriptedLibrary() : m_previous(static_cast<ScriptedLibrary*>(ReaderLibrary::install(this)))
{
}

ScriptedLibrary::~ScriptedLibrary()
{
    ReaderLibrary::install(m_previous);
}

brnTagMemory ScriptedLibrary::standardTagMemory()
{
    const QByteArray block = QByteArray::fromHex("1101013130303030303030353600000000000098a4444b3731383530300000000000");
    brnTagMemory memory{};
    const std::uint8_t uid[8] = {0xE0, 0x04, 0x01, 0x00, 0x28, 0x56, 0x00, 0x03};
    std::copy(std::begin(uid), std::end(uid), memory.uid);
    memory.afi = 0x07;
    memory.dsfid = memory.blockCount = memory.blockSize = -1;
    std::copy(block.begin(), block.end(), memory.memory);
    memory.size = 36; // nine blocks
    return memory;
}

int ScriptedLibrary::result(const QString& call) const
{
    const auto it = results.find(call);
    return it == results.end() ? 0 : it->second;
}

QString ScriptedLibrary::name(ReaderHandle handle)
{
    return QStringLiteral("#%1").arg(reinterpret_cast<std::uintptr_t>(handle));
}

const char* ScriptedLibrary::errorString(int code)
{
    const auto it = errorTexts.find(code);
    return it == errorTexts.end() ? "" : it->second.c_str();
}

int ScriptedLibrary::openSerial(int port, ReaderHandle* handle, int* readerFamily)
{
    calls << QStringLiteral("brnOpenSerial %1").arg(port);
    if (onOpen)
        onOpen();
    *handle = nullptr;
    const int rc = result(QStringLiteral("brnOpenSerial"));
    if (rc == 0) {
        *handle = reinterpret_cast<ReaderHandle>(static_cast<std::uintptr_t>(++m_opened));
        *readerFamily = family;
    }
    return rc;
}

int ScriptedLibrary::close(ReaderHandle handle)
{
    calls << QStringLiteral("brnClose ") + name(handle);
    return result(QStringLiteral("brnClose"));
}

int ScriptedLibrary::readerConnected(ReaderHandle handle)
{
    return handle ? (lineUp ? 1 : 0) : -5;
}

int ScriptedLibrary::getReadSessionDuration(ReaderHandle handle, std::uint32_t number, std::uint32_t* ms)
{
    calls << QStringLiteral("brnGetReadSessionDuration %1 %2").arg(name(handle)).arg(number);
    const int rc = result(QStringLiteral("brnGetReadSessionDuration"));
    if (rc == 0)
        *ms = readerDuration;
    return rc;
}

int ScriptedLibrary::setReadSessionDuration(ReaderHandle handle, std::uint32_t number, std::uint32_t ms)
{
    calls << QStringLiteral("brnSetReadSessionDuration %1 %2 %3").arg(name(handle)).arg(number).arg(ms);
    return result(QStringLiteral("brnSetReadSessionDuration"));
}

int ScriptedLibrary::setSortingBufferDepth(ReaderHandle handle, int depth)
{
    calls << QStringLiteral("brnSetSortingBufferDepth %1 %2").arg(name(handle)).arg(depth);
    return result(QStringLiteral("brnSetSortingBufferDepth"));
}

int ScriptedLibrary::startReadingItems(ReaderHandle handle, std::uint32_t requestMask, ItemCallback callback,
                                       void* context)
{
    calls << QStringLiteral("brnStartReadingItems %1 %2").arg(name(handle)).arg(requestMask);
    if (!handle)
        return -5;
    const int rc = result(QStringLiteral("brnStartReadingItems"));
    m_memoryCallback = nullptr;
    if (rc == 0) {
        m_callback = callback;
        m_context = context;
        m_reading = handle;
    }
    return rc;
}

int ScriptedLibrary::setTagMemoryCallback(ReaderHandle handle, std::uint32_t maxBlocks, TagMemoryCallback callback,
                                          void* context)
{
    memoryCalls << QStringLiteral("brnSetTagMemoryCallback %1 %2").arg(name(handle)).arg(maxBlocks);
    if (!handle)
        return -5;
    const int rc = result(QStringLiteral("brnSetTagMemoryCallback"));
    if (rc == 0) {
        m_memoryCallback = callback;
        m_memoryContext = context;
    }
    return rc;
}

void ScriptedLibrary::raiseTagMemory(const brnTagMemory& memory)
{
    if (m_memoryCallback)
        m_memoryCallback(m_reading, &memory, m_memoryContext);
}

int ScriptedLibrary::readSingleTagMemory(ReaderHandle handle, std::uint32_t retryDelayMs, std::uint32_t maxBlocks,
                                         brnTagMemory* memory)
{
    memoryCalls << QStringLiteral("brnReadSingleTagMemory %1 %2 %3").arg(name(handle)).arg(retryDelayMs).arg(maxBlocks);
    if (!handle)
        return -5;
    const int rc = result(QStringLiteral("brnReadSingleTagMemory"));
    if (rc == 0)
        *memory = tagMemory;
    return rc;
}

int ScriptedLibrary::stopReadingItems(ReaderHandle handle)
{
    calls << QStringLiteral("brnStopReadingItems ") + name(handle);
    m_memoryCallback = nullptr;
    if (!handle)
        return -5;
    return result(QStringLiteral("brnStopReadingItems"));
}

void ScriptedLibrary::raise(int event, brnItem* item)
{
    if (m_callback)
        m_callback(m_reading, event, item, m_context);
}

int ScriptedLibrary::readSingleItem(ReaderHandle handle, std::uint32_t retryDelayMs, std::uint32_t requestMask,
                                    brnItem* item)
{
    calls << QStringLiteral("brnReadSingleItem %1 %2 %3 %4")
                 .arg(name(handle))
                 .arg(retryDelayMs)
                 .arg(requestMask)
                 .arg(item->blockSize);
    if (!handle)
        return -5;
    const int rc = result(QStringLiteral("brnReadSingleItem"));
    if (rc == 0) {
        const brnItem found = tagOnReader ? *tagOnReader : written.empty() ? brnItem{} : m_lastOnTag;
        *item = brnItem{};
        item->blockSize = 4;
        item->validMask = found.validMask & requestMask;
        item->itemId = found.itemId;
    }
    return rc;
}

int ScriptedLibrary::inventory(ReaderHandle handle)
{
    calls << QStringLiteral("brnInventory ") + name(handle);
    return handle ? tagsInField : -5;
}

int ScriptedLibrary::writeItems(ReaderHandle handle, brnItem* item)
{
    calls << QStringLiteral("brnWriteItems %1 0x%2").arg(name(handle)).arg(item->validMask, 2, 16, QLatin1Char('0'));
    written.push_back(*item);
    if (!handle)
        return -5;
    const int rc = result(QStringLiteral("brnWriteItems"));
    if (rc == 0) {
        if (onWrite)
            onWrite(*item);
        m_lastOnTag = *item;
    }
    return rc;
}
