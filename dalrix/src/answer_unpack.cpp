#include "answer_unpack.h"

#include <cstring>

#include "dalrix.h"
#include "iso15693.h"

namespace dalrix {

namespace {

void copyOut(std::uint8_t* out, std::span<const std::uint8_t> bytes)
{
    if (out && !bytes.empty())
        std::memcpy(out, bytes.data(), bytes.size());
}

} // namespace

std::size_t readBlockSize(std::uint8_t state)
{
    return state == 4 || state == 5 ? 8 : 4;
}

std::size_t writeBlockSize(std::uint8_t state)
{
    return state == 4 || state == 5 || state == 12 || state == 13 ? 8 : 4;
}

int unpackByte(std::span<const std::uint8_t> data, std::uint8_t* value)
{
    if (data.size() != 1)
        return DRV_LENGTH_ERROR;
    copyOut(value, data);
    return 0;
}

int unpackReaderInformation(const Answer& answer, std::uint8_t* address, std::uint8_t* version,
                            std::uint8_t* infoA, std::uint8_t* infoB, std::uint8_t* scanTime)
{
    const std::span<const std::uint8_t> data = answer.data;
    if (data.size() < 8)
        return DRV_LENGTH_ERROR;
    if (address)
        *address = answer.address;
    copyOut(version, data.subspan(0, 2));
    copyOut(infoA, data.subspan(4, 1));
    copyOut(infoB, data.subspan(5, 2));
    copyOut(scanTime, data.subspan(7, 1));
    return 0;
}

int unpackSingleBlock(std::span<const std::uint8_t> data, std::uint8_t state, std::uint8_t* securityStatus,
                      std::uint8_t* block)
{
    const std::size_t size = readBlockSize(state);
    if (data.size() != size + 1)
        return DRV_LENGTH_ERROR;
    copyOut(securityStatus, data.subspan(0, 1));
    copyOut(block, data.subspan(1, size));
    return 0;
}

int unpackMultipleBlocks(std::span<const std::uint8_t> data, std::uint8_t state, std::uint8_t count,
                         std::uint8_t* securityStatus, std::uint8_t* blocks)
{
    const std::size_t size = readBlockSize(state);
    if (data.size() != count * (size + 1))
        return DRV_LENGTH_ERROR;
    for (std::size_t i = 0; i < count; ++i) {
        const auto record = data.subspan(i * (size + 1), size + 1);
        copyOut(securityStatus ? securityStatus + i : nullptr, record.first(1));
        copyOut(blocks ? blocks + i * size : nullptr, record.subspan(1));
    }
    return 0;
}

int unpackSystemInformation(std::span<const std::uint8_t> data, std::uint8_t* flags, std::uint8_t* uid,
                            std::uint8_t* dsfid, std::uint8_t* afi, std::uint8_t* memorySize,
                            std::uint8_t* icReference)
{
    if (data.size() < 1 + kUidSize)
        return DRV_LENGTH_ERROR;
    // The optional fields the flags announce, in this order.
    struct Field {
        std::uint8_t flag;
        std::size_t size;
        std::uint8_t* out;
    };
    const Field fields[] = {{ISO15693_INFO_DSFID, 1, dsfid},
                            {ISO15693_INFO_AFI, 1, afi},
                            {ISO15693_INFO_MEMORY_SIZE, 2, memorySize},
                            {ISO15693_INFO_IC_REFERENCE, 1, icReference}};
    std::size_t needed = 1 + kUidSize;
    for (const Field& field : fields)
        if (data[0] & field.flag)
            needed += field.size;
    if (data.size() < needed) // the flags announce more than came
        return DRV_LENGTH_ERROR;
    copyOut(flags, data.first(1));
    copyOut(uid, data.subspan(1, kUidSize));
    std::size_t at = 1 + kUidSize;
    for (const Field& field : fields)
        if (data[0] & field.flag) {
            copyOut(field.out, data.subspan(at, field.size));
            at += field.size;
        }
    return 0;
}

void copyAll(std::span<const std::uint8_t> data, std::uint8_t* out)
{
    copyOut(out, data);
}

} // namespace dalrix
