#include "engine/capture_take.h"

#include <cstdio>
#include <cstring>

#include "core/byte_order.h"
#include "core/raw_file.h"
#include "engine/capture_files.h"

const char kTakePrefix[] = "~korvane-take-";
HANDLE gCaptureInfo = INVALID_HANDLE_VALUE;

namespace {

const char *const kPartNames[kTakeParts] = {"left", "right", "info"};
const uint8_t kInfoMagic[4] = {'K', 'V', 'T', 'K'};
const uint32_t kInfoVersion = 1;
const int kNumberAttempts = 100;


// Over the record's first 36 bytes; a torn or scribbled record does not match it.
uint32_t checksum(const uint8_t *data) {
    uint32_t sum = 0x4B565431;
    for (size_t i = 0; i < kTakeInfoBytes - 4; ++i) sum = (sum << 5 | sum >> 27) ^ data[i];
    return sum;
}

bool plausibleTime(const SYSTEMTIME &t) {
    return t.wYear >= 1601 && t.wYear <= 30827 && t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 &&
           t.wDay <= 31 && t.wHour < 24 && t.wMinute < 60 && t.wSecond < 60 && t.wMilliseconds < 1000;
}

HANDLE createPart(const char *name) {
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

void closeAll(TakeFiles *files) {
    for (HANDLE &h : files->file) {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        h = INVALID_HANDLE_VALUE;
    }
}

}  // namespace

bool takeFileName(const char *folder, uint32_t number, TakePart part, char *out, size_t outSize) {
    if (part < 0 || part >= kTakeParts || outSize == 0) return false;
    int n = snprintf(out, outSize, "%s%s%lu.%s", folder, kTakePrefix, (unsigned long)number, kPartNames[part]);
    if (n < 0 || (size_t)n >= outSize) {
        out[0] = '\0';
        return false;
    }
    return true;
}

bool parseTakeFileName(const char *name, uint32_t *number, TakePart *part) {
    const size_t prefix = sizeof kTakePrefix - 1;
    if (_strnicmp(name, kTakePrefix, prefix) != 0) return false;
    const char *p = name + prefix;
    uint64_t value = 0;
    const char *digits = p;
    while (*p >= '0' && *p <= '9' && p - digits < 10) value = value * 10 + (uint64_t)(*p++ - '0');
    if (p == digits || *p != '.' || value > UINT32_MAX || (digits[0] == '0' && p - digits > 1)) return false;
    for (int k = 0; k < kTakeParts; ++k) {
        if (_stricmp(p + 1, kPartNames[k]) == 0) {
            *number = (uint32_t)value;
            *part = (TakePart)k;
            return true;
        }
    }
    return false;
}

void encodeTakeInfo(const TakeInfo &info, uint8_t out[kTakeInfoBytes]) {
    memset(out, 0, kTakeInfoBytes);
    memcpy(out, kInfoMagic, 4);
    putLe32(out + 4, kInfoVersion);
    putLe32(out + 8, info.state);
    putLe32(out + 12, info.sampleRate);
    const SYSTEMTIME &t = info.started;
    const WORD fields[8] = {t.wYear, t.wMonth, t.wDayOfWeek, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
    for (int i = 0; i < 8; ++i) putLe16(out + 16 + 2 * i, fields[i]);
    putLe32(out + 32, GetCurrentProcessId());
    putLe32(out + 36, checksum(out));
}

bool decodeTakeInfo(const uint8_t *data, size_t size, TakeInfo *info) {
    if (!data || size < kTakeInfoBytes || memcmp(data, kInfoMagic, 4) != 0 || getLe32(data + 4) != kInfoVersion ||
        getLe32(data + 36) != checksum(data))
        return false;
    TakeInfo read;
    read.state = getLe32(data + 8);
    read.sampleRate = getLe32(data + 12);
    WORD *fields[8] = {&read.started.wYear, &read.started.wMonth, &read.started.wDayOfWeek, &read.started.wDay,
                       &read.started.wHour, &read.started.wMinute, &read.started.wSecond,
                       &read.started.wMilliseconds};
    for (int i = 0; i < 8; ++i) *fields[i] = getLe16(data + 16 + 2 * i);
    if (read.state > kTakeUnsaved || read.sampleRate < 1000 || read.sampleRate > 1000000 ||
        !plausibleTime(read.started))
        return false;
    *info = read;
    return true;
}

bool writeTakeInfo(HANDLE infoFile, const TakeInfo &info) {
    uint8_t record[kTakeInfoBytes];
    encodeTakeInfo(info, record);
    return rewindFile(infoFile) && writeAll(infoFile, record, (DWORD)kTakeInfoBytes) &&
           FlushFileBuffers(infoFile) != 0;
}

void keepTakeFiles(const TakeFiles &files, bool keep) {
    for (HANDLE h : files.file)
        if (h != INVALID_HANDLE_VALUE) deleteOnClose(h, !keep);
}

bool createTakeFiles(TakeFiles *files, char *path, size_t pathSize, DWORD *error) {
    for (HANDLE &h : files->file) h = INVALID_HANDLE_VALUE;
    char folder[MAX_PATH];
    char name[MAX_PATH + 32] = "";
    DWORD failure = ERROR_BUFFER_OVERFLOW;
    bool made = false;
    if (temporaryFolder(folder, sizeof folder)) {
        uint32_t number = GetTickCount() ^ (GetCurrentProcessId() << 16);
        for (int attempt = 0; attempt < kNumberAttempts && !made; ++attempt, ++number) {
            bool taken = false;
            made = true;
            for (int k = 0; k < kTakeParts && made; ++k) {
                if (!takeFileName(folder, number, (TakePart)k, name, sizeof name)) {
                    failure = ERROR_BUFFER_OVERFLOW;
                    made = false;
                    break;
                }
                HANDLE file = createPart(name);
                if (file == INVALID_HANDLE_VALUE) {
                    failure = GetLastError();
                    taken = failure == ERROR_FILE_EXISTS || failure == ERROR_ALREADY_EXISTS;
                    made = false;
                } else if (!deleteOnClose(file, true)) {
                    // Marked at once, or not used: a file made here never outlives the
                    // program by accident.
                    failure = GetLastError();
                    CloseHandle(file);
                    DeleteFileA(name);
                    made = false;
                } else {
                    files->file[k] = file;
                }
            }
            if (!made) closeAll(files);  // the parts made in this attempt are deleted on close
            if (!made && !taken) break;
        }
        TakeInfo empty = {kTakeEmpty, 44100, {}};
        GetLocalTime(&empty.started);
        if (made && !writeTakeInfo(files->file[kTakeInfo], empty)) {
            failure = GetLastError();
            closeAll(files);
            made = false;
        }
    } else {
        snprintf(folder, sizeof folder, "%%TMP%%");
    }
    if (path && pathSize) snprintf(path, pathSize, "%s", made ? name : folder);
    if (error) *error = made ? 0 : failure;
    return made;
}

void beginCapturedTake(int sampleRate) {
    TakeInfo info = {kTakeUnsaved, (uint32_t)sampleRate, {}};
    GetLocalTime(&info.started);
    writeTakeInfo(gCaptureInfo, info);
    keepTakeFiles(TakeFiles{{gCaptureLeft, gCaptureRight, gCaptureInfo}}, true);
}

void endCapturedTake() {
    TakeInfo info = {kTakeEmpty, 44100, {}};
    GetLocalTime(&info.started);
    writeTakeInfo(gCaptureInfo, info);
    keepTakeFiles(TakeFiles{{gCaptureLeft, gCaptureRight, gCaptureInfo}}, false);
}
