// Runs the real Korvane.exe from a test under Wine and observes it from outside:
// its windows, its exit code and the demo instrument's call log.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// Folder of the running test executable (where Korvane.exe and the fixtures are built).
std::string exeFolder();
std::string tempFolder(const std::string &name);  // fresh, empty folder under %TEMP%
std::string freshFolder(const std::string &folder);  // created, or emptied of its files
bool copyFileTo(const std::string &from, const std::string &to);
std::string readFile(const std::string &path);
std::vector<std::string> readLines(const std::string &path);
// The names of the files (not folders) a pattern such as "C:\\x\\*.wav" finds, sorted.
std::vector<std::string> filesMatching(const std::string &pattern);

class RunningProgram {
public:
    // Starts <folder>\<exe> with the given environment variables added to ours.
    bool start(const std::string &folder, const std::vector<std::pair<std::string, std::string>> &env,
               const std::string &exe = "Korvane.exe");
    ~RunningProgram();

    // Waits until the program idles in its message loop and finds its main window.
    HWND waitForMainWindow(DWORD timeoutMs = 30000);
    // Waits for the process to end; returns its exit code, or -1 on time-out.
    long waitForExit(DWORD timeoutMs = 30000);
    std::vector<HWND> topLevelWindows() const;
    DWORD processId() const { return info.dwProcessId; }
    HANDLE process() const { return info.hProcess; }

private:
    PROCESS_INFORMATION info = {};
};

std::string windowText(HWND window);
std::wstring windowTextW(HWND window);

// Waits until the program shows a message box (a top-level dialog of its own with
// a text), returns it and its text; null after the time-out.
HWND waitForMessageBox(const RunningProgram &program, std::wstring *text, DWORD timeoutMs = 30000);
std::string windowClass(HWND window);
std::vector<HWND> childWindows(HWND parent);

// Waits, watching the folder for changes, until `done` returns true; false after
// the time-out. For files another process writes.
bool waitForChangeIn(const std::string &folder, bool (*done)(const void *context), const void *context,
                     DWORD timeoutMs);

// Waits until a line starting with `prefix` appears in the log (the file grows as
// the program runs); returns false after the time-out.
bool waitForLogLine(const std::string &logPath, const std::string &prefix, DWORD timeoutMs = 30000);

}  // namespace testing_support
