// Opening the chosen file, and whole-file output. A regular file (or a new one) is written to
// a temporary beside the real file, made durable and renamed over it, so a reader sees either
// the old file or the complete new one. Anything else (a pipe, a terminal, a device,
// /dev/stdout) cannot be replaced that way without destroying it, so it is written in place.
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
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

std::string folder_of(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a new regular file at `path` ends up as: a symbolic link whose target does not
// exist yet is followed, so the link stays and the file appears where it points.
bool final_name(const std::string& path, std::string* out) {
    std::string p = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            *out = p;
            return true;
        }
        char target[PATH_MAX];
        const ssize_t n = ::readlink(p.c_str(), target, sizeof target - 1);
        if (n < 0) return false;
        target[n] = '\0';
        p = target[0] == '/' ? std::string(target) : folder_of(p) + "/" + target;
    }
    errno = ELOOP;
    return false;
}

int write_in_place(const char* path, const void* data, size_t size) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return 0;
    bool ok = write_all(fd, static_cast<const unsigned char*>(data), size);
    int saved = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    errno = ok ? 0 : saved;
    return ok ? 1 : 0;
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
    struct stat st;
    std::string target;
    mode_t mode;
    if (::stat(path, &st) == 0) {
        if (!S_ISREG(st.st_mode)) return write_in_place(path, data, size);
        char real[PATH_MAX];
        if (!::realpath(path, real)) return 0;
        target = real;
        mode = st.st_mode & 07777;
    } else {
        if (errno != ENOENT) return 0;
        if (!final_name(path, &target)) return 0;
        // mkstemp makes the file private; give it the permissions a plain fopen would have.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = static_cast<mode_t>(0666 & ~mask);
    }
    std::string temp = target + ".tmp-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return 0;
    bool ok = ::fchmod(fd, mode) == 0 &&
              write_all(fd, static_cast<const unsigned char*>(data), size) && ::fsync(fd) == 0;
    int saved = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && std::rename(temp.c_str(), target.c_str()) != 0) {
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
