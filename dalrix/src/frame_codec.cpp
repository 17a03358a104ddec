#include "frame_codec.h"

#include <algorithm>

namespace dalrix {

namespace {
#ifdef TAGGING_FUZZING
bool crcCheck = true;
#else
constexpr bool crcCheck = true;
#endif
} // namespace

#ifdef TAGGING_FUZZING
void TDalrix1::setCrcCheck(bool enabled)
{
    crcCheck = enabled;
}
#endif

std::uint16_t TDalrix1::crc(std::span<const std::uint8_t> bytes)
{
    std::uint16_t value = 0xFFFF;
    for (std::uint8_t b : bytes) {
        value ^= b;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 1) ? static_cast<std::uint16_t>((value >> 1) ^ 0x8408) : static_cast<std::uint16_t>(value >> 1);
    }
    return value;
}

bool TDalrix1::stateAddressesTag(std::uint8_t state)
{
    switch (state) {
    case 0x00:
    case 0x04:
    case 0x08:
    case 0x0C:
    case 0xA0:
    case 0xA8:
        return true;
    default:
        return false;
    }
}

std::optional<Bytes> TDalrix1::buildRequest(std::uint8_t address, std::uint8_t command, std::uint8_t state,
                                            std::span<const std::uint8_t> uid, std::span<const std::uint8_t> data)
{
    const bool withUid = uid.size() == kUidSize && stateAddressesTag(state);
    const std::size_t size = 1 + 3 + (withUid ? kUidSize : 0) + data.size() + 2;
    if (size > kMaxFrameSize)
        return std::nullopt;
    Bytes frame;
    frame.reserve(size);
    frame.push_back(static_cast<std::uint8_t>(size - 1));
    frame.push_back(address);
    frame.push_back(command);
    frame.push_back(state);
    if (withUid)
        frame.insert(frame.end(), uid.begin(), uid.end());
    frame.insert(frame.end(), data.begin(), data.end());
    const std::uint16_t check = crc(frame);
    frame.push_back(static_cast<std::uint8_t>(check & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(check >> 8));
    return frame;
}

bool TDalrix1::isCompleteAnswer(std::span<const std::uint8_t> buffer)
{
    return buffer.size() >= kMinFrameSize && buffer.size() == std::size_t{buffer[0]} + 1;
}

std::size_t TDalrix1::completeFrontFrame(std::span<const std::uint8_t> buffer)
{
    if (buffer.size() < kMinFrameSize || std::size_t{buffer[0]} > buffer.size() - 1)
        return 0;
    return std::size_t{buffer[0]} + 1;
}

std::optional<Answer> TDalrix1::checkAnswer(std::span<const std::uint8_t> frame)
{
    if (frame.size() < kMinFrameSize)
        return std::nullopt;
    const std::size_t body = frame.size() - 2;
    const std::uint16_t check = crc(frame.first(body));
    if (crcCheck && (frame[body] != (check & 0xFF) || frame[body + 1] != (check >> 8)))
        return std::nullopt;
    Answer answer;
    answer.address = frame[1];
    answer.status = frame[2];
    std::size_t dataStart = 3;
    // A status 0x0F frame too short to hold its error code reports error code 0.
    if (answer.status == kStatusErrorCode && body > 3) {
        answer.errorCode = frame[3];
        dataStart = 4;
    }
    answer.data.assign(frame.begin() + static_cast<std::ptrdiff_t>(std::min(dataStart, body)),
                       frame.begin() + static_cast<std::ptrdiff_t>(body));
    return answer;
}

} // namespace dalrix
