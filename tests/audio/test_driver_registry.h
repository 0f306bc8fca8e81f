// Registers instances of the test ASIO driver (KorvaneTestAsio.dll, beside the test
// executable) from inside the test process, with the same keys as
// fixtures/test_driver/register.sh, and removes them again.
//
//   HKCR\CLSID\{clsid}                 default "Korvane Test ASIO", InstanceName = name
//   HKCR\CLSID\{clsid}\InprocServer32  default = dll path, ThreadingModel = Apartment
//   HKLM\software\asio\<name>          clsid = "{clsid}", description
//   HKCU\Software\KorvaneTestAsio\<name>  the instance configuration
#pragma once

#include <windows.h>

#include "support/korvane_settings.h"
#include "support/program_runner.h"

#include <string>
#include <utility>
#include <vector>

namespace testdriver {

// The instance configuration: REG_DWORD and REG_SZ values by name (see the fixture's README).
struct Config {
    std::vector<std::pair<std::string, DWORD>> numbers;
    std::vector<std::pair<std::string, std::string>> texts;
    Config &set(const char *name, DWORD value) {
        numbers.emplace_back(name, value);
        return *this;
    }
    Config &set(const char *name, const std::string &text) {
        texts.emplace_back(name, text);
        return *this;
    }
};

// What to register besides the configuration; the defaults describe a working driver.
struct Registration {
    std::string name;                  // subkey of software\asio and the instance name
    std::string clsid;                 // "{...}", used for the class key
    const char *description = nullptr; // null: no "description" value
    bool writeClsidValue = true;       // false: the asio subkey has no "clsid" value
    std::string clsidValue;            // text of the "clsid" value; empty: clsid
    bool writeServer = true;           // false: the class key has no InprocServer32 subkey
    std::string serverPath;            // empty: the test driver beside the test executable
    bool writeInstanceName = true;     // false: the DLL refuses to create the class
};

inline std::string exeFolder() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

inline std::string driverDllPath() { return exeFolder() + "KorvaneTestAsio.dll"; }

inline std::string tempPath(const std::string &file) {
    char folder[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, folder);
    return std::string(folder) + file;
}

inline bool setText(HKEY key, const char *name, const std::string &text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                          DWORD(text.size() + 1)) == ERROR_SUCCESS;
}

inline bool setNumber(HKEY key, const char *name, DWORD value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof(value)) ==
           ERROR_SUCCESS;
}

inline HKEY createKey(HKEY root, const std::string &path) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

inline bool writeConfig(const std::string &name, const Config &config) {
    HKEY key = createKey(HKEY_CURRENT_USER, "Software\\KorvaneTestAsio\\" + name);
    if (!key) return false;
    bool ok = true;
    for (const auto &v : config.numbers) ok = setNumber(key, v.first.c_str(), v.second) && ok;
    for (const auto &v : config.texts) ok = setText(key, v.first.c_str(), v.second) && ok;
    RegCloseKey(key);
    return ok;
}

inline bool registerTestDriver(const Registration &r, const Config &config = Config()) {
    bool ok = true;
    if (!r.clsid.empty()) {
        HKEY cls = createKey(HKEY_CLASSES_ROOT, "CLSID\\" + r.clsid);
        if (!cls) return false;
        ok = setText(cls, nullptr, "Korvane Test ASIO") && ok;
        if (r.writeInstanceName) ok = setText(cls, "InstanceName", r.name) && ok;
        RegCloseKey(cls);
        if (r.writeServer) {
            HKEY server = createKey(HKEY_CLASSES_ROOT, "CLSID\\" + r.clsid + "\\InprocServer32");
            if (!server) return false;
            ok = setText(server, nullptr, r.serverPath.empty() ? driverDllPath() : r.serverPath) && ok;
            ok = setText(server, "ThreadingModel", "Apartment") && ok;
            RegCloseKey(server);
        }
    }
    HKEY asio = createKey(HKEY_LOCAL_MACHINE, "software\\asio\\" + r.name);
    if (!asio) return false;
    if (r.writeClsidValue) ok = setText(asio, "clsid", r.clsidValue.empty() ? r.clsid : r.clsidValue) && ok;
    if (r.description) ok = setText(asio, "description", r.description) && ok;
    RegCloseKey(asio);
    return writeConfig(r.name, config) && ok;
}

// The usual case: a working instance with a description.
inline bool registerTestDriver(const std::string &name, const std::string &clsid, const char *description,
                               const Config &config = Config()) {
    Registration r;
    r.name = name;
    r.clsid = clsid;
    r.description = description;
    return registerTestDriver(r, config);
}

inline bool keyHasSubkeys(HKEY root, const char *path) {
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD subkeys = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(key);
    return subkeys > 0;
}

// Removes what registerTestDriver wrote; "software\asio" goes too once it is empty,
// so the shared prefix is left as it was found.
inline void unregisterTestDriver(const std::string &name, const std::string &clsid) {
    if (!clsid.empty()) RegDeleteTreeA(HKEY_CLASSES_ROOT, ("CLSID\\" + clsid).c_str());
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, ("software\\asio\\" + name).c_str());
    RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\KorvaneTestAsio\\" + name).c_str());
    if (!keyHasSubkeys(HKEY_LOCAL_MACHINE, "software\\asio")) RegDeleteKeyA(HKEY_LOCAL_MACHINE, "software\\asio");
    if (!keyHasSubkeys(HKEY_CURRENT_USER, "Software\\KorvaneTestAsio"))
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KorvaneTestAsio");
}

// Registers on construction (or through add) and unregisters everything it
// registered when the test ends, whether it passed or not.
class ScopedDrivers {
public:
    ScopedDrivers() = default;
    ScopedDrivers(const ScopedDrivers &) = delete;
    ScopedDrivers &operator=(const ScopedDrivers &) = delete;
    ~ScopedDrivers() {
        for (const auto &d : added) unregisterTestDriver(d.first, d.second);
    }
    bool add(const Registration &r, const Config &config = Config()) {
        added.emplace_back(r.name, r.clsid);
        return registerTestDriver(r, config);
    }
    bool add(const std::string &name, const std::string &clsid, const char *description,
             const Config &config = Config()) {
        added.emplace_back(name, clsid);
        return registerTestDriver(name, clsid, description, config);
    }
    // Keys written by hand under software\asio: removed with the rest.
    void track(const std::string &name) { added.emplace_back(name, std::string()); }

private:
    std::vector<std::pair<std::string, std::string>> added;
};

// Registers the driver and stores it, with the rate, as the program's choice: the
// set-up of every test that starts the program on the test driver. False when it
// could not be registered or is not in the driver list.
inline bool addChosenDriver(ScopedDrivers &drivers, const std::string &name, const std::string &clsid,
                            const Config &config, int32_t rate) {
    if (!drivers.add(name, clsid, name.c_str(), config)) return false;
    int32_t index = testing_support::driverIndexOf(name);
    if (index < 0) return false;
    testing_support::storeSetting("ASIO", index);
    testing_support::storeSetting("SampleRate", rate);
    return true;
}

// Reads a whole file (shared with a writer that still has it open).
using testing_support::readFile;

}  // namespace testdriver
