#include "foundation/concurrency/ProcessMemory.h"

#include "foundation/concurrency/MainQueue.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace ProcessMemory {
namespace {

constexpr int kAllocatorArenas = 2;
bool s_releaseQueued = false;

}  // namespace

void limitAllocatorArenas() {
#if defined(__GLIBC__)
    mallopt(M_ARENA_MAX, kAllocatorArenas);
#endif
}

void releaseFreedMemorySoon() {
    if (s_releaseQueued) {
        return;
    }
    s_releaseQueued = true;
    MainQueue::async([] {
        s_releaseQueued = false;
#if defined(__GLIBC__)
        malloc_trim(0);
#endif
    });
}

}  // namespace ProcessMemory
