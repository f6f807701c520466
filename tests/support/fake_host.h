// A minimal host for tests of the effect's host layer: an in_data whose utility callbacks
// are the headless host's tracked memory handles and a plain sprintf.
#pragma once

#include <cstdarg>
#include <cstdio>

#include "headless/memory.h"
#include "hostsdk/effect.h"

inline A_long fake_host_sprintf(A_char* buffer, const A_char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = std::vsprintf(buffer, format, args);
    va_end(args);
    return n;
}

struct fake_host {
    PF_UtilCallbacks utils{};
    PF_InData in{};
    PF_OutData out{};
    fake_host() {
        headless_memory_callbacks(&utils);
        utils.ansi.sprintf = fake_host_sprintf;
        in.utils = &utils;
        in.appl_id = static_cast<A_long>(PF_FOURCC('F', 'X', 'T', 'C'));
    }
};

// Memory bookkeeping relative to a starting point: a test checks that it gave back every
// handle it was handed, left none locked and broke no rule.
struct handle_ledger {
    headless_memory_stats start = headless_memory_statistics();
    int64_t leaked() const {
        return headless_memory_statistics().live_handles - start.live_handles;
    }
    int64_t locked() const {
        return headless_memory_statistics().locked_handles - start.locked_handles;
    }
    int64_t misuse() const { return headless_memory_statistics().misuse - start.misuse; }
};
