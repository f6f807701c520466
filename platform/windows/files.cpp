// Whole-file replacement on Windows: write a temporary beside the target, flush it to the
// disk, then move it over the target in one step, so a reader sees either the old file or
// the complete new one.
#include <windows.h>

#include <cerrno>
#include <string>

#include "platform/platform.h"
#include "platform/windows/text.h"

namespace {

int errno_from(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EACCES;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS:
            return EEXIST;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_FILENAME_EXCED_RANGE:
            return EINVAL;
        default:
            return EIO;
    }
}

// A new, empty file beside `target` whose name no other file has.
HANDLE create_temporary(const std::wstring& target, std::wstring* name) {
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        *name = target + L".tmp-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount64() + attempt);
        HANDLE h = CreateFileW(name->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return h;
    }
    return INVALID_HANDLE_VALUE;
}

bool write_all(HANDLE h, const unsigned char* p, size_t size) {
    while (size > 0) {
        const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(h, p, chunk, &written, nullptr)) return false;
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        p += written;
        size -= written;
    }
    return true;
}

}  // namespace

int filesave(const char* path, const void* data, size_t size) {
    const std::wstring target = path ? wide_from_utf8(path) : std::wstring();
    if (target.empty() || (!data && size != 0)) {
        errno = EINVAL;
        return 0;
    }
    // Moving a file over a folder fails only at the very end; refuse it before writing.
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        errno = EISDIR;
        return 0;
    }
    std::wstring temp;
    HANDLE h = create_temporary(target, &temp);
    if (h == INVALID_HANDLE_VALUE) {
        errno = errno_from(GetLastError());
        return 0;
    }
    bool ok = write_all(h, static_cast<const unsigned char*>(data), size) && FlushFileBuffers(h);
    DWORD error = ok ? 0 : GetLastError();
    if (!CloseHandle(h) && ok) {
        ok = false;
        error = GetLastError();
    }
    if (ok && !MoveFileExW(temp.c_str(), target.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ok = false;
        error = GetLastError();
    }
    if (!ok) {
        DeleteFileW(temp.c_str());
        errno = errno_from(error);
        return 0;
    }
    errno = 0;
    return 1;
}
