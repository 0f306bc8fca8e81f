// The .fxp and .fxb layouts: what the writer puts where, and what the reader refuses.
#include "plugin/preset_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const VstInt32 kDemoId = 0x4B72764F;  // 'KrvO'

// A state made by hand: programs of the given values, or a chunk.
void makeParams(PluginState &state, bool bank, const std::vector<std::vector<float>> &programs,
                const std::vector<std::string> &names, VstInt32 current) {
    state.clear();
    state.uniqueID = kDemoId;
    state.version = 3;
    state.bank = bank;
    state.currentProgram = current;
    ASSERT_TRUE(state.allocatePrograms((VstInt32)programs.size(), (VstInt32)programs[0].size()));
    for (size_t p = 0; p < programs.size(); ++p) {
        strcpy(state.programs[p].name, names[p].c_str());
        for (size_t i = 0; i < programs[p].size(); ++i) state.programs[p].params[i] = programs[p][i];
    }
}

void makeChunk(PluginState &state, bool bank, const std::string &chunk, VstInt32 programs, VstInt32 current) {
    state.clear();
    state.uniqueID = kDemoId;
    state.version = 3;
    state.bank = bank;
    state.numPrograms = programs;
    state.numParams = 2;
    state.currentProgram = current;
    strcpy(state.name, "Soft");
    ASSERT_TRUE(state.allocateChunk((uint32_t)chunk.size()));
    memcpy(state.chunkData, chunk.data(), chunk.size());
}

std::vector<uint8_t> fileOf(const PluginState &state) {
    std::vector<uint8_t> bytes(presetFileSize(state));
    if (!bytes.empty()) writePresetFile(state, bytes.data());
    return bytes;
}

std::string at(const std::vector<uint8_t> &bytes, size_t offset, size_t length) {
    if (offset + length > bytes.size()) return "<past the end>";
    return std::string(bytes.begin() + offset, bytes.begin() + offset + length);
}

// Big-endian words as the published layout has them.
std::string be(uint32_t v) {
    return std::string{(char)(v >> 24), (char)(v >> 16), (char)(v >> 8), (char)v};
}

void putWord(std::vector<uint8_t> &bytes, size_t offset, uint32_t v) {
    std::string w = be(v);
    memcpy(&bytes[offset], w.data(), 4);
}

TEST(PresetFile, EachFormIsWrittenInThePublishedLayoutAndReadBack) {
    struct Field {
        size_t offset;
        std::string bytes;
    };
    struct Case {
        const char *name;
        void (*make)(PluginState &);
        size_t size;
        std::vector<Field> fields;
    } cases[] = {
        {"program of parameters",
         [](PluginState &s) { makeParams(s, false, {{0.25f, 1.0f}}, {"Plain"}, -1); },
         64,
         {{0, "CcnK"}, {4, be(56)}, {8, "FxCk"}, {12, be(1)}, {16, "KrvO"}, {20, be(3)}, {24, be(2)},
          {28, std::string("Plain\0\0\0", 8)}, {48, std::string(8, '\0')}, {56, be(0x3E800000)}, {60, be(0x3F800000)}}},
        {"program chunk",
         [](PluginState &s) { makeChunk(s, false, "abc", 1, -1); },
         63,
         {{0, "CcnK"}, {4, be(55)}, {8, "FPCh"}, {12, be(1)}, {16, "KrvO"}, {20, be(3)}, {28, std::string("Soft\0", 5)},
          {56, be(3)}, {60, "abc"}}},
        {"bank of parameters",
         [](PluginState &s) { makeParams(s, true, {{0.5f}, {-2.0f}}, {"One", "Two"}, 1); },
         156 + 2 * 60,
         {{0, "CcnK"}, {4, be(268)}, {8, "FxBk"}, {12, be(2)}, {16, "KrvO"}, {20, be(3)}, {24, be(2)}, {28, be(1)},
          {32, std::string(124, '\0')}, {156, "CcnK"}, {160, be(52)}, {164, "FxCk"}, {180, be(1)},
          {184, std::string("One\0", 4)}, {212, be(0x3F000000)}, {216, "CcnK"}, {244, std::string("Two\0", 4)},
          {272, be(0xC0000000)}}},
        {"bank chunk",
         [](PluginState &s) { makeChunk(s, true, "chunk", 4, 2); },
         165,
         {{0, "CcnK"}, {4, be(157)}, {8, "FBCh"}, {12, be(2)}, {16, "KrvO"}, {24, be(4)}, {28, be(2)},
          {156, be(5)}, {160, "chunk"}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        PluginState state;
        c.make(state);
        std::vector<uint8_t> bytes = fileOf(state);
        ASSERT_EQ(bytes.size(), c.size);
        for (const Field &f : c.fields) EXPECT_EQ(at(bytes, f.offset, f.bytes.size()), f.bytes) << "at " << f.offset;

        PluginState back;
        ASSERT_EQ(readPresetFile(bytes.data(), bytes.size(), back).reason, kStateOk);
        EXPECT_EQ(back.uniqueID, state.uniqueID);
        EXPECT_EQ(back.version, state.version);
        EXPECT_EQ(back.bank, state.bank);
        EXPECT_EQ(back.chunk, state.chunk);
        if (state.bank) {
            EXPECT_EQ(back.currentProgram, state.currentProgram);
        }
        if (state.chunk) {
            ASSERT_EQ(back.chunkSize, state.chunkSize);
            EXPECT_EQ(0, memcmp(back.chunkData, state.chunkData, state.chunkSize));
            if (!state.bank) {
                EXPECT_STREQ(back.name, state.name);
            }
            continue;
        }
        ASSERT_EQ(back.numPrograms, state.numPrograms);
        ASSERT_EQ(back.numParams, state.numParams);
        for (VstInt32 p = 0; p < state.numPrograms; ++p) {
            EXPECT_STREQ(back.programs[p].name, state.programs[p].name);
            for (VstInt32 i = 0; i < state.numParams; ++i)
                EXPECT_EQ(back.programs[p].params[i], state.programs[p].params[i]);
        }
        // Written again, the same bytes.
        EXPECT_EQ(fileOf(back), bytes);
    }
}

TEST(PresetFile, BadBytesAreRefusedWithTheirReasonBeforeAnythingIsKept) {
    PluginState program, chunkProgram, bank, chunkBank;
    makeParams(program, false, {{0.25f, 1.0f}}, {"Plain"}, -1);
    makeChunk(chunkProgram, false, "abcdef", 1, -1);
    makeParams(bank, true, {{0.5f, 0.5f}, {0.1f, 0.2f}, {0.3f, 0.4f}}, {"One", "Two", "Three"}, 0);
    makeChunk(chunkBank, true, "chunk", 4, 2);
    const std::vector<uint8_t> p = fileOf(program), c = fileOf(chunkProgram), b = fileOf(bank), cb = fileOf(chunkBank);
    auto cut = [](std::vector<uint8_t> bytes, size_t size) {
        bytes.resize(size);
        return bytes;
    };
    auto word = [](std::vector<uint8_t> bytes, size_t offset, uint32_t v) {
        putWord(bytes, offset, v);
        return bytes;
    };
    std::vector<uint8_t> wav(44, 0);
    memcpy(wav.data(), "RIFF\x24\0\0\0WAVEfmt ", 16);
    struct Case {
        const char *name;
        std::vector<uint8_t> bytes;
        StateReason reason;
    } cases[] = {
        {"empty", {}, kStateNotPreset},
        {"first word cut", {'C', 'c', 'n'}, kStateTruncated},
        {"a WAV file", wav, kStateNotPreset},
        {"unknown form", word(p, 8, 0x58585858), kStateNotPreset},
        {"program cut in its header", cut(p, 40), kStateTruncated},
        {"program cut in its values", cut(p, 60), kStateTruncated},
        {"program cut, no byteSize", cut(word(p, 4, 0), 60), kStateShort},
        {"program declaring 2^30 values", word(word(p, 24, 0x40000000), 4, 0), kStateShort},
        {"program declaring -1 values", word(p, 24, 0xFFFFFFFF), kStateShort},
        {"chunk program of 2^31 - 16 bytes", word(c, 56, 0x7FFFFFF0), kStateShort},
        {"chunk program cut in its size", cut(c, 58), kStateTruncated},
        {"chunk program of no bytes", word(word(c, 56, 0), 4, 0), kStateNoChunk},
        {"bank declaring 2^28 programs", word(b, 24, 0x10000000), kStateShort},
        {"bank of no programs", word(b, 24, 0), kStateNotPreset},
        {"bank cut in its third program", cut(word(b, 4, 0), 156 + 2 * 64 + 58), kStateTruncated},
        {"bank cut after two programs", cut(word(b, 4, 0), 156 + 2 * 64), kStateShort},
        {"bank whose second record is a bank", word(b, 156 + 64 + 8, 0x4678426B), kStateNotPreset},
        {"bank whose programs differ in size", word(b, 156 + 64 + 24, 1), kStateNotPreset},
        {"bank with a program declaring more than it holds", word(b, 156 + 64 + 4, 500), kStateTruncated},
        {"bank cut in its header", cut(b, 100), kStateTruncated},
        {"chunk bank cut in its size", cut(cb, 158), kStateTruncated},
        {"chunk bank longer than its bytes", word(cb, 156, 6), kStateShort},
        {"byteSize beyond the file", word(cb, 4, 1000), kStateTruncated},
    };
    for (const Case &c : cases) {
        PluginState state;
        makeParams(state, false, {{1.0f}}, {"left over"}, 0);  // a state that must not survive
        StateFailure failure = readPresetFile(c.bytes.data(), c.bytes.size(), state);
        EXPECT_EQ(failure.reason, c.reason) << c.name;
        EXPECT_EQ(state.programs, nullptr) << c.name;
        EXPECT_EQ(state.chunkData, nullptr) << c.name;
        EXPECT_EQ(state.numPrograms, 0) << c.name;
    }

    // Larger than any sound: refused by its size alone, before a byte is read.
    PluginState state;
    uint8_t small[4] = {'C', 'c', 'n', 'K'};
    EXPECT_EQ(readPresetFile(small, (size_t)kMaxStateBytes + 1, state).reason, kStateTooLarge);
    // A byteSize of 0, as some hosts write it, is no size: the file reads.
    std::vector<uint8_t> noSize = word(b, 4, 0);
    EXPECT_EQ(readPresetFile(noSize.data(), noSize.size(), state).reason, kStateOk);
    EXPECT_EQ(state.numPrograms, 3);
    EXPECT_EQ(state.programs[2].params[1], 0.4f);
}

TEST(PresetFile, EmptyOrOversizedStatesMakeNoFile) {
    PluginState empty;
    EXPECT_EQ(presetFileSize(empty), 0u);
    PluginState huge;
    huge.numPrograms = 1;
    huge.numParams = (VstInt32)(kMaxStateBytes / 4);  // one value past the limit with the header
    ProgramState one = {"", nullptr};
    huge.programs = &one;
    EXPECT_EQ(presetFileSize(huge), 0u);
    huge.programs = nullptr;  // not the state's to free
    huge.numPrograms = 0;
}

}  // namespace
