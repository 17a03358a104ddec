// Manual-reset events that threads can set, reset and wait on.
//
// An event is an eventfd: readable while set. A link thread can therefore
// poll() its port, its socket and its events in one call.
#pragma once

#include <initializer_list>

namespace platform {

class Event {
public:
    explicit Event(bool initiallySet = false);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    Event(Event&& other) noexcept;
    Event& operator=(Event&& other) noexcept;

    // False when the kernel refused the descriptor; every other call is then a no-op.
    bool valid() const { return fd_ >= 0; }

    void set();
    void reset();
    bool isSet() const;

    // Waits until the event is set. timeoutMs < 0 waits forever.
    // Returns true when set, false on time-out.
    bool wait(int timeoutMs) const;

    // Readable (POLLIN) while the event is set. Owned by the event.
    int fd() const { return fd_; }

private:
    int fd_ = -1;
};

// Waits for the first of several events. When several are set, the first one
// in list order wins. Returns its index, or -1 on time-out (timeoutMs < 0: forever).
int waitAny(std::initializer_list<const Event*> events, int timeoutMs);

} // namespace platform
