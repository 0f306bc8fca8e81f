#include "audio/driver_list.h"

#include <objbase.h>

#include <cstdlib>
#include <cstring>

namespace {

const DWORD kSubkeyNameBytes = 128;
const DWORD kClsidTextBytes = 256;
const DWORD kClassKeyBytes = 512;
const DWORD kServerPathBytes = 512;
const int kClsidWideChars = 100;
const DWORD kDescriptionBytes = 256;

// Reads a string value into buffer and makes sure it ends in a zero, whatever the
// registry held (values are not required to carry their terminator).
bool readStringValue(HKEY key, const char *name, char *buffer, DWORD capacity) {
    DWORD size = capacity;
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(buffer), &size) != ERROR_SUCCESS)
        return false;
    buffer[size < capacity ? size : capacity - 1] = 0;
    return true;
}

// True when the file named by path exists. OpenFile cannot take paths of 128
// characters or more, so those are tested directly.
bool fileExists(const char *path) {
    if (std::strlen(path) < OFS_MAXPATHNAME) {
        OFSTRUCT info;
        return OpenFile(path, &info, OF_EXIST) != HFILE_ERROR;
    }
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Looks the class identifier text up under HKEY_CLASSES_ROOT "clsid" (case-insensitively)
// and tells whether its in-process server file exists. Lower-cases text in place.
bool serverFileExists(char *text) {
    CharLowerBuffA(text, DWORD(std::strlen(text)));
    HKEY classes;
    if (RegOpenKeyA(HKEY_CLASSES_ROOT, "clsid", &classes) != ERROR_SUCCESS) return false;
    bool found = false;
    char name[kClassKeyBytes];
    for (DWORD index = 0; RegEnumKeyA(classes, index, name, kClassKeyBytes) == ERROR_SUCCESS; ++index) {
        name[kClassKeyBytes - 1] = 0;
        CharLowerBuffA(name, DWORD(std::strlen(name)));
        if (std::strcmp(name, text) != 0) continue;
        HKEY classKey, server;
        if (RegOpenKeyExA(classes, name, 0, KEY_READ, &classKey) == ERROR_SUCCESS) {
            if (RegOpenKeyExA(classKey, "InprocServer32", 0, KEY_READ, &server) == ERROR_SUCCESS) {
                char path[kServerPathBytes];
                if (readStringValue(server, nullptr, path, kServerPathBytes)) found = fileExists(path);
                RegCloseKey(server);
            }
            RegCloseKey(classKey);
        }
        break;
    }
    RegCloseKey(classes);
    return found;
}

void copyName(char *dst, size_t capacity, const char *src) {
    size_t n = std::strlen(src);
    if (n >= capacity) n = capacity - 1;
    std::memcpy(dst, src, n);
    dst[n] = 0;
}

// A new zero-filled entry for subkey name of the open "software\asio" key, or null
// when the subkey is not a usable driver.
DriverEntry *makeEntry(HKEY asio, const char *subkey, LONG id) {
    HKEY key;
    if (RegOpenKeyExA(asio, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS) return nullptr;
    DriverEntry *entry = nullptr;
    char text[kClsidTextBytes];
    if (readStringValue(key, "clsid", text, kClsidTextBytes) && serverFileExists(text)) {
        entry = static_cast<DriverEntry *>(std::calloc(1, sizeof(DriverEntry)));
        if (entry) {
            entry->id = id;
            wchar_t wide[kClsidWideChars];
            if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide, kClsidWideChars) == 0 ||
                FAILED(CLSIDFromString(wide, &entry->clsid)))
                std::memset(&entry->clsid, 0, sizeof(entry->clsid));
            char description[kDescriptionBytes];
            copyName(entry->name, sizeof(entry->name),
                     readStringValue(key, "description", description, kDescriptionBytes) ? description : subkey);
        }
    }
    RegCloseKey(key);
    return entry;
}

}  // namespace

DriverList::DriverList() { build(); }

DriverList::~DriverList() { destroy(); }

void DriverList::build() {
    destroy();
    HKEY asio;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, "software\\asio", &asio) != ERROR_SUCCESS) return;
    DriverEntry **tail = &head;
    char name[kSubkeyNameBytes];
    for (DWORD index = 0; RegEnumKeyA(asio, index, name, kSubkeyNameBytes) == ERROR_SUCCESS; ++index) {
        name[kSubkeyNameBytes - 1] = 0;
        DriverEntry *entry = makeEntry(asio, name, numDrivers);
        if (!entry) continue;
        *tail = entry;
        tail = &entry->next;
        ++numDrivers;
    }
    RegCloseKey(asio);
    if (numDrivers > 0) comInitialised = SUCCEEDED(CoInitialize(nullptr));
}

void DriverList::destroy() {
    if (!head) return;
    // Release from the last entry to the first.
    for (LONG id = numDrivers - 1; id >= 0; --id) {
        DriverEntry *e = const_cast<DriverEntry *>(entry(id));
        if (e && e->driver) {
            e->driver->Release();
            e->driver = nullptr;
        }
    }
    while (head) {
        DriverEntry *next = head->next;
        std::free(head);
        head = next;
    }
    numDrivers = 0;
    if (comInitialised) CoUninitialize();
    comInitialised = false;
}

const DriverEntry *DriverList::entry(LONG id) const {
    for (const DriverEntry *e = head; e; e = e->next)
        if (e->id == id) return e;
    return nullptr;
}

const char *DriverList::name(LONG id) const {
    const DriverEntry *e = entry(id);
    return e ? e->name : nullptr;
}

LONG DriverList::getName(LONG id, char *buffer, LONG capacity) const {
    if (!buffer || capacity <= 0) return DRVERR_INVALID_PARAM;
    const DriverEntry *e = entry(id);
    if (!e) return DRVERR_DEVICE_NOT_FOUND;
    fitName(e->name, buffer, capacity);
    return DRVERR_OK;
}

void fitName(const char *name, char *buffer, LONG capacity) {
    if (!buffer || capacity <= 0) return;
    size_t length = std::strlen(name);
    if (length < size_t(capacity)) {
        std::memcpy(buffer, name, length + 1);
        return;
    }
    // Too long: as much of the name as leaves room for "..." and the zero.
    LONG keep = capacity >= 4 ? capacity - 4 : 0;
    std::memcpy(buffer, name, size_t(keep));
    LONG dots = capacity - 1 - keep;
    std::memcpy(buffer + keep, "...", size_t(dots));
    buffer[capacity - 1] = 0;
}

LONG DriverList::openDriver(LONG id, IASIO **driver) {
    if (!driver) return DRVERR_INVALID_PARAM;
    DriverEntry *e = const_cast<DriverEntry *>(entry(id));
    if (!e) return DRVERR_DEVICE_NOT_FOUND;
    if (e->driver) return DRVERR_DEVICE_ALREADY_OPEN;
    void *object = nullptr;
    HRESULT hr = CoCreateInstance(e->clsid, nullptr, CLSCTX_INPROC_SERVER, e->clsid, &object);
    if (FAILED(hr)) return LONG(hr);
    if (!object) return LONG(E_POINTER);
    e->driver = static_cast<IASIO *>(object);
    *driver = e->driver;
    return DRVERR_OK;
}

LONG DriverList::closeDriver(LONG id) {
    DriverEntry *e = const_cast<DriverEntry *>(entry(id));
    if (e && e->driver) {
        e->driver->Release();
        e->driver = nullptr;
    }
    return DRVERR_OK;
}
