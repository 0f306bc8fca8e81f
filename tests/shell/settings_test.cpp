#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <vector>

#include "audio/driver_list.h"
#include "audio/engine_state.h"
#include "audio/test_driver_registry.h"
#include "core/app_state.h"
#include "engine/file_dialog.h"
#include "export/dialog/export_dialog.h"
#include "midi/midi_ports.h"
#include "midi/midi_system.h"
#include "plugin/plugin_instance.h"
#include "shell/settings.h"

namespace {

const char *kKey = "Software\\Morvex\\Korvane\\1.0";

UINT WINAPI threeDevices() { return 3; }

// Each test starts from the start-up values and an empty settings key, and leaves none behind.
class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, kKey);
        savedSystem = gMidiSystem;
        gMidiSystem.midiInGetNumDevs = threeDevices;
        gMidiSystem.midiOutGetNumDevs = threeDevices;
        gEngine.driverIndex = -1;
        gEngine.sampleRate = 44100;
        gMidiInIndex = gMidiOutIndex = -1;
        gTempo = 120;
        gOnTop = 0;
        gFirstStart = 0;
        gMissingDriver[0] = '\0';
        setDefaultChannelMaps();
        memset(&effect, 0, sizeof effect);
    }
    void TearDown() override {
        gPlugin.effect = nullptr;
        gMidiSystem = savedSystem;
        RegDeleteTreeA(HKEY_CURRENT_USER, kKey);
    }
    void store(const char *name, DWORD value) {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                                 &key, nullptr));
        RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE *)&value, 4);
        RegCloseKey(key);
    }
    void storeBinary(const char *name, const void *data, DWORD size) {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                                 &key, nullptr));
        RegSetValueExA(key, name, 0, REG_BINARY, (const BYTE *)data, size);
        RegCloseKey(key);
    }
    MidiSystem savedSystem;
    AEffect effect;
};

}  // namespace

TEST_F(SettingsStore, EmptyRegistryGivesDefaultsAndAsksForTheFirstStartDialog) {
    loadSettings();
    EXPECT_EQ(-1, gEngine.driverIndex);
    EXPECT_EQ(-1, gMidiInIndex);
    EXPECT_EQ(-1, gMidiOutIndex);
    EXPECT_EQ(44100, gEngine.sampleRate);
    EXPECT_EQ(120, gTempo);
    EXPECT_EQ(0, gOnTop);
    EXPECT_EQ(1, gFirstStart);
    for (int i = 0; i < kMaxChannels; ++i) EXPECT_EQ(i % 2, gEngine.outMap[i]);
}

TEST_F(SettingsStore, ChecksAfterLoading) {
    struct Case {
        DWORD tempo;
        int32_t expectedTempo;
        DWORD midiIn;
        int32_t expectedMidiIn;
    } cases[] = {{5, 120, 3, -1}, {10, 10, 2, 2}, {500, 500, 0, 0}, {501, 120, 0xFFFFFFFF, -1}};
    for (const Case &c : cases) {
        store("Tempo", c.tempo);
        store("MidiIn", c.midiIn);
        store("MidiOut", c.midiIn);
        loadSettings();
        EXPECT_EQ(c.expectedTempo, gTempo) << c.tempo;
        EXPECT_EQ(c.expectedMidiIn, gMidiInIndex) << c.midiIn;
        EXPECT_EQ(c.expectedMidiIn, gMidiOutIndex) << c.midiIn;
    }
}

TEST_F(SettingsStore, DriverBeyondTheListLoadsAsNoneWithoutTheFirstStartDialog) {
    store("ASIO", (DWORD)gDriverList.count() + 2);
    loadSettings();
    EXPECT_EQ(-1, gEngine.driverIndex);
    EXPECT_EQ(0, gFirstStart);
}

// A driver not installed now stays the choice: nothing opens, and it is stored again.
TEST_F(SettingsStore, MissingDriverStaysTheStoredChoice) {
    const char missing[] = "Korvane Uninstalled Driver";
    store("ASIO", 0);
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegSetValueExA(key, "ASIOName", 0, REG_SZ, (const BYTE *)missing, sizeof missing);
    RegCloseKey(key);
    loadSettings();
    EXPECT_EQ(-1, gEngine.driverIndex);
    EXPECT_STREQ(missing, gMissingDriver);
    EXPECT_EQ(0, gFirstStart);

    RegDeleteTreeA(HKEY_CURRENT_USER, kKey);
    saveSettings();
    char stored[256] = "";
    DWORD size = sizeof stored;
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_CURRENT_USER, kKey, "ASIOName", RRF_RT_REG_SZ, nullptr, stored, &size));
    EXPECT_STREQ(missing, stored);

    // Once another is picked (here none), the missing one is forgotten.
    gMissingDriver[0] = '\0';
    saveSettings();
    size = sizeof stored;
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_CURRENT_USER, kKey, "ASIOName", RRF_RT_REG_SZ, nullptr, stored, &size));
    EXPECT_STREQ("", stored);
}

TEST_F(SettingsStore, SampleRateZeroLoadsAsZero) {
    store("SampleRate", 0);
    loadSettings();
    EXPECT_EQ(0, gEngine.sampleRate);
}

TEST_F(SettingsStore, ValueOfTheWrongSizeIsNotRead) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    const char text[] = "fast";  // five bytes with the terminator
    RegSetValueExA(key, "Tempo", 0, REG_SZ, (const BYTE *)text, sizeof text);
    WORD shortValue = 7;
    RegSetValueExA(key, "OnTop", 0, REG_BINARY, (const BYTE *)&shortValue, 2);
    RegCloseKey(key);
    gOnTop = 0x10000;
    loadSettings();
    EXPECT_EQ(120, gTempo);
    EXPECT_EQ(0x10000, gOnTop);
}

TEST_F(SettingsStore, SaveThenLoadRestoresEverything) {
    const char driver[] = "Korvane Settings Test Driver", clsid[] = "{6B6F7276-0000-4000-8000-534554540001}";
    testdriver::ScopedDrivers drivers;
    ASSERT_TRUE(drivers.add(driver, clsid, driver));
    gDriverList.build();
    const int32_t index = testing_support::driverIndexOf(driver);
    ASSERT_LE(0, index);
    effect.numOutputs = 4;
    effect.numInputs = 2;
    gPlugin.effect = &effect;
    gEngine.driverIndex = index;
    gMidiInIndex = 1;
    gMidiOutIndex = 2;
    gEngine.sampleRate = 48000;
    gTempo = 96;
    gOnTop = 1;
    const int32_t out[] = {1, -1, 0, 1};
    for (int i = 0; i < 4; ++i) gEngine.outMap[i] = out[i];
    gEngine.inMap[0] = -1;
    gEngine.inMap[1] = 0;
    saveSettings();
    EXPECT_EQ(driver, testing_support::readText("ASIOName"));

    gEngine.driverIndex = -1;
    gMidiInIndex = gMidiOutIndex = -1;
    gEngine.sampleRate = 0;
    gTempo = 120;
    gOnTop = 0;
    setDefaultChannelMaps();
    loadSettings();
    EXPECT_EQ(index, gEngine.driverIndex);
    EXPECT_EQ(1, gMidiInIndex);
    EXPECT_EQ(2, gMidiOutIndex);
    EXPECT_EQ(48000, gEngine.sampleRate);
    EXPECT_EQ(96, gTempo);
    EXPECT_EQ(1, gOnTop);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(out[i], gEngine.outMap[i]) << i;
    EXPECT_EQ(-1, gEngine.inMap[0]);
    EXPECT_EQ(0, gEngine.inMap[1]);
    EXPECT_EQ(0, gEngine.outMap[4]);  // beyond the plugin's outputs: untouched

    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key));
    DWORD type = 0, size = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "OutMap", nullptr, &type, nullptr, &size));
    EXPECT_EQ((DWORD)REG_BINARY, type);
    EXPECT_EQ(16u, size);
    RegCloseKey(key);
    // The driver goes now, not when `drivers` ends, so that the list can be read without it.
    testdriver::unregisterTestDriver(driver, clsid);
    gDriverList.build();
}

// The export's choices, its keys and the file dialogs' folders come back at the next
// start; a stored choice outside its range, or keys not all stored, keep the defaults.
TEST_F(SettingsStore, ExportChoicesKeysAndDialogFoldersComeBack) {
    const ExportSettings chosen = {"C:\\sets\\pad.sf2", kExportSoundFont, kWavDepth24, 7, kExportMono, 1500, 250,
                                   90, 9, kExportChord, 2, 3, true, true, true, true, 4, kInstancesOne};
    gExportSettings = chosen;
    memset(gKeySelection.keys, 0, sizeof gKeySelection.keys);
    gKeySelection.keys[21] = gKeySelection.keys[60] = gKeySelection.keys[127] = 1;
    const char *folders[kFileKinds] = {"C:\\takes", "D:\\sounds\\mine", "C:\\sets"};
    for (int k = 0; k < kFileKinds; ++k) strcpy(gLastFolders[k], folders[k]);
    saveSettings();

    gExportSettings = kDefaultExportSettings;
    memset(gKeySelection.keys, 0, sizeof gKeySelection.keys);
    for (int k = 0; k < kFileKinds; ++k) gLastFolders[k][0] = '\0';
    loadSettings();
    EXPECT_EQ(0, memcmp(&chosen, &gExportSettings, sizeof chosen)) << gExportSettings.fileName;
    for (int k = 0; k < kKeyCount; ++k) EXPECT_EQ(k == 21 || k == 60 || k == 127, gKeySelection.keys[k] != 0) << k;
    for (int k = 0; k < kFileKinds; ++k) EXPECT_STREQ(folders[k], gLastFolders[k]);

    struct Damaged {
        const char *name;
        DWORD value;
    } damaged[] = {{"ExportType", 4}, {"ExportFormat", 3}, {"ExportRate", 8}, {"ExportHold", 0},
                   {"ExportLayers", 9}, {"ExportVariations", 0}, {"ExportVelocity", 128}, {"ExportMidiChannel", 16}};
    for (const Damaged &d : damaged) store(d.name, d.value);
    const uint8_t someKeys[100] = {1};
    storeBinary("ExportKeys", someKeys, sizeof someKeys);
    gExportSettings = kDefaultExportSettings;
    memset(gKeySelection.keys, 0, sizeof gKeySelection.keys);
    loadSettings();
    const ExportSettings &s = gExportSettings, &d = kDefaultExportSettings;
    EXPECT_EQ(d.fileType, s.fileType);
    EXPECT_EQ(d.sampleFormat, s.sampleFormat);
    EXPECT_EQ(d.rateIndex, s.rateIndex);
    EXPECT_EQ(d.holdMs, s.holdMs);
    EXPECT_EQ(d.layers, s.layers);
    EXPECT_EQ(d.variations, s.variations);
    EXPECT_EQ(d.velocity, s.velocity);
    EXPECT_EQ(d.midiChannel, s.midiChannel);
    EXPECT_EQ(chosen.releaseMs, s.releaseMs) << "a value in range is still read";
    for (int k = 0; k < kKeyCount; ++k) EXPECT_EQ(0, gKeySelection.keys[k]) << k;
    gExportSettings = kDefaultExportSettings;
    for (int k = 0; k < kFileKinds; ++k) gLastFolders[k][0] = '\0';
}

TEST_F(SettingsStore, StoredMapsOfAnotherLengthStayWithinTheCurrentCount) {
    effect.numOutputs = 4;
    effect.numInputs = 300;  // more than the host keeps: only 128 entries are ever touched
    gPlugin.effect = &effect;

    int32_t shortMap[] = {1, 1};  // two entries stored, four outputs now
    storeBinary("OutMap", shortMap, sizeof shortMap);
    int32_t longMap[200];
    for (int i = 0; i < 200; ++i) longMap[i] = i < 150 ? 1 : -7;
    storeBinary("InMap", longMap, sizeof longMap);
    loadSettings();
    EXPECT_EQ(1, gEngine.outMap[0]);
    EXPECT_EQ(1, gEngine.outMap[1]);
    EXPECT_EQ(0, gEngine.outMap[2]);  // default kept
    EXPECT_EQ(1, gEngine.outMap[3]);
    for (int i = 0; i < kMaxChannels; ++i) EXPECT_EQ(1, gEngine.inMap[i]) << i;

    // A longer stored map for fewer outputs writes only the current count.
    effect.numOutputs = 2;
    int32_t fourOut[] = {-1, 0, -1, -1};
    storeBinary("OutMap", fourOut, sizeof fourOut);
    setDefaultChannelMaps();
    loadSettings();
    EXPECT_EQ(-1, gEngine.outMap[0]);
    EXPECT_EQ(0, gEngine.outMap[1]);
    EXPECT_EQ(0, gEngine.outMap[2]);
    EXPECT_EQ(1, gEngine.outMap[3]);
}

// One output has two stored sides; a map stored with its left side alone (by earlier
// versions) keeps the right side on driver output 1 only while the left is still on 0.
TEST_F(SettingsStore, SingleOutputKeepsBothSidesAndReadsTheLeftSideAloneAsBefore) {
    effect.numOutputs = 1;
    gPlugin.effect = &effect;
    struct Case {
        std::vector<int32_t> stored;  // empty: nothing stored
        int32_t left, right;
    } cases[] = {{{}, 0, 1}, {{0}, 0, 1}, {{1}, 1, -1}, {{-1}, -1, -1}, {{3}, 3, -1},
                 {{1, 0}, 1, 0}, {{0, -1}, 0, -1}, {{-1, 1, 1}, -1, 1}};
    for (const Case &c : cases) {
        RegDeleteTreeA(HKEY_CURRENT_USER, kKey);
        if (!c.stored.empty()) storeBinary("OutMap", c.stored.data(), (DWORD)(c.stored.size() * 4));
        setDefaultChannelMaps();
        loadSettings();
        EXPECT_EQ(c.left, gEngine.outMap[0]) << c.stored.size();
        EXPECT_EQ(c.right, gEngine.outMap[1]) << c.stored.size();
        EXPECT_EQ(0, gEngine.outMap[2]);

        saveSettings();  // both sides, whatever was stored before
        setDefaultChannelMaps();
        loadSettings();
        EXPECT_EQ(c.left, gEngine.outMap[0]);
        EXPECT_EQ(c.right, gEngine.outMap[1]);
    }
}

// The stored name is matched against the installed drivers (a list with two drivers
// of the same name); the stored position counts only without a name.
TEST(SettingsChecks, DriverChoiceByNameWinsOverItsPosition) {
    static const char *const installed[] = {"Alpha", "Beta", "Gamma", "Beta"};
    auto nameAt = [](const void *, long i) -> const char * { return i >= 0 && i < 4 ? installed[i] : nullptr; };
    struct Case {
        int32_t storedIndex;
        const char *storedName;
        int32_t index;
        bool missing;
    } cases[] = {
        {1, "", 1, false},        // no name: the position
        {4, "", -1, false},       // no name, beyond the list: none
        {-1, "", -1, false},      // none chosen
        {0, "Gamma", 2, false},   // another driver took the position: the name wins
        {9, "Gamma", 2, false},   // the position is beyond the list now
        {-1, "Alpha", 0, false},
        {3, "Beta", 3, false},    // the stored position has the name: that one
        {2, "Beta", 1, false},    // else the first of that name
        {1, "Delta", -1, true},   // not installed: missing, whatever the position holds
        {1, "beta", -1, true},    // names match exactly
    };
    for (const Case &c : cases) {
        DriverChoice choice = resolveDriverChoice(c.storedIndex, c.storedName, 4, nameAt, nullptr);
        EXPECT_EQ(c.index, choice.index) << c.storedIndex << " " << c.storedName;
        EXPECT_EQ(c.missing, choice.missing) << c.storedIndex << " " << c.storedName;
    }
}

TEST(SettingsChecks, DamagedMapEntriesBecomeNone) {
    volatile int32_t map[4] = {0, 1, 0, 1};
    const unsigned char data[] = {0xF6, 0xFF, 0xFF, 0xFF,   // -10
                                  0xFF, 0xFF, 0xFF, 0xFF,   // -1
                                  0x05, 0x00, 0x00, 0x00,   // 5
                                  0x00, 0x00, 0x00, 0x80,   // INT_MIN
                                  0x01, 0x00};              // a torn entry: ignored
    mergeStoredMap(map, 4, data, sizeof data);
    EXPECT_EQ(-1, map[0]);
    EXPECT_EQ(-1, map[1]);
    EXPECT_EQ(5, map[2]);
    EXPECT_EQ(-1, map[3]);
}

TEST(SettingsChecks, DeviceIndexComparesUpwardOnly) {
    EXPECT_EQ(-1, checkDeviceIndex(3, 3));
    EXPECT_EQ(2, checkDeviceIndex(2, 3));
    EXPECT_EQ(-1, checkDeviceIndex(0, 0));
    EXPECT_EQ(-1, checkDeviceIndex(-1, 0));
    EXPECT_EQ(-5, checkDeviceIndex(-5, 0));  // opens nothing later
    EXPECT_EQ(-1, checkDeviceIndex(0x7FFFFFFF, 3));
}
