#pragma once

// How the process hands freed memory back to the system. glibc gives threads allocator arenas of
// their own and keeps what they free for reuse, so what closed windows and their streams' threads
// freed would stay resident in many arenas long after the windows closed.
namespace ProcessMemory {

// At start-up, before any thread is made: at most two allocator arenas for the whole process.
void limitAllocatorArenas();
// Returns the allocator's free pages to the system once the GUI thread's queued work has run;
// calls made before that share one release. GUI thread only.
void releaseFreedMemorySoon();

}  // namespace ProcessMemory
