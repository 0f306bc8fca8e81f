// Frame timing of takes, names of the exported files, the SoundFont layout and the
// dialog's number rules.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "export/dialog/export_dialog.h"
#include "export/formats/sample_names.h"
#include "export/formats/soundfont_file.h"
#include "export/formats/take_files.h"
#include "export/render/offline_render.h"
#include "export/takes/take_plan.h"
#include "midi/midi_queue.h"

namespace {

struct Schedule {
    int blocks = 0, noteOnBlock = -1, noteOffBlock = -1, kept = 0, lastKeep = 0;
};

Schedule schedule(const ExportTiming &t) {
    Schedule s;
    TakeCursor c;
    while (c.position < t.totalFrames) {
        TakeStep step = nextTakeStep(c, t);
        if (step.events == kTakeNoteOn) s.noteOnBlock = s.blocks;
        if (step.events == kTakeNoteOff) {
            EXPECT_EQ(-1, s.noteOffBlock) << "a second note-off";
            s.noteOffBlock = s.blocks;
        }
        s.kept += step.keep;
        s.lastKeep = step.keep;
        s.blocks++;
    }
    return s;
}

uint16_t u16(const uint8_t *p) { return (uint16_t)(p[0] | p[1] << 8); }
uint32_t u32(const uint8_t *p) { return u16(p) | (uint32_t)u16(p + 2) << 16; }

// Offset of a sub-chunk inside a pdta list.
const uint8_t *subChunk(const std::vector<uint8_t> &pdta, const char *id, uint32_t *size) {
    for (size_t at = 12; at + 8 <= pdta.size(); at += 8 + u32(&pdta[at + 4])) {
        if (memcmp(&pdta[at], id, 4) == 0) {
            *size = u32(&pdta[at + 4]);
            return &pdta[at + 8];
        }
    }
    ADD_FAILURE() << "no " << id;
    return nullptr;
}

}  // namespace

TEST(ExportTiming, FramesFromRateAndTimes) {
    struct Case {
        int rateIndex, hold, release, rate, holdFrames, total, flush;
    } cases[] = {
        {3, 2000, 500, 44100, 88200, 110250, 87}, {0, 250, 250, 11025, 2756, 5512, 22},
        {2, 32, 0, 32000, 1024, 1024, 63},        {7, 1, 0, 96000, 96, 96, 188},
        {-1, 1, 1, 44100, 44, 88, 87},            {8, 1, 1, 44100, 44, 88, 87},
    };
    for (const Case &c : cases) {
        ExportTiming t = exportTiming(c.rateIndex, c.hold, c.release);
        EXPECT_EQ(c.rate, t.rate);
        EXPECT_EQ(c.holdFrames, t.holdFrames);
        EXPECT_EQ(c.total, t.totalFrames);
        EXPECT_EQ(c.flush, flushBlocks(t.rate));
    }
    const int flushes[8] = {22, 44, 63, 87, 94, 126, 173, 188};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(flushes[i], flushBlocks(exportRate(i)));
}

TEST(ExportTiming, NoteOffFallsOnTheBlockAfterTheHoldCutToWholeBlocks) {
    struct Case {
        const char *what;
        int rateIndex, hold, release;
        int blocks, noteOffBlock, lastKeep;
    } cases[] = {
        {"hold 1 ms at 44100", 3, 1, 500, 44, 1, 22094 - 43 * 512},
        {"32000 Hz, hold of two whole blocks", 2, 32, 500, 34, 2, 17024 - 33 * 512},
        {"total of one block", 3, 5, 6, 1, -1, 484},
        {"total of exactly 512", 2, 16, 0, 1, -1, 512},
        {"release 0", 3, 100, 0, 9, 8, 4410 - 8 * 512},
        {"release 0, hold a whole number of blocks", 2, 64, 0, 4, -1, 512},
        {"defaults", 3, 2000, 500, 216, 172, 110250 - 215 * 512},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ExportTiming t = exportTiming(c.rateIndex, c.hold, c.release);
        Schedule s = schedule(t);
        EXPECT_EQ(0, s.noteOnBlock);
        EXPECT_EQ(c.blocks, s.blocks);
        EXPECT_EQ(c.noteOffBlock, s.noteOffBlock);
        EXPECT_EQ(t.totalFrames, s.kept);  // cut, never padded
        EXPECT_EQ(c.lastKeep, s.lastKeep);
    }
}

TEST(ExportTiming, EventBlocksForChordVelocityZeroAndTheFlush) {
    PluginEventBlock block;
    prepareEventBlock(block);
    const uint8_t chord[3] = {48, 55, 60};
    fillTakeEvents(block, kTakeNoteOn, chord, 3, 9, 0);  // velocity 0 goes out as is
    ASSERT_EQ(3, block.numEvents);
    for (int i = 0; i < 3; ++i) {
        const unsigned char *d = (const unsigned char *)block.records[i].midiData;
        EXPECT_EQ(0x99, d[0]);
        EXPECT_EQ(chord[i], d[1]);
        EXPECT_EQ(0, d[2]);
        EXPECT_EQ(0, block.records[i].deltaFrames);
    }
    fillTakeEvents(block, kTakeNoteOn, chord, 3, 0, 0x17F);  // low byte of the velocity
    EXPECT_EQ(0x7F, (unsigned char)block.records[2].midiData[2]);
    fillTakeEvents(block, kTakeNoteOff, chord, 3, 0, 100);
    EXPECT_EQ(3, block.numEvents);
    EXPECT_EQ(0, block.records[1].midiData[2]);
    fillTakeEvents(block, kTakeNoEvents, chord, 3, 0, 100);
    EXPECT_EQ(0, block.numEvents);
    fillAllNotesOff(block);
    ASSERT_EQ(16, block.numEvents);
    for (int c = 0; c < 16; ++c) {
        const unsigned char *d = (const unsigned char *)block.records[c].midiData;
        EXPECT_EQ(0xB0 + c, d[0]);
        EXPECT_EQ(123, d[1]);
        EXPECT_EQ(0, d[2]);
    }
}

TEST(SampleNaming, KeyFileNamesAndTheStoredName) {
    struct Case {
        const char *name;
        int key;
        const char *file;
    } cases[] = {
        {"D:\\Samples\\Pad.wav", 60, "D:\\Samples\\Pad_C3.wav"},
        {"D:\\Samples\\Pad.wav", 61, "D:\\Samples\\Pad_C#3.wav"},
        {"D:\\Out\\pad", 0, "D:\\Out\\pad_C-2.wav"},
        {"pad.sf2", 78, "pad_F#4.wav"},
        {"C:/a.b/pad", 127, "C:/a.b/pad_G8.wav"},
    };
    for (const Case &c : cases) {
        PathParts parts;
        splitPath(c.name, parts);
        char out[kPathLimit];
        ASSERT_TRUE(keyFileName(out, sizeof out, parts, c.key));
        EXPECT_STREQ(c.file, out);
    }
    PathParts parts;
    splitPath("D:\\Out\\pad", parts);
    char layered[kPathLimit];
    ASSERT_TRUE(keyFileName(layered, sizeof layered, parts, 60, 64));  // a take of a velocity layer
    EXPECT_STREQ("D:\\Out\\pad_C3_v64.wav", layered);
    ASSERT_TRUE(keyFileName(layered, sizeof layered, parts, -1, 127));  // a chord's layer
    EXPECT_STREQ("D:\\Out\\pad_v127.wav", layered);
    char stored[kPathLimit];
    ASSERT_TRUE(buildPath(stored, sizeof stored, parts, ".wav"));
    EXPECT_STREQ("D:\\Out\\pad.wav", stored);
    splitPath("x.wav", parts);
    ASSERT_TRUE(buildPath(stored, sizeof stored, parts, ".sf2"));
    EXPECT_STREQ("x.sf2", stored);
}

TEST(SampleNaming, NamesBeyondThePathLimitAreRefusedNotOverflowed) {
    std::string base(251, 'p');  // 251 + "_C#-2.wav" = 260 characters plus the terminator: too long
    PathParts parts;
    splitPath((base + ".wav").c_str(), parts);
    char out[kPathLimit + 16];
    memset(out, 'x', sizeof out);
    EXPECT_FALSE(keyFileName(out, sizeof out, parts, 1));
    EXPECT_EQ('\0', out[0]);
    EXPECT_TRUE(keyFileName(out, sizeof out, parts, 0));  // "_C-2.wav": 259 characters fit
    EXPECT_EQ(259u, strlen(out));
    char small[16];
    EXPECT_FALSE(buildPath(small, sizeof small, parts, ".sf2"));
}

TEST(SampleNaming, ANameWithoutAFolderIsPlacedInTheDefaultFolder) {
    const char *docs = "C:\\Users\\me\\Documents\\Korvane";
    struct Case {
        const char *name, *expected;
    } cases[] = {
        {"piano", "C:\\Users\\me\\Documents\\Korvane\\piano"},
        {"takes\\piano.sf2", "C:\\Users\\me\\Documents\\Korvane\\takes\\piano.sf2"},
        {"D:\\samples\\piano", "D:\\samples\\piano"},
        {"\\\\server\\share\\piano", "\\\\server\\share\\piano"},
        {"/tmp/piano", "/tmp/piano"},
        {"E:piano", "E:piano"},
    };
    for (const Case &c : cases) {
        char out[kPathLimit];
        ASSERT_TRUE(placeExportName(c.name, docs, out, sizeof out)) << c.name;
        EXPECT_STREQ(c.expected, out);
    }
    char out[kPathLimit];
    EXPECT_TRUE(placeExportName("x", "C:\\k\\", out, sizeof out));
    EXPECT_STREQ("C:\\k\\x", out) << "no second separator";
    std::string longName(250, 'n');
    EXPECT_FALSE(placeExportName(longName.c_str(), docs, out, sizeof out));
    EXPECT_STREQ("", out);
}

// Names are judged before anything renders: the character or the device name that
// keeps them from being file names is found; a drive's colon and separators are fine.
TEST(SampleNaming, NamesTheSystemWouldRefuseAreFoundFirst) {
    struct Case {
        const char *name;
        ExportNameProblem problem;
        char character;
        const char *part;
    } cases[] = {
        {"pad", kNameFine, 0, ""},
        {"C:\\My Samples\\pad.wav", kNameFine, 0, ""},
        {"\\\\server\\share\\pad", kNameFine, 0, ""},
        {"/tmp/pad", kNameFine, 0, ""},
        {"e:pad", kNameFine, 0, ""},
        {"com10", kNameFine, 0, ""},
        {"console", kNameFine, 0, ""},
        {"..\\pad", kNameFine, 0, ""},
        {"a:b?.wav", kNameForbiddenCharacter, '?', ""},
        {"x\\y:z", kNameForbiddenCharacter, ':', ""},
        {"pad<1>", kNameForbiddenCharacter, '<', ""},
        {"say \"hi\"", kNameForbiddenCharacter, '"', ""},
        {"a|b", kNameForbiddenCharacter, '|', ""},
        {"*", kNameForbiddenCharacter, '*', ""},
        {"tab\there", kNameForbiddenCharacter, '\t', ""},
        {"", kNameBlank, 0, ""},
        {" ", kNameBlank, 0, ""},
        {"C:\\samples\\", kNameBlank, 0, ""},
        {"C:\\samples\\ . ", kNameBlank, 0, ""},
        {"con", kNameReserved, 0, "con"},
        {"LPT1.wav", kNameReserved, 0, "LPT1.wav"},
        {"C:\\Nul .txt\\pad", kNameReserved, 0, "Nul .txt"},
        {"takes/aux/pad", kNameReserved, 0, "aux"},
        {"Com9", kNameReserved, 0, "Com9"},
    };
    for (const Case &c : cases) {
        ExportNameCheck check = checkExportName(c.name);
        EXPECT_EQ(c.problem, check.problem) << c.name;
        EXPECT_EQ(c.character, check.character) << c.name;
        EXPECT_STREQ(c.part, check.part) << c.name;
    }
}

TEST(SampleEncoding, MonoMixStereoInterleaveAndNotANumber) {
    const float nan = std::nanf("");
    const float left[4] = {1.0f, 0.5f, nan, -1.5f};
    const float right[4] = {0.0f, 0.5f, 0.25f, 0.5f};
    uint8_t out[4 * 2 * 4];
    encodeTakeChunk(left, right, 4, 1, kWavDepth16, out);
    const int16_t mono[4] = {16384, 16384, 0, -16384};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(mono[i], (int16_t)u16(out + 2 * i)) << i;
    encodeTakeChunk(left, right, 4, 2, kWavDepth24, out);
    const int32_t stereo[8] = {8388607, 0, 4194304, 4194304, 0, 2097152, -8388608, 4194304};
    for (int i = 0; i < 8; ++i) {
        int32_t v = out[3 * i] | out[3 * i + 1] << 8 | (int8_t)out[3 * i + 2] << 16;
        EXPECT_EQ(stereo[i], v) << i;
    }
}

TEST(SoundFontLayout, ByteCountsForOneMonoKeyAndThreeStereoKeys) {
    SoundFontLayout one = soundFontLayout(1, 110250);
    EXPECT_EQ(220592u, one.smplSize);
    EXPECT_EQ(220604u, one.sdtaSize);
    EXPECT_EQ(220712u, one.pdtaOffset);
    EXPECT_EQ(352u, one.pdtaSize);
    EXPECT_EQ(221072u, one.fileSize);
    SoundFontLayout three = soundFontLayout(6, 110250);
    EXPECT_EQ(1323552u, three.smplSize);
    EXPECT_EQ(1324362u, three.fileSize);
    EXPECT_TRUE(three.fits());
    EXPECT_FALSE(soundFontLayout(256, 9599904).fits());  // 128 stereo keys of 99.999 s + 99.999 s at 48 kHz

    uint8_t head[kSoundFontHeadSize];
    buildSoundFontHead(head, 220592);
    EXPECT_EQ(0, memcmp(head, "RIFF", 4));
    EXPECT_EQ(0, memcmp(head + 8, "sfbkLIST", 8));
    EXPECT_EQ(0, memcmp(head + 44, "EMU8000\0", 8));
    EXPECT_EQ(0, memcmp(head + 60, "Morvex Korvane\0\0", 16));
    EXPECT_EQ(0, memcmp(head + 108, "sdtasmpl", 8));
    EXPECT_EQ(220592u, u32(head + 116));
    EXPECT_EQ(0, memcmp(head + 24, "ifil\4\0\0\0\2\0\1\0", 12)) << "2.01";
}

// 24 bits: the sm24 chunk, a byte a point made even, between the smpl chunk and the
// pdta list, and the version 2.04 that readers look for it in.
TEST(SoundFontLayout, TwentyFourBitsAddTheSm24ChunkOfSoundFont204) {
    struct Case {
        int samples;
        uint32_t frames;
        uint64_t sm24, sdta, pdtaOffset, fileSize;
    } cases[] = {
        {1, 110250, 110296, 220604 + 8 + 110296, 220712 + 8 + 110296, 221072 + 8 + 110296},
        {1, 110251, 110298, 220606 + 8 + 110298, 220714 + 8 + 110298, 221074 + 8 + 110298},  // odd: padded
        {6, 110250, 661776, 1323564 + 8 + 661776, 0, 1324362 + 8 + 661776},
    };
    for (const Case &c : cases) {
        SoundFontLayout deep = soundFontLayout(c.samples, c.frames, 0, 0, true);
        SoundFontLayout plain = soundFontLayout(c.samples, c.frames);
        EXPECT_EQ(plain.smplSize, deep.smplSize);
        EXPECT_EQ(0u, plain.sm24Size);
        EXPECT_EQ(c.sm24, deep.sm24Size) << c.frames;
        EXPECT_EQ(c.sm24, sm24ChunkSize(deep.smplSize));
        EXPECT_EQ(c.sdta, deep.sdtaSize);
        if (c.pdtaOffset) {
            EXPECT_EQ(c.pdtaOffset, deep.pdtaOffset);
        }
        EXPECT_EQ(c.fileSize, deep.fileSize);
        EXPECT_EQ(plain.pdtaSize, deep.pdtaSize);
    }
    uint8_t head[kSoundFontHeadSize];
    buildSoundFontHead(head, 220592, true);
    EXPECT_EQ(0, memcmp(head + 24, "ifil\4\0\0\0\2\0\4\0", 12)) << "2.04";

    // A point's upper 16 bits go to smpl, its lowest 8 to sm24.
    const uint8_t packed[9] = {0x12, 0x34, 0x56, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x80};
    uint8_t upper[6], lower[3];
    splitPoints24(packed, 3, upper, lower);
    const uint8_t wantUpper[6] = {0x34, 0x56, 0xFF, 0xFF, 0x00, 0x80}, wantLower[3] = {0x12, 0xFF, 0x00};
    EXPECT_EQ(0, memcmp(wantUpper, upper, 6));
    EXPECT_EQ(0, memcmp(wantLower, lower, 3));
}

TEST(TakePlan, KeyRangesSplitAtMidpointsAndLayersSplitVelocities) {
    struct Case {
        std::vector<uint8_t> keys;
        bool chord;
        int velocity, layers;
        std::vector<int> takes;  // root, low key, high key, velocity, low velocity, high velocity per take
    } cases[] = {
        {{36, 48, 60}, false, 127, 1, {36, 0, 42, 127, 0, 127, 48, 43, 54, 127, 0, 127, 60, 55, 127, 127, 0, 127}},
        {{60, 61}, false, 127, 1, {60, 0, 60, 127, 0, 127, 61, 61, 127, 127, 0, 127}},
        {{0, 1, 126, 127}, false, 64, 1,
         {0, 0, 0, 64, 0, 127, 1, 1, 63, 64, 0, 127, 126, 64, 126, 64, 0, 127, 127, 127, 127, 64, 0, 127}},
        {{48, 55, 60}, true, 100, 1, {60, 0, 127, 100, 0, 127}},  // a chord: one take over every key
        {{60}, false, 100, 2, {60, 0, 127, 50, 0, 50, 60, 0, 127, 100, 51, 127}},
        {{48, 72}, true, 127, 3, {60, 0, 127, 42, 0, 42, 60, 0, 127, 85, 43, 85, 60, 0, 127, 127, 86, 127}},
    };
    for (const Case &c : cases) {
        PlannedTake plan[kMaxTakes];
        int n = planTakes(c.keys.data(), (int)c.keys.size(), c.chord, c.velocity, c.layers, plan);
        std::vector<int> got;
        for (int i = 0; i < n; ++i) {
            const PlannedTake &t = plan[i];
            got.insert(got.end(), {t.rootKey, t.lowKey, t.highKey, t.layer.velocity, t.layer.low, t.layer.high});
            EXPECT_EQ(c.layers > 1, t.layered);
            EXPECT_EQ(c.chord ? (int)c.keys.size() : 1, t.keyCount);
        }
        EXPECT_EQ(c.takes, got) << "keys " << c.keys.size() << " layers " << c.layers;
    }
}

TEST(SoundFontLayout, StereoZonesLinkPanAndNameTheirSamples) {
    const uint8_t keys[3] = {48, 55, 60};
    const SoundFontTake list[3] = {{48, 0, 51, 0, 127, 0, 1000, false, 0, 0, 0, -6.0f, 0.0f},
                                   {55, 52, 57, 0, 127, 0, 1000, false, 0, 0, 0, -6.0f, 0.0f},
                                   {60, 58, 127, 0, 127, 0, 1000, false, 0, 0, 0, -6.0f, 0.0f}};
    SoundFontTakes takes = {list, 3, 2, 48000, "A preset name longer than nineteen", 500, false};
    std::vector<uint8_t> pdta(pdtaListBytes(6));
    buildPdtaList(pdta.data(), takes);
    EXPECT_EQ(0, memcmp(pdta.data(), "LIST", 4));
    EXPECT_EQ(pdta.size() - 8, u32(&pdta[4]));
    uint32_t size;
    const uint8_t *phdr = subChunk(pdta, "phdr", &size);
    EXPECT_EQ(76u, size);
    EXPECT_STREQ("A preset name longe", (const char *)phdr);
    EXPECT_STREQ("EOP", (const char *)phdr + 38);
    EXPECT_EQ(1u, u16(phdr + 38 + 24));
    const uint8_t *pmod = subChunk(pdta, "pmod", &size);
    EXPECT_EQ(1u, u16(pmod + 8));
    const uint8_t *imod = subChunk(pdta, "imod", &size);
    EXPECT_EQ(6u, u16(imod + 8));
    const uint8_t *ibag = subChunk(pdta, "ibag", &size);
    EXPECT_EQ(28u, size);
    EXPECT_EQ(24u, u16(ibag + 24));
    const uint8_t *igen = subChunk(pdta, "igen", &size);
    ASSERT_EQ(100u, size);
    const uint8_t *shdr = subChunk(pdta, "shdr", &size);
    ASSERT_EQ(322u, size);
    const char *names[6] = {"C2", "C2 R", "G2", "G2 R", "C3", "C3 R"};
    const int lows[3] = {0, 52, 58}, highs[3] = {51, 57, 127};
    for (int j = 0; j < 6; ++j) {
        SCOPED_TRACE(j);
        const uint8_t *g = igen + 16 * j;
        EXPECT_EQ(43u, u16(g));
        EXPECT_EQ(lows[j / 2], g[2]);
        EXPECT_EQ(highs[j / 2], g[3]);
        EXPECT_EQ(44u, u16(g + 4));
        EXPECT_EQ(127, g[7]);
        EXPECT_EQ(17u, u16(g + 8));
        EXPECT_EQ(j % 2 ? 499 : -499, (int16_t)u16(g + 10));
        EXPECT_EQ((unsigned)j, u16(g + 14));
        const uint8_t *h = shdr + 46 * j;
        EXPECT_STREQ(names[j], (const char *)h);
        EXPECT_EQ(j * 1046u, u32(h + 20));
        EXPECT_EQ(j * 1046u + 1000, u32(h + 24));
        EXPECT_EQ(j * 1046u, u32(h + 28)) << "loop points inside the sample";
        EXPECT_EQ(j * 1046u + 1000, u32(h + 32));
        EXPECT_EQ(48000u, u32(h + 36));
        EXPECT_EQ(keys[j / 2], h[40]);
        EXPECT_EQ(j % 2 ? j - 1u : j + 1u, u16(h + 42));
        EXPECT_EQ(j % 2 ? 2u : 4u, u16(h + 44));
    }
    EXPECT_STREQ("EOS", (const char *)shdr + 46 * 6);
    EXPECT_EQ(0u, u32(igen + 96));
}

TEST(ExportDialogRules, NumbersEnableRuleAndFileType) {
    struct Case {
        const char *text;
        int low, high, value;
    } numbers[] = {{"0", 1, 99999, 1}, {"", 1, 99999, 1}, {"", 0, 127, 0},  {"200", 0, 127, 127},
                   {"  42x", 0, 127, 42}, {"-5", 0, 99999, 0}, {"99999999999999999999", 1, 99999, 99999}};
    for (const Case &c : numbers) EXPECT_EQ(c.value, clampedNumber(c.text, c.low, c.high)) << c.text;

    unsigned char keys[128] = {};
    EXPECT_FALSE(exportEnabled("a.wav", keys));
    keys[60] = 1;
    EXPECT_TRUE(exportEnabled("a.wav", keys));
    EXPECT_FALSE(exportEnabled("", keys));

    EXPECT_EQ(kExportSoundFont, fileTypeForName("C:\\x\\PAD.SF2", kExportWav));
    EXPECT_EQ(kExportWav, fileTypeForName("pad.Wav", kExportSoundFont));
    EXPECT_EQ(kExportSoundFont, fileTypeForName("pad.aif", kExportSoundFont));
    EXPECT_EQ(kExportWav, fileTypeForName("dir.sf2\\pad", kExportWav));
    EXPECT_EQ(kExportDecentSampler, fileTypeForName("D:\\sets\\Pad.DSPreset", kExportWav));
}

// Layers and loops: each zone carries its velocity range and its layer's velocity
// curve, a looped one its release and sample mode, and every sample its own length
// and loop inside it.
TEST(SoundFontLayout, LayeredLoopedZonesCarryVelocitiesCurvesReleaseAndLoops) {
    const SoundFontTake list[2] = {{60, 0, 127, 0, 50, 50, 900, true, 300, 700, 0, -12.0f, 0.12f},
                                   {60, 0, 127, 51, 127, 100, 1200, false, 0, 0, 0, -6.0f, 0.1f}};
    SoundFontTakes takes = {list, 2, 1, 44100, "pad", 500, true};
    std::vector<uint8_t> pdta(pdtaListBytes(2, 1, 2));
    buildPdtaList(pdta.data(), takes);
    EXPECT_EQ(pdta.size() - 8, u32(&pdta[4]));
    uint32_t size;
    const uint8_t *ibag = subChunk(pdta, "ibag", &size);
    ASSERT_EQ(12u, size);
    const unsigned bags[3][2] = {{0, 0}, {6, 3}, {10, 6}};
    for (int b = 0; b < 3; ++b) {
        EXPECT_EQ(bags[b][0], u16(ibag + 4 * b));
        EXPECT_EQ(bags[b][1], u16(ibag + 4 * b + 2));
    }
    // The default velocity curve replaced (amount 0), then k (h - v) centibels from a
    // unipolar and a bipolar velocity source: k 1.2 below 50, k 1 below 127.
    const uint8_t *imod = subChunk(pdta, "imod", &size);
    ASSERT_EQ(70u, size);
    const int mods[6][3] = {{0x0502, 48, 0}, {0x0002, 48, -34}, {0x0202, 48, -60},
                            {0x0502, 48, 0}, {0x0002, 48, 126}, {0x0202, 48, -127}};
    for (int m = 0; m < 6; ++m) {
        SCOPED_TRACE(m);
        const uint8_t *p = imod + 10 * m;
        EXPECT_EQ((unsigned)mods[m][0], u16(p));
        EXPECT_EQ((unsigned)mods[m][1], u16(p + 2));
        EXPECT_EQ(mods[m][2], (int16_t)u16(p + 4));
        EXPECT_EQ(0u, u16(p + 6) | u16(p + 8));
    }
    const uint8_t *igen = subChunk(pdta, "igen", &size);
    ASSERT_EQ(44u, size);
    const int want[10][3] = {{43, 0, 127}, {44, 0, 50}, {17, 0, 0}, {38, -1, 0}, {54, 3, 0},
                             {53, 0, 0},   {43, 0, 127}, {44, 51, 127}, {17, 0, 0}, {53, 1, 0}};
    for (int g = 0; g < 10; ++g) {
        SCOPED_TRACE(g);
        const uint8_t *p = igen + 4 * g;
        EXPECT_EQ((unsigned)want[g][0], u16(p));
        if (want[g][0] == 43 || want[g][0] == 44) {
            EXPECT_EQ(want[g][1], p[2]);
            EXPECT_EQ(want[g][2], p[3]);
        }
        if (want[g][0] == 54 || want[g][0] == 53) {
            EXPECT_EQ((unsigned)want[g][1], u16(p + 2));
        }
    }
    EXPECT_EQ(releaseTimecents(500), (int16_t)u16(igen + 14));
    EXPECT_EQ(-1200, releaseTimecents(500));
    EXPECT_EQ(-12000, releaseTimecents(0));
    const uint8_t *shdr = subChunk(pdta, "shdr", &size);
    EXPECT_STREQ("C3 v50", (const char *)shdr);
    EXPECT_EQ(0u, u32(shdr + 20));
    EXPECT_EQ(900u, u32(shdr + 24));
    EXPECT_EQ(300u, u32(shdr + 28));
    EXPECT_EQ(700u, u32(shdr + 32));
    const uint8_t *second = shdr + 46;
    EXPECT_STREQ("C3 v100", (const char *)second);
    EXPECT_EQ(946u, u32(second + 20));
    EXPECT_EQ(2146u, u32(second + 24));
    EXPECT_EQ(946u, u32(second + 28));
    EXPECT_EQ(2146u, u32(second + 32));

    // Behind the other sample (1200 points and 46 zero points), the loop points move
    // with the looped sample's start.
    const SoundFontTake behind[2] = {list[1], list[0]};
    buildPdtaList(pdta.data(), SoundFontTakes{behind, 2, 1, 44100, "pad", 500, true});
    shdr = subChunk(pdta, "shdr", &size) + 46;
    EXPECT_EQ(1246u + 300, u32(shdr + 28));
    EXPECT_EQ(1246u + 700, u32(shdr + 32));
}
