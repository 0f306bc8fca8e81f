// Whole exports (runExport) in this process through the demo instrument: the files
// written, their sound, the plugin calls, the engine state restored afterwards, and
// the report's message. Every file lands in bin/export-files with a line in
// manifest.txt, from which the suite's reader check (check_export_files.py) runs sox
// and FluidSynth on them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <initializer_list>
#include <string>
#include <vector>

#include "audio/engine_state.h"
#include "core/app_state.h"
#include "core/gate.h"
#include "engine/engine_hooks.h"
#include "export/dialog/key_control.h"
#include "export/formats/soundfont_file.h"
#include "export/reader_files.h"
#include "export/render/export_run.h"
#include "export/render/take_shaping.h"
#include "export/takes/export_memory.h"
#include "midi/midi_ports.h"
#include "midi/midi_queue.h"
#include "midi/midi_system.h"
#include "plugin/plugin_instance.h"
#include "support/program_runner.h"
#include "support/wav_file.h"

using namespace testing_support;

namespace {

double noteFrequency(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

std::string baseName(const std::string &path) { return path.substr(path.find_last_of('\\') + 1); }

size_t fileSize(const std::string &path) { return readFile(path).size(); }

class Export : public ::testing::Test {
protected:
    void SetUp() override {
        installEngine();
        log = tempFolder("export-render") + "\\calls.log";
        DeleteFileA(log.c_str());
        SetEnvironmentVariableA("KORVANE_DEMO_LOG", log.c_str());
        SetEnvironmentVariableA("KORVANE_DEMO_VARIANT", "");
        initMidi();
        gEngine.blockSize = 882;
        gEngine.sampleRate = 44100;
        ASSERT_TRUE(allocateEngineBuffers(882));
        ASSERT_EQ(1, gPlugin.open((exeFolder() + "\\Korvane.dll").c_str(), 44100.0f, 882));
        gPlugin.resume();
        settings = kDefaultExportSettings;
        memset(keys, 0, sizeof keys);
    }
    void TearDown() override {
        gPlugin.close();
        for (const std::string &name : variantSettings) SetEnvironmentVariableA(name.c_str(), nullptr);
        freeEngineBuffers();
        if (tmpBroken) SetEnvironmentVariableA("TMP", savedTmp.empty() ? nullptr : savedTmp.c_str());
    }

    ExportReport exportTo(const std::string &name) {
        snprintf(settings.fileName, sizeof settings.fileName, "%s", name.c_str());
        return runExport(settings, keys, &control);
    }
    // The instrument opened again with these settings of the demo's (until the test ends).
    void reopen(std::initializer_list<std::pair<std::string, std::string>> demoSettings) {
        gPlugin.close();
        for (const auto &setting : demoSettings) {
            SetEnvironmentVariableA(setting.first.c_str(), setting.second.empty() ? nullptr : setting.second.c_str());
            variantSettings.push_back(setting.first);
        }
        ASSERT_EQ(1, gPlugin.open((exeFolder() + "\\Korvane.dll").c_str(), 44100.0f, 882));
        gPlugin.resume();
    }
    void select(std::initializer_list<int> notes) {
        for (int n : notes) keys[n] = 1;
    }
    void breakTemporaryFolder() {
        char tmp[MAX_PATH];
        DWORD n = GetEnvironmentVariableA("TMP", tmp, MAX_PATH);
        savedTmp.assign(tmp, n < MAX_PATH ? n : 0);
        tmpBroken = true;
        SetEnvironmentVariableA("TMP", "Z:\\no\\such\\folder");
    }

    // The note sounds at its pitch from the start and falls silent 50 ms (the demo's
    // release) after the note-off frame.
    void expectTake(const std::vector<float> &s, int rate, int note, int noteOffFrame) {
        size_t first = 0, last = 0;
        ASSERT_TRUE(loudRegion(s, 0.01f, &first, &last));
        EXPECT_LT(first, (size_t)rate / 1000 + 2);
        double f = zeroCrossingFrequency(s, rate, 0, noteOffFrame);
        EXPECT_NEAR(noteFrequency(note), f, noteFrequency(note) * 0.01);
        double silentAt = noteOffFrame + 0.05 * rate;
        EXPECT_NEAR(silentAt, (double)last, rate * 0.005);
    }

    ExportSettings settings;
    unsigned char keys[128];
    ExportControl control = {};  // takeBudget 0: the default budget, every take in memory
    std::string log, savedTmp;
    bool tmpBroken = false;
    std::vector<std::string> variantSettings;
};

}  // namespace

TEST_F(Export, MultisampleWavsCarryEachKeyInTheChosenFormat) {
    struct Case {
        int rateIndex;
        ExportChannels channelMode;
        WavDepth sampleFormat;
        int formatTag, bits;
    } cases[] = {{1, kExportStereo, kWavDepth16, 1, 16},
                 {3, kExportMono, kWavDepth24, 1, 24},
                 {4, kExportStereo, kWavDepthFloat, 3, 32}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.sampleFormat);
        settings.rateIndex = c.rateIndex;
        settings.channelMode = c.channelMode;
        settings.sampleFormat = c.sampleFormat;
        settings.holdMs = 250;
        settings.releaseMs = 150;
        memset(keys, 0, sizeof keys);
        select({48, 61, 72});
        std::string base = readerFolder() + "\\multi" + std::to_string(c.sampleFormat);
        ExportReport report = exportTo(base + ".aif");
        EXPECT_EQ(0, report.failed());
        EXPECT_EQ(base + ".wav", report.fileName);  // the stored name gets .wav
        int rate = exportRate(c.rateIndex);
        int hold = rate / 4, total = hold + rate * 15 / 100;
        for (int note : {48, 61, 72}) {
            char name[16];
            noteName(note, name, sizeof name);
            std::string path = base + "_" + name + ".wav";
            WavData wav = readWav(path);
            ASSERT_TRUE(wav.ok) << path;
            EXPECT_EQ(c.formatTag, wav.formatTag);
            EXPECT_EQ(c.bits, wav.bitsPerSample);
            EXPECT_EQ(rate, wav.sampleRate);
            ASSERT_EQ(c.channelMode ? 2 : 1, wav.channels);
            EXPECT_EQ((size_t)total, wav.frames());
            int noteOff = hold / 512 * 512;
            expectTake(wav.samples[0], rate, note, noteOff);
            // Mono is the mix (L + R) / 2 of the demo's full and half level outputs.
            float level = c.channelMode ? 0.25f : 0.25f * 0.75f;
            EXPECT_NEAR(level, peak(wav.samples[0], 0, wav.frames()), level * 0.02);
            char line[512];
            snprintf(line, sizeof line, "wav %s %d %d %d %d %d %d", baseName(path).c_str(), c.formatTag, c.bits,
                     wav.channels, rate, total, note);
            addToManifest(line);
        }
    }
}

TEST_F(Export, ChordWavPlaysAllKeysTogetherFromOneEventBlock) {
    settings.mode = kExportChord;
    settings.rateIndex = 2;  // 32000 Hz
    settings.holdMs = 32;    // two whole blocks: the note-off goes before block 2
    settings.releaseMs = 200;
    settings.velocity = 100;
    settings.midiChannel = 3;
    select({48, 55, 60});
    std::string path = readerFolder() + "\\chord.wav";
    EXPECT_EQ(0, exportTo(readerFolder() + "\\chord").failed());
    WavData wav = readWav(path);
    ASSERT_TRUE(wav.ok);
    ASSERT_EQ(2, wav.channels);
    EXPECT_EQ(1024u + 6400u, wav.frames());
    size_t first = 0, last = 0;
    ASSERT_TRUE(loudRegion(wav.samples[0], 0.01f, &first, &last));
    EXPECT_NEAR(1024 + 1600, (double)last, 160);
    EXPECT_GT(peak(wav.samples[0], 0, last), 0.25f * 100 / 127 * 1.5f);  // more than one voice
    addToManifest("wav chord.wav 1 16 2 32000 7424 -1");

    std::vector<std::string> events;
    for (const std::string &line : readLines(log))
        if (line.rfind("events ", 0) == 0) events.push_back(line);
    std::vector<std::string> expected = {
        "events 16 007bb0 007bb1 007bb2 007bb3 007bb4 007bb5 007bb6 007bb7 007bb8 007bb9 007bba 007bbb 007bbc "
        "007bbd 007bbe 007bbf",
        "events 3 643093 643793 643c93", "events 3 003093 003793 003c93"};
    EXPECT_EQ(expected, events);
}

// A held chord with a sustain loop: keys an octave and a fifth apart loop at the period
// they share, the chord one take with its loop in the WAV; a tempered triad shares none
// and is reported as the chord without a period, once.
TEST_F(Export, AHeldChordLoopsAtThePeriodItsKeysShare) {
    settings.mode = kExportChord;
    settings.loop = true;
    settings.wavKeyData = true;
    settings.holdMs = 1000;
    settings.releaseMs = 100;
    select({48, 55, 60});
    ExportReport shared = exportTo(readerFolder() + "\\chord-looped");
    EXPECT_EQ(0, shared.failed());
    EXPECT_EQ(1, shared.takes);
    EXPECT_TRUE(shared.chord);
    EXPECT_EQ(0, shared.unlooped);
    WavData wav = readWav(readerFolder() + "\\chord-looped.wav");
    ASSERT_TRUE(wav.ok);
    ASSERT_EQ(1u, wav.loops.size());
    const double common = 2 * keyPeriod(48, 44100);  // C2 and G2: two periods of C2 hold three of G2
    const double periods = (wav.loops[0].second + 1 - wav.loops[0].first) / common;
    EXPECT_NEAR(std::floor(periods + 0.5), periods, 0.02) << "a whole number of the chord's period";
    addToManifest("wavdata chord-looped.wav 60 0 127 0 127 " + std::to_string(wav.loops[0].first) + " " +
                  std::to_string(wav.loops[0].second + 1));

    memset(keys, 0, sizeof keys);
    select({60, 64, 67});
    ExportReport triad = exportTo(readerFolder() + "\\chord-triad");
    EXPECT_EQ(0, triad.failed());
    EXPECT_EQ(1, triad.unlooped);
    EXPECT_EQ(1, triad.chordsWithoutPeriod);
    EXPECT_FALSE(readWav(readerFolder() + "\\chord-triad.wav").loops.size());
}

TEST_F(Export, SoundFontHasTheDesignedSizesAndEachKeysPitch) {
    struct Case {
        ExportChannels channelMode;
        std::vector<int> notes;
        ExportMode mode;
        const char *name;
    } cases[] = {{kExportMono, {60}, kExportMultisample, "mono"},
                 {kExportStereo, {48, 55, 60}, kExportMultisample, "stereo"},
                 {kExportStereo, {48, 52, 55}, kExportChord, "chordfont"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        settings.channelMode = c.channelMode;
        settings.mode = c.mode;
        settings.fileType = kExportSoundFont;
        settings.holdMs = 300;
        settings.releaseMs = 100;
        memset(keys, 0, sizeof keys);
        for (int n : c.notes) keys[n] = 1;
        std::string base = readerFolder() + "\\" + c.name;
        ExportReport report = exportTo(base + ".wav");
        EXPECT_EQ(0, report.failed());
        EXPECT_EQ(base + ".sf2", report.fileName);
        uint32_t frames = 44100 * 4 / 10;
        int takes = c.mode == kExportChord ? 1 : (int)c.notes.size();
        SoundFontLayout layout = soundFontLayout(takes * (c.channelMode + 1), frames);
        std::string file = readFile(base + ".sf2");
        ASSERT_EQ(layout.fileSize, file.size());
        const uint8_t *b = (const uint8_t *)file.data();
        auto u32 = [&](size_t at) { return (uint32_t)(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | (uint32_t)b[at + 3] << 24); };
        EXPECT_EQ(layout.fileSize - 8, u32(4));
        EXPECT_EQ(80u, u32(16));
        EXPECT_EQ(layout.sdtaSize, u32(104));
        EXPECT_EQ(layout.pdtaSize, u32(layout.pdtaOffset + 4));
        // Take 0 of the mono or left channel: the first key's pitch, then 46 zero points.
        std::vector<float> points(frames);
        for (uint32_t i = 0; i < frames; ++i) points[i] = (int16_t)(b[120 + 2 * i] | b[121 + 2 * i] << 8) / 32768.0f;
        if (c.mode == kExportMultisample) {
            double f = zeroCrossingFrequency(points, 44100, 0, 44100 * 3 / 10 - 512);
            EXPECT_NEAR(noteFrequency(c.notes[0]), f, noteFrequency(c.notes[0]) * 0.01);
        }
        for (uint32_t i = frames; i < frames + kSampleGuardPoints; ++i) EXPECT_EQ(0, b[120 + 2 * i] | b[121 + 2 * i]);
        std::string line = std::string("sf2 ") + c.name + ".sf2 44100";
        if (c.mode == kExportMultisample)
            for (int n : c.notes) line += " " + std::to_string(n);
        addToManifest(line);
    }
}

// 24 bits in a SoundFont: the upper 16 bits of each point in smpl, the lowest 8 in
// sm24 (SoundFont 2.04), together the very points of a 24-bit WAV of the same key;
// float, which a SoundFont cannot hold, gives the same 24 bits.
TEST_F(Export, ASoundFontOf24BitsCarriesTheLowBytesInItsSm24Chunk) {
    settings.channelMode = kExportMono;
    settings.holdMs = 300;
    settings.releaseMs = 100;
    settings.sampleFormat = kWavDepth24;
    select({60});
    const uint32_t frames = 44100 * 4 / 10;
    ASSERT_EQ(0, exportTo(readerFolder() + "\\deep.wav").failed());
    WavData wav = readWav(readerFolder() + "\\deep_C3.wav");
    ASSERT_TRUE(wav.ok);
    ASSERT_EQ((size_t)frames, wav.frames());
    settings.fileType = kExportSoundFont;
    for (WavDepth chosen : {kWavDepth24, kWavDepthFloat}) {
        settings.sampleFormat = chosen;
        const std::string name = chosen == kWavDepth24 ? "deep" : "deep-from-float";
        ASSERT_EQ(0, exportTo(readerFolder() + "\\" + name).failed());
        std::string file = readFile(readerFolder() + "\\" + name + ".sf2");
        SoundFontLayout layout = soundFontLayout(1, frames, 0, 0, true);
        ASSERT_EQ(layout.fileSize, file.size()) << name;
        const uint8_t *b = (const uint8_t *)file.data();
        const size_t sm24At = kSoundFontHeadSize + (size_t)layout.smplSize;
        ASSERT_EQ(0, memcmp(b + sm24At, "sm24", 4));
        size_t mismatches = 0;
        for (uint32_t i = 0; i < frames; ++i) {
            const uint8_t *upper = b + kSoundFontHeadSize + 2 * i;
            int32_t point = (int32_t)((uint32_t)upper[1] << 24 | (uint32_t)upper[0] << 16 | (uint32_t)b[sm24At + 8 + i] << 8) >> 8;
            mismatches += point / 8388608.0f != wav.samples[0][i];
        }
        EXPECT_EQ(0u, mismatches) << name << ": points unlike the 24-bit WAV's";
        for (uint32_t i = frames; i < frames + kSampleGuardPoints; ++i) EXPECT_EQ(0, b[sm24At + 8 + i]);
    }
    addToManifest("sf2deep deep.sf2 44100 60");
}

TEST_F(Export, EngineAndPluginComeBackAfterTheExport) {
    LONG gateLevel = gEngineGate.level;
    gMidiQueue.push(0x7f3d90);  // played before the export: never reaches the plugin
    select({60});
    settings.holdMs = 20;
    settings.releaseMs = 0;
    settings.rateIndex = 6;  // 88200 Hz
    EXPECT_EQ(0, exportTo(readerFolder() + "\\restore").failed());
    EXPECT_EQ(gateLevel, gEngineGate.level);
    EXPECT_EQ(882, gEngine.bufferFrames);
    EXPECT_EQ(1, gPlugin.resumed);
    EXPECT_EQ(0, gMidiQueue.count);
    std::vector<std::string> lines = readLines(log);
    std::vector<std::string> rateCalls;
    for (const std::string &l : lines)
        if (l.rfind("dispatch 10 ", 0) == 0 || l.rfind("dispatch 11 ", 0) == 0) rateCalls.push_back(l);
    // The live instance at the export's rate and blocks, the export's own instance opened
    // at them, the live instance back at the engine's.
    std::vector<std::string> expected = {"dispatch 10 0 0 44100", "dispatch 11 0 882 0", "dispatch 10 0 0 88200",
                                         "dispatch 11 0 512 0",   "dispatch 10 0 0 88200", "dispatch 11 0 512 0",
                                         "dispatch 10 0 0 44100", "dispatch 11 0 882 0"};
    EXPECT_EQ(expected, rateCalls);
    for (const std::string &l : lines) EXPECT_EQ(std::string::npos, l.find("7f3d90")) << l;
    addToManifest("wav restore_C3.wav 1 16 2 88200 1764 60");
}

namespace {

int gPortOpens = 0;
MMRESULT WINAPI countedInputOpen(LPHMIDIIN, UINT, DWORD_PTR, DWORD_PTR, DWORD) { return ++gPortOpens, MMSYSERR_ERROR; }
MMRESULT WINAPI countedOutputOpen(LPHMIDIOUT, UINT, DWORD_PTR, DWORD_PTR, DWORD) {
    return ++gPortOpens, MMSYSERR_ERROR;
}

}  // namespace

// Sound off leaves the gate closed, the plugin suspended and the ports closed; an
// export in between keeps it so, while with sound on it opens both ports again.
TEST_F(Export, SoundSwitchedOffStaysOffAfterTheExport) {
    MidiSystem savedSystem = gMidiSystem;
    int32_t savedIn = gMidiInIndex, savedOut = gMidiOutIndex;
    gMidiSystem.midiInOpen = countedInputOpen;
    gMidiSystem.midiOutOpen = countedOutputOpen;
    gMidiInIndex = gMidiOutIndex = 0;
    select({60});
    settings.holdMs = 20;
    settings.releaseMs = 0;
    for (bool off : {false, true}) {
        SCOPED_TRACE(off);
        if (off) {
            closeEngineGate();
            gPlugin.suspend();
            gAudioStopped = 1;
        }
        LONG gateLevel = gEngineGate.level;
        gPortOpens = 0;
        EXPECT_EQ(0, exportTo(tempFolder("export-render") + "\\soundoff").failed());
        EXPECT_EQ(gateLevel, gEngineGate.level);
        EXPECT_EQ(off ? 0 : 1, gPlugin.resumed);
        EXPECT_EQ(off ? 0 : 2, gPortOpens);
    }
    gAudioStopped = 0;
    openEngineGate();
    gMidiSystem = savedSystem;
    gMidiInIndex = savedIn;
    gMidiOutIndex = savedOut;
}

// Takes beyond the memory budget go through the temporary files: the files are the
// same, byte for byte, in every format and mode.
TEST_F(Export, TakesThroughTheTemporaryFilesGiveTheSameFilesAsTakesInMemory) {
    struct Case {
        ExportFileType type;
        WavDepth depth;
        ExportChannels channels;
        ExportMode mode;
        const char *file;
    } cases[] = {{kExportWav, kWavDepth16, kExportMono, kExportMultisample, "_C3.wav"},
                 {kExportWav, kWavDepth24, kExportStereo, kExportMultisample, "_E3.wav"},
                 {kExportWav, kWavDepthFloat, kExportMono, kExportChord, ".wav"},
                 {kExportSoundFont, kWavDepth16, kExportStereo, kExportMultisample, ".sf2"},
                 {kExportSoundFont, kWavDepth16, kExportMono, kExportChord, ".sf2"}};
    select({60, 64});
    settings.holdMs = 300;  // 13230 frames: more than three 4096-frame chunks
    settings.releaseMs = 100;
    // The same name in two folders: a SoundFont's preset carries it.
    std::string memory = tempFolder("export-budget-memory") + "\\take", files = tempFolder("export-budget-files") + "\\take";
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        settings.fileType = c.type;
        settings.sampleFormat = c.depth;
        settings.channelMode = c.channels;
        settings.mode = c.mode;
        control.takeBudget = 0;
        ASSERT_EQ(0, exportTo(memory).failed());
        control.takeBudget = 1;
        ASSERT_EQ(0, exportTo(files).failed());
        std::string inMemory = readFile(memory + c.file);
        ASSERT_GT(inMemory.size(), 44u + 13230u);
        EXPECT_TRUE(inMemory == readFile(files + c.file));
    }
}

// The files stay readable (padded with silence) but every one is reported as not
// written completely.
TEST_F(Export, UnwritableTemporaryFilesGiveCompleteSilentFilesAndAreReported) {
    control.takeBudget = 1;  // the takes need the temporary files
    breakTemporaryFolder();
    select({60, 64});
    settings.holdMs = 100;
    settings.releaseMs = 100;
    settings.fileType = kExportSoundFont;
    std::string base = readerFolder() + "\\notemp";
    ExportReport report = exportTo(base);
    EXPECT_EQ(1, report.planned);
    EXPECT_EQ(1, report.notWritten);
    EXPECT_EQ(1, report.failed());
    SoundFontLayout layout = soundFontLayout(4, 8820);
    std::string file = readFile(base + ".sf2");
    ASSERT_EQ(layout.fileSize, file.size());
    for (size_t i = 120; i < layout.pdtaOffset; ++i) ASSERT_EQ(0, file[i]) << i;
    addToManifest("sf2 notemp.sf2 44100");
    settings.fileType = kExportWav;
    report = exportTo(base);
    EXPECT_EQ(2, report.planned);
    EXPECT_EQ(2, report.notWritten);
    EXPECT_EQ(2, report.failed());
    WavData wav = readWav(base + "_E3.wav");
    ASSERT_TRUE(wav.ok);
    EXPECT_EQ(8820u, wav.frames());
    EXPECT_EQ(0.0f, peak(wav.samples[0], 0, wav.frames()));
    addToManifest("wav notemp_E3.wav 1 16 2 44100 8820 -1");
}

TEST_F(Export, FilesThatCannotBeWrittenAreCountedForTheReport) {
    select({0, 1, 60});
    settings.holdMs = 5;
    settings.releaseMs = 0;
    // 251 + "_C#-2.wav" is 260 characters, too long; "_C-2.wav" and "_C3.wav" fit.
    std::string folder = readerFolder() + "\\";
    std::string longBase = folder + std::string(251 - folder.size(), 'n');
    ExportReport report = exportTo(longBase);
    EXPECT_EQ(3, report.planned);
    EXPECT_EQ(1, report.nameTooLong);
    EXPECT_EQ(0, report.notCreated);
    EXPECT_EQ(44u + 220 * 4, fileSize(longBase + "_C-2.wav"));
    DeleteFileA((longBase + "_C-2.wav").c_str());
    DeleteFileA((longBase + "_C3.wav").c_str());

    // A folder that does not exist (one an earlier run left is removed).
    for (const std::string &f : filesMatching(folder + "missing\\*")) DeleteFileA((folder + "missing\\" + f).c_str());
    RemoveDirectoryA((folder + "missing").c_str());
    report = exportTo(folder + "missing\\keys");
    EXPECT_EQ(3, report.notCreated);
    settings.mode = kExportChord;
    report = exportTo(folder + "missing\\chord");
    EXPECT_EQ(1, report.planned);
    EXPECT_EQ(1, report.notCreated);
    settings.fileType = kExportSoundFont;
    report = exportTo(folder + "missing\\font.wav");
    EXPECT_EQ(1, report.notCreated);
    EXPECT_EQ(folder + "missing\\font.sf2", report.fileName);
    // The file is named with the system's reason.
    ASSERT_EQ(1, report.listed);
    EXPECT_EQ(folder + "missing\\font.sf2", report.failures[0].path);
    EXPECT_EQ((unsigned long)ERROR_PATH_NOT_FOUND, report.failures[0].systemError);
    // An SFZ whose samples' folder cannot be made names the sample that failed; with no
    // sample written there is no .sfz to write.
    settings.fileType = kExportSfz;
    report = exportTo(folder + "missing\\tones");
    EXPECT_EQ(1, report.planned);
    EXPECT_EQ(1, report.notCreated);
    ASSERT_EQ(1, report.listed);
    EXPECT_EQ(folder + "missing\\tones\\tones.wav", report.failures[0].path);
    EXPECT_EQ((unsigned long)ERROR_PATH_NOT_FOUND, report.failures[0].systemError);
    EXPECT_EQ(1, gPlugin.resumed);  // restored after every failed export
}

// A report with these counts, everything else empty.
ExportReport reportOf(int planned, int notCreated, int nameTooLong, int notWritten, int tooLarge, int written,
                      bool cancelled) {
    ExportReport r = {};
    r.planned = planned, r.notCreated = notCreated, r.nameTooLong = nameTooLong, r.notWritten = notWritten;
    r.tooLarge = tooLarge, r.written = written, r.cancelled = cancelled;
    return r;
}

// Short texts for the end message; the forms for a total of one say so.
ExportEndTexts endTexts() {
    return ExportEndTexts{{L"Cancelled: %d of %d written.", L"Cancelled: %d of %d (one) written."},
                          L"Cancelled: nothing written.",
                          L"Could not create file.",
                          {L"%d of %d files were not written:", L"%d of %d file was not written:"},
                          {L"%d create", L"%d name", L"%d write", L"%d size", L"%d set"}};
}

TEST(ExportReportText, OneReasonPerLineOrTheSingleCreateMessage) {
    const ExportEndTexts texts = endTexts();
    wchar_t out[256];
    ExportReport none = reportOf(3, 0, 0, 0, 0, 3, false);
    EXPECT_FALSE(exportReportText(none, texts, out, 256));
    ExportReport one = reportOf(1, 1, 0, 0, 0, 0, false);
    ASSERT_TRUE(exportReportText(one, texts, out, 256));
    EXPECT_STREQ(L"Could not create file.", out);
    ExportReport mixed = reportOf(5, 2, 1, 0, 0, 2, false);
    ASSERT_TRUE(exportReportText(mixed, texts, out, 256));
    EXPECT_STREQ(L"3 of 5 files were not written:\n2 create\n1 name", out);
    // A set whose samples failed: its index file is counted with its own reason.
    ExportReport set = reportOf(9, 0, 0, 3, 0, 5, false);
    set.setIncomplete = 1;
    ASSERT_TRUE(exportReportText(set, texts, out, 256));
    EXPECT_STREQ(L"4 of 9 files were not written:\n3 write\n1 set", out);
    // One file of one: the singular form.
    ExportReport single = reportOf(1, 0, 0, 1, 0, 0, false);
    ASSERT_TRUE(exportReportText(single, texts, out, 256));
    EXPECT_STREQ(L"1 of 1 file was not written:\n1 write", out);
    wchar_t tiny[8];
    ASSERT_TRUE(exportReportText(mixed, texts, tiny, 8));  // cut, never overflowed
    EXPECT_EQ(7u, wcslen(tiny));
}

TEST(ExportReportText, ACancelledExportSaysWhatWasWrittenThenWhatFailed) {
    const ExportEndTexts texts = endTexts();
    struct Case {
        ExportReport report;
        const wchar_t *text;
    } cases[] = {
        {reportOf(48, 0, 0, 0, 0, 11, true), L"Cancelled: 11 of 48 written."},
        {reportOf(1, 0, 0, 0, 0, 0, true), L"Cancelled: nothing written."},
        {reportOf(48, 2, 0, 1, 0, 9, true), L"Cancelled: 9 of 48 written.\n3 of 48 files were not written:\n2 create\n1 write"},
        {reportOf(1, 1, 0, 0, 0, 0, true), L"Cancelled: nothing written.\nCould not create file."},
        {reportOf(1, 0, 0, 0, 0, 1, true), L"Cancelled: 1 of 1 (one) written."},
    };
    for (const Case &c : cases) {
        wchar_t out[256];
        exportCancelText(c.report, texts, out, 256);
        EXPECT_STREQ(c.text, out);
        wchar_t tiny[12];
        exportCancelText(c.report, texts, tiny, 12);  // cut, never overflowed
        EXPECT_EQ(11u, wcslen(tiny));
    }
}

// The notes under the result: each count in its own number, the gain with its sign,
// an instrument that never varied said once rather than counted.
TEST(ExportReportText, NotesSayWhatTheTakesCameOutAs) {
    const wchar_t *texts[kExportNoteTexts] = {L"%d unlooped", L"1 unlooped", L"%d unpitched", L"1 unpitched",
                                              L"%d clipped",  L"1 clipped",  L"gain %+.1f dB", L"no variation",
                                              L"%d repeats",  L"1 repeat",   L"first only",  L"; "};
    auto report = [](int unlooped, int unpitched, int clipped, bool normalised, float gainDb, int takes,
                     int variations, int dropped, bool first) {
        ExportReport r = {};
        r.unlooped = unlooped, r.unpitched = unpitched, r.clipped = clipped, r.normalised = normalised;
        r.gainDb = gainDb, r.takes = takes, r.variations = variations, r.variationsDropped = dropped;
        r.firstVariationOnly = first;
        return r;
    };
    struct Case {
        ExportReport report;
        const wchar_t *text;
    } cases[] = {
        {report(0, 0, 0, false, 0, 12, 1, 0, false), L""},
        {report(1, 2, 3, false, 0, 12, 1, 0, false), L"1 unlooped; 2 unpitched; 3 clipped"},
        {report(0, 0, 0, true, 6.04f, 12, 1, 0, false), L"gain +6.0 dB"},
        {report(0, 0, 0, true, -0.25f, 12, 1, 0, false), L"gain -0.3 dB"},
        {report(0, 0, 0, false, 0, 12, 3, 8, false), L"no variation"},
        {report(0, 0, 0, false, 0, 12, 3, 1, false), L"1 repeat"},
        {report(2, 0, 0, false, 0, 12, 3, 5, false), L"2 unlooped; 5 repeats"},
        {report(0, 0, 0, false, 0, 4, 1, 0, true), L"first only"},
    };
    for (const Case &c : cases) {
        wchar_t out[256];
        exportNotesText(c.report, texts, out, 256);
        EXPECT_STREQ(c.text, out);
    }
    wchar_t tiny[6];
    exportNotesText(cases[1].report, texts, tiny, 6);  // cut, never overflowed
    EXPECT_EQ(5u, wcslen(tiny));
}

// A short export reuses the memory of the one before; a large block is not kept.
TEST(ExportMemory, SmallBlocksAreKeptForTheNextExportLargeOnesFreed) {
    ExportMemory memory = {};
    void *take = takeExportMemory(&memory, kTakeLeftMemory, 1u << 20);
    ASSERT_NE(nullptr, take);
    returnExportMemory(&memory, kTakeLeftMemory, take, 1u << 20);
    EXPECT_EQ(take, takeExportMemory(&memory, kTakeLeftMemory, 512u << 10)) << "a smaller take fits the kept block";
    returnExportMemory(&memory, kTakeLeftMemory, take, 1u << 20);
    void *large = takeExportMemory(&memory, kTakeLeftMemory, 64u << 20);  // frees the kept block, which is too small
    ASSERT_NE(nullptr, large);
    returnExportMemory(&memory, kTakeLeftMemory, large, 64u << 20);
    void *next = takeExportMemory(&memory, kTakeLeftMemory, 4096);
    EXPECT_NE(large, next) << "64 MiB are not kept between exports";
    returnExportMemory(&memory, kTakeLeftMemory, next, 4096);
    releaseExportMemory(memory);
}

// Two velocity layers, sustain loops and trimmed tails, in each file type: per-key
// WAVs named after their layer's velocity, a SoundFont and an SFZ whose layers,
// loops and pitches the readers check (FluidSynth, Polyphone, sox).
TEST_F(Export, LayeredLoopedTrimmedTakesInEveryFileType) {
    select({48, 60, 72});
    settings.layers = 2;
    settings.velocity = 100;
    settings.loop = true;
    settings.trim = true;
    settings.holdMs = 500;
    settings.releaseMs = 200;
    const int rate = 44100, noteOff = 43 * 512, full = rate / 2 + rate / 5;
    const std::string base = readerFolder() + "\\layered";

    settings.wavKeyData = true;
    ExportReport wavs = exportTo(base + ".wav");
    EXPECT_EQ(0, wavs.failed());
    EXPECT_EQ(6, wavs.planned);
    EXPECT_EQ(0, wavs.unlooped) << "a steady sine loops";
    for (int note : {48, 60, 72}) {
        float levels[2];
        for (int layer = 0; layer < 2; ++layer) {
            char name[16];
            noteName(note, name, sizeof name);
            std::string file = "layered_" + std::string(name) + (layer ? "_v100.wav" : "_v50.wav");
            WavData wav = readWav(readerFolder() + "\\" + file);
            ASSERT_TRUE(wav.ok) << file;
            // Cut a few milliseconds after the demo's 50 ms release has died away, and faded to zero.
            EXPECT_NEAR(noteOff + rate * 0.055, (double)wav.frames(), rate * 0.004) << file;
            EXPECT_LT(wav.frames(), (size_t)full);
            EXPECT_EQ(0.0f, wav.samples[0].back());
            levels[layer] = 0.0f;
            for (float x : wav.samples[0]) levels[layer] = std::max(levels[layer], std::fabs(x));
            addToManifest("wav " + file + " 1 16 2 44100 " + std::to_string(wav.frames()) + " " + std::to_string(note));
        }
        EXPECT_NEAR(2.0, levels[1] / levels[0], 0.05) << "velocity 100 against 50";
    }

    settings.fileType = kExportSoundFont;
    ExportReport font = exportTo(base + ".sf2");
    EXPECT_EQ(0, font.failed());
    EXPECT_EQ(0, font.unlooped);
    EXPECT_LT(fileSize(base + ".sf2"), soundFontLayout(12, full, 12).fileSize) << "trimmed samples";
    addToManifest("sf2layers layered.sf2 44100 50 48 60 72");
    addToManifest("sf2held layered.sf2 44100 1.5 48 60 72");  // three times the hold

    settings.fileType = kExportSfz;
    ExportReport sfz = exportTo(base + ".sfz");
    EXPECT_EQ(0, sfz.failed());
    EXPECT_EQ(7, sfz.planned) << "six samples and the .sfz";
    std::string text = readFile(base + ".sfz");
    size_t regions = 0;
    for (size_t at = text.find("<region>"); at != std::string::npos; at = text.find("<region>", at + 1)) ++regions;
    EXPECT_EQ(6u, regions);
    EXPECT_NE(std::string::npos, text.find("sample=layered/layered_C3_v100.wav"));
    EXPECT_NE(std::string::npos, text.find("lovel=51 hivel=127"));
    EXPECT_NE(std::string::npos, text.find("loop_mode=loop_sustain"));
    EXPECT_TRUE(readWav(base + "\\layered_C4_v50.wav").ok);
    addToManifest("sfz layered.sfz 44100 48 60 72");

    settings.fileType = kExportDecentSampler;
    ExportReport preset = exportTo(base + ".dspreset");
    EXPECT_EQ(0, preset.failed());
    EXPECT_EQ(7, preset.planned) << "six samples and the preset";
    addToManifest("dspreset layered.dspreset");
    for (const char *set : {"layered.sf2", "layered.sfz", "layered.dspreset"})
        addToManifest("loopguards " + std::string(set) + " 44100");
    addToManifest("agree layered.sf2 layered.sfz layered.dspreset");

    // The per-key WAVs say in their own chunks what the SFZ says of the same takes.
    for (size_t at = text.find("<region>"); at != std::string::npos; at = text.find("<region>", at + 1)) {
        std::string line = text.substr(at, text.find('\n', at) - at);
        auto opcode = [&](const char *name) {
            size_t p = line.find(std::string(" ") + name + "=");
            return p == std::string::npos ? -1 : atoi(line.c_str() + p + strlen(name) + 2);
        };
        std::string file = line.substr(line.find("sample=layered/") + 15);
        int loopEnd = opcode("loop_end");
        addToManifest("wavdata " + file + " " + std::to_string(opcode("pitch_keycenter")) + " " +
                      std::to_string(opcode("lokey")) + " " + std::to_string(opcode("hikey")) + " " +
                      std::to_string(opcode("lovel")) + " " + std::to_string(opcode("hivel")) + " " +
                      std::to_string(opcode("loop_start")) + " " + std::to_string(loopEnd < 0 ? -1 : loopEnd + 1));
    }
}

// An instrument tuned 37 cents sharp: each take's pitch is measured and the SoundFont
// tunes it back, FluidSynth playing each key within 2 cents of its pitch (the checker).
TEST_F(Export, TheMeasuredTuningOfADetunedInstrumentIsCarriedInTheSet) {
    reopen({{"KORVANE_DEMO_DETUNE", "37"}});
    select({48, 60, 72});
    settings.fileType = kExportSoundFont;
    settings.holdMs = 500;
    ExportReport report = exportTo(readerFolder() + "\\detuned.sf2");
    EXPECT_EQ(0, report.failed());
    EXPECT_EQ(0, report.unpitched);
    addToManifest("sf2pitch detuned.sf2 44100 48 60 72");
}

// An instrument that declares a delay of 300 frames: every take, a key's and a chord's,
// comes out as the undelayed instrument's, to the bit, at the same length.
TEST_F(Export, TheInstrumentsDeclaredLatencyIsLeftOutOfEveryTake) {
    select({60, 64});
    settings.sampleFormat = kWavDepthFloat;
    settings.holdMs = 300;
    settings.releaseMs = 100;
    const std::string base = tempFolder("export-latency") + "\\";
    std::vector<WavData> takes[2];
    for (int delayed = 0; delayed < 2; ++delayed) {
        if (delayed) reopen({{"KORVANE_DEMO_DELAY", "300"}});
        for (ExportMode mode : {kExportMultisample, kExportChord}) {
            settings.mode = mode;
            const std::string name = base + (delayed ? "late" : "plain") + (mode == kExportChord ? "Chord" : "");
            ASSERT_EQ(0, exportTo(name + ".wav").failed());
            for (const char *file : {"_C3.wav", "_E3.wav", ".wav"}) {
                if ((mode == kExportChord) != (file[0] == '.')) continue;
                takes[delayed].push_back(readWav(name + file));
                ASSERT_TRUE(takes[delayed].back().ok) << name + file;
            }
        }
    }
    ASSERT_EQ(3u, takes[1].size());
    for (size_t i = 0; i < takes[0].size(); ++i) {
        EXPECT_EQ(takes[0][i].samples[0].size(), takes[1][i].samples[0].size()) << "take " << i;
        EXPECT_TRUE(takes[0][i].samples == takes[1][i].samples) << "take " << i << " starts as the undelayed one's";
    }
}

// A sustain falling 2.5 dB a second, keys 36 to 84 at the default hold: at least 9 of
// 10 takes loop, their seams checked by the readers.
TEST_F(Export, ASustainThatFadesSlowlyStillLoops) {
    reopen({{"KORVANE_DEMO_FADE", "25"}});
    select({36, 41, 47, 52, 57, 62, 67, 72, 78, 84});
    settings.fileType = kExportSoundFont;
    settings.loop = true;
    ExportReport report = exportTo(readerFolder() + "\\fading.sf2");
    EXPECT_EQ(0, report.failed());
    EXPECT_LE(report.unlooped, 1);
    addToManifest("loopguards fading.sf2 44100");
}

// Round robins: an instrument that varies with every note gives each key its
// variations in a row, a round-robin queue in the SFZ and the preset; one that does
// not vary keeps one take of each; a SoundFont keeps the first and says so.
TEST_F(Export, VariationsOfAVaryingInstrumentBecomeRoundRobins) {
    reopen({{"KORVANE_DEMO_VARIANT", "vary"}});
    select({60, 67});
    settings.variations = 3;
    settings.holdMs = 400;
    settings.fileType = kExportSfz;
    const std::string base = readerFolder() + "\\robin";
    ExportReport sfz = exportTo(base + ".sfz");
    EXPECT_EQ(0, sfz.failed());
    EXPECT_EQ(7, sfz.planned) << "three takes of two keys and the .sfz";
    EXPECT_EQ(0, sfz.variationsDropped);
    const std::string text = readFile(base + ".sfz");
    for (const char *part : {"seq_length=3 seq_position=1", "seq_position=3", "sample=robin/robin_C3.wav",
                             "sample=robin/robin_C3_rr2.wav", "sample=robin/robin_G3_rr3.wav"})
        EXPECT_NE(std::string::npos, text.find(part)) << part;
    addToManifest("sfz robin.sfz 44100 60 67");
    settings.fileType = kExportDecentSampler;
    ExportReport preset = exportTo(base + ".dspreset");
    EXPECT_EQ(0, preset.failed());
    EXPECT_NE(std::string::npos, readFile(base + ".dspreset").find("seqMode=\"round_robin\" seqLength=\"3\""));
    addToManifest("dspreset robin.dspreset");
    settings.fileType = kExportSoundFont;
    ExportReport font = exportTo(base + ".sf2");
    EXPECT_TRUE(font.firstVariationOnly);
    EXPECT_EQ(2, font.takes);

    reopen({{"KORVANE_DEMO_VARIANT", ""}});
    settings.fileType = kExportWav;
    ExportReport same = exportTo(tempFolder("export-same") + "\\same.wav");
    EXPECT_EQ(0, same.failed());
    EXPECT_EQ(4, same.variationsDropped);
    EXPECT_EQ(2, same.planned) << "one file of each key";
    EXPECT_EQ(2, same.written);
}

// One gain for the set with Normalise, its loudest sample at -1 dBFS and the levels
// between takes kept; without it, takes past full scale in an integer format counted.
TEST_F(Export, NormaliseGivesTheSetOneGainAndClippedTakesAreCounted) {
    struct Case {
        const char *name;
        ExportMode mode;
        WavDepth depth;
        bool normalise;
        int clipped;
    } cases[] = {{"chord 16-bit", kExportChord, kWavDepth16, false, 1},
                 {"chord float", kExportChord, kWavDepthFloat, false, 0},
                 {"chord normalised", kExportChord, kWavDepth16, true, 0},
                 {"keys normalised", kExportMultisample, kWavDepthFloat, true, 0}};
    select({48, 52, 55, 60, 64, 67, 72});
    settings.holdMs = 300;
    settings.releaseMs = 100;
    const std::string folder = tempFolder("export-normalise") + "\\";
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        settings.mode = c.mode;
        settings.sampleFormat = c.depth;
        settings.normalise = c.normalise;
        settings.layers = c.mode == kExportMultisample ? 2 : 1;
        ExportReport report = exportTo(folder + c.name + ".wav");
        EXPECT_EQ(0, report.failed());
        EXPECT_EQ(c.clipped, report.clipped);
        EXPECT_EQ(c.normalise, report.normalised);
        float loudest = 0.0f, first[2] = {0.0f, 0.0f};
        for (const std::string &file : filesMatching(folder + c.name + "*.wav")) {
            WavData wav = readWav(folder + file);
            ASSERT_TRUE(wav.ok) << file;
            float peak = 0.0f;
            for (const auto &channel : wav.samples)
                for (float x : channel) peak = std::max(peak, std::fabs(x));
            loudest = std::max(loudest, peak);
            if (file.find("_C3_") != std::string::npos) first[file.find("_v64") != std::string::npos ? 0 : 1] = peak;
        }
        if (c.normalise) {
            EXPECT_NEAR(-1.0, 20.0 * std::log10(loudest), 0.01) << "gain " << report.gainDb;
        }
        if (c.mode == kExportMultisample) {
            EXPECT_NEAR(2.0, first[1] / first[0], 0.05) << "the layers 6 dB apart, as rendered";
        }
    }
    // Without temporary files to hold the takes back in, nothing is written, for the system's reason.
    breakTemporaryFolder();
    settings.normalise = true;
    ExportReport held = exportTo(folder + "held.wav");
    EXPECT_EQ(1, held.notWritten);
    EXPECT_EQ(0, held.written);
    EXPECT_NE(0u, held.failures[0].systemError);
    EXPECT_TRUE(filesMatching(folder + "held*").empty());
}

// Several export instances, each on its own thread, give the files of one instance
// byte for byte for an instrument that does not vary, in every shaping of the takes.
TEST_F(Export, SeveralInstancesWriteTheFilesOfOneByteForByte) {
    struct Case {
        const char *name;
        ExportFileType type;
        bool loop, trim, normalise;
        std::vector<std::string> files;
    } cases[] = {
        {"several-wav", kExportWav, true, true, false,
         {"_C1.wav", "_G1.wav", "_C2.wav", "_G2.wav", "_C3.wav", "_E3.wav", "_C4.wav"}},
        {"several-sf2", kExportSoundFont, false, false, true, {".sf2"}},
    };
    select({36, 43, 48, 55, 60, 64, 72});
    settings.holdMs = 300;
    settings.releaseMs = 100;
    for (const Case &c : cases) {
        settings.fileType = c.type;
        settings.loop = c.loop;
        settings.trim = c.trim;
        settings.normalise = c.normalise;
        const std::string one = tempFolder("export-one") + "\\" + c.name, several = readerFolder() + "\\" + c.name;
        settings.instances = kInstancesOne;
        ExportReport single = exportTo(one);
        settings.instances = kInstancesAutomatic;
        control.maxInstances = 3;
        ExportReport shared = exportTo(several);
        control.maxInstances = 0;
        EXPECT_EQ(1, single.instances) << c.name;
        EXPECT_EQ(3, shared.instances) << c.name;
        EXPECT_EQ(kInstancesAsAsked, shared.instanceNote) << c.name;
        EXPECT_EQ(single.written, shared.written) << c.name;
        EXPECT_EQ(0, shared.failed()) << c.name;
        for (const std::string &file : c.files) {
            const std::string expected = readFile(one + file);
            ASSERT_FALSE(expected.empty()) << one + file;
            EXPECT_TRUE(expected == readFile(several + file)) << c.name << file << " differs";
        }
    }
    addToManifest("sf2 several-sf2.sf2 44100 36 43 48 55 60 64 72");
}

// The probe compares a take of an export instance with two of the live one: the same
// sound, or within the instrument's own variation, renders on every instance; an
// instrument that read its rate when opened and ignores the export's sounds different
// live, so the export renders on one instance opened at the export's rate, at pitch.
TEST_F(Export, TheProbeSharesTheTakesOnlyAmongInstancesThatSoundAlike) {
    struct Case {
        const char *variant;
        int rateIndex;
        int instances;
        ExportInstanceNote note;
    } cases[] = {
        {"", 3, 2, kInstancesAsAsked},
        {"vary", 3, 2, kInstancesAsAsked},
        {"rate-on-open", 3, 2, kInstancesAsAsked},  // opened at 44100 Hz, live at 44100 Hz
        {"rate-on-open", 7, 1, kInstancesDiffer},   // live still at 44100 Hz for a 96000 Hz export
    };
    select({48, 60, 72});
    settings.holdMs = 300;
    settings.releaseMs = 100;
    control.maxInstances = 2;
    // The probe renders in the memory kept from the export before, as the dialog's exports do.
    ExportMemory kept = {};
    control.memory = &kept;
    for (const Case &c : cases) {
        reopen({{"KORVANE_DEMO_VARIANT", c.variant}});
        settings.rateIndex = c.rateIndex;
        const std::string base = tempFolder("export-probe") + "\\probe";
        ExportReport report = exportTo(base);
        EXPECT_EQ(c.instances, report.instances) << c.variant << " at " << exportRate(c.rateIndex);
        EXPECT_EQ(c.note, report.instanceNote) << c.variant << " at " << exportRate(c.rateIndex);
        EXPECT_EQ(3, report.written);
        for (int note : {48, 60, 72}) {
            WavData wav = readWav(base + "_" + std::string(note == 48 ? "C2" : note == 60 ? "C3" : "C4") + ".wav");
            ASSERT_TRUE(wav.ok);
            const int rate = exportRate(c.rateIndex);
            EXPECT_EQ(rate, wav.sampleRate);
            EXPECT_NEAR(noteFrequency(note), zeroCrossingFrequency(wav.samples[0], rate, 0, rate / 4),
                        noteFrequency(note) * 0.01)
                << c.variant << " key " << note;
        }
    }
    control.memory = nullptr;
    releaseExportMemory(kept);
}

// An instrument that gives no second plugin object is exported on the live instance as
// before, and the report says why; one that takes the live sound renders with it.
TEST_F(Export, AnInstrumentThatCannotBeOpenedTwiceExportsOnTheLiveInstance) {
    reopen({{"KORVANE_DEMO_VARIANT", "single"}});
    select({60, 67});
    settings.holdMs = 300;
    settings.releaseMs = 100;
    const std::string base = readerFolder() + "\\single-instance";
    ExportReport report = exportTo(base);
    EXPECT_EQ(0, report.instances);
    EXPECT_EQ(kInstancesNotOpened, report.instanceNote);
    EXPECT_EQ(2, report.written);
    EXPECT_EQ(0, report.failed());
    WavData wav = readWav(base + "_C3.wav");
    ASSERT_TRUE(wav.ok);
    EXPECT_NEAR(noteFrequency(60), zeroCrossingFrequency(wav.samples[0], 44100, 0, 44100 / 4), noteFrequency(60) * 0.01);
    const std::vector<std::string> lines = readLines(log);
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), "second object refused"));
    addToManifest("wav single-instance_C3.wav 1 16 2 44100 " + std::to_string(44100 * 4 / 10) + " 60");

    // The live instance's sound (its level halved) goes to every export instance.
    reopen({{"KORVANE_DEMO_VARIANT", "sound-params"}});
    gPlugin.effect->setParameter(gPlugin.effect, 0, 0.5f);
    control.maxInstances = 2;
    const std::string halved = tempFolder("export-sound") + "\\halved";
    ExportReport given = exportTo(halved);
    EXPECT_EQ(2, given.instances);
    EXPECT_EQ(kInstancesAsAsked, given.instanceNote);
    for (const char *key : {"_C3.wav", "_G3.wav"}) {
        WavData taken = readWav(halved + key);
        ASSERT_TRUE(taken.ok);
        EXPECT_NEAR(0.125f, peak(taken.samples[0], 0, taken.frames()), 0.125f * 0.02f) << key;
    }
}

// Cancelled while several instances render: the files written are the plan's first
// ones, none missing before the last written, and the report says cancelled.
TEST_F(Export, CancelAmongSeveralInstancesKeepsTheFilesInThePlansOrder) {
    select({48, 50, 52, 53, 55, 57});
    settings.holdMs = 200;
    settings.releaseMs = 100;
    struct Stop {
        volatile LONG cancel;
        int at;
    } stop = {0, 4};
    control.cancel = &stop.cancel;
    control.context = &stop;
    control.takeStarted = [](void *context, int ordinal, int) {
        Stop &s = *(Stop *)context;
        if (ordinal == s.at) InterlockedExchange(&s.cancel, 1);
    };
    control.maxInstances = 2;
    const std::string base = tempFolder("export-cancel-several") + "\\cut";
    const char *names[6] = {"_C2.wav", "_D2.wav", "_E2.wav", "_F2.wav", "_G2.wav", "_A2.wav"};
    for (const char *name : names) DeleteFileA((base + name).c_str());
    ExportReport report = exportTo(base);
    EXPECT_TRUE(report.cancelled);
    EXPECT_EQ(2, report.instances);
    EXPECT_LT(report.written, 6);
    int written = 0;
    for (int i = 0; i < 6; ++i) {
        const bool there = GetFileAttributesA((base + names[i]).c_str()) != INVALID_FILE_ATTRIBUTES;
        if (i < report.written) {
            EXPECT_TRUE(there) << names[i];
        } else {
            EXPECT_FALSE(there) << names[i] << " after a take left out";
        }
        written += there ? 1 : 0;
    }
    EXPECT_EQ(report.written, written);
}
