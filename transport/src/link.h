// Links: the handle table, one record per open link, and the link threads.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <thread>
#include <utility>

#include "frame.h"
#include "linvaro.h"
#include "linvaro_testing.h"
#include "platform/event.h"
#include "platform/serial.h"

namespace linvaro {

constexpr int kMaxLinks = 16;

enum class LinkKind { Serial, Tcp };

// The send buffer: the frame that the last LVRM_Send prepared, handed to the
// link thread. A caller that gave up waiting may prepare the next frame while
// the link thread still takes out the previous one, so the buffer is a
// sequence lock over relaxed atomic bytes: the link thread copies the frame
// out and copies again when a newer one arrived meanwhile. One writer (the
// caller serialises its requests on a link), one reader (the link thread).
class SendBuffer {
public:
    void put(std::span<const std::uint8_t> frame);
    // Copies the newest frame to out and returns its length.
    std::size_t take(std::span<std::uint8_t, kSendBufferSize> out) const;

private:
    std::array<std::atomic<std::uint8_t>, kSendBufferSize> bytes_{};
    std::atomic<std::uint32_t> length_{0};
    std::atomic<std::uint32_t> version_{0}; // odd while a frame is being put
};

// One open link. Created and freed under the table lock; between open and
// close the caller's thread and the link thread share it as follows:
//  - send buffer: written by LVRM_Send, then announced by the send-request event;
//  - answer: the AnswerState hand-over;
//  - answer event and notification target: atomics, read by the link thread
//    when an answer completes;
//  - connected: atomic, cleared by the link thread when the line goes (a
//    serial device hung up or failed, a TCP peer closed the connection).
struct LinkRecord {
    LinkRecord(int handle, LinkKind kind) : handle(handle), kind(kind) {}
    ~LinkRecord();
    LinkRecord(const LinkRecord&) = delete;
    LinkRecord& operator=(const LinkRecord&) = delete;

    bool eventsValid() const { return stopEvent.valid() && sendRequest.valid(); }
    // Starts the link thread; false when the system refused one.
    bool start();
    // Sets the stop event and waits for the link thread to end (it wakes on
    // the stop event in every wait, so this takes no longer than one byte's handling).
    void stop();

    const int handle;
    const LinkKind kind;
    std::thread thread;
    platform::SerialPort port; // serial links
    int socket = -1;           // TCP links
    std::atomic<bool> connected{false};

    platform::Event sendRequest;
    platform::Event stopEvent;

    SendBuffer sendBuffer;

    std::atomic<platform::Event*> answerEvent{nullptr};
    std::atomic<void*> notifyLoop{nullptr};
    std::atomic<LVRM_NotifyProc> notifyProc{nullptr};
    std::atomic<void*> notifyContext{nullptr};
    std::atomic<std::uint32_t> notifyMessage{0};

    AnswerState answer;

    // Emulated modem lines attached by a test (linvaro_testing.h); empty in
    // normal use, when the port's own lines serve. Set and read only on the
    // thread that drives the lines.
    std::optional<LVRM_ModemLinesHooks> testLines;

private:
    void runSerial();
    void runTcp();
    void writeFrame(int fd);
    void deliver(std::span<const std::uint8_t> bytes, bool discardOnNewRequest);
    void notify(std::int32_t status);
    // The line has gone for good: not connected any more, and a command
    // waiting for its answer is woken to find that out at once.
    void lineGone();

    // Link thread only: the request count when it last took a frame to write.
    std::uint32_t writtenRequests_ = 0;
};

// A link in use by one export call. While any use of a slot lasts, closing
// that link waits before it frees the record, so a command waiting on one
// thread may poll its answer while another thread closes the link: the poll
// finds the handle empty instead of a freed record.
class LinkUse {
public:
    LinkUse() = default;
    LinkUse(LinkRecord* link, std::atomic<int>* users) : link_(link), users_(users) {}
    ~LinkUse()
    {
        if (users_)
            users_->fetch_sub(1, std::memory_order_release);
    }
    LinkUse(LinkUse&& other) noexcept : link_(std::exchange(other.link_, nullptr)), users_(std::exchange(other.users_, nullptr)) {}
    LinkUse(const LinkUse&) = delete;
    LinkUse& operator=(const LinkUse&) = delete;
    LinkUse& operator=(LinkUse&&) = delete;

    explicit operator bool() const { return link_ != nullptr; }
    LinkRecord* operator->() const { return link_; }

private:
    LinkRecord* link_ = nullptr;
    std::atomic<int>* users_ = nullptr;
};

// The link of a handle: the record of an open link, or an empty use for a
// handle outside 1..16 or an empty slot. Reads the table without its lock.
LinkUse findLink(std::int32_t handle);

} // namespace linvaro
