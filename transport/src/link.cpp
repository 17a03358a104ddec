// The handle table, opening and closing links, and the link threads.

#include "link.h"

#include <arpa/inet.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net.h"
#include "platform/clock.h"
#include "platform/guard.h"
#include "platform/loop.h"

namespace linvaro {

namespace {

// Longest wait for room on the line while a frame is written; the stop event
// ends it at once.
constexpr int kWriteTimeoutMs = 2000;

// The 16 slots. Opens and closes run under the lock; every other export finds
// a link through the published pointers without it. A record is published
// only once its link is open and unpublished before it is released.
class LinkTable {
public:
    ~LinkTable()
    {
        // Library unload: every link still open is released, without the closing pause.
        std::lock_guard guard(lock);
        for (int slot = 0; slot < kMaxLinks; ++slot)
            release(slot);
    }

    int freeSlot() const
    {
        for (int slot = 0; slot < kMaxLinks; ++slot)
            if (!owners[static_cast<std::size_t>(slot)])
                return slot;
        return -1;
    }
    void install(int slot, std::unique_ptr<LinkRecord> record)
    {
        published[static_cast<std::size_t>(slot)].store(record.get(), std::memory_order_release);
        owners[static_cast<std::size_t>(slot)] = std::move(record);
    }
    bool release(int slot)
    {
        auto& owner = owners[static_cast<std::size_t>(slot)];
        if (!owner)
            return false;
        const auto index = static_cast<std::size_t>(slot);
        // Sequentially consistent with find(): a caller either sees the slot
        // empty or is counted here, and the record outlives its last use.
        published[index].store(nullptr, std::memory_order_seq_cst);
        while (users[index].load(std::memory_order_seq_cst) != 0)
            std::this_thread::yield(); // export calls do not block: a use lasts microseconds
        owner.reset(); // stops the link thread, closes the port or socket
        return true;
    }
    LinkUse find(std::int32_t handle)
    {
        if (handle < 1 || handle > kMaxLinks)
            return {};
        const auto index = static_cast<std::size_t>(handle - 1);
        users[index].fetch_add(1, std::memory_order_seq_cst);
        LinkRecord* link = published[index].load(std::memory_order_seq_cst);
        if (!link) {
            users[index].fetch_sub(1, std::memory_order_release);
            return {};
        }
        return {link, &users[index]};
    }

    std::mutex lock;

private:
    std::array<std::unique_ptr<LinkRecord>, kMaxLinks> owners;
    std::array<std::atomic<LinkRecord*>, kMaxLinks> published{};
    std::array<std::atomic<int>, kMaxLinks> users{};
};

// Created when the library loads, destroyed (closing every link) when it unloads.
LinkTable table;

// Writes all of data to a descriptor that may take it in pieces. Gives up on
// an error, after kWriteTimeoutMs without room, or when the stop event is set.
void writeAll(int fd, std::span<const std::uint8_t> data, bool socket, const platform::Event& stop)
{
    const std::uint64_t deadline = platform::monotonicMs() + kWriteTimeoutMs;
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = socket ? ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT)
                                 : ::write(fd, data.data() + done, data.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return; // write errors show as answers that never come
        const std::uint64_t now = platform::monotonicMs();
        if (now >= deadline)
            return;
        pollfd fds[2] = {{stop.fd(), POLLIN, 0}, {fd, POLLOUT, 0}};
        if (::poll(fds, 2, static_cast<int>(deadline - now)) > 0 && (fds[0].revents & POLLIN))
            return;
    }
}

// poll() that retries after signals; false when polling itself failed for good.
bool pollAll(pollfd* fds, nfds_t count)
{
    for (;;) {
        if (::poll(fds, count, -1) >= 0)
            return true;
        if (errno != EINTR && errno != ENOMEM && errno != EAGAIN)
            return false;
    }
}

} // namespace

void SendBuffer::put(std::span<const std::uint8_t> frame)
{
    const std::uint32_t version = version_.load(std::memory_order_relaxed);
    // Release stores of the contents: whoever sees one of them sees the odd version too.
    version_.store(version + 1, std::memory_order_relaxed);
    const std::size_t n = std::min(frame.size(), bytes_.size());
    for (std::size_t i = 0; i < n; ++i)
        bytes_[i].store(frame[i], std::memory_order_release);
    length_.store(static_cast<std::uint32_t>(n), std::memory_order_release);
    version_.store(version + 2, std::memory_order_release);
}

std::size_t SendBuffer::take(std::span<std::uint8_t, kSendBufferSize> out) const
{
    for (;;) {
        const std::uint32_t before = version_.load(std::memory_order_acquire);
        if (before & 1) { // the caller is putting a frame right now
            std::this_thread::yield();
            continue;
        }
        // Acquire loads of the contents keep the second look at the version after them.
        const std::size_t n = std::min<std::size_t>(length_.load(std::memory_order_acquire), out.size());
        for (std::size_t i = 0; i < n; ++i)
            out[i] = bytes_[i].load(std::memory_order_acquire);
        if (version_.load(std::memory_order_relaxed) == before)
            return n;
    }
}

LinkUse findLink(std::int32_t handle)
{
    return table.find(handle);
}

LinkRecord::~LinkRecord()
{
    stop();
    if (socket >= 0)
        ::close(socket);
}

bool LinkRecord::start()
{
    try {
        thread = std::thread([this] { kind == LinkKind::Serial ? runSerial() : runTcp(); });
        return true;
    } catch (...) {
        return false;
    }
}

void LinkRecord::stop()
{
    if (thread.joinable()) {
        stopEvent.set();
        thread.join();
    }
}

void LinkRecord::notify(std::int32_t status)
{
    if (platform::Event* event = answerEvent.load(std::memory_order_acquire))
        event->set();
    auto* loop = static_cast<platform::MessageLoop*>(notifyLoop.load(std::memory_order_acquire));
    const LVRM_NotifyProc proc = notifyProc.load(std::memory_order_acquire);
    if (loop && proc) {
        void* context = notifyContext.load(std::memory_order_acquire);
        const std::uint32_t message = notifyMessage.load(std::memory_order_acquire);
        const std::int32_t link = handle;
        loop->post([proc, context, message, link, status] { proc(context, message, link, status); });
    }
}

void LinkRecord::lineGone()
{
    // Cleared before the caller's event is set: a command that wakes, or one
    // that LVRM_Send lets through just before, finds the link not connected
    // (LVRM_Send looks again after resetting the event).
    connected.store(false, std::memory_order_seq_cst);
    if (platform::Event* event = answerEvent.load(std::memory_order_seq_cst))
        event->set();
}

void LinkRecord::deliver(std::span<const std::uint8_t> bytes, bool discardOnNewRequest)
{
    // A serial request discards the input pending on the port. Bytes this
    // thread took off the port before it wrote the newest request out go the
    // same way: they were on the line before that request, so they cannot
    // answer it (a late answer to the request before would pass for its answer).
    for (std::uint8_t byte : bytes) {
        if (discardOnNewRequest && answer.requestCount() != writtenRequests_)
            return;
        if (auto status = answer.feed(byte))
            notify(*status);
    }
}

void LinkRecord::writeFrame(int fd)
{
    sendRequest.reset();
    // Read before the frame is taken: the frame is at least this new.
    writtenRequests_ = answer.requestCount();
    std::array<std::uint8_t, kSendBufferSize> frame;
    const std::size_t length = sendBuffer.take(frame);
    if (kind == LinkKind::Serial)
        port.purge(false, true);
    writeAll(fd, std::span(frame).first(length), kind == LinkKind::Tcp, stopEvent);
}

// The serial link thread: waits for stop, received bytes and send requests
// together (in that order of priority), without time-out.
void LinkRecord::runSerial()
{
    port.purge(true, true);
    const int fd = port.fd();
    bool watchPort = true;
    std::array<std::uint8_t, 256> chunk;
    for (;;) {
        pollfd fds[3] = {{stopEvent.fd(), POLLIN, 0}, {watchPort ? fd : -1, POLLIN, 0}, {sendRequest.fd(), POLLIN, 0}};
        if (!pollAll(fds, 3) || fds[0].revents)
            return;
        if (fds[1].revents) {
            const long n = port.read(chunk);
            if (n > 0) {
                deliver(std::span(chunk).first(static_cast<std::size_t>(n)), true);
            } else if (n < 0 || (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))) {
                // The device went away (adapter pulled, far end of a
                // pseudo-terminal closed): it never comes back on this descriptor.
                lineGone();
                watchPort = false;
            }
            continue;
        }
        if (fds[2].revents)
            writeFrame(fd);
    }
}

// The TCP link thread: as the serial one; a closed connection clears the
// connected flag and the socket is no longer watched.
void LinkRecord::runTcp()
{
    bool watchSocket = true;
    std::array<std::uint8_t, 1024> chunk;
    for (;;) {
        pollfd fds[3] = {{stopEvent.fd(), POLLIN, 0},
                         {watchSocket ? socket : -1, POLLIN | POLLRDHUP, 0},
                         {sendRequest.fd(), POLLIN, 0}};
        if (!pollAll(fds, 3) || fds[0].revents)
            return;
        if (fds[1].revents) {
            const ssize_t n = ::recv(socket, chunk.data(), chunk.size(), MSG_DONTWAIT);
            if (n > 0) {
                deliver(std::span(chunk).first(static_cast<std::size_t>(n)), false);
                continue;
            }
            const bool wouldBlock = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
            if (!wouldBlock || (fds[1].revents & (POLLHUP | POLLRDHUP | POLLERR))) {
                lineGone();
                watchSocket = false;
            }
            continue;
        }
        if (fds[2].revents)
            writeFrame(socket);
    }
}

namespace {

// Finds a slot and creates its record; -1 (slot stays empty) when none is
// free or the events could not be made. Table lock held.
std::unique_ptr<LinkRecord> createRecord(LinkKind kind, int& slot)
{
    slot = table.freeSlot();
    if (slot < 0)
        return nullptr;
    auto record = std::make_unique<LinkRecord>(slot + 1, kind);
    if (!record->eventsValid())
        return nullptr;
    record->answer.resetEmpty();
    return record;
}

std::int32_t openSerial(std::int32_t portNumber, std::int32_t baud)
{
    std::unique_lock guard(table.lock);
    int slot = -1;
    auto record = createRecord(LinkKind::Serial, slot);
    if (!record)
        return LVRM_OPEN_FAILED;
    record->port = platform::SerialPort::open(platform::serialPortPath(portNumber), baud);
    if (!record->port.isOpen())
        return LVRM_OPEN_FAILED;
    record->port.purge(true, true);
    if (!record->start())
        return LVRM_OPEN_FAILED;
    record->connected.store(true, std::memory_order_release);
    table.install(slot, std::move(record));
    guard.unlock();
    platform::sleepMs(200); // the line settles
    return slot + 1;
}

// A blocking connect; a signal only interrupts the wait, not the connect.
bool connectTo(int fd, const sockaddr_in& peer)
{
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0)
        return true;
    if (errno != EINTR)
        return false;
    for (;;) {
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, -1) < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        int error = 0;
        socklen_t size = sizeof error;
        return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
    }
}

std::int32_t openTcp(const char* host, std::int32_t port, std::int32_t ping, std::int32_t pingTimeoutMs,
                     std::int32_t* roundTripMs)
{
    std::unique_lock guard(table.lock);
    int slot = -1;
    auto record = createRecord(LinkKind::Tcp, slot);
    if (!record || !host)
        return LVRM_OPEN_FAILED;
    std::array<std::uint8_t, 4> address{};
    if (!parseDottedQuad(host, address) && !resolveHost(host, address))
        return LVRM_OPEN_FAILED;
    record->socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (record->socket < 0)
        return LVRM_OPEN_FAILED;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<std::uint16_t>(port));
    std::memcpy(&peer.sin_addr, address.data(), 4); // the four bytes in order
    if (ping) {
        const auto roundTrip = icmpEcho(address, pingTimeoutMs);
        if (!roundTrip)
            return LVRM_OPEN_FAILED;
        if (roundTripMs)
            *roundTripMs = *roundTrip;
    }
    if (!connectTo(record->socket, peer))
        return LVRM_OPEN_FAILED;
    const int flags = ::fcntl(record->socket, F_GETFL);
    if (flags < 0 || ::fcntl(record->socket, F_SETFL, flags | O_NONBLOCK) != 0)
        return LVRM_OPEN_FAILED;
    record->connected.store(true, std::memory_order_release);
    if (!record->start())
        return LVRM_OPEN_FAILED;
    table.install(slot, std::move(record));
    guard.unlock();
    platform::sleepMs(100);
    return slot + 1;
}

std::int32_t setModemLine(std::int32_t handle, platform::ModemLine line, std::int32_t state)
{
    const auto link = findLink(handle);
    if (!link || link->kind != LinkKind::Serial)
        return 0;
    const std::int32_t control = state & 3;
    if (control > 1)
        return 0; // handshake and toggle control are not offered
    if (const auto& hooks = link->testLines) {
        const auto set = line == platform::ModemLine::Rts ? hooks->setRTS : hooks->setDTR;
        return set && set(hooks->context, control) == 1 ? 1 : 0;
    }
    return link->port.setLine(line, control == 1) ? 1 : 0;
}

std::optional<platform::ModemStatus> modemStatus(std::int32_t handle)
{
    const auto link = findLink(handle);
    if (!link || link->kind != LinkKind::Serial)
        return std::nullopt;
    if (const auto& hooks = link->testLines) {
        return platform::ModemStatus{.cts = hooks->getCTS && hooks->getCTS(hooks->context) == 1,
                                     .dsr = hooks->getDSR && hooks->getDSR(hooks->context) == 1};
    }
    return link->port.modemStatus();
}

// Frees the slot (its record stops the link thread and closes the port or
// socket); false for an invalid or empty handle.
bool closeLink(std::int32_t handle)
{
    if (handle < 1 || handle > kMaxLinks)
        return false;
    {
        std::lock_guard guard(table.lock);
        if (!table.release(handle - 1))
            return false;
    }
    platform::sleepMs(200);
    return true;
}

} // namespace

} // namespace linvaro

using namespace linvaro;

extern "C" {

LVRM_API int32_t LVRM_SerialOpen(int32_t portNumber, int32_t baud)
{
    return platform::guarded(LVRM_OPEN_FAILED, [&] { return openSerial(portNumber, baud); });
}

LVRM_API int32_t LVRM_TCPOpenEx(const char* host, int32_t port, int32_t ping, int32_t pingTimeoutMs,
                                int32_t* roundTripMs)
{
    return platform::guarded(LVRM_OPEN_FAILED,
                             [&] { return openTcp(host, port, ping, pingTimeoutMs, roundTripMs); });
}

LVRM_API int32_t LVRM_TCPOpen(const char* host, int32_t port)
{
    return LVRM_TCPOpenEx(host, port, 0, 0, nullptr);
}

LVRM_API int32_t LVRM_Close(int32_t handle)
{
    return platform::guarded(0, [&] { return closeLink(handle) ? 1 : 0; });
}

LVRM_API int32_t LVRM_IsHandleValid(int32_t handle)
{
    return platform::guarded(LVRM_ERR_INVALID_HANDLE, [&]() -> std::int32_t {
        const auto link = findLink(handle);
        if (!link)
            return LVRM_ERR_INVALID_HANDLE;
        return link->connected.load(std::memory_order_acquire) ? LVRM_OK : LVRM_ERR_CONNECTION_LOST;
    });
}

LVRM_API intptr_t LVRM_GetCommHandle(int32_t handle)
{
    return platform::guarded(-1, [&]() -> std::intptr_t {
        const auto link = findLink(handle);
        return link && link->kind == LinkKind::Serial ? link->port.fd() : -1;
    });
}

LVRM_API intptr_t LVRM_GetSocket(int32_t handle)
{
    return platform::guarded(-1, [&]() -> std::intptr_t {
        const auto link = findLink(handle);
        return link && link->kind == LinkKind::Tcp ? link->socket : -1;
    });
}

LVRM_API int32_t LVRM_SetRTS(int32_t handle, int32_t state)
{
    return platform::guarded(0, [&] { return setModemLine(handle, platform::ModemLine::Rts, state); });
}

LVRM_API int32_t LVRM_SetDTR(int32_t handle, int32_t state)
{
    return platform::guarded(0, [&] { return setModemLine(handle, platform::ModemLine::Dtr, state); });
}

LVRM_API int32_t LVRM_GetCTS(int32_t handle)
{
    return platform::guarded(0, [&] {
        const auto status = modemStatus(handle);
        return status && status->cts ? 1 : 0;
    });
}

LVRM_API int32_t LVRM_GetDSR(int32_t handle)
{
    return platform::guarded(0, [&] {
        const auto status = modemStatus(handle);
        return status && status->dsr ? 1 : 0;
    });
}

LVRM_API int32_t LVRM_TestAttachModemLines(int32_t handle, const LVRM_ModemLinesHooks* hooks)
{
    return platform::guarded(0, [&] {
        const auto link = findLink(handle);
        if (!link || link->kind != LinkKind::Serial)
            return 0;
        link->testLines = hooks ? std::optional(*hooks) : std::nullopt;
        return 1;
    });
}

} // extern "C"
