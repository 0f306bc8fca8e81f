// The real program under Wine with the demo instrument's sound variants: a sound
// shaped in the editor comes back after a restart, goes into .fxp and .fxb files
// and out of them into a fresh start, and bad files change nothing. The sound is
// heard in the test driver's recording: a note of the demo starts from silence at a
// block's start, so the same sound gives the same samples.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "audio/asio.h"
#include "audio/test_driver_registry.h"
#include "resources/resource_ids.h"
#include "support/demo_sound.h"
#include "support/korvane_settings.h"
#include "support/program_runner.h"
#include "support/program_ui.h"
#include "support/wav_file.h"

using namespace testing_support;

namespace {

const char kDriverName[] = "Korvane Sound E2E Driver";
const char kDriverClsid[] = "{3C7E9A14-8B2F-4D61-9E05-7A4B2C8D1F63}";
const int kRate = 44100;
const size_t kBytesPerSecond = (size_t)kRate * 2 * 4;  // the driver's recording: two float channels
const size_t kNoteFrames = kRate / 10;                // compared from each note's first sound

std::string appDataFolder() {
    char folder[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
    return std::string(folder) + "\\Korvane";
}

std::string lastSound() { return appDataFolder() + "\\last-sound.fxb"; }

bool exists(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void writeBytes(const std::string &path, const std::string &bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// The files the program wrote go to bin/sound-files with what they should hold, for
// the independent reader that runs after this suite.
std::string readerFolder() {
    std::string folder = exeFolder() + "\\sound-files";
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

void handToReader(const std::string &file, const std::string &name, const std::string &expected) {
    std::string to = readerFolder() + "\\" + name;
    ASSERT_TRUE(copyFileTo(file, to)) << file;
    writeBytes(to + ".expect", expected);
}

class SoundKeeping : public ::testing::Test {
protected:
    void SetUp() override {
        folder = tempFolder("sound-keeping");
        recording = folder + "\\driver-output.wav";
        clearKorvaneSettings();
        removeStoredSounds();
        testdriver::Config config;
        config.set("SampleType", ASIOSTFloat32LSB).set("Record", recording).set("Rates", std::string("44100,48000"))
            .set("CurrentRate", kRate);
        ASSERT_TRUE(testdriver::addChosenDriver(drivers, kDriverName, kDriverClsid, config, kRate));
    }
    void TearDown() override {
        clearKorvaneSettings();
        removeStoredSounds();
    }

    static void removeStoredSounds() {
        for (const char *name : {"last-sound.fxb", "last-sound-4B72764F.fxb", "last-sound-4B727658.fxb",
                                 "last-sound-unreadable.fxb"})
            DeleteFileA((appDataFolder() + "\\" + name).c_str());
    }

    // Starts the program with the demo in this variant and waits for its stream.
    HWND start(RunningProgram &program, const char *variant) {
        DeleteFileA(recording.c_str());
        if (!program.start(exeFolder(), {{"KORVANE_DEMO_VARIANT", variant}})) return nullptr;
        HWND window = program.waitForMainWindow();
        if (!window || !waitForFileSize(recording, 44 + kBytesPerSecond / 10)) return nullptr;
        return window;
    }

    static HWND editorOf(HWND window) { return FindWindowExA(window, nullptr, "KorvaneDemoEditor", nullptr); }

    // Note 48 (Z) held for a quarter of a second of driver time, then a pause; returns
    // the frame the recording had reached before the key went down.
    size_t play(HWND window) {
        size_t before = fileSize(recording);
        PostMessageA(window, WM_KEYDOWN, 'Z', keyParam(44, false));
        EXPECT_TRUE(waitForFileSize(recording, before + kBytesPerSecond / 4));
        size_t held = fileSize(recording);
        PostMessageA(window, WM_KEYUP, 'Z', keyParam(44, true));
        EXPECT_TRUE(waitForFileSize(recording, held + kBytesPerSecond / 6));
        return (before - 44) / 8;
    }

    // What the plays of the run that just ended sounded like, in their order.
    std::vector<std::vector<float>> heard(const std::vector<size_t> &plays) {
        WavData wav = readWav(recording);
        std::vector<std::vector<float>> notes;
        EXPECT_TRUE(wav.ok);
        for (size_t at : plays) {
            notes.push_back(wav.ok ? noteSamples(wav.samples[0], at, kNoteFrames) : std::vector<float>());
            EXPECT_EQ(notes.back().size(), kNoteFrames) << "no note after frame " << at;
        }
        return notes;
    }

    static void close(RunningProgram &program, HWND window) {
        PostMessageA(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(0, program.waitForExit());
    }

    // Through the system's file dialog: the name typed, then OK; returns once the dialog is gone.
    static void fileDialog(const RunningProgram &program, HWND window, int command, const std::string &path) {
        PostMessageA(window, WM_COMMAND, command, 0);
        HWND dialog = waitForDialog(program, window);
        ASSERT_NE(nullptr, dialog);
        HWND name = fileNameBox(dialog);
        ASSERT_NE(nullptr, name);
        SendMessageA(name, WM_SETTEXT, 0, (LPARAM)path.c_str());
        PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
        ASSERT_TRUE(waitUntil(program, [&] { return !IsWindow(dialog); }));
    }

    testdriver::ScopedDrivers drivers;
    std::string folder, recording;
};

// In the editor, as a user does: a program's box, then its level and timbre.
struct Shape {
    double programAt;  // where in the program row: box 0 ... 3 of four
    double level, timbre;
};

void shapeSound(HWND editor, const Shape &shape) {
    clickEditor(editor, demoSoundPoint(kDemoProgramRow, shape.programAt));
    clickEditor(editor, demoSoundPoint(kDemoLevelRow, shape.level));
    clickEditor(editor, demoSoundPoint(kDemoTimbreRow, shape.timbre));
}

// What the reader is to find of a shaped program: "<program> <level> <timbre>".
std::string expectation(int program, const Shape &shape) {
    return std::to_string(program) + " " + std::to_string(demoSoundValue(demoSoundPoint(kDemoLevelRow, shape.level).x)) +
           " " + std::to_string(demoSoundValue(demoSoundPoint(kDemoTimbreRow, shape.timbre).x)) + "\n";
}

}  // namespace

TEST_F(SoundKeeping, TheLastSoundComesBackAfterARestartAndAnotherInstrumentLeavesItAside) {
    const Shape shape = {0.9, 0.35, 0.8};  // "Hollow", quieter, another timbre
    for (const char *variant : {"sound-params", "sound-chunk"}) {
        SCOPED_TRACE(variant);
        removeStoredSounds();
        std::vector<std::vector<float>> first, second;
        {
            RunningProgram program;
            HWND window = start(program, variant);
            ASSERT_NE(nullptr, window);
            HWND editor = editorOf(window);
            ASSERT_NE(nullptr, editor);
            size_t plain = play(window);
            shapeSound(editor, shape);
            size_t shaped = play(window);
            close(program, window);
            first = heard({plain, shaped});
        }
        ASSERT_EQ(first.size(), 2u);
        ASSERT_NE(first[0], first[1]) << "the clicks did not change the sound";
        ASSERT_TRUE(exists(lastSound()));
        handToReader(lastSound(), std::string(variant) + "-last-sound.fxb", expectation(3, shape));
        {
            RunningProgram program;
            HWND window = start(program, variant);
            ASSERT_NE(nullptr, window);
            size_t again = play(window);
            close(program, window);
            second = heard({again});
        }
        EXPECT_EQ(second[0], first[1]) << "the restart did not give the sound back";

        // Another instrument beside the program: the stored sound is not given to it and
        // is set aside under its instrument's ID, whole.
        const std::string stored = readFile(lastSound());
        {
            RunningProgram program;
            HWND window = start(program, (std::string(variant) + ", other-id").c_str());
            ASSERT_NE(nullptr, window);
            size_t other = play(window);
            close(program, window);
            EXPECT_EQ(heard({other})[0], first[0]) << "another instrument did not start from its own sound";
        }
        EXPECT_EQ(readFile(appDataFolder() + "\\last-sound-4B72764F.fxb"), stored);
        EXPECT_EQ(readFile(lastSound()).substr(16, 4), "KrvX");  // now the other instrument's
    }

    // A stored sound cut short (a disk that failed): the instrument starts with its own
    // sound, and the start says why and where the file was set aside.
    const std::string whole = readFile(appDataFolder() + "\\last-sound-4B72764F.fxb");
    writeBytes(lastSound(), whole.substr(0, whole.size() / 2));
    RunningProgram program;
    ASSERT_TRUE(program.start(exeFolder(), {{"KORVANE_DEMO_VARIANT", "sound-chunk"}}));
    std::wstring text;
    HWND box = waitForMessageBox(program, &text);
    ASSERT_NE(nullptr, box);
    const std::string aside = appDataFolder() + "\\last-sound-unreadable.fxb";
    EXPECT_EQ(0u, text.find(L"The sound kept from the last run could not be given back"));
    EXPECT_NE(std::wstring::npos, text.find(std::wstring(aside.begin(), aside.end())));
    EXPECT_NE(std::wstring::npos, text.find(L"The file is cut short"));
    EXPECT_EQ(readFile(aside), whole.substr(0, whole.size() / 2));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    HWND window = program.waitForMainWindow();
    ASSERT_NE(nullptr, window);
    close(program, window);
}

TEST_F(SoundKeeping, SavedProgramAndBankFilesGiveAFreshStartTheSameSound) {
    const Shape soft = {0.3, 0.9, 0.3}, hollow = {0.9, 0.35, 0.8};
    for (const char *variant : {"sound-params", "sound-chunk"}) {
        SCOPED_TRACE(variant);
        removeStoredSounds();
        const std::string program = folder + "\\" + variant + ".fxp", bank = folder + "\\" + variant + ".fxb";
        DeleteFileA(program.c_str());
        DeleteFileA(bank.c_str());
        std::vector<std::vector<float>> shaped;
        {
            RunningProgram running;
            HWND window = start(running, variant);
            ASSERT_NE(nullptr, window);
            HWND editor = editorOf(window);
            ASSERT_NE(nullptr, editor);
            shapeSound(editor, soft);
            size_t softAt = play(window);
            shapeSound(editor, hollow);  // "Hollow" stays the current program
            size_t hollowAt = play(window);
            fileDialog(running, window, CMD_SAVE_SOUND, program);
            fileDialog(running, window, CMD_SAVE_SOUND, bank);
            ASSERT_TRUE(waitUntil(running, [&] { return exists(program) && exists(bank); }));
            close(running, window);
            shaped = heard({softAt, hollowAt});
        }
        handToReader(program, std::string(variant) + ".fxp", expectation(3, hollow));
        handToReader(bank, std::string(variant) + ".fxb", expectation(1, soft) + expectation(3, hollow));
        removeStoredSounds();  // a fresh start, with the instrument's own sound

        RunningProgram running;
        HWND window = start(running, variant);
        ASSERT_NE(nullptr, window);
        HWND editor = editorOf(window);
        ASSERT_NE(nullptr, editor);
        size_t fresh = play(window);
        fileDialog(running, window, CMD_LOAD_SOUND, program);  // into the current program
        size_t fromProgram = play(window);
        PostMessageA(window, WM_COMMAND, CMD_DEFAULT_SOUND, 0);
        size_t backToDefault = play(window);
        fileDialog(running, window, CMD_LOAD_SOUND, bank);  // every program, "Hollow" current
        size_t fromBank = play(window);
        clickEditor(editor, demoSoundPoint(kDemoProgramRow, soft.programAt));
        size_t softFromBank = play(window);
        EXPECT_EQ(1u, running.topLevelWindows().size()) << "a message came up";
        close(running, window);
        std::vector<std::vector<float>> notes = heard({fresh, fromProgram, backToDefault, fromBank, softFromBank});
        EXPECT_NE(notes[0], shaped[1]);
        EXPECT_EQ(notes[1], shaped[1]) << "the program file";
        EXPECT_EQ(notes[2], notes[0]) << "the default sound";
        EXPECT_EQ(notes[3], shaped[1]) << "the bank file";
        EXPECT_EQ(notes[4], shaped[0]) << "the bank's other program";
    }
}

TEST_F(SoundKeeping, BadFilesAreRefusedWithTheirReasonAndTheSoundStays) {
    const std::string good = folder + "\\good.fxp";
    DeleteFileA(good.c_str());
    RunningProgram running;
    HWND window = start(running, "sound-chunk");
    ASSERT_NE(nullptr, window);
    HWND editor = editorOf(window);
    ASSERT_NE(nullptr, editor);
    shapeSound(editor, {0.6, 0.5, 0.5});
    size_t before = play(window);
    fileDialog(running, window, CMD_SAVE_SOUND, good);
    ASSERT_TRUE(waitUntil(running, [&] { return exists(good); }));
    const std::string bytes = readFile(good);
    ASSERT_EQ(bytes.size(), 100u);  // the header, the chunk's size and the demo's 40-byte program chunk

    auto patched = [&](size_t at, const std::string &with) {
        std::string b = bytes;
        b.replace(at, with.size(), with);
        return b;
    };
    const std::string large = folder + "\\large.fxb";
    HANDLE file = CreateFileA(large.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    LARGE_INTEGER size;
    size.QuadPart = (LONGLONG)200 << 20;  // sparse: nothing of it is on the disk
    ASSERT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file));
    CloseHandle(file);
    struct Case {
        const char *name;
        std::string bytes;  // empty: the file is there already
        const wchar_t *says;
    } cases[] = {
        {"cut.fxp", bytes.substr(0, 40), L"The file is cut short"},
        {"sizes.fxp", patched(56, std::string("\x7f\xff\xff\xf0", 4)), L"too short for the sizes it declares"},
        {"other.fxp", patched(16, "KrvX"),
         L"another instrument (ID KrvX (4B727658)); the loaded instrument's ID is KrvO (4B72764F)"},
        {"sound.wav", std::string("RIFF\x24\0\0\0WAVEfmt ", 16) + std::string(28, '\0'), L"not a VST program (.fxp) or bank (.fxb)"},
        {"large.fxb", "", L"larger than 128 MB"},
        {"refused.fxp", patched(60, "XXXX"), L"The instrument refused the state in the file"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = folder + "\\" + c.name;
        if (!c.bytes.empty()) writeBytes(path, c.bytes);
        fileDialog(running, window, CMD_LOAD_SOUND, path);
        std::wstring text;
        HWND box = waitForMessageBox(running, &text);
        ASSERT_NE(nullptr, box);
        EXPECT_EQ(window, GetWindow(box, GW_OWNER));
        EXPECT_EQ(0u, text.find(L"Could not load the sound from this file; the instrument keeps its sound:"));
        EXPECT_NE(std::wstring::npos, text.find(std::wstring(path.begin(), path.end()))) << "the file is not named";
        EXPECT_NE(std::wstring::npos, text.find(c.says));
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(waitUntil(running, [&] { return !IsWindow(box); }));
    }
    size_t after = play(window);
    close(running, window);
    std::vector<std::vector<float>> notes = heard({before, after});
    EXPECT_EQ(notes[1], notes[0]) << "a refused file changed the sound";
    DeleteFileA(large.c_str());
}

// The sound dialogs open where a sound file was last chosen: at first in
// Documents\Korvane (a bare name lands there), then in the folder chosen, also after
// a restart.
TEST_F(SoundKeeping, TheSoundDialogsOpenInTheFolderLastUsed) {
    char documents[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents);
    const std::string first = std::string(documents) + "\\Korvane\\first-bare.fxp";
    const std::string third = folder + "\\third-bare.fxb";
    for (const std::string &path : {first, third}) DeleteFileA(path.c_str());
    for (int run = 0; run < 2; ++run) {
        RunningProgram running;
        HWND window = start(running, "sound-params");
        ASSERT_NE(nullptr, window);
        if (run == 0) {
            fileDialog(running, window, CMD_SAVE_SOUND, "first-bare.fxp");
            EXPECT_TRUE(waitUntil(running, [&] { return fileSize(first) > 0; })) << first;
            fileDialog(running, window, CMD_SAVE_SOUND, folder + "\\second.fxp");
        } else {
            fileDialog(running, window, CMD_SAVE_SOUND, "third-bare.fxb");
            EXPECT_TRUE(waitUntil(running, [&] { return fileSize(third) > 0; })) << "not in the folder last used";
        }
        close(running, window);
    }
    for (const std::string &path : {first, third}) DeleteFileA(path.c_str());
}
