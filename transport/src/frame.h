// ZPX frames: the CRC, the frame builder, and the per-link answer state with
// its byte-by-byte receiver.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace linvaro {

// CRC-16/KERMIT: polynomial 0x1021 bit-reflected (0x8408), initial value 0,
// no final exclusive-or. Check value over "123456789": 0x2189.
struct Crc16 {
    static constexpr std::array<std::uint16_t, 256> kTable = [] {
        std::array<std::uint16_t, 256> table{};
        for (unsigned i = 0; i < 256; ++i) {
            std::uint16_t crc = static_cast<std::uint16_t>(i);
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408) : static_cast<std::uint16_t>(crc >> 1);
            table[i] = crc;
        }
        return table;
    }();

    static constexpr std::uint16_t update(std::uint16_t crc, std::uint8_t byte)
    {
        return static_cast<std::uint16_t>((crc >> 8) ^ kTable[(crc ^ byte) & 0xFF]);
    }
    static constexpr std::uint16_t compute(std::span<const std::uint8_t> bytes, std::uint16_t crc = 0)
    {
        for (std::uint8_t b : bytes)
            crc = update(crc, b);
        return crc;
    }
};

constexpr bool isKnownMode(std::uint8_t mode)
{
    return mode == 2 || mode == 6 || mode == 14 || mode == 30;
}
constexpr bool modeHasAddress(std::uint8_t mode)
{
    return mode == 2 || mode == 6;
}
constexpr bool modeHasCrc(std::uint8_t mode)
{
    return mode == 2 || mode == 14;
}

constexpr std::size_t kMaxFrame = 261;
constexpr std::size_t kSendBufferSize = 512;
constexpr std::size_t kAnswerDataSize = 4096;

// Builds a request frame into out (at least kMaxFrame bytes). A length of 255
// is 255 data bytes here: only answers carry block lists. Returns the frame
// length, or 0 for an unknown mode (out untouched).
std::size_t buildFrame(std::uint8_t mode, std::uint8_t address, std::uint8_t command,
                       std::span<const std::uint8_t> data, std::span<std::uint8_t> out);

// Answer status values, also the hand-over flag between link thread and caller.
enum : std::int32_t {
    kAnswerReady = 0,
    kAnswerWrongCrc = -2,
    kNothingReceived = -3,
    kReceptionInProgress = -6,
};

// Receiver states and block-list sub-states.
enum class RxState : std::uint32_t {
    WaitStart = 0,
    WaitAddress = 1,
    WaitCommand = 2,
    WaitLength = 3,
    ReadData = 4,
    WaitCrcHigh = 5,
    WaitCrcLow = 6,
    CrcComplete = 7,
    FrameComplete = 8,
};
enum class BlockState : std::uint32_t { Ordinary = 0, AtCount = 1, InBlock = 2 };

// The answer side of one link.
//
// The receiver (feed) runs only on the link thread and owns every field but
// the status; the caller's side (beginRequest, take) meets it through the
// status alone, an atomic with release/acquire order:
//  - only the receiver writes -6, when a frame starts (-3 -> -6), and it turns
//    its own -6 into 0 or -2 when the frame is complete; it writes answer
//    fields only after it has read -3 or -6;
//  - the caller reads answer fields only after it has read 0 or -2, and gives
//    the answer back by storing -3;
//  - a new request stores -3 at any time: a frame still arriving then finds
//    its -6 gone, and the receiver starts over at WaitStart.
class AnswerState {
public:
    // Link opening: status 0 with an empty answer, receiver at WaitStart.
    void resetEmpty();

    // Link thread. Handles one received byte. Returns the status to notify the
    // caller with (0 or -2) when this byte completed an answer.
    std::optional<std::int32_t> feed(std::uint8_t byte);

    // Caller. A new request is on its way: forget any answer or partial frame.
    // From now on a frame with a CRC (modes 2 and 14) is taken whatever its
    // mode, its CRC tells it from noise; a frame without CRC (modes 6 and 30)
    // only in the request's own mode: any other such start byte is noise
    // (noise that began a frame without CRC would otherwise pass for the
    // answer). Mode 0 takes a frame of any mode.
    void beginRequest(std::uint8_t mode = 0);
    // Caller. Collects a complete answer (see LVRM_GetAnswer); null out-pointers are skipped.
    std::int32_t take(std::uint8_t* mode, std::uint8_t* address, std::uint8_t* command, std::uint8_t* length,
                      std::uint8_t* data);
    std::int32_t status() const { return status_.load(std::memory_order_acquire); }
    // Requests begun so far; a link thread compares it to spot a new request.
    std::uint32_t requestCount() const { return requests_.load(std::memory_order_acquire); }

    // Receiver-side view, for tests (link thread only).
    RxState state() const { return state_; }
    BlockState blockState() const { return block_; }
    std::uint32_t receivedCount() const { return count_; }

private:
    std::optional<std::int32_t> finish(std::int32_t result);

    std::atomic<std::int32_t> status_{kAnswerReady};
    std::atomic<std::uint32_t> requests_{0};
    std::atomic<std::uint8_t> requestMode_{0}; // set before the status that announces the request

    RxState state_ = RxState::WaitStart;
    BlockState block_ = BlockState::Ordinary;
    std::uint32_t blockEnd_ = 0;
    std::uint32_t count_ = 0;
    std::uint8_t mode_ = 0;
    std::uint8_t address_ = 0;
    std::uint8_t command_ = 0;
    std::uint8_t length_ = 0;
    std::uint16_t crc_ = 0;
    std::uint16_t receivedCrc_ = 0;
    std::array<std::uint8_t, kAnswerDataSize> data_{};
};

// Block-list walking over data[0..size).
std::int32_t countBlocks(const std::uint8_t* data, std::int32_t size);
bool copyBlock(const std::uint8_t* data, std::int32_t size, std::int32_t index, std::uint8_t* destination,
               std::uint32_t* blockLength);

#ifdef TAGGING_FUZZING
// Fuzz builds only: lets a fuzzer reach past the CRC comparison.
void setCrcCheck(bool enabled);
#endif

} // namespace linvaro
