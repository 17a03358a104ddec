#include "process_resources.h"

#include <cstddef>
#include <dirent.h>
#include <malloc.h>

#include "platform/clock.h"

// Under AddressSanitizer or ThreadSanitizer malloc is the sanitizer's own and
// glibc's arena statistics see nothing; the sanitizer counts its bytes itself.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SOAK_SANITIZER_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define SOAK_SANITIZER_HEAP 1
#endif
#endif
#ifdef SOAK_SANITIZER_HEAP
// The sanitizer runtime's count (declared here: not every compiler ships its
// header, sanitizer/allocator_interface.h).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace soak {
namespace {

// Entries of a /proc folder; ownDescriptor: the folder's own descriptor,
// open while it is read, is not counted.
int countEntries(const char* path, bool ownDescriptor)
{
    DIR* dir = opendir(path);
    if (!dir)
        return -1;
    int n = 0;
    while (const dirent* e = readdir(dir))
        if (e->d_name[0] != '.')
            ++n;
    closedir(dir);
    return ownDescriptor ? n - 1 : n;
}

std::int64_t heapInUse()
{
#ifdef SOAK_SANITIZER_HEAP
    return static_cast<std::int64_t>(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 m = mallinfo2();
    return static_cast<std::int64_t>(m.uordblks + m.hblkhd);
#endif
}

} // namespace

std::string ProcessResources::describe() const
{
    return std::to_string(descriptors) + " descriptors, " + std::to_string(threads) + " threads, " +
           std::to_string(heapBytes) + " heap bytes";
}

ProcessResources currentResources()
{
    ProcessResources r;
    for (int attempt = 0; attempt < 50; ++attempt) {
        r.descriptors = countEntries("/proc/self/fd", true);
        r.threads = countEntries("/proc/self/task", false);
        if (r.descriptors == countEntries("/proc/self/fd", true) && r.threads == countEntries("/proc/self/task", false))
            break;
        platform::sleepMs(10);
    }
    r.heapBytes = heapInUse();
    return r;
}

} // namespace soak
