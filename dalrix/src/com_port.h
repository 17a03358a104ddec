// The driver object: the serial line to the reader, the buffers that
// received bytes go to, the last answer and the two kinds of exchange.
//
// Received bytes arrive through a watcher on the message loop of the thread
// that opened the port. While an exchange waits for its answer it dispatches
// that thread's events, so the watcher runs and the reader's bytes reach the
// receive buffer the moment they arrive; timer ticks run too, and an export
// they call meanwhile finds the driver busy.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "frame_codec.h"
#include "platform/loop.h"
#include "platform/serial.h"
#include "traffic_log.h"

namespace dalrix {

// DSFID, then the 8 UID bytes as received.
using InventoryEntry = std::array<std::uint8_t, 1 + kUidSize>;

class TfrmComPort {
public:
    static constexpr int kBaud = 19200;
    static constexpr std::uint64_t kFirstByteLimitMs = 800;
    static constexpr std::uint64_t kAnswerLimitMs = 1500;
    static constexpr std::uint64_t kStreamGraceMs = 100;
    static constexpr std::uint32_t kInitialScanWindowMs = 3000;
    static constexpr int kWriteLimitMs = 1000;
    // The receive and scan buffers keep at most this many bytes each.
    static constexpr std::size_t kBufferLimit = 40960;

    // The traffic log goes to logFolder (the program's folder).
    explicit TfrmComPort(std::string logFolder);
    ~TfrmComPort();
    TfrmComPort(const TfrmComPort&) = delete;
    TfrmComPort& operator=(const TfrmComPort&) = delete;

    // Closes any open port, then opens COM<portNumber> at 19200 8N1 with DTR
    // on and watches it on the calling thread's loop. False when it cannot be opened.
    bool open(int portNumber);
    void close();
    bool isOpen() const { return port_.isOpen(); }
    // Whether a port is open and its line has not gone (device unplugged or
    // hung up, the far end of a pseudo-terminal closed). A gone line stays
    // gone until the port is opened again; exchanges on it fail at once.
    bool lineUp() const { return port_.isOpen() && !lineGone_; }
    int portNumber() const { return portNumber_; }

    bool busy() const { return busy_; }

    // Sends the request and waits for its one answer: the answer's status,
    // or DRV_NO_ANSWER / DRV_CRC_ERROR / DRV_BUSY.
    int exchange(std::span<const std::uint8_t> request);
    // Sends the request (nothing when empty) and collects a stream of answers
    // for the inventory scan window + 100 ms, adding every tag to the
    // inventory list: the status of the frame that ended the stream, 0 when
    // only tags came, or DRV_NO_ANSWER / DRV_CRC_ERROR / DRV_BUSY.
    int streamExchange(std::span<const std::uint8_t> request);

    const Answer& lastAnswer() const { return last_; }

    const std::vector<InventoryEntry>& inventory() const { return inventory_; }
    void clearInventory() { inventory_.clear(); }
    // Takes 9-byte data (DSFID + UID) unless the same entry is already listed.
    void addInventoryEntry(std::span<const std::uint8_t> data);

    // Everything received since the last request, raw; the buffer is emptied.
    Bytes takeScanBuffer();
    void clearScanBuffer() { scan_.clear(); }

    std::uint32_t scanWindowMs() const { return scanWindowMs_; }
    void setScanWindowMs(std::uint32_t ms) { scanWindowMs_ = ms; }

    const TrafficLog& log() const { return log_; }

private:
    bool startExchange(std::span<const std::uint8_t> request);
    void receive();
    void dropWatcher();
    void waitUntil(std::uint64_t deadlineMs);

    platform::SerialPort port_;
    int portNumber_ = 0;
    std::shared_ptr<platform::MessageLoop> loop_;
    platform::MessageLoop::Id watch_ = 0;
    std::thread::id portThread_;

    Bytes received_;
    Bytes scan_;
    std::size_t receivedSinceRequest_ = 0;
    Answer last_;
    std::vector<InventoryEntry> inventory_;
    bool busy_ = false;
    bool lineGone_ = false;
    std::uint32_t scanWindowMs_ = kInitialScanWindowMs;
    TrafficLog log_;
};

} // namespace dalrix
