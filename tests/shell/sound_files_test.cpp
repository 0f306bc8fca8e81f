// Sound files on disk and the messages of failed sound actions.
#include "shell/sound_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "plugin/preset_file.h"
#include "resources/resource_ids.h"
#include "support/program_runner.h"

using namespace testing_support;

namespace {

void makeBank(PluginState &state) {
    state.clear();
    state.uniqueID = 0x4B72764F;
    state.version = 1;
    state.bank = true;
    state.currentProgram = 1;
    ASSERT_TRUE(state.allocatePrograms(2, 2));
    strcpy(state.programs[0].name, "One");
    strcpy(state.programs[1].name, "Two");
    state.programs[1].params[1] = 0.75f;
}

void writeBytes(const std::string &path, const std::string &bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
    CloseHandle(file);
}

TEST(SoundFiles, NamesChooseTheKindOfFile) {
    struct Case {
        const char *name;
        int filter;
        bool bank;
        const char *after;
    } cases[] = {
        {"C:\\s\\pad.fxb", 1, true, "C:\\s\\pad.fxb"},   {"C:\\s\\pad.FXP", 2, false, "C:\\s\\pad.FXP"},
        {"C:\\s\\pad", 1, false, "C:\\s\\pad.fxp"},       {"C:\\s\\pad", 2, true, "C:\\s\\pad.fxb"},
        {"C:\\s\\pad.wav", 2, true, "C:\\s\\pad.wav.fxb"}, {"pad", 0, false, "pad.fxp"},
    };
    for (const Case &c : cases) {
        char name[MAX_PATH];
        strcpy(name, c.name);
        EXPECT_EQ(presetNameSavesBank(name, sizeof name, c.filter), c.bank) << c.name;
        EXPECT_STREQ(name, c.after);
    }
    // No room for the extension: the name stays as typed.
    char full[8] = "1234567";
    EXPECT_FALSE(presetNameSavesBank(full, sizeof full, 1));
    EXPECT_STREQ(full, "1234567");

    char aside[MAX_PATH];
    ASSERT_TRUE(asidePath("C:\\a\\Korvane\\last-sound.fxb", "4B727658", aside, sizeof aside));
    EXPECT_STREQ(aside, "C:\\a\\Korvane\\last-sound-4B727658.fxb");
    EXPECT_FALSE(asidePath("C:\\a\\last-sound.txt", "x", aside, sizeof aside));
    EXPECT_FALSE(asidePath("C:\\a\\last-sound.fxb", "unreadable", aside, 20));

    struct Id {
        VstInt32 id;
        const wchar_t *text;
    } ids[] = {{0x4B72764F, L"KrvO (4B72764F)"}, {0x00000001, L"00000001"}, {(VstInt32)0x80FF2041, L"80FF2041"}};
    for (const Id &i : ids) {
        wchar_t text[32];
        instrumentIdText(i.id, text, 32);
        EXPECT_STREQ(text, i.text);
    }
}

TEST(SoundFiles, EachFailureSaysWhatWhereAndWhy) {
    struct Case {
        StateFailure failure;
        const wchar_t *says;
    } cases[] = {
        {stateFailure(kStateTruncated), L"cut short"},
        {stateFailure(kStateShort), L"too short for the sizes it declares"},
        {stateFailure(kStateNotPreset), L"not a VST program (.fxp) or bank (.fxb) file"},
        {stateFailure(kStateTooLarge), L"larger than 128 MB"},
        {stateFailure(kStateRefused), L"The instrument refused"},
        {stateFailure(kStateChunkForm), L"takes parameter values only"},
        {stateFailure(kStateNothingToKeep), L"no sound settings"},
        {stateFailure(kStateNoChunk), L"handed no data"},
        {stateFailure(kStateNoMemory), L"not enough memory"},
    };
    for (const Case &c : cases) {
        wchar_t text[2048];
        soundFailureText(IDS_SOUND_LOAD_FAILED, "C:\\sounds\\pad.fxp", c.failure, text, 2048);
        std::wstring t = text;
        EXPECT_EQ(0u, t.find(L"Could not load the sound from this file")) << c.says;
        EXPECT_NE(std::wstring::npos, t.find(L"\nC:\\sounds\\pad.fxp\n")) << c.says;
        EXPECT_NE(std::wstring::npos, t.find(c.says)) << t.c_str();
    }
    StateFailure other = stateFailure(kStateOtherInstrument);
    other.fileId = 0x4B727658;
    other.instrumentId = 0x4B72764F;
    StateFailure layout = stateFailure(kStateOtherLayout);
    layout.filePrograms = 8;
    layout.fileParams = 3;
    layout.instrumentPrograms = 4;
    layout.instrumentParams = 2;
    StateFailure missing = stateFailure(kStateCannotOpen);
    missing.systemError = ERROR_FILE_NOT_FOUND;
    struct Detail {
        StateFailure failure;
        const wchar_t *says;
    } details[] = {
        {other, L"another instrument (ID KrvX (4B727658)); the loaded instrument's ID is KrvO (4B72764F)"},
        {layout, L"It holds 8 programs of 3 parameters; the instrument has 4 programs of 2 parameters"},
        {missing, L"could not be opened"},
    };
    for (const Detail &d : details) {
        wchar_t text[2048];
        soundFailureText(IDS_SOUND_SAVE_FAILED, "D:\\x.fxb", d.failure, text, 2048);
        EXPECT_NE(std::wstring::npos, std::wstring(text).find(d.says)) << d.says;
    }
    wchar_t withSystem[2048];
    soundFailureText(IDS_SOUND_LOAD_FAILED, "D:\\x.fxb", missing, withSystem, 2048);
    wchar_t system[512];
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_FILE_NOT_FOUND, 0, system,
                   512, nullptr);
    EXPECT_NE(std::wstring::npos, std::wstring(withSystem).find(system));
}

TEST(SoundFiles, FilesAreWrittenWholeAndReadBackOrRefusedByTheirSize) {
    std::string folder = tempFolder("sound-files");
    std::string path = folder + "\\bank.fxb";
    PluginState bank;
    makeBank(bank);
    ASSERT_TRUE(savePresetFile(path.c_str(), bank).ok());
    EXPECT_EQ(readFile(path).size(), presetFileSize(bank));
    PluginState back;
    ASSERT_TRUE(loadPresetFile(path.c_str(), back).ok());
    EXPECT_EQ(back.numPrograms, 2);
    EXPECT_EQ(back.programs[1].params[1], 0.75f);
    EXPECT_STREQ(back.programs[1].name, "Two");
    // Nothing but the file itself is left in the folder.
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    int files = 0;
    do files += !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    while (FindNextFileA(find, &found));
    FindClose(find);
    EXPECT_EQ(files, 1);

    // A folder that does not exist: the reason and the system's code; nothing made.
    std::string nowhere = folder + "\\missing\\bank.fxb";
    StateFailure failed = savePresetFile(nowhere.c_str(), bank);
    EXPECT_EQ(failed.reason, kStateCannotWrite);
    EXPECT_NE(failed.systemError, 0u);
    // An empty state makes no file.
    PluginState empty;
    EXPECT_EQ(savePresetFile((folder + "\\empty.fxp").c_str(), empty).reason, kStateNothingToKeep);
    EXPECT_EQ(GetFileAttributesA((folder + "\\empty.fxp").c_str()), INVALID_FILE_ATTRIBUTES);

    // Files refused: one that is not there, one that is not a preset, one far too large
    // (sparse: its size is all there is to it).
    std::string large = folder + "\\large.fxb";
    HANDLE file = CreateFileA(large.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    writeBytes(folder + "\\text.fxp", "CcnK is not enough");
    LARGE_INTEGER size;
    size.QuadPart = (LONGLONG)kMaxStateBytes + 1;
    ASSERT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file));
    CloseHandle(file);
    struct Case {
        std::string path;
        StateReason reason;
        DWORD error;
    } cases[] = {
        {folder + "\\none.fxp", kStateCannotOpen, ERROR_FILE_NOT_FOUND},
        {folder + "\\text.fxp", kStateNotPreset, 0},
        {large, kStateTooLarge, 0},
    };
    for (const Case &c : cases) {
        PluginState state;
        StateFailure failure = loadPresetFile(c.path.c_str(), state);
        EXPECT_EQ(failure.reason, c.reason) << c.path;
        EXPECT_EQ(failure.systemError, c.error) << c.path;
    }
    DeleteFileA(large.c_str());
}

}  // namespace
