#include "support/demo_plugin.h"

#include <cstdio>
#include <fstream>

std::string programFolder() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path, n);
    return s.substr(0, s.find_last_of('\\'));
}

std::string demoModulePath() { return programFolder() + "\\Korvane.dll"; }

std::string makeTempFolder() {
    static int serial = 0;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    for (;;) {
        char name[MAX_PATH];
        snprintf(name, sizeof name, "%skorvane-host-%lu-%d", temp, GetCurrentProcessId(), ++serial);
        if (CreateDirectoryA(name, nullptr)) return name;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return std::string();
    }
}

void removeFolder(const std::string &folder) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name != "." && name != "..") DeleteFileA((folder + "\\" + name).c_str());
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    RemoveDirectoryA(folder.c_str());
}

DemoSetup::DemoSetup(const char *variant, const char *editor, const char *editorOrigin) {
    folder_ = makeTempFolder();
    logPath_ = folder_ + "\\demo.log";
    SetEnvironmentVariableA("KORVANE_DEMO_LOG", logPath_.c_str());
    SetEnvironmentVariableA("KORVANE_DEMO_VARIANT", variant);
    SetEnvironmentVariableA("KORVANE_DEMO_EDITOR", editor);
    SetEnvironmentVariableA("KORVANE_DEMO_EDITOR_ORIGIN", editorOrigin);
}

DemoSetup::~DemoSetup() {
    SetEnvironmentVariableA("KORVANE_DEMO_LOG", nullptr);
    SetEnvironmentVariableA("KORVANE_DEMO_VARIANT", nullptr);
    SetEnvironmentVariableA("KORVANE_DEMO_EDITOR", nullptr);
    SetEnvironmentVariableA("KORVANE_DEMO_EDITOR_ORIGIN", nullptr);
    removeFolder(folder_);
}

std::vector<std::string> DemoSetup::log() const {
    std::vector<std::string> lines;
    std::ifstream in(logPath_);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> DemoSetup::logged(const char *word) const {
    std::vector<std::string> result;
    std::string prefix = word;
    for (const std::string &line : log()) {
        if (line == prefix || line.compare(0, prefix.size() + 1, prefix + " ") == 0) result.push_back(line);
    }
    return result;
}

bool isLoaded(const std::string &path) { return GetModuleHandleA(path.c_str()) != nullptr; }
