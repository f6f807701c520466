#include "headless/memory.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>

namespace {

// A handle points at the `data` field, so that *handle is the memory as the effect API
// promises; the rest of the block is bookkeeping.
struct block {
    char* data;
    A_HandleSize size;
    int64_t locks;
};

struct registry {
    std::mutex lock;
    std::unordered_set<block*> live;
    int64_t allocations = 0;
    int64_t misuse = 0;
    int64_t alloc_pass = 0, alloc_fail = 0;
    int64_t lock_pass = 0, lock_fail = 0;
};

registry& reg() {
    static registry r;
    return r;
}

// Both counters count down: first the passes, then the failures.
bool take_failure(int64_t& pass, int64_t& fail) {
    if (pass > 0) {
        --pass;
        return false;
    }
    if (fail > 0) {
        --fail;
        return true;
    }
    return false;
}

block* find(registry& r, PF_Handle h) {
    auto* b = reinterpret_cast<block*>(h);
    if (!h || r.live.count(b) == 0) return nullptr;
    return b;
}

char* allocate(A_HandleSize size) {
    // Zero-sized handles still get distinct memory so that a lock never answers null.
    return static_cast<char*>(std::calloc(size ? size : 1, 1));
}

}  // namespace

PF_Handle headless_new_handle(A_HandleSize size) {
    registry& r = reg();
    std::lock_guard<std::mutex> guard(r.lock);
    if (take_failure(r.alloc_pass, r.alloc_fail)) return nullptr;
    auto* b = new (std::nothrow) block{allocate(size), size, 0};
    if (!b || !b->data) {
        if (b) delete b;
        return nullptr;
    }
    r.live.insert(b);
    ++r.allocations;
    return &b->data;
}

void* headless_lock_handle(PF_Handle h) {
    registry& r = reg();
    std::lock_guard<std::mutex> guard(r.lock);
    block* b = find(r, h);
    if (!b) {
        ++r.misuse;
        return nullptr;
    }
    if (take_failure(r.lock_pass, r.lock_fail)) return nullptr;
    ++b->locks;
    return b->data;
}

void headless_unlock_handle(PF_Handle h) {
    registry& r = reg();
    std::lock_guard<std::mutex> guard(r.lock);
    block* b = find(r, h);
    if (!b || b->locks == 0) {
        ++r.misuse;
        return;
    }
    --b->locks;
}

void headless_dispose_handle(PF_Handle h) {
    registry& r = reg();
    std::lock_guard<std::mutex> guard(r.lock);
    block* b = find(r, h);
    if (!b) {
        ++r.misuse;
        return;
    }
    if (b->locks != 0) ++r.misuse;  // disposed of while still in use; freed all the same
    r.live.erase(b);
    std::free(b->data);
    delete b;
}

A_HandleSize headless_get_handle_size(PF_Handle h) {
    registry& r = reg();
    std::lock_guard<std::mutex> guard(r.lock);
    block* b = find(r, h);
    if (!b) {
        ++r.misuse;
        return 0;
    }
    return b->size;
}

PF_Err headless_resize_handle(A_HandleSize new_size, PF_Handle* h) {
    registry& r = reg();
    std::lock_guard<std::mutex> guard(r.lock);
    block* b = h ? find(r, *h) : nullptr;
    if (!b || b->locks != 0) {
        // A locked handle cannot move: the effect holds a pointer into it.
        ++r.misuse;
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (take_failure(r.alloc_pass, r.alloc_fail)) return PF_Err_OUT_OF_MEMORY;
    char* data = allocate(new_size);
    if (!data) return PF_Err_OUT_OF_MEMORY;
    std::memcpy(data, b->data, b->size < new_size ? b->size : new_size);
    std::free(b->data);
    b->data = data;
    b->size = new_size;
    return PF_Err_NONE;
}

void headless_memory_callbacks(PF_UtilCallbacks* utils) {
    utils->host_new_handle = headless_new_handle;
    utils->host_lock_handle = headless_lock_handle;
    utils->host_unlock_handle = headless_unlock_handle;
    utils->host_dispose_handle = headless_dispose_handle;
    utils->host_get_handle_size = headless_get_handle_size;
    utils->host_resize_handle = headless_resize_handle;
}

headless_memory_stats headless_memory_statistics() {
    registry& r = reg();
    std::lock_guard<std::mutex> guard(r.lock);
    headless_memory_stats s{};
    s.live_handles = static_cast<int64_t>(r.live.size());
    for (const block* b : r.live)
        if (b->locks > 0) ++s.locked_handles;
    s.allocations = r.allocations;
    s.misuse = r.misuse;
    return s;
}

void headless_fail_allocations(int64_t after, int64_t count) {
    registry& r = reg();
    std::lock_guard<std::mutex> guard(r.lock);
    r.alloc_pass = count > 0 ? after : 0;
    r.alloc_fail = count;
}

void headless_fail_locks(int64_t after, int64_t count) {
    registry& r = reg();
    std::lock_guard<std::mutex> guard(r.lock);
    r.lock_pass = count > 0 ? after : 0;
    r.lock_fail = count;
}

void headless_reset_misuse() {
    registry& r = reg();
    std::lock_guard<std::mutex> guard(r.lock);
    r.misuse = 0;
}
