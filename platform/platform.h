// Operating-system services behind small platform-neutral functions: a mutex and a
// readers-writer lock for the shared caches, a modal file dialog that returns an open
// stream, and the about box. One implementation per platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// REAL_MUTEX_INITIALIZER makes a mutex usable before anything could create it (a static
// guard of one-time initialisation).
#if defined(_WIN32)
typedef void* real_mutex;      // kernel mutex handle; a null one is created on first lock
typedef void* real_semaphore;  // kernel semaphore handle
#define REAL_MUTEX_INITIALIZER nullptr
#elif defined(__APPLE__)
#include <os/lock.h>
typedef os_unfair_lock real_mutex;
typedef void* real_semaphore;  // retained dispatch semaphore
#define REAL_MUTEX_INITIALIZER OS_UNFAIR_LOCK_INIT
#else
#include <pthread.h>
#include <semaphore.h>
typedef pthread_mutex_t real_mutex;
typedef sem_t real_semaphore;
#define REAL_MUTEX_INITIALIZER PTHREAD_MUTEX_INITIALIZER
#endif

// The gate is held either by the whole group of current readers or by one writer: the
// first reader takes it for all of them and the last one gives it back, so a writer
// waits for as long as readers keep overlapping.
struct rwlock_ {
    int32_t readers;  // current readers, guarded by `guard`
    real_mutex guard;
    real_semaphore gate;  // count 1
};

// Locks live in zero-filled shared records and are created once before first use.
void real_mutex_create(volatile real_mutex* m);
void real_mutex_destroy(volatile real_mutex* m);
void real_mutex_lock(volatile real_mutex* m);
void real_mutex_unlock(volatile real_mutex* m);

void real_rwlock_create(volatile rwlock_* l);
void real_rwlock_destroy(volatile rwlock_* l);
void real_rwlock_lock_r(volatile rwlock_* l);
void real_rwlock_unlock_r(volatile rwlock_* l);
void real_rwlock_lock_w(volatile rwlock_* l);
void real_rwlock_unlock_w(volatile rwlock_* l);

// Asks the user for a file through the owner window's dialog; `mode` is 'r' (an existing
// file) or 'w' (a file to write). Returns 1 with the path in `path` (NUL-terminated), or 0
// with errno = ECANCELED when the user cancelled, no dialog is available, the mode is
// neither 'r' nor 'w' (then without asking), or the path does not fit.
int filechoose(void* owner, const char* title, const char* extension, char mode, char* path,
               size_t path_size);

// filechoose, then the chosen file opened "rb" or "wb" with errno = 0. Null when nothing was
// chosen (errno = ECANCELED) or the file could not be opened (errno from fopen).
FILE* fileopen(void* owner, const char* title, const char* extension, char mode);

// Writes `size` bytes to `path` as a whole. A regular file (or a new one) is written into a
// new file beside the real file (symbolic links are followed and stay links), which takes the
// old file's permission bits and replaces it only once complete and on disk. Anything else
// (a pipe, a terminal, a device) is written in place. Returns 1, or 0 with errno set when
// anything failed, a short write or a failed close included; then a regular file is
// untouched and nothing half-written is left behind.
int filesave(const char* path, const void* data, size_t size);

// Shows the modal about box; returns when it is closed. Does nothing without a window.
void about(void* owner);

// The about text: effect name, version and notice, one per line.
extern const char* const ABOUT_TEXT;
// The effect's display name, the about box's title.
extern const char* const ABOUT_TITLE;
