#include "support/korvane_settings.h"

#include "audio/driver_list.h"
#include "support/program_runner.h"

namespace testing_support {

void clearKorvaneSettings() { RegDeleteTreeA(HKEY_CURRENT_USER, kKorvaneKey); }

static HKEY openKey() {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, kKorvaneKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    return key;
}

void storeSetting(const char *name, int32_t value) {
    HKEY key = openKey();
    RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE *)&value, 4);
    RegCloseKey(key);
}

void storeMap(const char *name, const std::vector<int32_t> &map) {
    HKEY key = openKey();
    RegSetValueExA(key, name, 0, REG_BINARY, (const BYTE *)map.data(), (DWORD)(4 * map.size()));
    RegCloseKey(key);
}

void storeText(const char *name, const std::string &text) {
    HKEY key = openKey();
    RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)text.c_str(), (DWORD)text.size() + 1);
    RegCloseKey(key);
}

std::string readText(const char *name) {
    char text[1024];
    DWORD size = sizeof text;
    if (RegGetValueA(HKEY_CURRENT_USER, kKorvaneKey, name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return "<missing>";
    return text;
}

bool readSetting(const char *name, int32_t *value) {
    DWORD size = 4;
    return RegGetValueA(HKEY_CURRENT_USER, kKorvaneKey, name, RRF_RT_ANY, nullptr, value, &size) == ERROR_SUCCESS &&
           size == 4;
}

std::vector<int32_t> readMap(const char *name) {
    int32_t data[256];
    DWORD size = sizeof data;
    if (RegGetValueA(HKEY_CURRENT_USER, kKorvaneKey, name, RRF_RT_REG_BINARY, nullptr, data, &size) != ERROR_SUCCESS)
        return {};
    return std::vector<int32_t>(data, data + size / 4);
}

int32_t driverIndexOf(const std::string &name) {
    DriverList list;
    for (LONG i = 0; i < list.count(); ++i) {
        char text[256] = "";
        list.getName(i, text, sizeof text);
        if (name == text) return i;
    }
    return -1;
}

size_t fileSize(const std::string &path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (size_t)((unsigned long long)data.nFileSizeLow | (unsigned long long)data.nFileSizeHigh << 32);
}

namespace {
struct SizeWanted {
    const std::string *path;
    size_t bytes;
};

bool hasSize(const void *context) {
    const SizeWanted *wanted = (const SizeWanted *)context;
    return fileSize(*wanted->path) >= wanted->bytes;
}
}  // namespace

bool waitForFileSize(const std::string &path, size_t bytes, DWORD timeoutMs) {
    SizeWanted wanted = {&path, bytes};
    return waitForChangeIn(path.substr(0, path.find_last_of('\\')), hasSize, &wanted, timeoutMs);
}

}  // namespace testing_support
