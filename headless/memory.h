// Host memory handles as the headless host hands them out. Every handle is tracked:
// locks are counted, and misuse (an unknown or disposed handle, an unlock without a
// lock, disposing or resizing a locked handle) is counted rather than crashing, so that
// tests can assert that the effect used its handles properly. Allocation can be made
// to fail on purpose to exercise out-of-memory paths.
#pragma once

#include <cstddef>
#include <cstdint>

#include "hostsdk/effect.h"

PF_Handle headless_new_handle(A_HandleSize size);
void* headless_lock_handle(PF_Handle h);
void headless_unlock_handle(PF_Handle h);
void headless_dispose_handle(PF_Handle h);
A_HandleSize headless_get_handle_size(PF_Handle h);
PF_Err headless_resize_handle(A_HandleSize new_size, PF_Handle* h);

// Fills the six memory callbacks of a utility callback table.
void headless_memory_callbacks(PF_UtilCallbacks* utils);

struct headless_memory_stats {
    int64_t live_handles;    // allocated and not yet disposed of
    int64_t locked_handles;  // live handles with a lock count above zero
    int64_t allocations;     // successful new handles so far
    int64_t misuse;          // calls that broke the rules above
};
headless_memory_stats headless_memory_statistics();

// Lets the next `after` allocations succeed, then fails the `count` after them (new and
// resize alike). headless_fail_allocations(0, 0) turns failures off.
void headless_fail_allocations(int64_t after, int64_t count);
// Lets the next `after` locks succeed, then makes the `count` after them answer none
// (a refused lock is not counted).
void headless_fail_locks(int64_t after, int64_t count);
// Forgets the misuse count (handles stay as they are).
void headless_reset_misuse();
