// A message loop per thread: periodic timers, file descriptor watchers and
// posted callbacks, all run on the thread that owns the loop and only while
// that thread dispatches.
//
// A thread's loop comes into being on first use of MessageLoop::current().
// Dispatching is re-entrant: a callback may dispatch again (a driver waiting
// for its reader's answer does), and timer ticks keep coming inside such a
// nested dispatch. A watcher is never re-entered while its own callback runs.
// A timer or watcher removed inside a callback never fires again.
//
// A foreign event loop (the desktop program's) drives this one by watching
// wakeFd(): it becomes readable whenever something is due, and the foreign
// loop then calls dispatchPending().
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

class MessageLoop {
public:
    using Id = std::uint32_t;                    // never 0
    using TimerCallback = std::function<void(Id timerId)>;
    using Callback = std::function<void()>;

    // The calling thread's loop.
    static MessageLoop& current();
    // A handle to the calling thread's loop that other threads may keep and post to.
    static std::shared_ptr<MessageLoop> currentShared();

    ~MessageLoop();
    MessageLoop(const MessageLoop&) = delete;
    MessageLoop& operator=(const MessageLoop&) = delete;

    // Owning thread only. A periodic timer: the first tick comes periodMs after
    // the call, each following one periodMs after the previous tick started.
    // Ticks that fall due while the thread is not dispatching are merged into one.
    Id setTimer(unsigned periodMs, TimerCallback tick);
    bool killTimer(Id timerId);

    // Owning thread only. Calls readable() from dispatching while fd is readable
    // (or has hung up). The descriptor stays the caller's.
    Id watchFd(int fd, Callback readable);
    bool unwatch(Id watchId);

    // Any thread. Runs callback once on the owning thread, from its dispatching.
    void post(Callback callback);

    // Owning thread only. Runs every timer tick, watcher and posted callback
    // that is due now, without waiting. Returns how many callbacks ran.
    int dispatchPending();
    // Waits up to timeoutMs (< 0: forever) until something is due, then
    // dispatches it. Returns how many callbacks ran (0 on time-out).
    int dispatchOnce(int timeoutMs);
    // Dispatches for ms milliseconds.
    void runFor(int ms);
    // Dispatches until done() returns true (checked after every dispatch) or
    // timeoutMs passes. Returns done()'s last value.
    bool runUntil(const std::function<bool()>& done, int timeoutMs);

    // Readable whenever dispatching is due.
    int wakeFd() const;

    // Number of live timers and watchers (for leak checks in tests).
    std::size_t timerCount() const;
    std::size_t watcherCount() const;

    struct Impl;

private:
    MessageLoop();
    std::unique_ptr<Impl> impl_;
};

} // namespace platform
