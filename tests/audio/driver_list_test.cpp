#include <gtest/gtest.h>

#include <objbase.h>

#include <cstring>
#include <string>
#include <thread>

#include "audio/driver_list.h"
#include "audio/test_driver_registry.h"

using testdriver::Registration;
using testdriver::ScopedDrivers;

namespace {

const char *kClsidA = "{6B6F7276-0000-4000-8000-4C4953540001}";
const char *kClsidB = "{6B6F7276-0000-4000-8000-4C4953540002}";
const char *kClsidC = "{6B6F7276-0000-4000-8000-4C4953540003}";
const char *kClsidD = "{6B6F7276-0000-4000-8000-4C4953540004}";

// Runs f on a thread of its own, so COM's per-thread state starts out clean.
template <typename F>
void onFreshThread(F f) {
    std::thread t(f);
    t.join();
}

// True when COM was not yet initialised on the calling thread (and leaves it so).
bool comUninitialisedHere() {
    HRESULT hr = CoInitialize(nullptr);
    if (SUCCEEDED(hr)) CoUninitialize();
    return hr == S_OK;
}

bool foreignDriversInstalled() { return testdriver::keyHasSubkeys(HKEY_LOCAL_MACHINE, "software\\asio"); }

// Positions 0 .. count-1 are all present, in chain order, with matching identifiers.
void expectContiguous(const DriverList &list) {
    const DriverEntry *e = list.entry(0);
    for (LONG id = 0; id < list.count(); ++id) {
        ASSERT_NE(e, nullptr) << id;
        EXPECT_EQ(e->id, id);
        EXPECT_EQ(list.entry(id), e);
        e = e->next;
    }
    EXPECT_EQ(e, nullptr);
    EXPECT_EQ(list.entry(list.count()), nullptr);
    EXPECT_EQ(list.entry(-1), nullptr);
}

LONG findByName(const DriverList &list, const std::string &name) {
    for (LONG id = 0; id < list.count(); ++id)
        if (list.name(id) && name == list.name(id)) return id;
    return -1;
}

}  // namespace

TEST(DriverList, EmptyWithoutAsioKeyAndLeavesComAlone) {
    if (foreignDriversInstalled()) GTEST_SKIP() << "software\\asio holds drivers this test did not register";
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "software\\asio");
    onFreshThread([] {
        DriverList list;
        EXPECT_EQ(list.count(), 0);
        EXPECT_EQ(list.entry(0), nullptr);
        EXPECT_TRUE(comUninitialisedHere());
        list.destroy();
        EXPECT_TRUE(comUninitialisedHere());
    });
}

TEST(DriverList, EmptyWhenNoSubkeyIsUsable) {
    if (foreignDriversInstalled()) GTEST_SKIP() << "software\\asio holds drivers this test did not register";
    ScopedDrivers drivers;
    Registration noClsid;
    noClsid.name = "KTA no clsid";
    noClsid.writeClsidValue = false;
    ASSERT_TRUE(drivers.add(noClsid));
    Registration noFile;
    noFile.name = "KTA missing file";
    noFile.clsid = kClsidB;
    noFile.serverPath = "C:\\no\\such\\folder\\driver.dll";
    ASSERT_TRUE(drivers.add(noFile));
    onFreshThread([] {
        DriverList list;
        EXPECT_EQ(list.count(), 0);
        EXPECT_TRUE(comUninitialisedHere());
    });
}

TEST(DriverList, InitialisesComOnlyWithDriversAndBalancesIt) {
    ScopedDrivers drivers;
    ASSERT_TRUE(drivers.add("KTA com", kClsidA, "COM balance"));
    onFreshThread([] {
        {
            DriverList list;
            LONG count = list.count();
            EXPECT_GE(count, 1);
            list.build();  // building again starts from scratch
            EXPECT_EQ(list.count(), count);
            expectContiguous(list);
            HRESULT hr = CoInitialize(nullptr);
            EXPECT_EQ(hr, S_FALSE) << "the list initialises COM on its thread";
            if (SUCCEEDED(hr)) CoUninitialize();
        }
        EXPECT_TRUE(comUninitialisedHere()) << "destroying the list uninitialises COM again";
    });
}

TEST(DriverList, SkipsUnusableSubkeysAndKeepsIdentifiersContiguous) {
    ScopedDrivers drivers;
    ASSERT_TRUE(drivers.add("KTA 1 first", kClsidA, "First driver"));
    Registration noClsid;
    noClsid.name = "KTA 2 no clsid";
    noClsid.description = "No clsid";
    noClsid.writeClsidValue = false;
    ASSERT_TRUE(drivers.add(noClsid));
    Registration noFile;
    noFile.name = "KTA 3 missing file";
    noFile.clsid = kClsidB;
    noFile.description = "Missing file";
    noFile.serverPath = "C:\\no\\such\\folder\\driver.dll";
    ASSERT_TRUE(drivers.add(noFile));
    Registration noServer;
    noServer.name = "KTA 4 no server key";
    noServer.clsid = kClsidC;
    noServer.description = "No server key";
    noServer.writeServer = false;
    ASSERT_TRUE(drivers.add(noServer));
    Registration unknownClass;
    unknownClass.name = "KTA 5 unknown class";
    unknownClass.clsidValue = "{6B6F7276-0000-4000-8000-4C49535400FF}";
    unknownClass.description = "Unknown class";
    ASSERT_TRUE(drivers.add(unknownClass));
    ASSERT_TRUE(drivers.add("KTA 6 last", kClsidD, nullptr));

    DriverList list;
    expectContiguous(list);
    LONG first = findByName(list, "First driver");
    LONG last = findByName(list, "KTA 6 last");  // no description: the subkey name
    ASSERT_GE(first, 0);
    ASSERT_GE(last, 0);
    EXPECT_EQ(last, first + 1) << "the skipped subkeys take no identifiers";
    for (const char *skipped : {"No clsid", "Missing file", "No server key", "Unknown class", "KTA 2 no clsid",
                                "KTA 3 missing file", "KTA 4 no server key", "KTA 5 unknown class"})
        EXPECT_EQ(findByName(list, skipped), -1) << skipped;

    CLSID expected;
    wchar_t wide[64];
    MultiByteToWideChar(CP_ACP, 0, kClsidD, -1, wide, 64);
    ASSERT_EQ(CLSIDFromString(wide, &expected), S_OK);
    EXPECT_TRUE(IsEqualGUID(list.entry(last)->clsid, expected));
    EXPECT_EQ(list.entry(last)->driver, nullptr);
}

TEST(DriverList, MatchesTheClassIdentifierWhateverItsCase) {
    ScopedDrivers drivers;
    Registration r;
    r.name = "KTA case";
    r.clsid = "{6b6f7276-0000-4000-8000-4c4953540005}";     // class key in lower case
    r.clsidValue = "{6B6F7276-0000-4000-8000-4C4953540005}";  // driver key in upper case
    r.description = "Mixed case";
    ASSERT_TRUE(drivers.add(r));
    DriverList list;
    LONG id = findByName(list, "Mixed case");
    ASSERT_GE(id, 0);
    IASIO *driver = nullptr;
    ASSERT_EQ(list.openDriver(id, &driver), DRVERR_OK);
    EXPECT_NE(driver, nullptr);
    EXPECT_EQ(list.closeDriver(id), DRVERR_OK);
}

TEST(DriverList, LongSubkeyNameEndsTheEnumeration) {
    ScopedDrivers drivers;
    ASSERT_TRUE(drivers.add("KTA L1 before", kClsidA, "Before the long name"));
    std::string longName = "KTA L2 " + std::string(140, 'x');
    HKEY key = testdriver::createKey(HKEY_LOCAL_MACHINE, "software\\asio\\" + longName);
    drivers.track(longName);
    ASSERT_NE(key, nullptr);
    ASSERT_TRUE(testdriver::setText(key, "clsid", kClsidA));
    RegCloseKey(key);
    ASSERT_TRUE(drivers.add("KTA L3 after", kClsidB, "After the long name"));

    DriverList list;
    expectContiguous(list);
    EXPECT_GE(findByName(list, "Before the long name"), 0);
    EXPECT_EQ(findByName(list, "After the long name"), -1);
}

TEST(DriverList, ValuesWithoutTerminatorOrTooLongStayInsideTheirBuffers) {
    ScopedDrivers drivers;
    ASSERT_TRUE(drivers.add("KTA raw clsid", kClsidA, nullptr));
    HKEY key = testdriver::createKey(HKEY_LOCAL_MACHINE, "software\\asio\\KTA raw clsid");
    ASSERT_NE(key, nullptr);
    // The class identifier text stored without its terminating zero.
    ASSERT_EQ(RegSetValueExA(key, "clsid", 0, REG_SZ, reinterpret_cast<const BYTE *>(kClsidA),
                             DWORD(std::strlen(kClsidA))),
              ERROR_SUCCESS);
    // A description of 200 characters for a 128-byte name.
    std::string description(200, 'd');
    description.replace(0, 5, "Long ");
    ASSERT_TRUE(testdriver::setText(key, "description", description));
    RegCloseKey(key);

    // A "clsid" value that fills the whole read buffer, no zero anywhere.
    Registration full;
    full.name = "KTA full clsid";
    full.writeClsidValue = false;
    full.description = "Full clsid";
    ASSERT_TRUE(drivers.add(full));
    key = testdriver::createKey(HKEY_LOCAL_MACHINE, "software\\asio\\KTA full clsid");
    ASSERT_NE(key, nullptr);
    std::string filler(256, 'c');
    ASSERT_EQ(RegSetValueExA(key, "clsid", 0, REG_SZ, reinterpret_cast<const BYTE *>(filler.data()), 256),
              ERROR_SUCCESS);
    RegCloseKey(key);

    DriverList list;
    LONG id = findByName(list, description.substr(0, 127));
    ASSERT_GE(id, 0) << "the unterminated class identifier is read and found";
    EXPECT_EQ(std::strlen(list.entry(id)->name), 127u);
    EXPECT_EQ(findByName(list, "Full clsid"), -1);
    IASIO *driver = nullptr;
    EXPECT_EQ(list.openDriver(id, &driver), DRVERR_OK);
    EXPECT_EQ(list.closeDriver(id), DRVERR_OK);
}

TEST(DriverList, FitNameCutsWithDots) {
    const std::string forty = "0123456789abcdefghijklmnopqrstuvwxyzABCD";
    struct Case {
        std::string name;
        LONG capacity;
        std::string expected;
    } cases[] = {
        {forty, 32, forty.substr(0, 28) + "..."},
        {forty, 41, forty},
        {forty, 40, forty.substr(0, 36) + "..."},
        {forty.substr(0, 31), 32, forty.substr(0, 31)},
        {forty.substr(0, 32), 32, forty.substr(0, 28) + "..."},
        {"", 1, ""},
        {"abcdef", 4, "..."},
        {"abcdef", 3, ".."},
        {"abcdef", 1, ""},
    };
    for (const Case &c : cases) {
        char buffer[64];
        std::memset(buffer, '#', sizeof(buffer));
        fitName(c.name.c_str(), buffer, c.capacity);
        EXPECT_EQ(std::string(buffer), c.expected) << c.name << " / " << c.capacity;
        EXPECT_EQ(buffer[c.capacity], '#') << "nothing written past the capacity";
    }
}

TEST(DriverList, GetNameResults) {
    ScopedDrivers drivers;
    std::string forty = "KTA forty characters long driver name!!";
    forty += "X";
    ASSERT_EQ(forty.size(), 40u);
    ASSERT_TRUE(drivers.add("KTA names", kClsidA, forty.c_str()));
    DriverList list;
    LONG id = findByName(list, forty);
    ASSERT_GE(id, 0);
    char buffer[1000];
    EXPECT_EQ(list.getName(id, buffer, 32), DRVERR_OK);
    EXPECT_EQ(std::string(buffer), forty.substr(0, 28) + "...");
    EXPECT_EQ(list.getName(id, buffer, 1000), DRVERR_OK);
    EXPECT_EQ(std::string(buffer), forty);
    EXPECT_EQ(list.getName(id, nullptr, 32), DRVERR_INVALID_PARAM);
    EXPECT_EQ(list.getName(list.count(), buffer, 32), DRVERR_DEVICE_NOT_FOUND);
    EXPECT_EQ(list.getName(-1, buffer, 32), DRVERR_DEVICE_NOT_FOUND);
}

TEST(DriverList, OpenAndCloseResults) {
    ScopedDrivers drivers;
    ASSERT_TRUE(drivers.add("KTA open", kClsidA, "Open me"));
    Registration badText;  // listed, but its text is no class identifier
    badText.name = "KTA bad text";
    badText.clsid = "not-a-class-id";
    badText.clsidValue = "NOT-A-CLASS-ID";
    badText.description = "Bad text";
    ASSERT_TRUE(drivers.add(badText));

    DriverList list;
    LONG id = findByName(list, "Open me");
    ASSERT_GE(id, 0);
    IASIO *driver = nullptr;
    EXPECT_EQ(list.openDriver(id, nullptr), DRVERR_INVALID_PARAM);
    EXPECT_EQ(list.openDriver(list.count(), &driver), DRVERR_DEVICE_NOT_FOUND);
    EXPECT_EQ(list.closeDriver(id), DRVERR_OK) << "closing an entry that is not open";
    EXPECT_EQ(list.closeDriver(list.count()), DRVERR_OK) << "closing a missing entry";
    ASSERT_EQ(list.openDriver(id, &driver), DRVERR_OK);
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(list.entry(id)->driver, driver);
    IASIO *again = nullptr;
    EXPECT_EQ(list.openDriver(id, &again), DRVERR_DEVICE_ALREADY_OPEN);
    EXPECT_EQ(again, nullptr);
    EXPECT_EQ(list.closeDriver(id), DRVERR_OK);
    EXPECT_EQ(list.entry(id)->driver, nullptr);
    EXPECT_EQ(list.openDriver(id, &driver), DRVERR_OK) << "open again after close";
    EXPECT_EQ(list.closeDriver(id), DRVERR_OK);

    LONG bad = findByName(list, "Bad text");
    ASSERT_GE(bad, 0) << "an unparsable class identifier still lists the driver";
    const CLSID zero = {};
    EXPECT_TRUE(IsEqualGUID(list.entry(bad)->clsid, zero));
    LONG result = list.openDriver(bad, &again);
    EXPECT_LT(result, 0);
    EXPECT_NE(result, DRVERR_DEVICE_NOT_FOUND);
    EXPECT_EQ(list.entry(bad)->driver, nullptr);
}

TEST(DriverList, DestroyReleasesOpenDriversFromLastToFirst) {
    ScopedDrivers drivers;
    std::string log = testdriver::tempPath("korvane_list_release.log");
    DeleteFileA(log.c_str());
    testdriver::Config config;
    config.set("Log", log);
    ASSERT_TRUE(drivers.add("KTA R1", kClsidA, "Release one", config));
    ASSERT_TRUE(drivers.add("KTA R2", kClsidB, "Release two", config));
    ASSERT_TRUE(drivers.add("KTA R3", kClsidC, "Release three", config));
    {
        DriverList list;
        IASIO *driver = nullptr;
        ASSERT_EQ(list.openDriver(findByName(list, "Release one"), &driver), DRVERR_OK);
        ASSERT_EQ(list.openDriver(findByName(list, "Release three"), &driver), DRVERR_OK);
        ASSERT_EQ(list.openDriver(findByName(list, "Release two"), &driver), DRVERR_OK);
        list.destroy();
        EXPECT_EQ(list.count(), 0);
        EXPECT_EQ(list.entry(0), nullptr);
    }
    std::string text = testdriver::readFile(log);
    size_t r1 = text.find("release KTA R1"), r2 = text.find("release KTA R2"), r3 = text.find("release KTA R3");
    ASSERT_NE(r1, std::string::npos) << text;
    ASSERT_NE(r2, std::string::npos) << text;
    ASSERT_NE(r3, std::string::npos) << text;
    EXPECT_LT(r3, r2);
    EXPECT_LT(r2, r1);
    EXPECT_EQ(text.find("release", r1 + 1), std::string::npos) << "each released once";
    DeleteFileA(log.c_str());
}
