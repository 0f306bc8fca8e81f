// The program's stored settings, read and written by tests from outside.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

const char kKorvaneKey[] = "Software\\Morvex\\Korvane\\1.0";

void clearKorvaneSettings();
void storeSetting(const char *name, int32_t value);
void storeMap(const char *name, const std::vector<int32_t> &map);
void storeText(const char *name, const std::string &text);
// False when the value is missing or not 4 bytes.
bool readSetting(const char *name, int32_t *value);
// The stored text; "<missing>" when there is none.
std::string readText(const char *name);
std::vector<int32_t> readMap(const char *name);

// Position of the driver with this name in a freshly read driver list; -1 if absent.
int32_t driverIndexOf(const std::string &name);

// Waits until the file is at least `bytes` long (it is written by another process).
bool waitForFileSize(const std::string &path, size_t bytes, DWORD timeoutMs = 30000);
size_t fileSize(const std::string &path);

}  // namespace testing_support
