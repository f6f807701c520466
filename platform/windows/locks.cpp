// Locks on kernel objects: an unnamed mutex, and a semaphore of count 1 as the readers'
// gate, since the reader that releases the gate is often not the one that took it.
#include <windows.h>

#include "platform/platform.h"

namespace {

// The handle of a mutex record, created here if the record is still zero-filled: a mutex
// that guards one-time initialisation cannot be created by anyone beforehand. Of two
// threads racing to create it, the loser closes its own handle and takes the winner's.
HANDLE mutex_handle(volatile real_mutex* m) {
    void* h = *m;
    if (h) return static_cast<HANDLE>(h);
    HANDLE made = CreateMutexA(nullptr, FALSE, nullptr);
    void* before = InterlockedCompareExchangePointer(const_cast<void**>(m), made, nullptr);
    if (!before) return made;
    CloseHandle(made);
    return static_cast<HANDLE>(before);
}

void wait(HANDLE h) {
    WaitForSingleObject(h, INFINITE);
}

}  // namespace

void real_mutex_create(volatile real_mutex* m) {
    *m = CreateMutexA(nullptr, FALSE, nullptr);
}
void real_mutex_destroy(volatile real_mutex* m) {
    if (*m) CloseHandle(static_cast<HANDLE>(*m));
    *m = nullptr;
}
void real_mutex_lock(volatile real_mutex* m) {
    wait(mutex_handle(m));
}
void real_mutex_unlock(volatile real_mutex* m) {
    ReleaseMutex(static_cast<HANDLE>(*m));
}

void real_rwlock_create(volatile rwlock_* l) {
    l->readers = 0;
    real_mutex_create(&l->guard);
    l->gate = CreateSemaphoreA(nullptr, 1, 1, nullptr);
}

void real_rwlock_destroy(volatile rwlock_* l) {
    if (l->gate) CloseHandle(static_cast<HANDLE>(l->gate));
    l->gate = nullptr;
    real_mutex_destroy(&l->guard);
}

void real_rwlock_lock_r(volatile rwlock_* l) {
    real_mutex_lock(&l->guard);
    l->readers = l->readers + 1;
    if (l->readers == 1) wait(static_cast<HANDLE>(l->gate));
    real_mutex_unlock(&l->guard);
}

void real_rwlock_unlock_r(volatile rwlock_* l) {
    real_mutex_lock(&l->guard);
    l->readers = l->readers - 1;
    if (l->readers == 0) ReleaseSemaphore(static_cast<HANDLE>(l->gate), 1, nullptr);
    real_mutex_unlock(&l->guard);
}

void real_rwlock_lock_w(volatile rwlock_* l) {
    wait(static_cast<HANDLE>(l->gate));
}
void real_rwlock_unlock_w(volatile rwlock_* l) {
    ReleaseSemaphore(static_cast<HANDLE>(l->gate), 1, nullptr);
}
