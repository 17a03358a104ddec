#include "pty_peer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

#include "platform/clock.h"

namespace fs = std::filesystem;

namespace dalrix_test {

std::uint16_t crc16(std::span<const std::uint8_t> bytes)
{
    // Bit by bit, most readable against the definition: reflected 0x1021.
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t byte : bytes)
        for (int i = 0; i < 8; ++i) {
            const bool low = ((crc ^ (byte >> i)) & 1) != 0;
            crc = static_cast<std::uint16_t>(crc >> 1);
            if (low)
                crc ^= 0x8408;
        }
    return crc;
}

Bytes withCrc(Bytes bytes)
{
    const std::uint16_t crc = crc16(bytes);
    bytes.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(crc >> 8));
    return bytes;
}

std::string hex(std::span<const std::uint8_t> bytes)
{
    std::string text;
    for (std::uint8_t b : bytes) {
        char two[4];
        std::snprintf(two, sizeof two, "%s%02X", text.empty() ? "" : " ", b);
        text += two;
    }
    return text;
}

void publish(PortFolder& folder, int com, const std::string& device)
{
    const fs::path name = folder.portPath(com);
    std::error_code ignored;
    fs::remove(name, ignored);
    fs::create_symlink(device, name);
}

ScriptedPeer::ScriptedPeer(PortFolder& folder, int com) : com_(com)
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
        throw std::runtime_error("cannot open a pseudo-terminal");
    publish(folder, com, ::ptsname(master_));
    thread_ = std::thread([this] { run(); });
}

ScriptedPeer::~ScriptedPeer()
{
    stop_ = true;
    wake_.set();
    thread_.join();
    if (master_ >= 0)
        ::close(master_);
}

void ScriptedPeer::queue(Reply reply)
{
    std::lock_guard guard(lock_);
    queued_.push_back(std::move(reply));
}

void ScriptedPeer::respondWith(std::function<Reply(const Bytes&)> responder)
{
    std::lock_guard guard(lock_);
    responder_ = std::move(responder);
}

void ScriptedPeer::send(Bytes bytes, int afterMs)
{
    {
        std::lock_guard guard(lock_);
        schedule(Reply{Chunk{afterMs, std::move(bytes)}}, platform::monotonicUs());
    }
    wake_.set();
}

void ScriptedPeer::hangUp()
{
    hangUp_ = true;
    wake_.set();
    hungUp_.wait(2000);
}

std::optional<Bytes> ScriptedPeer::nextRequest(int timeoutMs)
{
    std::unique_lock guard(lock_);
    if (!requestArrived_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return !requests_.empty(); }))
        return std::nullopt;
    Bytes request = std::move(requests_.front());
    requests_.pop_front();
    return request;
}

std::size_t ScriptedPeer::requestCount() const
{
    std::lock_guard guard(lock_);
    return requestCount_;
}

bool ScriptedPeer::waitForWrites(std::size_t count, int timeoutMs)
{
    std::unique_lock guard(lock_);
    return written_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return writeCount_ >= count; });
}

// Called with lock_ held.
void ScriptedPeer::schedule(const Reply& reply, std::uint64_t fromUs)
{
    for (const Chunk& chunk : reply)
        pending_.push_back({fromUs + static_cast<std::uint64_t>(std::max(chunk.afterMs, 0)) * 1000, chunk.bytes});
    std::stable_sort(pending_.begin(), pending_.end(),
                     [](const Pending& a, const Pending& b) { return a.dueUs < b.dueUs; });
}

void ScriptedPeer::takeRequests(Bytes& input)
{
    const std::uint64_t now = platform::monotonicUs();
    while (!input.empty() && input.size() >= std::size_t{input[0]} + 1) {
        const std::size_t size = std::size_t{input[0]} + 1;
        Bytes frame(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(size));
        input.erase(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(size));
        std::lock_guard guard(lock_);
        Reply reply;
        if (!queued_.empty()) {
            reply = std::move(queued_.front());
            queued_.pop_front();
        } else if (responder_) {
            reply = responder_(frame);
        }
        schedule(reply, now);
        requests_.push_back(std::move(frame));
        ++requestCount_;
        requestArrived_.notify_all();
    }
}

void ScriptedPeer::writeDue()
{
    std::vector<Bytes> due;
    {
        std::lock_guard guard(lock_);
        const std::uint64_t now = platform::monotonicUs();
        auto it = pending_.begin();
        while (it != pending_.end() && it->dueUs <= now)
            due.push_back(std::move((it++)->bytes));
        pending_.erase(pending_.begin(), it);
    }
    for (const Bytes& bytes : due) {
        std::size_t done = 0;
        while (done < bytes.size() && !stop_) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && errno == EAGAIN) {
                pollfd p{master_, POLLOUT, 0};
                ::poll(&p, 1, 100);
            } else if (n < 0 && errno != EINTR) {
                break; // no one on the line
            }
        }
        lastWriteUs_ = platform::monotonicUs();
        std::lock_guard guard(lock_);
        ++writeCount_;
        written_.notify_all();
    }
}

void ScriptedPeer::run()
{
    Bytes input;
    while (!stop_) {
        if (hangUp_ && master_ >= 0) {
            ::close(master_);
            master_ = -1;
            std::lock_guard guard(lock_);
            pending_.clear();
            hungUp_.set();
        }
        int timeoutMs = -1;
        {
            std::lock_guard guard(lock_);
            if (!pending_.empty()) {
                const std::uint64_t now = platform::monotonicUs();
                const std::uint64_t due = pending_.front().dueUs;
                timeoutMs = due <= now ? 0 : static_cast<int>((due - now + 999) / 1000);
            }
        }
        pollfd fds[2] = {{wake_.fd(), POLLIN, 0}, {master_, POLLIN, 0}};
        const nfds_t count = master_ >= 0 ? 2 : 1;
        ::poll(fds, count, timeoutMs);
        if (count == 2 && (fds[1].revents & POLLHUP) && !(fds[1].revents & POLLIN)) {
            // No one holds the other side open: the master reports hang-up
            // without pause until a driver opens the port. Look again shortly.
            pollfd wake{wake_.fd(), POLLIN, 0};
            ::poll(&wake, 1, timeoutMs < 0 ? 2 : std::min(timeoutMs, 2));
        }
        if (wake_.isSet())
            wake_.reset();
        if (master_ < 0)
            continue;
        std::uint8_t chunk[512];
        for (;;) {
            const ssize_t n = ::read(master_, chunk, sizeof chunk);
            if (n <= 0)
                break;
            input.insert(input.end(), chunk, chunk + n);
        }
        takeRequests(input);
        writeDue();
    }
}

std::unique_ptr<ReaderOnPort> scriptedReader(PortFolder& folder, int com, std::uint8_t address)
{
    auto peer = std::make_unique<ScriptedPeer>(folder, com);
    peer->respondWith([address](const Bytes& request) {
        if (request.size() != 6 || request[2] != 0x00 || request[3] != 0xF0)
            return Reply{};
        return Reply{Chunk{0, withCrc({0x0C, address, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 30})}};
    });
    return peer;
}

} // namespace dalrix_test
