// A scripted reader for tests and benchmarks: it sits on the far end of a
// pseudo-terminal (published as COMn in a private port folder) or of a
// loopback TCP connection, reads request frames and writes whatever answer
// bytes the test scripted for them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/event.h"

namespace peer {

using Bytes = std::vector<std::uint8_t>;

// One request frame as the peer read it.
struct Request {
    Bytes frame;
    std::uint8_t mode = 0;
    std::uint8_t address = 0;
    std::uint8_t command = 0;
    Bytes data;
};

// The answer to one request: pieces written one after the other, gapMs apart
// (nothing at all: the reader stays silent).
struct Reply {
    std::vector<Bytes> pieces;
    int gapMs = 0;
};

// An answer frame with a correct CRC where the mode has one. lengthByte
// defaults to the data size; pass 0xFF with block-list data.
Bytes answerFrame(std::uint8_t mode, std::uint8_t address, std::uint8_t status, const Bytes& data,
                  int lengthByte = -1);

// The private port folder of this process; set as TAGGING_PORT_DIR on first use.
const std::string& portDir();

class ScriptedPeer {
public:
    using Responder = std::function<Reply(const Request&)>;

    // A pseudo-terminal published as COM<portNumber>.
    static std::unique_ptr<ScriptedPeer> pty(int portNumber);
    // A listener on 127.0.0.1; tcpPort() tells where. One connection at a time.
    static std::unique_ptr<ScriptedPeer> tcp();

    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    int tcpPort() const { return tcpPort_; }
    // The pseudo-terminal's reader side, for raw use (benchmarks).
    int masterFd() const { return ioFd_; }

    // How requests are answered from now on (default: silence).
    void respond(Responder responder);
    // Every request gets an answer in its own mode and address with this status and data.
    void answerAll(std::uint8_t status, const Bytes& data);

    // Writes bytes to the host now, from the calling thread.
    bool write(std::span<const std::uint8_t> bytes);
    // Waits until at least count requests have arrived in all.
    bool waitRequests(std::size_t count, int timeoutMs);
    std::vector<Request> requests() const;
    // Closes the line: the pseudo-terminal's reader side, or the TCP connection.
    void hangUp();
    // Stops (or resumes) reading what the host writes, so that the line fills up.
    void pauseReading(bool paused);
    // Whether a TCP host has connected (ever).
    bool waitConnected(int timeoutMs);

private:
    ScriptedPeer() = default;
    void run();
    void consume(std::span<const std::uint8_t> bytes);

    int ioFd_ = -1;     // pty master or accepted connection
    int slaveFd_ = -1;  // kept open so that the master never sees a hang-up between links
    int listenFd_ = -1; // TCP
    int tcpPort_ = 0;
    std::string link_;  // the published COMn path

    platform::Event stop_;
    platform::Event hangUp_;
    platform::Event hungUp_;
    platform::Event wake_;
    std::atomic<bool> paused_{false};
    platform::Event connected_;
    std::thread thread_;

    mutable std::mutex lock_;
    std::condition_variable arrived_;
    Responder responder_;
    std::vector<Request> requests_;
    Bytes pending_;
};

} // namespace peer
