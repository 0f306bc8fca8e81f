// Writes one export of each kind through the demo instrument beside the program into a
// folder: WAV per key and chord in the three depths, mono and stereo, at several rates
// (odd frame counts included), SoundFonts of keys and of a chord, SFZ sets, and
// layered takes with sustain loops and trimmed tails in every file type; the chords
// hold enough voices to clip. Run it before and after a change of the export and compare the
// two folders byte for byte (cmp, diff -r): the files must not change. With "files"
// as the second argument every take goes through the temporary files instead of memory.
// Usage: export_reference.exe <output folder> [files]
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>

#include "audio/engine_state.h"
#include "demo_instrument.h"
#include "engine/engine_hooks.h"
#include "export/render/export_run.h"
#include "midi/midi_ports.h"
#include "plugin/plugin_instance.h"

namespace {

struct Case {
    const char *name;
    ExportFileType type;
    WavDepth depth;
    ExportChannels channels;
    ExportMode mode;
    int rateIndex, holdMs, releaseMs;
    std::initializer_list<int> keys;
    int layers = 1;
    bool loop = false, trim = false;
};

const Case kCases[] = {
    {"wav16s", kExportWav, kWavDepth16, kExportStereo, kExportMultisample, 3, 300, 100, {0, 47, 61, 127}},
    {"wav16m", kExportWav, kWavDepth16, kExportMono, kExportMultisample, 3, 300, 100, {0, 47, 61, 127}},
    {"wav24s", kExportWav, kWavDepth24, kExportStereo, kExportMultisample, 0, 333, 77, {36, 60}},
    {"wav24m", kExportWav, kWavDepth24, kExportMono, kExportMultisample, 0, 333, 77, {36, 60}},
    {"wavfs", kExportWav, kWavDepthFloat, kExportStereo, kExportMultisample, 7, 120, 45, {72, 73}},
    {"wavfm", kExportWav, kWavDepthFloat, kExportMono, kExportMultisample, 7, 120, 45, {72, 73}},
    {"chord16s", kExportWav, kWavDepth16, kExportStereo, kExportChord, 3, 250, 150,
     {48, 50, 52, 53, 55, 57, 59, 60, 62, 64, 65, 67}},
    {"chord24m", kExportWav, kWavDepth24, kExportMono, kExportChord, 1, 250, 150,
     {48, 50, 52, 53, 55, 57, 59, 60, 62, 64, 65, 67}},
    {"chordfs", kExportWav, kWavDepthFloat, kExportStereo, kExportChord, 4, 100, 0, {60, 64, 67}},
    {"sf2s", kExportSoundFont, kWavDepth16, kExportStereo, kExportMultisample, 3, 300, 100, {24, 48, 55, 60, 100}},
    {"sf2m", kExportSoundFont, kWavDepth16, kExportMono, kExportMultisample, 2, 64, 31, {60, 61}},
    {"sf2chord", kExportSoundFont, kWavDepth16, kExportStereo, kExportChord, 3, 250, 150,
     {48, 50, 52, 53, 55, 57, 59, 60, 62, 64, 65, 67}},
    // The dialog's defaults over the whole keyboard (key list empty: all 128).
    {"all", kExportWav, kWavDepth16, kExportStereo, kExportMultisample, 3, 2000, 500, {}},
    {"allfont", kExportSoundFont, kWavDepth16, kExportStereo, kExportMultisample, 3, 2000, 500, {}},
    {"allchord", kExportWav, kWavDepth16, kExportStereo, kExportChord, 3, 2000, 500, {}},
    // Layers, sustain loops and trimmed tails in every file type.
    {"shaped", kExportWav, kWavDepth24, kExportStereo, kExportMultisample, 3, 1500, 300, {36, 60, 61, 96}, 3, true, true},
    {"shapedchord", kExportWav, kWavDepth16, kExportMono, kExportChord, 4, 1200, 200, {48, 55, 60}, 2, true, true},
    {"shapedfont", kExportSoundFont, kWavDepth16, kExportStereo, kExportMultisample, 3, 1500, 300, {36, 60, 61, 96}, 3,
     true, true},
    {"shapedfontm", kExportSoundFont, kWavDepth16, kExportMono, kExportMultisample, 0, 900, 0, {21, 108}, 2, true, false},
    {"shapedsfz", kExportSfz, kWavDepthFloat, kExportStereo, kExportMultisample, 3, 1500, 300, {36, 60, 61, 96}, 3,
     true, true},
    {"sfz16", kExportSfz, kWavDepth16, kExportMono, kExportMultisample, 3, 300, 100, {48, 72}},
    // 24 bits in a SoundFont (2.04, the low bytes in sm24), plain and shaped.
    {"sf2deep", kExportSoundFont, kWavDepth24, kExportStereo, kExportMultisample, 3, 300, 100, {48, 61}},
    {"shapedfontdeep", kExportSoundFont, kWavDepth24, kExportMono, kExportMultisample, 3, 1500, 300, {36, 60}, 2,
     true, true},
};

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: export_reference <output folder>\n");
        return 2;
    }
    SetEnvironmentVariableA("KORVANE_DEMO_LOG", nullptr);
    SetEnvironmentVariableA("KORVANE_DEMO_VARIANT", "");
    if (!openDemoInstrument()) return 1;
    ExportControl control = {};
    if (argc > 2 && strcmp(argv[2], "files") == 0) control.takeBudget = 1;
    int failed = 0;
    for (const Case &c : kCases) {
        ExportSettings settings = kDefaultExportSettings;
        snprintf(settings.fileName, sizeof settings.fileName, "%s\\%s", argv[1], c.name);
        settings.fileType = c.type;
        settings.sampleFormat = c.depth;
        settings.channelMode = c.channels;
        settings.mode = c.mode;
        settings.rateIndex = c.rateIndex;
        settings.holdMs = c.holdMs;
        settings.releaseMs = c.releaseMs;
        settings.layers = c.layers;
        settings.loop = c.loop;
        settings.trim = c.trim;
        unsigned char keys[128] = {};
        for (int k : c.keys) keys[k] = 1;
        if (c.keys.size() == 0) memset(keys, 1, sizeof keys);
        ExportReport report = runExport(settings, keys, &control);
        printf("%s: %d of %d files not written (%d instances)\n", c.name, report.failed(), report.planned,
               report.instances);
        failed += report.failed();
    }
    gPlugin.close();
    freeEngineBuffers();
    return failed ? 1 : 0;
}
