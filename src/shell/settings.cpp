#include "shell/settings.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "audio/driver_list.h"
#include "audio/engine_state.h"
#include "core/app_state.h"
#include "engine/file_dialog.h"
#include "export/dialog/export_dialog.h"
#include "midi/midi_ports.h"
#include "midi/midi_system.h"
#include "plugin/plugin_instance.h"

namespace {

// Reads a 32-bit value; a missing value or one of another size leaves `value` as it was.
bool readDword(HKEY key, const char *name, int32_t &value) {
    int32_t read = 0;
    DWORD size = sizeof read;
    if (RegQueryValueExA(key, name, nullptr, nullptr, (BYTE *)&read, &size) != ERROR_SUCCESS) return false;
    if (size != sizeof read) return false;
    value = read;
    return true;
}

void writeDword(HKEY key, const char *name, int32_t value) {
    RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE *)&value, sizeof value);
}

void writeText(HKEY key, const char *name, const char *text) {
    RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)text, (DWORD)strlen(text) + 1);
}

// Reads a text of fewer than `size` characters; anything else leaves "".
void readText(HKEY key, const char *name, char *text, DWORD size) {
    text[0] = '\0';
    DWORD type = 0, bytes = size;
    if (RegQueryValueExA(key, name, nullptr, &type, (BYTE *)text, &bytes) != ERROR_SUCCESS || type != REG_SZ ||
        bytes == 0) {
        text[0] = '\0';
        return;
    }
    text[bytes < size ? bytes : size - 1] = '\0';
}

const char *installedDriverName(const void *, long index) { return gDriverList.name((LONG)index); }

// The stored driver position and name, resolved against the installed drivers.
void loadDriverChoice(HKEY key) {
    if (!readDword(key, "ASIO", gEngine.driverIndex)) gFirstStart = 1;
    char name[kDriverNameSize];
    readText(key, "ASIOName", name, sizeof name);
    DriverChoice choice =
        resolveDriverChoice(gEngine.driverIndex, name, gDriverList.count(), installedDriverName, nullptr);
    gEngine.driverIndex = choice.index;
    strcpy(gMissingDriver, choice.missing ? name : "");
}

// The driver position and, beside it, the driver's name: the installed one's, the
// missing one's, or "" for none.
void saveDriverChoice(HKEY key) {
    writeDword(key, "ASIO", gEngine.driverIndex);
    const char *name = gEngine.driverIndex >= 0 ? gDriverList.name(gEngine.driverIndex) : gMissingDriver;
    if (!name) name = "";
    writeText(key, "ASIOName", name);
}

int clampedCount(int count) { return count < 0 ? 0 : (count > kMaxChannels ? kMaxChannels : count); }

void readMap(HKEY key, const char *name, volatile int32_t *map, int count) {
    unsigned char data[4 * kMaxChannels];
    DWORD size = sizeof data;
    LONG result = RegQueryValueExA(key, name, nullptr, nullptr, data, &size);
    if (result == ERROR_MORE_DATA) {
        // Stored for a plugin with more channels than we keep: use its first entries.
        DWORD needed = 0;
        if (RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &needed) != ERROR_SUCCESS) return;
        if (needed > 1024 * 1024) return;
        unsigned char *big = (unsigned char *)malloc(needed);
        if (!big) return;
        size = needed;
        if (RegQueryValueExA(key, name, nullptr, nullptr, big, &size) == ERROR_SUCCESS)
            mergeStoredMap(map, count, big, size);
        free(big);
        return;
    }
    if (result == ERROR_SUCCESS) mergeStoredMap(map, count, data, size);
}

void writeMap(HKEY key, const char *name, const volatile int32_t *map, int count) {
    unsigned char data[4 * kMaxChannels];
    for (int i = 0; i < count; ++i) {
        uint32_t v = (uint32_t)map[i];
        data[4 * i] = (unsigned char)v;
        data[4 * i + 1] = (unsigned char)(v >> 8);
        data[4 * i + 2] = (unsigned char)(v >> 16);
        data[4 * i + 3] = (unsigned char)(v >> 24);
    }
    RegSetValueExA(key, name, 0, REG_BINARY, data, 4 * count);
}

// Size of a stored value; 0 when there is none.
size_t storedBytes(HKEY key, const char *name) {
    DWORD size = 0;
    return RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS ? size : 0;
}

// The folders the file dialogs open in, by kind.
const char *const kFolderValues[kFileKinds] = {"RecordingFolder", "SoundFolder", "ExportFolder"};

// The export's choices, one value each; a stored value outside its range is not read
// (the choice keeps its default).
struct ExportValue {
    const char *name;
    int32_t low, high;
    int32_t (*get)(const ExportSettings &s);
    void (*set)(ExportSettings &s, int32_t v);
};
const ExportValue kExportValues[] = {
    {"ExportType", 0, 3, [](const ExportSettings &s) { return (int32_t)s.fileType; },
     [](ExportSettings &s, int32_t v) { s.fileType = (ExportFileType)v; }},
    {"ExportFormat", 0, 2, [](const ExportSettings &s) { return (int32_t)s.sampleFormat; },
     [](ExportSettings &s, int32_t v) { s.sampleFormat = (WavDepth)v; }},
    {"ExportRate", 0, 7, [](const ExportSettings &s) { return (int32_t)s.rateIndex; },
     [](ExportSettings &s, int32_t v) { s.rateIndex = v; }},
    {"ExportChannels", 0, 1, [](const ExportSettings &s) { return (int32_t)s.channelMode; },
     [](ExportSettings &s, int32_t v) { s.channelMode = (ExportChannels)v; }},
    {"ExportHold", 1, 99999, [](const ExportSettings &s) { return (int32_t)s.holdMs; },
     [](ExportSettings &s, int32_t v) { s.holdMs = v; }},
    {"ExportRelease", 0, 99999, [](const ExportSettings &s) { return (int32_t)s.releaseMs; },
     [](ExportSettings &s, int32_t v) { s.releaseMs = v; }},
    {"ExportVelocity", 0, 127, [](const ExportSettings &s) { return (int32_t)s.velocity; },
     [](ExportSettings &s, int32_t v) { s.velocity = v; }},
    {"ExportMidiChannel", 0, 15, [](const ExportSettings &s) { return (int32_t)s.midiChannel; },
     [](ExportSettings &s, int32_t v) { s.midiChannel = v; }},
    {"ExportMode", 0, 1, [](const ExportSettings &s) { return (int32_t)s.mode; },
     [](ExportSettings &s, int32_t v) { s.mode = (ExportMode)v; }},
    {"ExportFilter", 0, 16, [](const ExportSettings &s) { return (int32_t)s.filterIndex; },
     [](ExportSettings &s, int32_t v) { s.filterIndex = v; }},
    {"ExportLayers", 1, 8, [](const ExportSettings &s) { return (int32_t)s.layers; },
     [](ExportSettings &s, int32_t v) { s.layers = v; }},
    {"ExportLoop", 0, 1, [](const ExportSettings &s) { return (int32_t)s.loop; },
     [](ExportSettings &s, int32_t v) { s.loop = v != 0; }},
    {"ExportTrim", 0, 1, [](const ExportSettings &s) { return (int32_t)s.trim; },
     [](ExportSettings &s, int32_t v) { s.trim = v != 0; }},
    {"ExportWavData", 0, 1, [](const ExportSettings &s) { return (int32_t)s.wavKeyData; },
     [](ExportSettings &s, int32_t v) { s.wavKeyData = v != 0; }},
    {"ExportNormalise", 0, 1, [](const ExportSettings &s) { return (int32_t)s.normalise; },
     [](ExportSettings &s, int32_t v) { s.normalise = v != 0; }},
    {"ExportVariations", 1, 4, [](const ExportSettings &s) { return (int32_t)s.variations; },
     [](ExportSettings &s, int32_t v) { s.variations = v; }},
    {"ExportInstances", 0, 1, [](const ExportSettings &s) { return (int32_t)s.instances; },
     [](ExportSettings &s, int32_t v) { s.instances = (ExportInstances)v; }},
};

void loadExportChoices(HKEY key) {
    for (const ExportValue &v : kExportValues) {
        int32_t value = 0;
        if (readDword(key, v.name, value) && value >= v.low && value <= v.high) v.set(gExportSettings, value);
    }
    readText(key, "ExportName", gExportSettings.fileName, sizeof gExportSettings.fileName);
    // The keys as stored, when all 128 are.
    uint8_t keys[kKeyCount];
    DWORD size = sizeof keys;
    if (RegQueryValueExA(key, "ExportKeys", nullptr, nullptr, keys, &size) == ERROR_SUCCESS && size == sizeof keys)
        for (int k = 0; k < kKeyCount; ++k) gKeySelection.keys[k] = keys[k] ? 1 : 0;
    for (int kind = 0; kind < kFileKinds; ++kind)
        readText(key, kFolderValues[kind], gLastFolders[kind], sizeof gLastFolders[kind]);
}

void saveExportChoices(HKEY key) {
    for (const ExportValue &v : kExportValues) writeDword(key, v.name, v.get(gExportSettings));
    writeText(key, "ExportName", gExportSettings.fileName);
    uint8_t keys[kKeyCount];
    for (int k = 0; k < kKeyCount; ++k) keys[k] = gKeySelection.keys[k] ? 1 : 0;
    RegSetValueExA(key, "ExportKeys", 0, REG_BINARY, keys, sizeof keys);
    for (int kind = 0; kind < kFileKinds; ++kind) writeText(key, kFolderValues[kind], gLastFolders[kind]);
}

}  // namespace

int32_t checkDeviceIndex(int32_t index, long deviceCount) {
    return (long long)index + 1 > (long long)deviceCount ? -1 : index;
}

DriverChoice resolveDriverChoice(int32_t storedIndex, const char *storedName, long count,
                                 const char *(*nameAt)(const void *context, long index), const void *context) {
    if (!storedName || !storedName[0]) return {checkDeviceIndex(storedIndex, count), false};
    auto named = [&](long index) {
        const char *name = nameAt(context, index);
        return name && strcmp(name, storedName) == 0;
    };
    if (storedIndex >= 0 && storedIndex < count && named(storedIndex)) return {storedIndex, false};
    for (long i = 0; i < count; ++i)
        if (named(i)) return {(int32_t)i, false};
    return {-1, true};
}

int32_t checkTempo(int32_t tempo) { return (tempo > 500 || tempo < 10) ? 120 : tempo; }

void mergeStoredMap(volatile int32_t *map, int count, const unsigned char *data, size_t size) {
    size_t entries = size / 4;
    if (count < 0) count = 0;
    if (entries > (size_t)count) entries = (size_t)count;
    for (size_t i = 0; i < entries; ++i) {
        int32_t v = (int32_t)((uint32_t)data[4 * i] | (uint32_t)data[4 * i + 1] << 8 |
                              (uint32_t)data[4 * i + 2] << 16 | (uint32_t)data[4 * i + 3] << 24);
        map[i] = v < -1 ? -1 : v;
    }
}

void settleRightSide(volatile int32_t *map, size_t storedBytes) {
    if (storedBytes / 4 == 1 && map[0] != 0) map[1] = -1;
}

void loadSettings() {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_QUERY_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;

    loadDriverChoice(key);

    readDword(key, "MidiIn", gMidiInIndex);
    gMidiInIndex = checkDeviceIndex(gMidiInIndex, (long)gMidiSystem.midiInGetNumDevs());
    readDword(key, "MidiOut", gMidiOutIndex);
    gMidiOutIndex = checkDeviceIndex(gMidiOutIndex, (long)gMidiSystem.midiOutGetNumDevs());

    readDword(key, "Tempo", gTempo);
    gTempo = checkTempo(gTempo);

    gEngine.sampleRate = 44100;
    readDword(key, "SampleRate", gEngine.sampleRate);
    readDword(key, "OnTop", gOnTop);

    if (AEffect *effect = gPlugin.effect) {
        readMap(key, "OutMap", gEngine.outMap, outMapEntries(clampedCount(effect->numOutputs)));
        if (effect->numOutputs == 1) settleRightSide(gEngine.outMap, storedBytes(key, "OutMap"));
        readMap(key, "InMap", gEngine.inMap, clampedCount(effect->numInputs));
    }
    loadExportChoices(key);
    RegCloseKey(key);
}

void saveSettings() {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    saveDriverChoice(key);
    writeDword(key, "MidiIn", gMidiInIndex);
    writeDword(key, "MidiOut", gMidiOutIndex);
    writeDword(key, "SampleRate", gEngine.sampleRate);
    writeDword(key, "Tempo", gTempo);
    writeDword(key, "OnTop", gOnTop);
    if (AEffect *effect = gPlugin.effect) {
        writeMap(key, "OutMap", gEngine.outMap, outMapEntries(clampedCount(effect->numOutputs)));
        writeMap(key, "InMap", gEngine.inMap, clampedCount(effect->numInputs));
    }
    saveExportChoices(key);
    RegCloseKey(key);
}
