#include "headless/memory.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct ledger {
    headless_memory_stats start = headless_memory_statistics();
    int64_t live() const { return headless_memory_statistics().live_handles - start.live_handles; }
    int64_t locked() const {
        return headless_memory_statistics().locked_handles - start.locked_handles;
    }
    int64_t misuse() const { return headless_memory_statistics().misuse - start.misuse; }
};

TEST(HostHandles, LocksNestAndAreCounted) {
    const ledger l;
    PF_Handle h = headless_new_handle(16);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(headless_get_handle_size(h), 16u);
    EXPECT_EQ(l.live(), 1);
    char* p = static_cast<char*>(headless_lock_handle(h));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p, *h);
    EXPECT_EQ(p[15], 0);  // new handles start zeroed
    EXPECT_EQ(headless_lock_handle(h), p);
    EXPECT_EQ(l.locked(), 1);
    headless_unlock_handle(h);
    EXPECT_EQ(l.locked(), 1);
    headless_unlock_handle(h);
    EXPECT_EQ(l.locked(), 0);
    headless_dispose_handle(h);
    EXPECT_EQ(l.live(), 0);
    EXPECT_EQ(l.misuse(), 0);
}

TEST(HostHandles, MisuseIsCountedNotFatal) {
    const ledger l;
    PF_Handle h = headless_new_handle(8);
    headless_unlock_handle(h);  // never locked
    EXPECT_EQ(l.misuse(), 1);
    headless_lock_handle(h);
    PF_Handle moved = h;
    EXPECT_EQ(headless_resize_handle(64, &moved), PF_Err_BAD_CALLBACK_PARAM);  // locked
    EXPECT_EQ(l.misuse(), 2);
    headless_dispose_handle(h);  // still locked
    EXPECT_EQ(l.misuse(), 3);
    headless_dispose_handle(h);  // twice
    EXPECT_EQ(headless_lock_handle(h), nullptr);
    EXPECT_EQ(headless_get_handle_size(h), 0u);
    EXPECT_EQ(l.misuse(), 6);
    EXPECT_EQ(l.live(), 0);
    headless_dispose_handle(nullptr);
    EXPECT_EQ(l.misuse(), 7);
}

TEST(HostHandles, ResizeKeepsTheContents) {
    const ledger l;
    PF_Handle h = headless_new_handle(4);
    std::memcpy(*h, "abcd", 4);
    ASSERT_EQ(headless_resize_handle(8, &h), PF_Err_NONE);
    EXPECT_EQ(headless_get_handle_size(h), 8u);
    EXPECT_EQ(std::memcmp(*h, "abcd\0\0\0\0", 8), 0);
    ASSERT_EQ(headless_resize_handle(2, &h), PF_Err_NONE);
    EXPECT_EQ(std::memcmp(*h, "ab", 2), 0);
    headless_dispose_handle(h);
    EXPECT_EQ(l.live(), 0);
    EXPECT_EQ(l.misuse(), 0);
}

TEST(HostHandles, FailuresCanBeArranged) {
    const ledger l;
    headless_fail_allocations(1, 2);
    PF_Handle a = headless_new_handle(4);
    EXPECT_NE(a, nullptr);
    EXPECT_EQ(headless_new_handle(4), nullptr);
    EXPECT_EQ(headless_resize_handle(16, &a), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(headless_get_handle_size(a), 4u);
    PF_Handle b = headless_new_handle(4);
    EXPECT_NE(b, nullptr);
    headless_fail_locks(0, 1);
    EXPECT_EQ(headless_lock_handle(b), nullptr);
    EXPECT_NE(headless_lock_handle(b), nullptr);
    headless_unlock_handle(b);
    headless_dispose_handle(a);
    headless_dispose_handle(b);
    EXPECT_EQ(l.live(), 0);
    EXPECT_EQ(l.locked(), 0);
    EXPECT_EQ(l.misuse(), 0);
}

}  // namespace
