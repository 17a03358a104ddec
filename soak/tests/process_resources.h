// What a process holds of the system: open descriptors, threads and heap
// bytes in use, to compare before and after a run.
#pragma once

#include <cstdint>
#include <string>

namespace soak {

struct ProcessResources {
    int descriptors = 0;           // entries of /proc/self/fd
    int threads = 0;               // entries of /proc/self/task
    std::int64_t heapBytes = 0;    // bytes handed out by malloc and not freed

    std::string describe() const;
};

// Taken after a short settling: descriptors and threads are counted again
// until two counts agree (a link thread may still be on its way out).
ProcessResources currentResources();

} // namespace soak
