// Locks on POSIX threads. The gate is a counting semaphore rather than a mutex because
// the reader that releases it is often not the reader that took it.
#include <cerrno>

#include "platform/platform.h"

namespace {

// The records live in volatile shared memory; the primitives themselves are only ever
// touched through the pthread and semaphore calls, which do their own synchronisation.
real_mutex* plain(volatile real_mutex* m) {
    return const_cast<real_mutex*>(m);
}
real_semaphore* plain(volatile real_semaphore* s) {
    return const_cast<real_semaphore*>(s);
}

void wait_gate(volatile real_semaphore* s) {
    while (sem_wait(plain(s)) != 0 && errno == EINTR) {
    }
}

}  // namespace

void real_mutex_create(volatile real_mutex* m) {
    pthread_mutex_init(plain(m), nullptr);
}
void real_mutex_destroy(volatile real_mutex* m) {
    pthread_mutex_destroy(plain(m));
}
void real_mutex_lock(volatile real_mutex* m) {
    pthread_mutex_lock(plain(m));
}
void real_mutex_unlock(volatile real_mutex* m) {
    pthread_mutex_unlock(plain(m));
}

void real_rwlock_create(volatile rwlock_* l) {
    l->readers = 0;
    real_mutex_create(&l->guard);
    sem_init(plain(&l->gate), 0, 1);
}

void real_rwlock_destroy(volatile rwlock_* l) {
    sem_destroy(plain(&l->gate));
    real_mutex_destroy(&l->guard);
}

void real_rwlock_lock_r(volatile rwlock_* l) {
    real_mutex_lock(&l->guard);
    l->readers = l->readers + 1;
    if (l->readers == 1) wait_gate(&l->gate);
    real_mutex_unlock(&l->guard);
}

void real_rwlock_unlock_r(volatile rwlock_* l) {
    real_mutex_lock(&l->guard);
    l->readers = l->readers - 1;
    if (l->readers == 0) sem_post(plain(&l->gate));
    real_mutex_unlock(&l->guard);
}

void real_rwlock_lock_w(volatile rwlock_* l) {
    wait_gate(&l->gate);
}
void real_rwlock_unlock_w(volatile rwlock_* l) {
    sem_post(plain(&l->gate));
}
