// The host side of the diagnostic "raw" family for tests: frames written to
// and read from a real descriptor (a serial port on a pseudo-terminal, or a
// TCP socket), every read bounded by a time-out.
#pragma once

#include <cerrno>
#include <optional>
#include <poll.h>
#include <unistd.h>
#include <vector>

#include "platform/clock.h"
#include "sim/raw.h"
#include "test_bytes.h"

namespace simtest {

class RawLink {
public:
    explicit RawLink(int fd) : fd_(fd) {}

    bool send(const Bytes& bytes) const
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n > 0)
                done += static_cast<std::size_t>(n);
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            else
                wait(POLLOUT, 100);
        }
        return true;
    }

    // Reads until `count` bytes arrived or timeoutMs passed; returns what came.
    Bytes read(std::size_t count, int timeoutMs) const
    {
        Bytes out;
        const std::uint64_t deadline = platform::monotonicMs() + static_cast<std::uint64_t>(timeoutMs);
        while (out.size() < count) {
            const std::uint64_t now = platform::monotonicMs();
            if (now >= deadline || !wait(POLLIN, static_cast<int>(deadline - now)))
                break;
            std::uint8_t buf[512];
            const ssize_t n = ::read(fd_, buf, std::min(sizeof buf, count - out.size()));
            if (n <= 0) {
                if (n < 0 && (errno == EAGAIN || errno == EINTR))
                    continue;
                break; // hung up
            }
            out.insert(out.end(), buf, buf + n);
        }
        return out;
    }

    // Everything that arrives within ms (to show that nothing does).
    Bytes readFor(int ms) const { return read(1 << 16, ms); }

    // One length-prefixed frame.
    Bytes readFrame(int timeoutMs = 2000) const
    {
        const std::uint64_t start = platform::monotonicMs();
        Bytes frame = read(1, timeoutMs);
        if (frame.empty())
            return frame;
        const int left = timeoutMs - static_cast<int>(platform::monotonicMs() - start);
        const Bytes rest = read(frame[0], std::max(left, 1));
        frame.insert(frame.end(), rest.begin(), rest.end());
        return frame;
    }

    std::optional<sim::raw::Answer> ask(std::uint8_t command, const Bytes& payload = {}, int timeoutMs = 2000) const
    {
        if (!send(sim::raw::frame(command, payload)))
            return std::nullopt;
        return sim::raw::parse(readFrame(timeoutMs));
    }

    // True when the descriptor reports a hang-up (or an error) within ms.
    bool hungUp(int ms) const
    {
        pollfd p{fd_, POLLIN, 0};
        const std::uint64_t deadline = platform::monotonicMs() + static_cast<std::uint64_t>(ms);
        for (;;) {
            const std::uint64_t now = platform::monotonicMs();
            if (now >= deadline || ::poll(&p, 1, static_cast<int>(deadline - now)) <= 0)
                return false;
            if (p.revents & (POLLHUP | POLLERR))
                return true;
            std::uint8_t buf[64];
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
                return true;
        }
    }

private:
    bool wait(short events, int ms) const
    {
        pollfd p{fd_, events, 0};
        return ::poll(&p, 1, ms) > 0;
    }

    int fd_;
};

} // namespace simtest
