// Scheduling priority of the calling thread, for short stretches of
// time-critical work such as bit-banged line protocols.
#pragma once

namespace platform {

// Raises the calling thread to the highest time-sharing priority it may
// take: nice -20 where permitted, else the lowest nice value that the
// process's RLIMIT_NICE allows. The thread stays under the normal scheduler,
// so a thread that busy-waits at this priority slows other work down but
// never locks it out. The first raise remembers the thread's own nice value;
// raising again keeps that. Returns true when the thread now runs above that
// value, false when nothing was permitted (the thread is unchanged then).
bool raiseThreadPriority();

// Puts the calling thread back to the nice value it had before its first
// raise; nothing when it was not raised.
void restoreThreadPriority();

} // namespace platform
