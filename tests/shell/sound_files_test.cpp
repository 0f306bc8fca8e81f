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

    // An ID that is not four letters reads as its value alone.
    wchar_t id[32];
    instrumentIdText((VstInt32)0x80FF2041, id, 32);
    EXPECT_STREQ(id, L"80FF2041");
}

// The reasons the end-to-end test of bad files does not meet: with their numbers,
// and with the system's own text.
TEST(SoundFiles, FailuresSayWhatWhereAndWhy) {
    StateFailure layout = stateFailure(kStateOtherLayout);
    layout.filePrograms = 8;
    layout.fileParams = 3;
    layout.instrumentPrograms = 4;
    layout.instrumentParams = 2;
    StateFailure missing = stateFailure(kStateCannotOpen);
    missing.systemError = ERROR_FILE_NOT_FOUND;
    wchar_t system[512] = L"";
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_FILE_NOT_FOUND, 0, system,
                   512, nullptr);
    struct Case {
        UINT what;
        StateFailure failure;
        const wchar_t *starts, *says;
    } cases[] = {
        {IDS_SOUND_LOAD_FAILED, layout, L"Could not load the sound",
         L"It holds 8 programs of 3 parameters; the instrument has 4 programs of 2 parameters"},
        {IDS_SOUND_LOAD_FAILED, stateFailure(kStateChunkForm), L"Could not load", L"takes parameter values only"},
        {IDS_SOUND_SAVE_FAILED, stateFailure(kStateNothingToKeep), L"Could not save the sound", L"no sound settings"},
        {IDS_SOUND_LOAD_FAILED, missing, L"Could not load", system},
    };
    for (const Case &c : cases) {
        wchar_t text[2048];
        soundFailureText(c.what, "C:\\sounds\\pad.fxp", c.failure, text, 2048);
        std::wstring t = text;
        EXPECT_EQ(0u, t.find(c.starts)) << c.says;
        EXPECT_NE(std::wstring::npos, t.find(L"\nC:\\sounds\\pad.fxp\n")) << c.says;
        EXPECT_NE(std::wstring::npos, t.find(c.says)) << c.says;
    }
}

TEST(SoundFiles, FilesAreWrittenWholeAndReadBack) {
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

    // A file that is not there: the reason with the system's code.
    StateFailure none = loadPresetFile((folder + "\\none.fxp").c_str(), back);
    EXPECT_EQ(none.reason, kStateCannotOpen);
    EXPECT_EQ(none.systemError, (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(back.programs, nullptr);
}

}  // namespace
