#include "platform/event.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "platform/clock.h"

namespace platform {

namespace {

// poll() that survives signals and keeps to the overall time-out.
int pollFor(pollfd* fds, nfds_t count, int timeoutMs)
{
    const std::uint64_t deadline = timeoutMs < 0 ? 0 : monotonicMs() + static_cast<unsigned>(timeoutMs);
    for (;;) {
        int wait = timeoutMs;
        if (timeoutMs >= 0) {
            const std::uint64_t now = monotonicMs();
            wait = now >= deadline ? 0 : static_cast<int>(deadline - now);
        }
        const int n = ::poll(fds, count, wait);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

} // namespace

Event::Event(bool initiallySet) : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (initiallySet)
        set();
}

Event::~Event()
{
    if (fd_ >= 0)
        ::close(fd_);
}

Event::Event(Event&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

Event& Event::operator=(Event&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

void Event::set()
{
    if (fd_ < 0)
        return;
    const std::uint64_t one = 1;
    // The counter only has to be non-zero; a full counter (EAGAIN) is still set.
    [[maybe_unused]] ssize_t n = ::write(fd_, &one, sizeof one);
}

void Event::reset()
{
    if (fd_ < 0)
        return;
    std::uint64_t value;
    [[maybe_unused]] ssize_t n = ::read(fd_, &value, sizeof value);
}

bool Event::isSet() const
{
    return wait(0);
}

bool Event::wait(int timeoutMs) const
{
    if (fd_ < 0)
        return false;
    pollfd p{fd_, POLLIN, 0};
    return pollFor(&p, 1, timeoutMs) > 0 && (p.revents & POLLIN);
}

int waitAny(std::initializer_list<const Event*> events, int timeoutMs)
{
    std::vector<pollfd> fds;
    fds.reserve(events.size());
    for (const Event* e : events)
        fds.push_back(pollfd{e ? e->fd() : -1, POLLIN, 0});
    if (pollFor(fds.data(), fds.size(), timeoutMs) <= 0)
        return -1;
    for (std::size_t i = 0; i < fds.size(); ++i)
        if (fds[i].revents & POLLIN)
            return static_cast<int>(i);
    return -1;
}

} // namespace platform
