// Work spread over threads for the tool's commands.
#pragma once

#include <system_error>
#include <thread>
#include <vector>

// Runs fn(0) ... fn(count - 1) at once, fn(0) on the calling thread, and returns when all
// have finished. Where the system refuses a thread, its share runs on the calling thread.
// `fn` must not throw.
template <typename F>
void run_on_threads(int count, F fn) {
    std::vector<std::thread> workers;
    std::vector<int> refused;
    for (int k = 1; k < count; ++k) {
        try {
            workers.emplace_back(fn, k);
        } catch (const std::system_error&) {
            refused.push_back(k);
        }
    }
    fn(0);
    for (int k : refused) fn(k);
    for (std::thread& t : workers) t.join();
}

// The default thread count: every core the process may use.
inline int default_threads() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(n);
}
