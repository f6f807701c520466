// Opening the chosen file, and whole-file replacement: write a temporary beside the
// target, make it durable, then rename it over the target, so a reader sees either the old
// file or the complete new one.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/platform.h"

namespace {

bool write_all(int fd, const unsigned char* p, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

// The chosen file opened as a binary stream (the same on macOS, whose chooser differs).
FILE* fileopen(void* owner, const char* title, const char* extension, char mode) {
    char path[4096];
    if (!filechoose(owner, title, extension, mode, path, sizeof path)) return nullptr;
    FILE* f = std::fopen(path, mode == 'r' ? "rb" : "wb");
    if (f) errno = 0;
    return f;
}

int filesave(const char* path, const void* data, size_t size) {
    if (!path || !*path || (!data && size != 0)) {
        errno = EINVAL;
        return 0;
    }
    std::string temp = std::string(path) + ".tmp-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return 0;
    // mkstemp makes the file private; give it the permissions a plain fopen would have.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    bool ok = ::fchmod(fd, static_cast<mode_t>(0666 & ~mask)) == 0 &&
              write_all(fd, static_cast<const unsigned char*>(data), size) && ::fsync(fd) == 0;
    int saved = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && std::rename(temp.c_str(), path) != 0) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        errno = saved;
        return 0;
    }
    errno = 0;
    return 1;
}
