#include "platform/loop.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cerrno>
#include <chrono>
#include <map>
#include <mutex>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/clock.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock; // CLOCK_MONOTONIC, the timerfd's clock

std::atomic<MessageLoop::Id> nextId{1};

MessageLoop::Id newId()
{
    MessageLoop::Id id = nextId.fetch_add(1, std::memory_order_relaxed);
    if (id == 0) // after wrapping around
        id = nextId.fetch_add(1, std::memory_order_relaxed);
    return id;
}

// epoll tags: the two loop-internal descriptors, then watchers by id.
constexpr std::uint64_t kTimerTag = 1ull << 40;
constexpr std::uint64_t kPostTag = 2ull << 40;

struct Timer {
    std::chrono::milliseconds period;
    Clock::time_point due;
    MessageLoop::TimerCallback tick;
};

struct Watcher {
    int fd;
    MessageLoop::Callback readable;
    bool running = false;
    bool ready = false;
};

} // namespace

struct MessageLoop::Impl {
    std::thread::id owner = std::this_thread::get_id();
    int epoll = -1;
    int timerFd = -1;
    int postFd = -1;

    // shared_ptr: a callback may remove its own entry while it runs.
    std::map<Id, std::shared_ptr<Timer>> timers;
    std::map<Id, std::shared_ptr<Watcher>> watchers;

    std::mutex postLock;
    std::vector<Callback> posted;

    void armTimerFd()
    {
        itimerspec spec{};
        if (!timers.empty()) {
            auto earliest = std::min_element(timers.begin(), timers.end(),
                [](const auto& a, const auto& b) { return a.second->due < b.second->due; })->second->due;
            auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(earliest.time_since_epoch()).count();
            if (ns <= 0)
                ns = 1;
            spec.it_value.tv_sec = static_cast<time_t>(ns / 1000000000);
            spec.it_value.tv_nsec = static_cast<long>(ns % 1000000000);
        }
        ::timerfd_settime(timerFd, TFD_TIMER_ABSTIME, &spec, nullptr);
    }

    int msUntilNextTimer() const
    {
        if (timers.empty())
            return -1;
        auto earliest = Clock::time_point::max();
        for (const auto& [id, t] : timers)
            earliest = std::min(earliest, t->due);
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(earliest - Clock::now()).count();
        return left < 0 ? 0 : static_cast<int>(std::min<long long>(left, 1 << 30));
    }

    void checkOwner() const
    {
        assert(std::this_thread::get_id() == owner && "a message loop is used only by its own thread");
    }

    // What the kernel says is ready right now: marks the ready watchers (a
    // watcher whose callback runs keeps its mark) and drains the timer
    // descriptor. True when posted calls are waiting.
    bool collectReady()
    {
        epoll_event events[64];
        int n;
        do {
            n = ::epoll_wait(epoll, events, 64, 0);
        } while (n < 0 && errno == EINTR);
        bool postsDue = false;
        for (auto& [id, w] : watchers)
            if (!w->running)
                w->ready = false;
        for (int i = 0; i < n; ++i) {
            const std::uint64_t tag = events[i].data.u64;
            if (tag == kTimerTag) {
                std::uint64_t expirations;
                [[maybe_unused]] ssize_t r = ::read(timerFd, &expirations, sizeof expirations);
            } else if (tag == kPostTag) {
                postsDue = true;
            } else if (auto it = watchers.find(static_cast<Id>(tag)); it != watchers.end()) {
                it->second->ready = true;
            }
        }
        return postsDue;
    }

    // The timers that are due, in order of their due times. Ids are looked up
    // again before every call: a tick may kill any timer, or dispatch again.
    int runDueTimers()
    {
        int ran = 0;
        const auto now = Clock::now();
        std::vector<std::pair<Clock::time_point, Id>> due;
        for (const auto& [id, t] : timers)
            if (t->due <= now)
                due.emplace_back(t->due, id);
        std::sort(due.begin(), due.end());
        for (const auto& [when, id] : due) {
            auto it = timers.find(id);
            if (it == timers.end())
                continue;
            std::shared_ptr<Timer> timer = it->second;
            if (timer->due > Clock::now())
                continue; // already ticked in a nested dispatch
            timer->due = Clock::now() + timer->period;
            armTimerFd();
            timer->tick(id);
            ++ran;
        }
        armTimerFd();
        return ran;
    }

    // The watchers whose descriptor is readable, unless their callback is running.
    int runReadyWatchers()
    {
        int ran = 0;
        std::vector<Id> ready;
        for (const auto& [id, w] : watchers)
            if (w->ready && !w->running)
                ready.push_back(id);
        for (Id id : ready) {
            auto it = watchers.find(id);
            if (it == watchers.end())
                continue;
            runWatcher(id, it->second);
            ++ran;
        }
        return ran;
    }

    void runWatcher(Id id, std::shared_ptr<Watcher> watcher)
    {
        watcher->ready = false;
        watcher->running = true;
        // Out of the epoll set while its callback runs: a nested dispatch
        // (or wait) must not wake again and again for a descriptor that this
        // callback will read only after the nested dispatch returns.
        setEvents(watcher->fd, id, 0);
        watcher->readable();
        watcher->running = false;
        if (auto still = watchers.find(id); still != watchers.end() && still->second == watcher)
            setEvents(watcher->fd, id, EPOLLIN);
    }

    // The events epoll reports for a watched descriptor (0: none).
    void setEvents(int fd, Id id, std::uint32_t events)
    {
        epoll_event ev{};
        ev.events = events;
        ev.data.u64 = id;
        ::epoll_ctl(epoll, EPOLL_CTL_MOD, fd, &ev);
    }

    // The calls posted before this round; those they post wait for the next.
    int runPostedCalls()
    {
        std::uint64_t count;
        [[maybe_unused]] ssize_t r = ::read(postFd, &count, sizeof count);
        std::vector<Callback> batch;
        {
            std::lock_guard lock(postLock);
            batch.swap(posted);
        }
        for (auto& callback : batch)
            callback();
        return static_cast<int>(batch.size());
    }
};

namespace {

thread_local std::shared_ptr<MessageLoop> threadLoop;

} // namespace

MessageLoop::MessageLoop() : impl_(std::make_unique<Impl>())
{
    impl_->epoll = ::epoll_create1(EPOLL_CLOEXEC);
    impl_->timerFd = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    impl_->postFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = kTimerTag;
    ::epoll_ctl(impl_->epoll, EPOLL_CTL_ADD, impl_->timerFd, &ev);
    ev.data.u64 = kPostTag;
    ::epoll_ctl(impl_->epoll, EPOLL_CTL_ADD, impl_->postFd, &ev);
}

MessageLoop::~MessageLoop()
{
    for (int fd : {impl_->epoll, impl_->timerFd, impl_->postFd})
        if (fd >= 0)
            ::close(fd);
}

MessageLoop& MessageLoop::current()
{
    return *currentShared();
}

std::shared_ptr<MessageLoop> MessageLoop::currentShared()
{
    if (!threadLoop)
        threadLoop = std::shared_ptr<MessageLoop>(new MessageLoop());
    return threadLoop;
}

MessageLoop::Id MessageLoop::setTimer(unsigned periodMs, TimerCallback tick)
{
    impl_->checkOwner();
    const Id id = newId();
    const auto period = std::chrono::milliseconds(periodMs);
    impl_->timers.emplace(id, std::make_shared<Timer>(Timer{period, Clock::now() + period, std::move(tick)}));
    impl_->armTimerFd();
    return id;
}

bool MessageLoop::killTimer(Id timerId)
{
    impl_->checkOwner();
    if (impl_->timers.erase(timerId) == 0)
        return false;
    impl_->armTimerFd();
    return true;
}

MessageLoop::Id MessageLoop::watchFd(int fd, Callback readable)
{
    impl_->checkOwner();
    const Id id = newId();
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = id;
    if (::epoll_ctl(impl_->epoll, EPOLL_CTL_ADD, fd, &ev) != 0)
        return 0;
    impl_->watchers.emplace(id, std::make_shared<Watcher>(Watcher{fd, std::move(readable)}));
    return id;
}

bool MessageLoop::unwatch(Id watchId)
{
    impl_->checkOwner();
    auto it = impl_->watchers.find(watchId);
    if (it == impl_->watchers.end())
        return false;
    ::epoll_ctl(impl_->epoll, EPOLL_CTL_DEL, it->second->fd, nullptr);
    impl_->watchers.erase(it);
    return true;
}

void MessageLoop::post(Callback callback)
{
    {
        std::lock_guard lock(impl_->postLock);
        impl_->posted.push_back(std::move(callback));
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(impl_->postFd, &one, sizeof one);
}

// One round of dispatching, in three phases: the timers that are due, then
// the watchers whose descriptor was readable when the round began, then the
// calls posted so far.
int MessageLoop::dispatchPending()
{
    impl_->checkOwner();
    Impl& d = *impl_;
    const bool postsDue = d.collectReady();
    int ran = d.runDueTimers();
    ran += d.runReadyWatchers();
    if (postsDue)
        ran += d.runPostedCalls();
    return ran;
}

int MessageLoop::dispatchOnce(int timeoutMs)
{
    impl_->checkOwner();
    int wait = impl_->msUntilNextTimer();
    if (wait < 0 || (timeoutMs >= 0 && timeoutMs < wait))
        wait = timeoutMs;
    pollfd p{impl_->epoll, POLLIN, 0};
    const int n = ::poll(&p, 1, wait);
    if (n < 0 && errno != EINTR)
        return 0;
    return dispatchPending();
}

void MessageLoop::runFor(int ms)
{
    runUntil([] { return false; }, ms);
}

bool MessageLoop::runUntil(const std::function<bool()>& done, int timeoutMs)
{
    const std::uint64_t deadline = monotonicMs() + static_cast<std::uint64_t>(std::max(timeoutMs, 0));
    if (done())
        return true;
    for (;;) {
        const std::uint64_t now = monotonicMs();
        if (now >= deadline)
            return done();
        dispatchOnce(static_cast<int>(deadline - now));
        if (done())
            return true;
    }
}

int MessageLoop::wakeFd() const
{
    return impl_->epoll;
}

std::size_t MessageLoop::timerCount() const { return impl_->timers.size(); }
std::size_t MessageLoop::watcherCount() const { return impl_->watchers.size(); }

} // namespace platform
