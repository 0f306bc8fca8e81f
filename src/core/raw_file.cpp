#include "core/raw_file.h"

#include <cstdio>
#include <cstring>

namespace {

const int kNameAttempts = 100;

}  // namespace

bool temporaryFolder(char *folder, size_t size) {
    if (size < 2) return false;
    DWORD n = GetEnvironmentVariableA("TMP", folder, (DWORD)size);
    if (n == 0 || n >= size) {
        n = GetTempPathA((DWORD)size, folder);
        if (n == 0 || n >= size) return false;
    }
    if (folder[n - 1] != '\\' && folder[n - 1] != '/') {
        if (n + 1 >= size) return false;
        folder[n] = '\\';
        folder[n + 1] = '\0';
    }
    return true;
}

HANDLE createTempFile(const char *prefix, TempFileLife life, char *path, size_t pathSize, DWORD *error) {
    char folder[MAX_PATH];
    char name[MAX_PATH + 32];
    DWORD failure = ERROR_BUFFER_OVERFLOW;
    HANDLE file = INVALID_HANDLE_VALUE;
    if (temporaryFolder(folder, sizeof folder)) {
        const DWORD flags = FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_SEQUENTIAL_SCAN |
                            (life == kDeleteOnClose ? FILE_FLAG_DELETE_ON_CLOSE : 0);
        DWORD number = GetTickCount() ^ (GetCurrentProcessId() << 16);
        for (int attempt = 0; attempt < kNameAttempts; ++attempt, ++number) {
            snprintf(name, sizeof name, "%s%s%lu", folder, prefix, (unsigned long)number);
            file = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, flags, nullptr);
            if (file != INVALID_HANDLE_VALUE) break;
            failure = GetLastError();
            if (failure != ERROR_FILE_EXISTS && failure != ERROR_ALREADY_EXISTS) break;
        }
    } else {
        snprintf(folder, sizeof folder, "%%TMP%%");
    }
    if (path && pathSize) {
        snprintf(path, pathSize, "%s", file != INVALID_HANDLE_VALUE ? name : folder);
    }
    if (error) *error = file != INVALID_HANDLE_VALUE ? 0 : failure;
    return file;
}

bool writeAll(HANDLE file, const void *data, DWORD bytes) {
    DWORD written = 0;
    return file != INVALID_HANDLE_VALUE && WriteFile(file, data, bytes, &written, nullptr) && written == bytes;
}

DWORD readOrSilence(HANDLE file, float *into, DWORD count) {
    DWORD got = 0;
    if (file == INVALID_HANDLE_VALUE || count == 0 ||
        !ReadFile(file, into, count * (DWORD)sizeof(float), &got, nullptr))
        got = 0;
    DWORD floats = got / (DWORD)sizeof(float);
    for (DWORD i = floats; i < count; ++i) into[i] = 0.0f;
    return floats;
}

bool seekFile(HANDLE file, uint64_t bytes) {
    LARGE_INTEGER at;
    at.QuadPart = (LONGLONG)bytes;
    return file != INVALID_HANDLE_VALUE && SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != 0;
}

bool rewindFile(HANDLE file) { return seekFile(file, 0); }

bool truncateFile(HANDLE file, uint64_t bytes) {
    LARGE_INTEGER at;
    at.QuadPart = (LONGLONG)bytes;
    return file != INVALID_HANDLE_VALUE && SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

uint64_t fileBytes(HANDLE file) {
    LARGE_INTEGER size;
    if (file == INVALID_HANDLE_VALUE || !GetFileSizeEx(file, &size) || size.QuadPart < 0) return 0;
    return (uint64_t)size.QuadPart;
}

bool deleteOnClose(HANDLE file, bool remove) {
    FILE_DISPOSITION_INFO disposition;
    disposition.DeleteFile = remove ? TRUE : FALSE;
    return file != INVALID_HANDLE_VALUE &&
           SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

void folderOfPath(const char *path, char *folder, size_t size) {
    const char *slash = strrchr(path, '\\');
    const char *other = strrchr(path, '/');
    if (other > slash) slash = other;
    size_t length = slash ? (size_t)(slash - path) : 0;
    if (length == 0 || length >= size) {
        snprintf(folder, size, "%s", slash == path ? "\\" : ".");
        return;
    }
    memcpy(folder, path, length);
    folder[length] = '\0';
}

bool replaceFileWith(const char *path, const void *data, DWORD bytes, DWORD *error) {
    DWORD ignored = 0;
    if (!error) error = &ignored;
    *error = 0;
    char folder[MAX_PATH], temporary[MAX_PATH];
    folderOfPath(path, folder, sizeof folder);
    if (!GetTempFileNameA(folder, "~kv", 0, temporary)) {
        *error = GetLastError();
        return false;
    }
    HANDLE out = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool done = out != INVALID_HANDLE_VALUE && writeAll(out, data, bytes) && FlushFileBuffers(out);
    if (!done) *error = GetLastError();
    if (out != INVALID_HANDLE_VALUE && !CloseHandle(out) && done) {
        *error = GetLastError();
        done = false;
    }
    if (done && !MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH)) {
        *error = GetLastError();
        done = false;
    }
    if (!done) DeleteFileA(temporary);
    return done;
}

bool makeFolders(const char *folder, DWORD *error) {
    DWORD ignored = 0;
    if (!error) error = &ignored;
    *error = 0;
    char path[MAX_PATH];
    int n = snprintf(path, sizeof path, "%s", folder);
    if (n < 0 || (size_t)n >= sizeof path) {
        *error = ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    while (n > 1 && (path[n - 1] == '\\' || path[n - 1] == '/')) path[--n] = '\0';
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return true;
        *error = ERROR_ALREADY_EXISTS;  // a file of that name
        return false;
    }
    // The folder above first, unless this is a drive's or a share's root.
    char *slash = strrchr(path, '\\'), *other = strrchr(path, '/');
    if (other > slash) slash = other;
    if (slash && slash > path && slash[-1] != ':' && !(slash - path >= 1 && (slash[-1] == '\\' || slash[-1] == '/'))) {
        *slash = '\0';
        bool above = makeFolders(path, error);
        *slash = '\\';
        if (!above) return false;
    }
    if (CreateDirectoryA(path, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) return true;
    *error = GetLastError();
    return false;
}
