#include "support/sox.h"

#include <windows.h>

#include "support/program_runner.h"

namespace testing_support {

std::string unixPath(const std::string &windowsPath) {
    typedef char *(CDECL * ToUnix)(LPCWSTR);
    ToUnix toUnix = (ToUnix)(void *)GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    if (!toUnix) return std::string();
    wchar_t wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide, MAX_PATH);
    char *path = toUnix(wide);
    if (!path) return std::string();
    std::string result(path);
    HeapFree(GetProcessHeap(), 0, path);
    return result;
}

std::string runSox(const std::string &arguments) { return runUnixCommand("/usr/bin/sox " + arguments); }

namespace {
bool exists(const void *path) { return GetFileAttributesA(((const std::string *)path)->c_str()) != INVALID_FILE_ATTRIBUTES; }
}  // namespace

std::string runUnixCommand(const std::string &command) {
    // Wine starts a Unix program on its own: its process handle does not tell when it
    // ends. The shell writes the output to a file and renames it when it is done.
    std::string folder = tempFolder("sox");
    std::string done = folder + "\\output";
    std::string partial = unixPath(folder) + "/partial";
    std::string commandLine = "/bin/sh -c \"(" + command + ") >'" + partial + "' 2>&1; mv '" + partial + "' '" +
                              unixPath(folder) + "/output'\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA("/bin/sh", &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return std::string();
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    if (!waitForChangeIn(folder, exists, &done, 60000)) return std::string();
    std::string text = readFile(done);
    DeleteFileA(done.c_str());
    return text;
}

std::string soxInfoField(const std::string &info, const std::string &field) {
    size_t at = info.find("\n" + field);
    if (at == std::string::npos) return std::string();
    size_t colon = info.find(':', at);
    size_t end = info.find('\n', colon);
    if (colon == std::string::npos) return std::string();
    std::string value = info.substr(colon + 1, end == std::string::npos ? std::string::npos : end - colon - 1);
    size_t first = value.find_first_not_of(" \r");
    size_t last = value.find_last_not_of(" \r");
    return first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
}

}  // namespace testing_support
