// Locks on macOS: an unfair lock as the mutex, and a dispatch semaphore of count 1 as the
// readers' gate, since the reader that releases the gate is often not the one that took it.
// Not built on the Linux machines this project is developed on; kept to the interface.
#include <dispatch/dispatch.h>

#include "platform/platform.h"

namespace {

os_unfair_lock* plain(volatile real_mutex* m) {
    return const_cast<os_unfair_lock*>(m);
}
dispatch_semaphore_t gate(volatile rwlock_* l) {
    return static_cast<dispatch_semaphore_t>(l->gate);
}

}  // namespace

void real_mutex_create(volatile real_mutex* m) {
    *plain(m) = OS_UNFAIR_LOCK_INIT;
}
void real_mutex_destroy(volatile real_mutex*) {}
void real_mutex_lock(volatile real_mutex* m) {
    os_unfair_lock_lock(plain(m));
}
void real_mutex_unlock(volatile real_mutex* m) {
    os_unfair_lock_unlock(plain(m));
}

void real_rwlock_create(volatile rwlock_* l) {
    l->readers = 0;
    real_mutex_create(&l->guard);
    // Created retained (+1); released in destroy.
    l->gate = dispatch_semaphore_create(1);
}

void real_rwlock_destroy(volatile rwlock_* l) {
    if (l->gate) dispatch_release(gate(l));
    l->gate = nullptr;
}

void real_rwlock_lock_r(volatile rwlock_* l) {
    real_mutex_lock(&l->guard);
    l->readers = l->readers + 1;
    if (l->readers == 1) dispatch_semaphore_wait(gate(l), DISPATCH_TIME_FOREVER);
    real_mutex_unlock(&l->guard);
}

void real_rwlock_unlock_r(volatile rwlock_* l) {
    real_mutex_lock(&l->guard);
    l->readers = l->readers - 1;
    if (l->readers == 0) dispatch_semaphore_signal(gate(l));
    real_mutex_unlock(&l->guard);
}

void real_rwlock_lock_w(volatile rwlock_* l) {
    dispatch_semaphore_wait(gate(l), DISPATCH_TIME_FOREVER);
}
void real_rwlock_unlock_w(volatile rwlock_* l) {
    dispatch_semaphore_signal(gate(l));
}
