// The driver's exported functions: arguments to one request, one exchange,
// the answer back into the caller's variables.
//
// Everything else in the library is hidden; only the declarations of the
// public header are exported.
#pragma GCC visibility push(default)
#include "dalrix.h"
#pragma GCC visibility pop

#include <algorithm>
#include <initializer_list>
#include <utility>

#include "answer_unpack.h"
#include "com_port.h"
#include "iso15693.h"
#include "platform/dynlib.h"
#include "platform/guard.h"

using dalrix::Bytes;
using dalrix::TDalrix1;
using dalrix::TfrmComPort;

namespace {

// Command codes of the reader (state byte 0xF0).
enum ReaderCommand : std::uint8_t {
    kGetReaderInformation = 0x00,
    kCloseRf = 0x01,
    kOpenRf = 0x02,
    kWriteComAdr = 0x03,
    kWriteInventoryScanTime = 0x04,
    kSetGeneralOutput = 0x05,
    kGetGeneralInput = 0x06,
    kSetRelay = 0x07,
    kSetActiveAnt = 0x08,
    kGetAntStatus = 0x09,
    kSetScanMode = 0x0A,
    kGetScanModeStatus = 0x0B,
    kSetActiveAnt2 = 0x0C, // the same code sets the access time
    kGetAntStatus2 = 0x0D, // the same code gives the access time
    kSetReceiveChannel = 0x0E,
    kGetReceiveChannelStatus = 0x0F,
    kSetParseMode = 0x70,
    kGetParseMode = 0x71,
    kSetUserDefinedBlockLength = 0x80,
    kGetUserDefinedBlockLength = 0x90,
};

// Transparent commands (state byte 0xE0).
enum TransparentCommand : std::uint8_t {
    kTransparentRead = 0x02,
    kTransparentWrite = 0x03,
    kTransparentCustomized = 0x04,
};

constexpr int kAutoOpenPorts = 12;
constexpr std::size_t kMaxInventoryEntries = 255;

// The one driver object, created by the first call of any export.
TfrmComPort& driver()
{
    static TfrmComPort instance(platform::programDirectory());
    return instance;
}

// No exception leaves the library: an export whose body throws answers
// DRV_NO_ANSWER.
template <class Call>
int32_t guarded(Call&& call) noexcept
{
    return platform::guarded(DRV_NO_ANSWER, std::forward<Call>(call));
}

// DRV_BUSY while an exchange runs, DRV_NO_ANSWER when a value the request
// needs is missing, else 0.
int32_t refusal(std::initializer_list<const void*> inputs)
{
    if (driver().busy())
        return DRV_BUSY;
    for (const void* input : inputs)
        if (!input)
            return DRV_NO_ANSWER;
    return 0;
}

std::span<const std::uint8_t> uidOf(const std::uint8_t* uid)
{
    return uid ? std::span<const std::uint8_t>(uid, dalrix::kUidSize) : std::span<const std::uint8_t>();
}

std::span<const std::uint8_t> bytesOf(const std::uint8_t* data, std::size_t size)
{
    return data ? std::span<const std::uint8_t>(data, size) : std::span<const std::uint8_t>();
}

// Builds the request and runs a single-answer exchange.
int32_t request(std::uint8_t address, std::uint8_t command, std::uint8_t state,
                std::span<const std::uint8_t> uid, std::span<const std::uint8_t> data)
{
    const std::optional<Bytes> frame = TDalrix1::buildRequest(address, command, state, uid, data);
    if (!frame)
        return DRV_LENGTH_ERROR;
    return driver().exchange(*frame);
}

const Bytes& answerData()
{
    return driver().lastAnswer().data;
}

// The error code output of the tag and transparent commands.
int32_t withErrorCode(int32_t result, std::uint8_t* errorCode)
{
    if (result != DRV_BUSY && errorCode)
        *errorCode = driver().lastAnswer().errorCode;
    return result;
}

// ---- reader commands ----

int32_t readerCommand(std::uint8_t* address, std::uint8_t command, std::span<const std::uint8_t> data = {})
{
    if (const int32_t refused = refusal({address}))
        return refused;
    return request(*address, command, dalrix::kStateReaderCommand, {}, data);
}

int32_t readerSet(std::uint8_t* address, std::uint8_t command, const std::uint8_t* value)
{
    if (const int32_t refused = refusal({address, value}))
        return refused;
    return readerCommand(address, command, bytesOf(value, 1));
}

// A query answered with exactly one byte.
int32_t readerGet(std::uint8_t* address, std::uint8_t command, std::uint8_t* value)
{
    const int32_t result = readerCommand(address, command);
    if (result != 0)
        return result;
    return dalrix::unpackByte(answerData(), value);
}

int32_t readerInformation(std::uint8_t* address, std::uint8_t* version, std::uint8_t* infoA,
                          std::uint8_t* infoB, std::uint8_t* scanTime)
{
    const int32_t result = readerCommand(address, kGetReaderInformation);
    if (result != 0)
        return result;
    const int32_t unpacked =
        dalrix::unpackReaderInformation(driver().lastAnswer(), address, version, infoA, infoB, scanTime);
    if (unpacked == 0)
        driver().setScanWindowMs(100u * answerData()[7]);
    return unpacked;
}

int32_t openPort(int32_t portIndex, std::uint8_t* address)
{
    if (const int32_t refused = refusal({address}))
        return refused;
    TfrmComPort& d = driver();
    d.close();
    if (portIndex < 0 || portIndex >= 0x7FFFFFFF || !d.open(portIndex + 1))
        return DRV_NO_ANSWER;
    return readerInformation(address, nullptr, nullptr, nullptr, nullptr);
}

// ---- ISO 15693 commands ----

// A tag command whose answer carries nothing the caller needs.
int32_t tagCommand(std::uint8_t* address, const std::uint8_t* state, const std::uint8_t* uid,
                   std::uint8_t command, std::span<const std::uint8_t> data, std::uint8_t* errorCode)
{
    int32_t result = refusal({address, state});
    if (result == 0)
        result = request(*address, command, *state, uidOf(uid), data);
    return withErrorCode(result, errorCode);
}

int32_t fixedStateCommand(std::uint8_t* address, const std::uint8_t* uid, std::uint8_t command,
                          std::uint8_t* errorCode)
{
    const std::uint8_t state = 0; // addresses the tag when a UID is given
    return tagCommand(address, &state, uid, command, {}, errorCode);
}

// ---- transparent commands ----

int32_t transparent(std::uint8_t* address, std::uint8_t command, std::span<const std::uint8_t> head,
                    std::uint8_t length, const std::uint8_t* data, std::uint8_t* answerLength,
                    std::uint8_t* answer, std::uint8_t* errorCode)
{
    int32_t result = refusal({address});
    if (result == 0 && length > 0 && !data)
        result = DRV_NO_ANSWER;
    if (result == 0) {
        Bytes body(head.begin(), head.end());
        body.insert(body.end(), data, data + length);
        result = request(*address, command, dalrix::kStateTransparent, {}, body);
    }
    if (result == 0) {
        if (answerLength)
            *answerLength = static_cast<std::uint8_t>(answerData().size());
        dalrix::copyAll(answerData(), answer);
    }
    return withErrorCode(result, errorCode);
}

} // namespace

extern "C" {

// ---- port ----

int32_t OpenComPort(int32_t portIndex, uint8_t* address)
{
    return guarded([&] { return openPort(portIndex, address); });
}

int32_t CloseComPort(void)
{
    return guarded([]() -> int32_t {
        if (driver().busy())
            return DRV_BUSY;
        driver().close();
        return 0;
    });
}

int32_t ComPortConnected(void)
{
    return guarded([]() -> int32_t { return driver().lineUp() ? 1 : 0; });
}

int32_t CloseSpecComPort(int32_t portIndex)
{
    return guarded([&]() -> int32_t {
        TfrmComPort& d = driver();
        if (d.busy())
            return DRV_BUSY;
        if (!d.isOpen() || int64_t{d.portNumber()} != int64_t{portIndex} + 1)
            return DRV_NO_ANSWER;
        d.close();
        return 0;
    });
}

int32_t AutoOpenComPort(int32_t* portIndex, uint8_t* address)
{
    return guarded([&]() -> int32_t {
        if (const int32_t refused = refusal({address}))
            return refused;
        for (int32_t index = 0; index < kAutoOpenPorts; ++index) {
            if (openPort(index, address) == 0) {
                if (portIndex)
                    *portIndex = index;
                return 0;
            }
            driver().close();
        }
        return DRV_NO_ANSWER;
    });
}

// ---- reader ----

int32_t GetReaderInformation(uint8_t* address, uint8_t* version, uint8_t* infoA, uint8_t* infoB,
                             uint8_t* scanTime)
{
    return guarded([&] { return readerInformation(address, version, infoA, infoB, scanTime); });
}

int32_t OpenRf(uint8_t* address)
{
    return guarded([&] { return readerCommand(address, kOpenRf); });
}

int32_t CloseRf(uint8_t* address)
{
    return guarded([&] { return readerCommand(address, kCloseRf); });
}

int32_t WriteComAdr(uint8_t* address, const uint8_t* newAddress)
{
    return guarded([&] { return readerSet(address, kWriteComAdr, newAddress); });
}

int32_t WriteInventoryScanTime(uint8_t* address, const uint8_t* scanTime)
{
    // The stream window follows the reader's information, not this setting.
    return guarded([&] { return readerSet(address, kWriteInventoryScanTime, scanTime); });
}

int32_t SetGeneralOutput(uint8_t* address, const uint8_t* value)
{
    return guarded([&] { return readerSet(address, kSetGeneralOutput, value); });
}

int32_t GetGeneralInput(uint8_t* address, uint8_t* value)
{
    return guarded([&] { return readerGet(address, kGetGeneralInput, value); });
}

int32_t SetRelay(uint8_t* address, const uint8_t* value)
{
    return guarded([&] { return readerSet(address, kSetRelay, value); });
}

int32_t SetActiveANT(uint8_t* address, const uint8_t* value)
{
    return guarded([&] { return readerSet(address, kSetActiveAnt, value); });
}

int32_t GetANTStatus(uint8_t* address, uint8_t* value)
{
    return guarded([&] { return readerGet(address, kGetAntStatus, value); });
}

int32_t SetActiveANT_2(uint8_t* address, const uint8_t* value)
{
    return guarded([&] { return readerSet(address, kSetActiveAnt2, value); });
}

int32_t GetANTStatus_2(uint8_t* address, uint8_t* value)
{
    return guarded([&] { return readerGet(address, kGetAntStatus2, value); });
}

int32_t SetUserDefinedBlockLength(uint8_t* address, const uint8_t* length)
{
    return guarded([&] {
        const int32_t result = readerSet(address, kSetUserDefinedBlockLength, length);
        if (result == 0)
            driver().clearScanBuffer();
        return result;
    });
}

int32_t GetUserDefinedBlocklength(uint8_t* address, uint8_t* length)
{
    return guarded([&] { return readerGet(address, kGetUserDefinedBlockLength, length); });
}

int32_t SetScanMode(uint8_t* address, const uint8_t* parameters)
{
    return guarded([&]() -> int32_t {
        if (const int32_t refused = refusal({address, parameters}))
            return refused;
        driver().clearScanBuffer();
        const int32_t result = readerCommand(address, kSetScanMode, bytesOf(parameters, 11));
        driver().clearScanBuffer();
        return result;
    });
}

int32_t GetScanModeStatus(uint8_t* address, uint8_t* status)
{
    return guarded([&] {
        const int32_t result = readerCommand(address, kGetScanModeStatus);
        if (result == 0)
            dalrix::copyAll(answerData(), status);
        if (result != DRV_BUSY)
            driver().clearScanBuffer();
        return result;
    });
}

int32_t ReadScanModeData(uint8_t* buffer, int32_t* length)
{
    return guarded([&]() -> int32_t {
        const Bytes bytes = driver().takeScanBuffer();
        if (length)
            *length = static_cast<int32_t>(bytes.size());
        if (bytes.empty())
            return DALRIX_NOTHING_RECEIVED;
        dalrix::copyAll(bytes, buffer);
        return 0;
    });
}

int32_t SetAccessTime(uint8_t* address, const uint8_t* value)
{
    return guarded([&] { return readerSet(address, kSetActiveAnt2, value); });
}

int32_t GetAccessTime(uint8_t* address, uint8_t* value)
{
    return guarded([&] { return readerGet(address, kGetAntStatus2, value); });
}

int32_t SetReceiveChannel(uint8_t* address, const uint8_t* channel)
{
    return guarded([&] { return readerSet(address, kSetReceiveChannel, channel); });
}

int32_t GetReceiveChannelStatus(uint8_t* address, uint8_t* value)
{
    return guarded([&] { return readerGet(address, kGetReceiveChannelStatus, value); });
}

int32_t SetParseMode(uint8_t* address, const uint8_t* mode)
{
    return guarded([&] { return readerSet(address, kSetParseMode, mode); });
}

int32_t GetParseMode(uint8_t* address, uint8_t* mode)
{
    return guarded([&] { return readerGet(address, kGetParseMode, mode); });
}

// ---- ISO 15693 ----

int32_t Inventory(uint8_t* address, const uint8_t* type, const uint8_t* afi, uint8_t* list, uint8_t* count)
{
    return guarded([&]() -> int32_t {
        TfrmComPort& d = driver();
        if (d.busy())
            return DRV_BUSY;
        d.clearInventory();
        int32_t result = refusal({address, type});
        const std::uint8_t kind = type ? *type : 0;
        const bool withAfi = kind == 1 || kind == 3 || kind == 7;
        if (result == 0 && withAfi && !afi)
            result = DRV_NO_ANSWER;
        if (result == 0) {
            std::optional<Bytes> frame;
            if (kind <= 3 || kind == 6 || kind == 7) // 4, 5 and above 7 send nothing
                frame = TDalrix1::buildRequest(*address, ISO15693_INVENTORY, kind, {}, bytesOf(afi, withAfi ? 1 : 0));
            if (kind <= 1) {
                result = d.exchange(*frame);
                if (result == 0) {
                    if (answerData().size() == std::tuple_size_v<dalrix::InventoryEntry>)
                        d.addInventoryEntry(answerData());
                    else
                        result = DRV_LENGTH_ERROR;
                }
            } else {
                result = d.streamExchange(frame ? std::span<const std::uint8_t>(*frame) : std::span<const std::uint8_t>());
            }
        }
        // The tags received so far, whatever the result.
        const std::size_t entries = std::min(d.inventory().size(), kMaxInventoryEntries);
        if (count)
            *count = static_cast<std::uint8_t>(entries);
        if (list)
            for (std::size_t i = 0; i < entries; ++i)
                dalrix::copyAll(d.inventory()[i], list + i * d.inventory()[i].size());
        return result;
    });
}

int32_t StayQuiet(uint8_t* address, const uint8_t* uid, uint8_t* errorCode)
{
    return guarded([&] { return fixedStateCommand(address, uid, ISO15693_STAY_QUIET, errorCode); });
}

int32_t Select(uint8_t* address, const uint8_t* uid, uint8_t* errorCode)
{
    return guarded([&] { return fixedStateCommand(address, uid, ISO15693_SELECT, errorCode); });
}

int32_t ReadSingleBlock(uint8_t* address, const uint8_t* state, const uint8_t* uid, uint8_t blockNumber,
                        uint8_t* securityStatus, uint8_t* block, uint8_t* errorCode)
{
    return guarded([&] {
        const std::uint8_t data[] = {blockNumber};
        const int32_t result = tagCommand(address, state, uid, ISO15693_READ_BLOCK, data, errorCode);
        if (result != 0)
            return result;
        return dalrix::unpackSingleBlock(answerData(), *state, securityStatus, block);
    });
}

int32_t WriteSingleBlock(uint8_t* address, const uint8_t* state, const uint8_t* uid, uint8_t blockNumber,
                         const uint8_t* block, uint8_t* errorCode)
{
    return guarded([&]() -> int32_t {
        if (const int32_t refused = refusal({address, state, block}))
            return withErrorCode(refused, errorCode);
        Bytes data{blockNumber};
        data.insert(data.end(), block, block + dalrix::writeBlockSize(*state));
        return tagCommand(address, state, uid, ISO15693_WRITE_BLOCK, data, errorCode);
    });
}

int32_t LockBlock(uint8_t* address, const uint8_t* state, const uint8_t* uid, uint8_t blockNumber,
                  uint8_t* errorCode)
{
    return guarded([&] {
        const std::uint8_t data[] = {blockNumber};
        return tagCommand(address, state, uid, ISO15693_LOCK_BLOCK, data, errorCode);
    });
}

int32_t ReadMultipleBlock(uint8_t* address, const uint8_t* state, const uint8_t* uid, uint8_t firstBlock,
                          uint8_t count, uint8_t* securityStatus, uint8_t* blocks, uint8_t* errorCode)
{
    return guarded([&] {
        const std::uint8_t data[] = {firstBlock, count};
        const int32_t result = tagCommand(address, state, uid, ISO15693_READ_BLOCKS, data, errorCode);
        if (result != 0)
            return result;
        return dalrix::unpackMultipleBlocks(answerData(), *state, count, securityStatus, blocks);
    });
}

int32_t ResetToReady(uint8_t* address, const uint8_t* state, const uint8_t* uid, uint8_t* errorCode)
{
    return guarded([&] { return tagCommand(address, state, uid, ISO15693_RESET_TO_READY, {}, errorCode); });
}

int32_t WriteAFI(uint8_t* address, const uint8_t* state, const uint8_t* uid, uint8_t afi, uint8_t* errorCode)
{
    return guarded([&] {
        const std::uint8_t data[] = {afi};
        return tagCommand(address, state, uid, ISO15693_WRITE_AFI, data, errorCode);
    });
}

int32_t LockAFI(uint8_t* address, const uint8_t* state, const uint8_t* uid, uint8_t* errorCode)
{
    return guarded([&] { return tagCommand(address, state, uid, ISO15693_LOCK_AFI, {}, errorCode); });
}

int32_t WriteDSFID(uint8_t* address, const uint8_t* state, const uint8_t* uid, uint8_t dsfid, uint8_t* errorCode)
{
    return guarded([&] {
        const std::uint8_t data[] = {dsfid};
        return tagCommand(address, state, uid, ISO15693_WRITE_DSFID, data, errorCode);
    });
}

int32_t LockDSFID(uint8_t* address, const uint8_t* state, const uint8_t* uid, uint8_t* errorCode)
{
    return guarded([&] { return tagCommand(address, state, uid, ISO15693_LOCK_DSFID, {}, errorCode); });
}

int32_t GetSystemInformation(uint8_t* address, const uint8_t* state, const uint8_t* uid, uint8_t* flags,
                             uint8_t* uidOut, uint8_t* dsfid, uint8_t* afi, uint8_t* memorySize,
                             uint8_t* icReference, uint8_t* errorCode)
{
    return guarded([&]() -> int32_t {
        const int32_t result = tagCommand(address, state, uid, ISO15693_SYSTEM_INFO, {}, errorCode);
        if (result != 0)
            return result;
        return dalrix::unpackSystemInformation(answerData(), flags, uidOut, dsfid, afi, memorySize, icReference);
    });
}

int32_t CustomizedReadSingleBlock(uint8_t* address, const uint8_t* state, const uint8_t* uid,
                                  uint8_t blockNumber, uint8_t* data, uint8_t* errorCode)
{
    return guarded([&] {
        const std::uint8_t request[] = {blockNumber};
        const int32_t result = tagCommand(address, state, uid, ISO15693_READ_BLOCK, request, errorCode);
        if (result == 0)
            dalrix::copyAll(answerData(), data);
        return result;
    });
}

int32_t CustomizedWriteSingleBlock(uint8_t* address, const uint8_t* state, const uint8_t* uid,
                                   uint8_t blockNumber, const uint8_t* data, uint8_t length, uint8_t* errorCode)
{
    return guarded([&]() -> int32_t {
        int32_t refused = refusal({address, state});
        if (refused == 0 && length > 0 && !data)
            refused = DRV_NO_ANSWER;
        if (refused != 0)
            return withErrorCode(refused, errorCode);
        Bytes body{blockNumber};
        body.insert(body.end(), data, data + length);
        return tagCommand(address, state, uid, ISO15693_WRITE_BLOCK, body, errorCode);
    });
}

int32_t CustomizedReadMultipleBlock(uint8_t* address, const uint8_t* state, const uint8_t* uid,
                                    uint8_t firstBlock, uint8_t count, uint8_t* data, uint8_t* errorCode)
{
    return guarded([&] {
        const std::uint8_t request[] = {firstBlock, count};
        const int32_t result = tagCommand(address, state, uid, ISO15693_READ_BLOCKS, request, errorCode);
        if (result == 0)
            dalrix::copyAll(answerData(), data);
        return result;
    });
}

// ---- transparent ----

int32_t TransparentRead(uint8_t* address, uint8_t parameter, uint8_t length, const uint8_t* data,
                        uint8_t* answerLength, uint8_t* answer, uint8_t* errorCode)
{
    return guarded([&] {
        const std::uint8_t head[] = {parameter};
        return transparent(address, kTransparentRead, head, length, data, answerLength, answer, errorCode);
    });
}

int32_t TransparentWrite(uint8_t* address, const uint8_t* parameters, uint8_t extra, uint8_t length,
                         const uint8_t* data, uint8_t* answerLength, uint8_t* answer, uint8_t* errorCode)
{
    return guarded([&]() -> int32_t {
        if (const int32_t refused = refusal({parameters}))
            return withErrorCode(refused, errorCode);
        const std::uint8_t head[] = {parameters[0], parameters[1], parameters[2], parameters[3], extra};
        return transparent(address, kTransparentWrite, head, length, data, answerLength, answer, errorCode);
    });
}

int32_t TransparentCustomizedCmd(uint8_t* address, const uint8_t* parameters, uint8_t extra, uint8_t length,
                                 const uint8_t* data, uint8_t* answerLength, uint8_t* answer,
                                 uint8_t* errorCode)
{
    return guarded([&]() -> int32_t {
        if (const int32_t refused = refusal({parameters}))
            return withErrorCode(refused, errorCode);
        const std::uint8_t head[] = {parameters[0], parameters[1], extra};
        return transparent(address, kTransparentCustomized, head, length, data, answerLength, answer,
                           errorCode);
    });
}

} // extern "C"
