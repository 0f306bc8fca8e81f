#include "support/program_runner.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace testing_support {

std::string exeFolder() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path, n);
    return s.substr(0, s.find_last_of('\\'));
}

std::string tempFolder(const std::string &name) {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    std::string folder = std::string(base) + "korvane-" + name + "-" + std::to_string(GetCurrentProcessId());
    return freshFolder(folder);
}

std::vector<std::string> filesMatching(const std::string &pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA(pattern.c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return names;
    do
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    while (FindNextFileA(h, &found));
    FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

std::string freshFolder(const std::string &folder) {
    // Empty it from an earlier run.
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileA((folder + "\\" + found.cFileName).c_str());
        } while (FindNextFileA(h, &found));
        FindClose(h);
    }
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

bool copyFileTo(const std::string &from, const std::string &to) {
    return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

std::string readFile(const std::string &path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::string();
    std::string data;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) data.append(buffer, got);
    CloseHandle(h);
    return data;
}

std::vector<std::string> readLines(const std::string &path) {
    std::vector<std::string> lines;
    std::string data = readFile(path), line;
    for (char c : data) {
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

bool RunningProgram::start(const std::string &folder, const std::vector<std::pair<std::string, std::string>> &env,
                           const std::string &exeName) {
    // The child inherits our environment; set the extra variables around CreateProcess.
    std::vector<std::pair<std::string, std::string>> saved;
    for (const auto &kv : env) {
        char old[4096];
        DWORD n = GetEnvironmentVariableA(kv.first.c_str(), old, sizeof old);
        saved.push_back({kv.first, n ? std::string(old, n) : std::string("\x01")});
        SetEnvironmentVariableA(kv.first.c_str(), kv.second.c_str());
    }
    std::string exe = folder + "\\" + exeName;
    std::string commandLine = "\"" + exe + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    BOOL ok = CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                             &startup, &info);
    for (const auto &kv : saved)
        SetEnvironmentVariableA(kv.first.c_str(), kv.second == "\x01" ? nullptr : kv.second.c_str());
    return ok != 0;
}

RunningProgram::~RunningProgram() {
    if (info.hProcess) {
        if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(info.hProcess, 99);
            WaitForSingleObject(info.hProcess, 10000);
        }
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
    }
}

namespace {
struct FindState {
    DWORD pid;
    std::vector<HWND> windows;
};

BOOL CALLBACK collectTopLevel(HWND window, LPARAM param) {
    FindState *state = (FindState *)param;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == state->pid && IsWindowVisible(window) && windowClass(window) != "IME")
        state->windows.push_back(window);
    return TRUE;
}

BOOL CALLBACK collectChild(HWND window, LPARAM param) {
    ((std::vector<HWND> *)param)->push_back(window);
    return TRUE;
}
}  // namespace

std::vector<HWND> RunningProgram::topLevelWindows() const {
    FindState state = {info.dwProcessId, {}};
    EnumWindows(collectTopLevel, (LPARAM)&state);
    return state.windows;
}

HWND RunningProgram::waitForMainWindow(DWORD timeoutMs) {
    // Input idle means the program has reached a message loop (the main loop or a
    // modal dialog's), which it does only after showing its window.
    DWORD start = GetTickCount();
    if (WaitForInputIdle(info.hProcess, timeoutMs) != 0) return nullptr;
    // Idle may come from a message box shown before the window; then the window
    // appears once that is dismissed.
    for (;;) {
        for (HWND w : topLevelWindows())
            if (windowClass(w) == "EditorWndClass") return w;
        if (GetTickCount() - start > timeoutMs || WaitForSingleObject(info.hProcess, 20) == WAIT_OBJECT_0)
            return nullptr;
    }
}

long RunningProgram::waitForExit(DWORD timeoutMs) {
    if (WaitForSingleObject(info.hProcess, timeoutMs) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    return (long)code;
}

std::string windowText(HWND window) {
    char text[512] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::wstring windowTextW(HWND window) {
    wchar_t text[2048] = L"";
    GetWindowTextW(window, text, 2048);
    return text;
}

HWND waitForMessageBox(const RunningProgram &program, std::wstring *text, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    do {
        for (HWND w : program.topLevelWindows()) {
            if (windowClass(w) != "#32770") continue;
            // The message is the box's static text control (id 0xFFFF).
            HWND label = GetDlgItem(w, 0xFFFF);
            if (!label) continue;
            *text = windowTextW(label);
            return w;
        }
        // The box belongs to another process, so there is no event to wait on:
        // wait for that process to go idle again instead.
        WaitForInputIdle(program.process(), 100);
        if (WaitForSingleObject(program.process(), 50) == WAIT_OBJECT_0) break;
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

std::string windowClass(HWND window) {
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::vector<HWND> childWindows(HWND parent) {
    std::vector<HWND> children;
    EnumChildWindows(parent, collectChild, (LPARAM)&children);
    return children;
}

bool waitForChangeIn(const std::string &folder, bool (*done)(const void *context), const void *context,
                     DWORD timeoutMs) {
    HANDLE change = FindFirstChangeNotificationA(folder.c_str(), FALSE,
                                                 FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE |
                                                     FILE_NOTIFY_CHANGE_FILE_NAME);
    DWORD start = GetTickCount();
    bool reached = false;
    while (!(reached = done(context)) && GetTickCount() - start < timeoutMs) {
        if (change != INVALID_HANDLE_VALUE) {
            WaitForSingleObject(change, 50);
            FindNextChangeNotification(change);
        } else {
            Sleep(20);
        }
    }
    if (change != INVALID_HANDLE_VALUE) FindCloseChangeNotification(change);
    return reached;
}

namespace {
struct LogLineWanted {
    const std::string *path;
    const std::string *prefix;
};

bool hasLogLine(const void *context) {
    const LogLineWanted *wanted = (const LogLineWanted *)context;
    for (const std::string &line : readLines(*wanted->path))
        if (line.compare(0, wanted->prefix->size(), *wanted->prefix) == 0) return true;
    return false;
}
}  // namespace

bool waitForLogLine(const std::string &logPath, const std::string &prefix, DWORD timeoutMs) {
    LogLineWanted wanted = {&logPath, &prefix};
    return waitForChangeIn(logPath.substr(0, logPath.find_last_of('\\')), hasLogLine, &wanted, timeoutMs);
}

}  // namespace testing_support
