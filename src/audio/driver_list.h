// The installed ASIO drivers, read from HKEY_LOCAL_MACHINE "software\asio", and
// the creation and release of their driver objects through COM.
#pragma once

#include <windows.h>

#include "audio/asio.h"

enum {
    DRVERR_OK = 0,
    DRVERR_INVALID_PARAM = -5001,
    DRVERR_DEVICE_ALREADY_OPEN = -5002,
    DRVERR_DEVICE_NOT_FOUND = -5003,
};

struct DriverEntry {
    LONG id;              // position in the list, from 0
    CLSID clsid;          // all zero when the "clsid" text does not parse
    char name[128];       // "description", or the subkey name
    IASIO *driver;        // null while not open
    DriverEntry *next;
};

class DriverList {
public:
    DriverList();   // builds the list (initialises COM when it finds a driver)
    ~DriverList();  // releases open drivers, frees the list, uninitialises COM

    void build();
    void destroy();
    LONG count() const { return numDrivers; }
    LONG getName(LONG id, char *buffer, LONG capacity) const;
    LONG openDriver(LONG id, IASIO **driver);
    LONG closeDriver(LONG id);
    const DriverEntry *entry(LONG id) const;
    const char *name(LONG id) const;  // the entry's name, or null when there is no such entry

private:
    DriverEntry *head = nullptr;
    LONG numDrivers = 0;
    bool comInitialised = false;
    DriverList(const DriverList &) = delete;
    DriverList &operator=(const DriverList &) = delete;
};

// Copies name into buffer of capacity bytes; a name that does not fit is cut to
// capacity - 4 characters followed by "..." so that it fills the buffer exactly.
void fitName(const char *name, char *buffer, LONG capacity);

// The process-wide list (names and count for the dialogs, the settings and the stream set-up).
extern DriverList gDriverList;
