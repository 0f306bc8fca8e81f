#include "shell/leftover_recovery.h"

#include "core/raw_file.h"
#include "core/texts.h"
#include "engine/capture_files.h"
#include "resources/resource_ids.h"
#include "shell/recovered_recording.h"

namespace {

const size_t kMessageSize = 2048;

// The start-up recovery's own memory for writing a recording (the crash handler has its own).
RecoveryBuffers gBuffers;

// Opens one file of a leftover take for reading, writing and deleting, shared with
// nobody. INVALID_HANDLE_VALUE with *held set when it exists but cannot be opened
// (a running program holds it, most likely).
HANDLE openLeftover(const char *folder, uint32_t number, TakePart part, bool *held) {
    char name[MAX_PATH + 32];
    if (!takeFileName(folder, number, part, name, sizeof name)) {
        *held = true;  // cannot be named: not ours to touch
        return INVALID_HANDLE_VALUE;
    }
    HANDLE file = CreateFileA(name, GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) *held = true;
    }
    return file;
}

bool readInfo(HANDLE file, TakeInfo *info) {
    uint8_t record[kTakeInfoBytes];
    DWORD got = 0;
    return file != INVALID_HANDLE_VALUE && rewindFile(file) &&
           ReadFile(file, record, (DWORD)sizeof record, &got, nullptr) && decodeTakeInfo(record, got, info);
}

// When the take's files were last written, as local time; now when unknown.
SYSTEMTIME lastWritten(const TakeFiles &files) {
    SYSTEMTIME when;
    GetLocalTime(&when);
    for (HANDLE file : {files.file[kTakeLeft], files.file[kTakeRight]}) {
        FILETIME written, local;
        if (file != INVALID_HANDLE_VALUE && GetFileTime(file, nullptr, nullptr, &written) &&
            FileTimeToLocalFileTime(&written, &local) && FileTimeToSystemTime(&local, &when))
            break;
    }
    return when;
}

struct Report {
    std::wstring text;
    bool recovered = false;     // a file was written
    bool notRecovered = false;  // a take could not be
};

std::wstring text(UINT id) {
    wchar_t loaded[512];
    loadText(id, loaded, 512);
    return loaded;
}

void addRecovered(Report &report, const wchar_t *path, uint64_t frames, int rate) {
    if (!report.recovered) report.text += (report.text.empty() ? L"" : L"\n\n") + text(IDS_LEFTOVER_RECOVERED);
    wchar_t length[64];
    formatText(length, 64, IDS_LEFTOVER_LENGTH, (double)frames / (double)rate);
    report.text += std::wstring(L"\n") + path + L" " + length;
    report.recovered = true;
}

void addNotRecovered(Report &report, const wchar_t *path, DWORD error) {
    wchar_t line[kMessageSize] = L"";
    appendMessage(line, kMessageSize, text(IDS_LEFTOVER_NOT_RECOVERED).c_str(), path);
    appendSystemReason(line, kMessageSize, error);
    report.text += (report.text.empty() ? L"" : L"\n\n") + std::wstring(line);
    report.notRecovered = true;
}

// Recovers one take whose files are all open here; true when they may go.
bool recoverTake(const TakeFiles &files, const wchar_t *documents, const wchar_t *fallback, const wchar_t *name,
                 Report &report) {
    TakeInfo info;
    bool infoRead = readInfo(files.file[kTakeInfo], &info);
    HANDLE left = files.file[kTakeLeft], right = files.file[kTakeRight];
    LeftoverPlan plan = planLeftover(infoRead ? &info : nullptr, left != INVALID_HANDLE_VALUE,
                                     captureFileFrames(left), right != INVALID_HANDLE_VALUE, captureFileFrames(right),
                                     lastWritten(files));
    if (plan.frames == 0) return true;
    wchar_t path[kRecoveryPathSize] = L"";
    if (!saveRecoveredRecording(left, right, plan.frames, plan.sampleRate, documents, fallback, name, plan.started, path,
                                kRecoveryPathSize, gBuffers)) {
        DWORD error = GetLastError();
        addNotRecovered(report, path[0] ? path : documents, error);
        return false;
    }
    addRecovered(report, path, plan.frames, plan.sampleRate);
    return true;
}

// Written out or empty: the info says so (should the deletion fail, the next start
// deletes them without recovering them again), then the files go as they close.
void dropTake(TakeFiles &files) {
    TakeInfo empty = {kTakeEmpty, (uint32_t)kLeftoverFallbackRate, {}};
    GetLocalTime(&empty.started);
    if (files.file[kTakeInfo] != INVALID_HANDLE_VALUE) writeTakeInfo(files.file[kTakeInfo], empty);
    keepTakeFiles(files, false);
}

std::vector<std::string> takeFileNames(const char *folder) {
    std::vector<std::string> names;
    std::string pattern = std::string(folder) + kTakePrefix + "*";
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

}  // namespace

std::vector<LeftoverTake> groupLeftovers(const std::vector<std::string> &names) {
    std::vector<LeftoverTake> takes;
    for (const std::string &name : names) {
        uint32_t number = 0;
        TakePart part = kTakeLeft;
        if (!parseTakeFileName(name.c_str(), &number, &part)) continue;
        LeftoverTake *take = nullptr;
        for (LeftoverTake &t : takes)
            if (t.number == number) take = &t;
        if (!take) {
            takes.push_back(LeftoverTake{number, {false, false, false}});
            take = &takes.back();
        }
        take->present[part] = true;
    }
    return takes;
}

LeftoverPlan planLeftover(const TakeInfo *info, bool hasLeft, uint64_t leftFrames, bool hasRight,
                          uint64_t rightFrames, const SYSTEMTIME &lastWritten) {
    LeftoverPlan plan = {0, kLeftoverFallbackRate, lastWritten};
    if (info) {
        if (info->state != kTakeUnsaved) return plan;
        plan.sampleRate = (int)info->sampleRate;
        plan.started = info->started;
    }
    if (hasLeft && hasRight)
        plan.frames = leftFrames < rightFrames ? leftFrames : rightFrames;
    else if (hasLeft || hasRight)
        plan.frames = hasLeft ? leftFrames : rightFrames;
    return plan;
}

std::wstring recoverLeftoversIn(const char *tempFolder, const wchar_t *documents, const wchar_t *fallback,
                               const wchar_t *name, bool *failed) {
    Report report;
    for (const LeftoverTake &take : groupLeftovers(takeFileNames(tempFolder))) {
        TakeFiles files = {{INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE}};
        bool held = false;
        for (int k = 0; k < kTakeParts && !held; ++k)
            if (take.present[k]) files.file[k] = openLeftover(tempFolder, take.number, (TakePart)k, &held);
        if (!held && recoverTake(files, documents, fallback, name, report)) dropTake(files);
        for (HANDLE file : files.file)
            if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    if (failed) *failed = report.notRecovered;
    return report.text;
}

void recoverLeftoverTakes() {
    char folder[MAX_PATH];
    if (!temporaryFolder(folder, sizeof folder)) return;
    static RecoveryFolders folders;
    findRecoveryFolders(folders);
    bool failed = false;
    std::wstring message = recoverLeftoversIn(folder, folders.documents, folders.fallback, folders.name, &failed);
    if (!message.empty())
        MessageBoxW(nullptr, message.c_str(), L"Korvane", MB_OK | (failed ? MB_ICONWARNING : MB_ICONINFORMATION));
}
