#include "frame.h"

#include <algorithm>
#include <cstring>

namespace linvaro {

static_assert(Crc16::compute(std::array<std::uint8_t, 9>{'1', '2', '3', '4', '5', '6', '7', '8', '9'}) == 0x2189,
              "CRC-16/KERMIT check value");

#ifdef TAGGING_FUZZING
namespace {
std::atomic<bool> crcCheck{true};
}
void setCrcCheck(bool enabled)
{
    crcCheck.store(enabled, std::memory_order_relaxed);
}
static bool crcAccepted(std::uint16_t running, std::uint16_t received)
{
    return running == received || !crcCheck.load(std::memory_order_relaxed);
}
#else
static bool crcAccepted(std::uint16_t running, std::uint16_t received)
{
    return running == received;
}
#endif

std::size_t buildFrame(std::uint8_t mode, std::uint8_t address, std::uint8_t command,
                       std::span<const std::uint8_t> data, std::span<std::uint8_t> out)
{
    if (!isKnownMode(mode) || data.size() > 255 || out.size() < kMaxFrame)
        return 0;
    const auto length = static_cast<std::uint8_t>(data.size());
    // The CRC never covers the mode byte; it covers the address only where one is sent.
    std::uint16_t crc = 0;
    if (modeHasAddress(mode))
        crc = Crc16::update(crc, address);
    crc = Crc16::update(crc, command);
    crc = Crc16::update(crc, length);
    crc = Crc16::compute(data, crc);

    std::size_t n = 0;
    out[n++] = mode;
    if (modeHasAddress(mode))
        out[n++] = address;
    out[n++] = command;
    out[n++] = length;
    std::copy(data.begin(), data.end(), out.begin() + static_cast<std::ptrdiff_t>(n));
    n += data.size();
    if (modeHasCrc(mode)) {
        out[n++] = static_cast<std::uint8_t>(crc >> 8); // high byte first
        out[n++] = static_cast<std::uint8_t>(crc & 0xFF);
    }
    return n;
}

void AnswerState::resetEmpty()
{
    state_ = RxState::WaitStart;
    block_ = BlockState::Ordinary;
    blockEnd_ = 0;
    count_ = 0;
    mode_ = address_ = command_ = length_ = 0;
    crc_ = receivedCrc_ = 0;
    status_.store(kAnswerReady, std::memory_order_release);
}

void AnswerState::beginRequest(std::uint8_t mode)
{
    requestMode_.store(mode, std::memory_order_relaxed);
    requests_.fetch_add(1, std::memory_order_acq_rel);
    status_.store(kNothingReceived, std::memory_order_release);
}

std::optional<std::int32_t> AnswerState::finish(std::int32_t result)
{
    state_ = RxState::WaitStart;
    std::int32_t expected = kReceptionInProgress;
    // Fails only when a new request took the link back to -3 meanwhile: the
    // frame then belonged to an earlier request and is dropped.
    if (status_.compare_exchange_strong(expected, result, std::memory_order_acq_rel))
        return result;
    return std::nullopt;
}

std::optional<std::int32_t> AnswerState::feed(std::uint8_t byte)
{
    const std::int32_t status = status_.load(std::memory_order_acquire);
    if (status != kNothingReceived && status != kReceptionInProgress)
        return std::nullopt; // a complete answer waits to be collected
    if (state_ != RxState::WaitStart && status == kNothingReceived)
        state_ = RxState::WaitStart; // a new request abandoned the frame in progress

    switch (state_) {
    case RxState::WaitStart: {
        // A frame with a CRC proves itself whatever its mode; one without can
        // only be told from noise by being in the request's own mode.
        if (const std::uint8_t mode = requestMode_.load(std::memory_order_relaxed);
            mode != 0 && byte != mode && !modeHasCrc(byte))
            return std::nullopt;
        if (byte == 2 || byte == 6) {
            state_ = RxState::WaitAddress;
        } else if (byte == 14 || byte == 30) {
            address_ = 0;
            state_ = RxState::WaitCommand;
        } else {
            return std::nullopt; // noise before a frame start
        }
        mode_ = byte;
        crc_ = 0;
        std::int32_t expected = status;
        if (!status_.compare_exchange_strong(expected, kReceptionInProgress, std::memory_order_acq_rel))
            state_ = RxState::WaitStart;
        return std::nullopt;
    }
    case RxState::WaitAddress:
        address_ = byte;
        crc_ = Crc16::update(crc_, byte);
        state_ = RxState::WaitCommand;
        return std::nullopt;
    case RxState::WaitCommand:
        command_ = byte;
        crc_ = Crc16::update(crc_, byte);
        state_ = RxState::WaitLength;
        return std::nullopt;
    case RxState::WaitLength:
        length_ = byte;
        crc_ = Crc16::update(crc_, byte);
        count_ = 0;
        if (byte == 0xFF) {
            block_ = BlockState::AtCount;
            blockEnd_ = 0;
            state_ = RxState::ReadData;
        } else {
            block_ = BlockState::Ordinary;
            state_ = byte != 0 ? RxState::ReadData : modeHasCrc(mode_) ? RxState::WaitCrcHigh : RxState::FrameComplete;
        }
        break;
    case RxState::ReadData: {
        if (count_ >= data_.size())
            return finish(kAnswerWrongCrc); // a block list longer than the data area
        data_[count_++] = byte;
        crc_ = Crc16::update(crc_, byte);
        bool complete = false;
        switch (block_) {
        case BlockState::Ordinary:
            complete = count_ == length_;
            break;
        case BlockState::AtCount:
            if (byte == 0xFF) {
                complete = true; // the end byte, stored with the data
            } else {
                blockEnd_ += byte + 1u;
                if (count_ != blockEnd_)
                    block_ = BlockState::InBlock; // an empty block leaves us at a count byte
            }
            break;
        case BlockState::InBlock:
            if (count_ == blockEnd_)
                block_ = BlockState::AtCount;
            break;
        }
        if (complete)
            state_ = modeHasCrc(mode_) ? RxState::WaitCrcHigh : RxState::FrameComplete;
        break;
    }
    case RxState::WaitCrcHigh:
        receivedCrc_ = static_cast<std::uint16_t>(byte << 8);
        state_ = RxState::WaitCrcLow;
        break;
    case RxState::WaitCrcLow:
        receivedCrc_ = static_cast<std::uint16_t>(receivedCrc_ | byte);
        state_ = RxState::CrcComplete;
        break;
    case RxState::CrcComplete:
    case RxState::FrameComplete:
        state_ = RxState::WaitStart; // transient states never survive a byte
        return std::nullopt;
    }

    if (state_ == RxState::CrcComplete) {
        if (!crcAccepted(crc_, receivedCrc_))
            return finish(kAnswerWrongCrc);
        state_ = RxState::FrameComplete;
    }
    if (state_ == RxState::FrameComplete)
        return finish(kAnswerReady);
    return std::nullopt;
}

std::int32_t AnswerState::take(std::uint8_t* mode, std::uint8_t* address, std::uint8_t* command,
                               std::uint8_t* length, std::uint8_t* data)
{
    const std::int32_t status = status_.load(std::memory_order_acquire);
    if (status == kNothingReceived || status == kReceptionInProgress)
        return status;
    const bool good = status == kAnswerReady;
    auto put = [](std::uint8_t* out, std::uint8_t value) {
        if (out)
            *out = value;
    };
    put(mode, good ? mode_ : 0);
    put(address, good ? address_ : 0);
    put(command, good ? command_ : 0);
    put(length, good ? length_ : 0);
    if (good && data && count_ > 0)
        std::memcpy(data, data_.data(), count_);
    status_.store(kNothingReceived, std::memory_order_release);
    return status;
}

std::int32_t countBlocks(const std::uint8_t* data, std::int32_t size)
{
    constexpr std::int32_t kMalformed = -7;
    if (!data || size <= 0)
        return kMalformed;
    if (data[0] == 0xFF)
        return 0;
    std::int64_t position = 0;
    std::int32_t count = 0;
    for (;;) {
        position += data[position] + 1;
        if (position >= size)
            return kMalformed;
        ++count;
        if (data[position] == 0xFF)
            return count;
    }
}

bool copyBlock(const std::uint8_t* data, std::int32_t size, std::int32_t index, std::uint8_t* destination,
               std::uint32_t* blockLength)
{
    const std::int32_t count = countBlocks(data, size);
    if (count < 0 || index < 0 || index >= count || !destination || !blockLength)
        return false;
    std::int32_t position = 0;
    for (std::int32_t i = 0; i < index; ++i)
        position += data[position] + 1;
    const std::uint8_t n = data[position];
    *blockLength = n;
    std::memcpy(destination, data + position + 1, n);
    return true;
}

} // namespace linvaro
