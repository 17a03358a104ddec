// The far end of a driver's serial port in tests.
//
// A driver opens COMn by name; the name lives in a private port folder
// (TAGGING_PORT_DIR) and leads to a pseudo-terminal. Whatever sits on the
// master side plays the reader: a ScriptedPeer answering chosen bytes at
// chosen moments, or a simulated reader publishing its own pseudo-terminal
// into the same folder. Tests that only need "a reader on COMn" take either.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/event.h"
#include "sim/testing.h"

namespace dalrix_test {

using Bytes = std::vector<std::uint8_t>;

// CRC-16/MCRF4XX written out for the tests, apart from the driver's own.
std::uint16_t crc16(std::span<const std::uint8_t> bytes);
// The bytes with their CRC appended, low byte first.
Bytes withCrc(Bytes bytes);
std::string hex(std::span<const std::uint8_t> bytes);

// A private folder of port names, set as TAGGING_PORT_DIR while it lives.
using PortFolder = sim::PortFolder;
// Makes COM<com> of the folder lead to device.
void publish(PortFolder& folder, int com, const std::string& device);

// Whatever plays a reader with a given bus address on COM<com> of a port
// folder: a scripted peer (scriptedReader below) or a simulated reader
// published with its server at folder.portPath(com). Tests that only
// need "a reader there" take a factory, so either can stand in.
class ReaderOnPort {
public:
    virtual ~ReaderOnPort() = default;
};
using ReaderFactory = std::function<std::unique_ptr<ReaderOnPort>(PortFolder&, int com, std::uint8_t address)>;

// One piece of a reply: bytes written afterMs after the request came in.
struct Chunk {
    int afterMs = 0;
    Bytes bytes;
};
using Reply = std::vector<Chunk>;

// A reader stand-in on a pseudo-terminal published as COM<com>. It cuts what
// the driver sends into request frames by their length byte, records them and
// answers each with the next queued reply, else with the responder's, else
// not at all.
class ScriptedPeer : public ReaderOnPort {
public:
    ScriptedPeer(PortFolder& folder, int com);
    ~ScriptedPeer() override;
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    int com() const { return com_; }

    // The reply to the next request that finds the queue non-empty.
    void queue(Reply reply);
    void queue(Bytes answer) { queue(Reply{Chunk{0, std::move(answer)}}); }
    // The reply to requests that find the queue empty.
    void respondWith(std::function<Reply(const Bytes& request)> responder);
    // Bytes sent on the peer's own account, afterMs from now.
    void send(Bytes bytes, int afterMs = 0);
    // Closes the master side: the line is dead from then on.
    void hangUp();

    // The oldest request not yet taken, waiting up to timeoutMs for one.
    std::optional<Bytes> nextRequest(int timeoutMs);
    std::size_t requestCount() const;
    // Waits up to timeoutMs until the peer has written `count` chunks in all.
    bool waitForWrites(std::size_t count, int timeoutMs);
    // monotonicUs() just after the last chunk went out (0: none yet).
    std::uint64_t lastWriteUs() const { return lastWriteUs_.load(); }

private:
    struct Pending {
        std::uint64_t dueUs;
        Bytes bytes;
    };
    void run();
    void takeRequests(Bytes& input);
    void schedule(const Reply& reply, std::uint64_t fromUs);
    void writeDue();

    int com_;
    int master_ = -1;
    std::thread thread_;
    platform::Event wake_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> hangUp_{false};
    platform::Event hungUp_;
    std::atomic<std::uint64_t> lastWriteUs_{0};

    mutable std::mutex lock_;
    std::condition_variable requestArrived_;
    std::deque<Bytes> requests_;
    std::size_t requestCount_ = 0;
    std::size_t writeCount_ = 0;
    std::condition_variable written_;
    std::deque<Reply> queued_;
    std::function<Reply(const Bytes&)> responder_;
    std::vector<Pending> pending_;
};

// A scripted peer that answers the reader-information request as a reader
// with this address and a scan time of 3 s; any other request goes unanswered.
std::unique_ptr<ReaderOnPort> scriptedReader(PortFolder& folder, int com, std::uint8_t address);

} // namespace dalrix_test
