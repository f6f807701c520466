#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/platform.h"

namespace {

TEST(Mutex, SerialisesIncrementsFromSeveralThreads) {
    static real_mutex m;
    real_mutex_create(&m);
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int k = 0; k < 20000; ++k) {
                real_mutex_lock(&m);
                ++counter;
                real_mutex_unlock(&m);
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 80000);
    real_mutex_destroy(&m);
}

// Two readers overlap; a writer that arrives meanwhile gets in only after both have left,
// the last of them (not the first) giving the gate back.
TEST(ReadersWriterLock, WriterWaitsForEveryOverlappingReader) {
    static rwlock_ lock;
    real_rwlock_create(&lock);
    real_rwlock_lock_r(&lock);
    std::atomic<bool> second_in{false}, second_leave{false};
    std::thread second([&] {
        real_rwlock_lock_r(&lock);  // readers share the gate
        second_in = true;
        while (!second_leave) std::this_thread::yield();
        real_rwlock_unlock_r(&lock);
    });
    while (!second_in) std::this_thread::yield();

    std::atomic<bool> writing{false};
    std::thread writer([&] {
        real_rwlock_lock_w(&lock);
        writing = true;
        real_rwlock_unlock_w(&lock);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(writing);
    real_rwlock_unlock_r(&lock);  // the first reader leaves; the second still holds the gate
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(writing);
    second_leave = true;
    second.join();
    writer.join();
    EXPECT_TRUE(writing);
    real_rwlock_destroy(&lock);
}

// Readers and writers hammering one lock: a writer is always alone, and readers never see
// a half-made update.
TEST(ReadersWriterLock, ExcludesWritersUnderContention) {
    static rwlock_ lock;
    real_rwlock_create(&lock);
    long a = 0, b = 0;  // written together under the write lock only
    std::atomic<int> readers_inside{0}, writers_inside{0};
    std::atomic<int> broken{0}, overlapping_reads{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int k = 0; k < 3000; ++k) {
                real_rwlock_lock_r(&lock);
                if (readers_inside.fetch_add(1) > 0) ++overlapping_reads;
                if (writers_inside.load() != 0 || a != b) ++broken;
                std::this_thread::yield();  // stay a moment so that readers overlap
                if (writers_inside.load() != 0 || a != b) ++broken;
                readers_inside.fetch_sub(1);
                real_rwlock_unlock_r(&lock);
            }
        });
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([&] {
            for (int k = 0; k < 1500; ++k) {
                real_rwlock_lock_w(&lock);
                if (writers_inside.fetch_add(1) != 0 || readers_inside.load() != 0) ++broken;
                ++a;
                std::this_thread::yield();
                ++b;
                writers_inside.fetch_sub(1);
                real_rwlock_unlock_w(&lock);
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(broken, 0);
    EXPECT_EQ(a, 3000);
    EXPECT_EQ(b, 3000);
    std::printf("readers overlapped %d times\n", overlapping_reads.load());
    real_rwlock_destroy(&lock);
}

}  // namespace
