#include "sim/iso15693.h"

#include <algorithm>
#include <cstdio>

namespace sim {

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::optional<Uid> uidFromText(std::string_view text)
{
    if (text.size() != 16)
        return std::nullopt;
    Uid uid{};
    for (std::size_t i = 0; i < 8; ++i) {
        const int hi = hexDigit(text[2 * i]);
        const int lo = hexDigit(text[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        uid[i] = static_cast<std::uint8_t>(hi << 4 | lo);
    }
    return uid;
}

std::string uidToText(const Uid& uid)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(16);
    for (std::uint8_t b : uid) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

std::array<std::uint8_t, 8> uidToAir(const Uid& uid)
{
    std::array<std::uint8_t, 8> air{};
    std::reverse_copy(uid.begin(), uid.end(), air.begin());
    return air;
}

Uid uidFromAir(std::span<const std::uint8_t> airBytes)
{
    Uid uid{};
    for (std::size_t i = 0; i < 8 && i < airBytes.size(); ++i)
        uid[7 - i] = airBytes[i];
    return uid;
}

std::uint64_t uidValue(const Uid& uid)
{
    std::uint64_t value = 0;
    for (std::uint8_t b : uid)
        value = value << 8 | b;
    return value;
}

Uid uidFromValue(std::uint64_t value)
{
    Uid uid{};
    for (int i = 7; i >= 0; --i) {
        uid[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value);
        value >>= 8;
    }
    return uid;
}

std::string hexBytes(std::span<const std::uint8_t> bytes)
{
    std::string text;
    text.reserve(bytes.size() * 3);
    char buf[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", bytes[i]);
        text += buf;
    }
    return text;
}

namespace iso {

bool isWriteAlike(std::uint8_t command)
{
    switch (command) {
    case kWriteSingleBlock:
    case kLockBlock:
    case kWriteAfi:
    case kLockAfi:
    case kWriteDsfid:
    case kLockDsfid:
    case kSetEas:
    case kResetEas:
    case kLockEas:
        return true;
    default:
        return false;
    }
}

std::vector<std::uint8_t> request(std::uint8_t flags, std::uint8_t command, const Uid* uid,
                                  std::span<const std::uint8_t> params, std::uint8_t manufacturer)
{
    std::vector<std::uint8_t> out{flags, command};
    if (isCustomCommand(command))
        out.push_back(manufacturer);
    if (uid) {
        const auto air = uidToAir(*uid);
        out.insert(out.end(), air.begin(), air.end());
    }
    out.insert(out.end(), params.begin(), params.end());
    return out;
}

std::vector<std::uint8_t> inventoryRequest(std::uint8_t flags, std::optional<std::uint8_t> afi, unsigned maskLength,
                                           std::uint64_t maskValue)
{
    flags = static_cast<std::uint8_t>(flags | kFlagInventory);
    if (afi)
        flags = static_cast<std::uint8_t>(flags | kFlagAfi);
    else
        flags = static_cast<std::uint8_t>(flags & ~kFlagAfi);
    std::vector<std::uint8_t> out{flags, kInventory};
    if (afi)
        out.push_back(*afi);
    maskLength = std::min(maskLength, 64u);
    out.push_back(static_cast<std::uint8_t>(maskLength));
    if (maskLength < 64)
        maskValue &= (std::uint64_t{1} << maskLength) - 1;
    for (unsigned i = 0; i < (maskLength + 7) / 8; ++i)
        out.push_back(static_cast<std::uint8_t>(maskValue >> (8 * i)));
    return out;
}

std::uint64_t exchangeNs(const AirTiming& t, std::span<const std::uint8_t> request, int responseBytes)
{
    std::uint64_t ns = 0;
    bool lowRate = false;
    if (request.empty()) {
        ns += t.requestEofNs; // the pulse alone
    } else {
        lowRate = (request[0] & kFlagHighDataRate) == 0;
        ns += t.requestSofNs + (request.size() + 2) * std::uint64_t{t.requestByteNs} + t.requestEofNs;
    }
    if (responseBytes < 0) {
        ns += t.noResponseNs;
    } else {
        const std::uint64_t byteNs = std::uint64_t{t.responseByteHighNs} * (lowRate ? 4 : 1);
        ns += t.responseDelayNs + t.responseSofNs + (static_cast<std::uint64_t>(responseBytes) + 2) * byteNs +
              t.responseEofNs;
        if (request.size() >= 2 && isWriteAlike(request[1]))
            ns += t.programmingNs;
    }
    return ns + t.requestGapNs;
}

} // namespace iso
} // namespace sim
