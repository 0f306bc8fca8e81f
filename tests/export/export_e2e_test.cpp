// The real program under Wine with the demo instrument and the test ASIO driver: the
// export dialog opened by its command, keys clicked in the key control, a file name
// typed, Export pressed; then the files, and live playing afterwards.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <dlgs.h>
#include <shlobj.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "audio/asio.h"
#include "audio/test_driver_registry.h"
#include "export/dialog/key_control.h"
#include "export/formats/soundfont_file.h"
#include "export/reader_files.h"
#include "export/takes/export_choices.h"
#include "export/takes/export_timing.h"
#include "resources/resource_ids.h"
#include "support/korvane_settings.h"
#include "support/program_runner.h"
#include "support/program_ui.h"
#include "support/small_volume.h"
#include "support/wav_file.h"

using namespace testing_support;

namespace {

const char kDriverName[] = "Korvane Export E2E Driver";
const char kDriverClsid[] = "{3C0E7A91-5B2D-4F6A-8E13-9D4B2A6C7F05}";
const int kRate = 44100;
const size_t kBytesPerSecond = (size_t)kRate * 2 * 4;

double noteFrequency(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

HWND findDialog(const RunningProgram &program, const char *title) {
    for (HWND w : program.topLevelWindows())
        if (windowClass(w) == "#32770" && IsWindowVisible(w) && windowText(w) == title) return w;
    return nullptr;
}

// Exports the demo instrument's call log shows: each switches it to 512-frame blocks.
// Each export opens its own instance of the instrument (after the live one, opened at
// the start), so the entries called beyond the first count the exports of one key.
int exportsIn(const std::string &log) {
    int n = 0;
    for (const std::string &l : readLines(log)) n += l == "vstfx";
    return n > 0 ? n - 1 : 0;
}

struct ExportWait {
    std::vector<std::string> files;
    std::vector<size_t> sizes;
};

bool allWritten(const void *context) {
    const ExportWait &w = *(const ExportWait *)context;
    for (size_t i = 0; i < w.files.size(); ++i)
        if (fileSize(w.files[i]) < w.sizes[i]) return false;
    return true;
}

// A control's own text (GetWindowText does not ask controls of other processes).
std::string controlText(HWND control) {
    char text[512] = "";
    SendMessageA(control, WM_GETTEXT, sizeof text, (LPARAM)text);
    return text;
}

// The result under the piano: the counts, then the folder on a line of its own.
std::string resultOf(HWND dialog) {
    return controlText(GetDlgItem(dialog, IDC_EXPORT_RESULT)) + "\n" + controlText(GetDlgItem(dialog, IDC_EXPORT_FOLDER));
}

// A visible top-level window of a program other than this one whose title holds `part`.
struct OtherWindowSearch {
    DWORD notProcess;
    const char *part;
    HWND found;
};
BOOL CALLBACK matchOtherWindow(HWND w, LPARAM context) {
    OtherWindowSearch &s = *(OtherWindowSearch *)context;
    DWORD process = 0;
    GetWindowThreadProcessId(w, &process);
    if (process == s.notProcess || !IsWindowVisible(w) || windowText(w).find(s.part) == std::string::npos) return TRUE;
    s.found = w;
    return FALSE;
}
HWND windowOfAnotherProgram(const RunningProgram &program, const char *part) {
    OtherWindowSearch search = {program.processId(), part, nullptr};
    EnumWindows(matchOtherWindow, (LPARAM)&search);
    return search.found;
}

// Moves the pointer onto the key like a user; returns where.
LPARAM pointAtKey(HWND keys, int note) {
    RECT r;
    GetClientRect(keys, &r);
    KeyGeometry g = keyGeometry(r.right, r.bottom);
    int scroll = kKeyScrollStart;  // where the control opens
    for (int i = 0; i < kVisibleWhiteKeys; ++i) {
        if (whiteKeyNote(scroll, i) != note) continue;
        LPARAM at = MAKELPARAM(whiteKeyLeft(g, i) + g.keyWidth / 2, g.height - 4);
        SendMessageA(keys, WM_MOUSEMOVE, 0, at);
        return at;
    }
    ADD_FAILURE() << "note " << note << " is not a visible white key";
    return 0;
}

// Clicks the key: the pointer moves onto it, then the left button.
void clickKey(HWND keys, int note) {
    LPARAM at = pointAtKey(keys, note);
    SendMessageA(keys, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(keys, WM_LBUTTONUP, 0, at);
}

// Waits for a message box of the program and returns it.
HWND waitForMessageBox(const RunningProgram &program) {
    for (int i = 0; i < 3000; ++i) {
        HWND box = findDialog(program, "Korvane");
        if (box) return box;
        Sleep(10);
    }
    return nullptr;
}

// The export runs beside the dialog: it is over once Export is back in its place, the
// progress bar has gone and the result line, emptied when the export started, tells
// the result. (A short export can write its last byte before the dialog has even
// hidden Export for it.)
// The test driver chosen at 44100 Hz, recording its float output into the file.
bool addRecordingDriver(testdriver::ScopedDrivers &drivers, const std::string &recording) {
    testdriver::Config config;
    config.set("SampleType", ASIOSTFloat32LSB).set("Record", recording).set("Rates", std::string("44100"));
    config.set("CurrentRate", kRate);
    return testdriver::addChosenDriver(drivers, kDriverName, kDriverClsid, config, kRate);
}

bool waitForExportEnd(const RunningProgram &program, HWND dialog) {
    return waitUntil(program, [&] {
        return IsWindowVisible(GetDlgItem(dialog, IDC_EXPORT_START)) &&
               !IsWindowVisible(GetDlgItem(dialog, IDC_EXPORT_PROGRESS)) &&
               !controlText(GetDlgItem(dialog, IDC_EXPORT_RESULT)).empty();
    }, 60000);
}

}  // namespace

TEST(ExportEndToEnd, DialogExportsClickedKeysAndLivePlayingWorksAfterwards) {
    std::string work = tempFolder("export-e2e");
    std::string recording = work + "\\driver-output.wav", log = work + "\\calls.log";
    DeleteFileA(recording.c_str());
    clearKorvaneSettings();
    testdriver::ScopedDrivers drivers;
    ASSERT_TRUE(addRecordingDriver(drivers, recording));

    RunningProgram program;
    ASSERT_TRUE(program.start(exeFolder(), {{"KORVANE_DEMO_LOG", log}, {"KORVANE_DEMO_VARIANT", ""}}));
    HWND window = program.waitForMainWindow();
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(waitForFileSize(recording, 44 + kBytesPerSecond / 10));

    PostMessageA(window, WM_COMMAND, CMD_EXPORT, 0);
    HWND dialog = nullptr;
    for (int i = 0; i < 300 && !dialog; ++i) {
        WaitForInputIdle(program.process(), 1000);
        dialog = findDialog(program, "Export");
        if (!dialog) Sleep(10);
    }
    ASSERT_NE(nullptr, dialog);
    HWND keys = GetDlgItem(dialog, IDC_EXPORT_KEYS);
    HWND start = GetDlgItem(dialog, IDC_EXPORT_START);
    EXPECT_EQ("KeysClass", windowClass(keys));
    HWND progress = GetDlgItem(dialog, IDC_EXPORT_PROGRESS);
    EXPECT_FALSE(IsWindowVisible(progress));
    EXPECT_FALSE(IsWindowEnabled(start));  // no name, no keys

    // The right button auditions the key under the pointer on the plugin.
    size_t auditionAt = fileSize(recording);
    LPARAM middleC = pointAtKey(keys, 60);
    SendMessageA(keys, WM_RBUTTONDOWN, MK_RBUTTON, middleC);
    ASSERT_TRUE(waitForFileSize(recording, auditionAt + kBytesPerSecond * 4 / 10));
    SendMessageA(keys, WM_RBUTTONUP, 0, middleC);
    size_t auditionEnd = fileSize(recording);
    EXPECT_EQ("2000", controlText(GetDlgItem(dialog, IDC_EXPORT_HOLD)));
    EXPECT_EQ("44100 Hz", controlText(GetDlgItem(dialog, IDC_EXPORT_RATE)));

    // Browsing to a name ending in .SF2 puts it in the box and chooses SF2.
    PostMessageA(GetDlgItem(dialog, IDC_EXPORT_BROWSE), BM_CLICK, 0, 0);
    HWND open = nullptr;
    for (int i = 0; i < 3000 && !open; ++i) {
        for (HWND w : program.topLevelWindows())
            if (w != dialog && windowClass(w) == "#32770" && IsWindowVisible(w)) open = w;
        if (!open) Sleep(10);
    }
    ASSERT_NE(nullptr, open);
    std::string picked = readerFolder() + "\\Picked.SF2";
    SendMessageA(GetDlgItem(open, cmb13), WM_SETTEXT, 0, (LPARAM)picked.c_str());
    PostMessageA(open, WM_COMMAND, IDOK, 0);
    for (int i = 0; i < 3000 && IsWindow(open); ++i) Sleep(10);
    ASSERT_FALSE(IsWindow(open));
    EXPECT_EQ(picked, controlText(GetDlgItem(dialog, IDC_EXPORT_FILE)));
    HWND type = GetDlgItem(dialog, IDC_EXPORT_TYPE);
    EXPECT_EQ("SF2", controlText(type));
    SendMessageA(type, CB_SETCURSEL, 0, 0);  // back to WAV
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_EXPORT_TYPE, CBN_SELCHANGE), (LPARAM)type);
    SendMessageA(GetDlgItem(dialog, IDC_EXPORT_FILE), WM_SETTEXT, 0, (LPARAM) "");

    for (int note : {48, 55, 60}) clickKey(keys, note);
    EXPECT_FALSE(IsWindowEnabled(start));  // keys, but no name yet
    std::string base = readerFolder() + "\\dialog";
    SendMessageA(GetDlgItem(dialog, IDC_EXPORT_FILE), WM_SETTEXT, 0, (LPARAM)base.c_str());
    EXPECT_TRUE(IsWindowEnabled(start));
    SendMessageA(GetDlgItem(dialog, IDC_EXPORT_HOLD), WM_SETTEXT, 0, (LPARAM) "500");
    SendMessageA(GetDlgItem(dialog, IDC_EXPORT_RELEASE), WM_SETTEXT, 0, (LPARAM) "200");

    // Export: one WAV per key, 0.7 s each.
    const int frames = kRate * 7 / 10;
    ExportWait wait;
    for (const char *name : {"_C2.wav", "_G2.wav", "_C3.wav"}) {
        wait.files.push_back(base + name);
        wait.sizes.push_back(44 + (size_t)frames * 4);
    }
    PostMessageA(start, BM_CLICK, 0, 0);
    ASSERT_TRUE(waitForChangeIn(readerFolder(), allWritten, &wait, 60000));
    ASSERT_TRUE(waitForExportEnd(program, dialog));
    const int notes[3] = {48, 55, 60};
    for (int i = 0; i < 3; ++i) {
        WavData wav = readWav(wait.files[i]);
        ASSERT_TRUE(wav.ok) << wait.files[i];
        ASSERT_EQ(2, wav.channels);
        EXPECT_EQ((size_t)frames, wav.frames());
        double f = zeroCrossingFrequency(wav.samples[0], kRate, 0, kRate / 2 - 512);
        EXPECT_NEAR(noteFrequency(notes[i]), f, noteFrequency(notes[i]) * 0.01);
        addToManifest("wav " + wait.files[i].substr(readerFolder().size() + 1) + " 1 16 2 44100 " +
                      std::to_string(frames) + " " + std::to_string(notes[i]));
    }

    // The same keys as a SoundFont, chosen in the type list.
    SendMessageA(type, CB_SETCURSEL, 1, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_EXPORT_TYPE, CBN_SELCHANGE), (LPARAM)type);
    ExportWait font;
    font.files.push_back(base + ".sf2");
    font.sizes.push_back(soundFontLayout(6, frames).fileSize);
    PostMessageA(start, BM_CLICK, 0, 0);
    ASSERT_TRUE(waitForChangeIn(readerFolder(), allWritten, &font, 60000));
    ASSERT_TRUE(waitForExportEnd(program, dialog));
    EXPECT_EQ(font.sizes[0], fileSize(font.files[0]));
    addToManifest("sf2 dialog.sf2 44100 48 55 60");

    // A SoundFont that cannot be created (a folder has its name): one message, and the
    // dialog stays usable.
    std::string missing = readerFolder() + "\\blocked\\font";
    CreateDirectoryA((readerFolder() + "\\blocked").c_str(), nullptr);
    CreateDirectoryA((missing + ".sf2").c_str(), nullptr);
    SendMessageA(GetDlgItem(dialog, IDC_EXPORT_FILE), WM_SETTEXT, 0, (LPARAM)missing.c_str());
    PostMessageA(start, BM_CLICK, 0, 0);
    HWND box = waitForMessageBox(program);
    ASSERT_NE(nullptr, box);
    // It says so, names the file and gives the system's reason on the next line.
    const std::string said = "Could not create file.\n" + missing + ".sf2\n";
    bool saysIt = false;
    for (HWND child : childWindows(box)) {
        std::string text = controlText(child);
        saysIt = saysIt || (text.compare(0, said.size(), said) == 0 && text.size() > said.size());
    }
    EXPECT_TRUE(saysIt);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    for (int i = 0; i < 300 && IsWindow(box); ++i) Sleep(10);
    EXPECT_FALSE(IsWindow(box));
    RemoveDirectoryA((missing + ".sf2").c_str());
    RemoveDirectoryA((readerFolder() + "\\blocked").c_str());
    SendMessageA(GetDlgItem(dialog, IDC_EXPORT_FILE), WM_SETTEXT, 0, (LPARAM)(base + ".sf2").c_str());

    // Closed and opened again: the same choices and keys.
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    for (int i = 0; i < 300 && IsWindow(dialog); ++i) Sleep(10);
    ASSERT_FALSE(IsWindow(dialog));
    PostMessageA(window, WM_COMMAND, CMD_EXPORT, 0);
    dialog = nullptr;
    for (int i = 0; i < 300 && !dialog; ++i) {
        WaitForInputIdle(program.process(), 1000);
        dialog = findDialog(program, "Export");
        if (!dialog) Sleep(10);
    }
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(base + ".sf2", controlText(GetDlgItem(dialog, IDC_EXPORT_FILE)));
    EXPECT_EQ("SF2", controlText(GetDlgItem(dialog, IDC_EXPORT_TYPE)));
    EXPECT_EQ("500", controlText(GetDlgItem(dialog, IDC_EXPORT_HOLD)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_EXPORT_START)));

    // SFZ with two velocity layers, sustain loops and trimmed tails: the .sfz maps six
    // looped samples, written into the folder beside it.
    for (int id : {IDC_EXPORT_TYPE, IDC_EXPORT_LAYERS}) {
        HWND combo = GetDlgItem(dialog, id);
        SendMessageA(combo, CB_SETCURSEL, id == IDC_EXPORT_TYPE ? 2 : 1, 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), (LPARAM)combo);
    }
    PostMessageA(GetDlgItem(dialog, IDC_EXPORT_LOOP), BM_CLICK, 0, 0);
    PostMessageA(GetDlgItem(dialog, IDC_EXPORT_TRIM), BM_CLICK, 0, 0);
    ExportWait sfz;
    sfz.files.push_back(base + ".sfz");
    sfz.sizes.push_back(1);
    PostMessageA(GetDlgItem(dialog, IDC_EXPORT_START), BM_CLICK, 0, 0);
    ASSERT_TRUE(waitForChangeIn(readerFolder(), allWritten, &sfz, 60000));
    ASSERT_TRUE(waitForExportEnd(program, dialog));
    std::string sfzText = readFile(base + ".sfz");
    size_t looped = 0;
    for (size_t at = sfzText.find("loop_mode=loop_sustain"); at != std::string::npos;
         at = sfzText.find("loop_mode=loop_sustain", at + 1))
        ++looped;
    EXPECT_EQ(6u, looped) << sfzText;
    EXPECT_NE(std::string::npos, sfzText.find("sample=dialog/dialog_G2_v127.wav")) << sfzText;
    EXPECT_EQ("7 of 7 files written\n" + readerFolder() + "\\", resultOf(dialog));
    addToManifest("sfz dialog.sfz 44100 48 55 60");

    // The same set for Decent Sampler: the preset and its folder of samples.
    HWND types = GetDlgItem(dialog, IDC_EXPORT_TYPE);
    SendMessageA(types, CB_SETCURSEL, kExportDecentSampler, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_EXPORT_TYPE, CBN_SELCHANGE), (LPARAM)types);
    EXPECT_EQ("Decent Sampler", controlText(types));
    ExportWait preset;
    preset.files.push_back(base + ".dspreset");
    preset.sizes.push_back(1);
    PostMessageA(GetDlgItem(dialog, IDC_EXPORT_START), BM_CLICK, 0, 0);
    ASSERT_TRUE(waitForChangeIn(readerFolder(), allWritten, &preset, 60000));
    ASSERT_TRUE(waitForExportEnd(program, dialog));
    EXPECT_EQ("7 of 7 files written\n" + readerFolder() + "\\", resultOf(dialog));
    addToManifest("dspreset dialog.dspreset");
    addToManifest("loopguards dialog.dspreset 44100");
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    for (int i = 0; i < 300 && IsWindow(dialog); ++i) Sleep(10);

    // Live playing afterwards: Z plays note 48 into the driver's recording.
    size_t at = fileSize(recording);
    PostMessageA(window, WM_KEYDOWN, 'Z', keyParam(44, false));
    ASSERT_TRUE(waitForFileSize(recording, at + kBytesPerSecond * 4 / 10));
    PostMessageA(window, WM_KEYUP, 'Z', keyParam(44, true));
    ASSERT_TRUE(waitForFileSize(recording, fileSize(recording) + kBytesPerSecond / 5));
    PostMessageA(window, WM_CLOSE, 0, 0);
    ASSERT_EQ(0, program.waitForExit());
    WavData live = readWav(recording);
    ASSERT_TRUE(live.ok);
    std::vector<float> audition(live.samples[0].begin() + (long)((auditionAt - 44) / 8),
                                live.samples[0].begin() + (long)((auditionEnd - 44) / 8));
    size_t a0 = 0, a1 = 0;
    ASSERT_TRUE(loudRegion(audition, 0.05f, &a0, &a1)) << "the audition was not heard";
    EXPECT_NEAR(noteFrequency(60), zeroCrossingFrequency(audition, kRate, a0 + 441, a1), noteFrequency(60) * 0.01);
    size_t from = (at - 44) / 8, first = 0, last = 0;
    std::vector<float> after(live.samples[0].begin() + (long)from, live.samples[0].end());
    ASSERT_TRUE(loudRegion(after, 0.05f, &first, &last)) << "no note after the export";
    EXPECT_NEAR(noteFrequency(48), zeroCrossingFrequency(after, kRate, first + 441, last - 2205),
                noteFrequency(48) * 0.01);

    // The plugin ran at the export's rate and 512-frame blocks (the live instance and the
    // export's own, one run of them per export), then at the engine's again.
    std::vector<std::string> lines = readLines(log);
    int exportBlocks = 0, engineBlocksAfter = 0;
    bool inExport = false;
    for (const std::string &l : lines) {
        if (l.rfind("dispatch 11 0 ", 0) != 0) continue;
        const bool exporting = l == "dispatch 11 0 512 0";
        if (exporting && !inExport) ++exportBlocks;
        if (!exporting && exportBlocks) ++engineBlocksAfter;
        inExport = exporting;
    }
    EXPECT_EQ(5, exportBlocks);  // WAV, SoundFont, the one that could not be created, SFZ, Decent Sampler
    EXPECT_EQ(5, engineBlocksAfter);
    clearKorvaneSettings();
}

namespace {

void chooseInCombo(HWND dialog, int id, int item) {
    HWND combo = GetDlgItem(dialog, id);
    SendMessageA(combo, CB_SETCURSEL, item, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), (LPARAM)combo);
}

// The program with the demo instrument configured by the environment given, live on
// the test driver, with its export dialog open.
class ExportOtherInstruments : public ::testing::Test {
protected:
    void SetUp() override {
        work = tempFolder("export-other");
        log = work + "\\calls.log";
        clearKorvaneSettings();
        testdriver::Config config;
        config.set("SampleType", ASIOSTFloat32LSB).set("Rates", std::string("44100")).set("CurrentRate", kRate);
        ASSERT_TRUE(testdriver::addChosenDriver(drivers, kDriverName, kDriverClsid, config, kRate));
    }
    void TearDown() override {
        if (dialog) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        for (int i = 0; i < 300 && dialog && IsWindow(dialog); ++i) Sleep(10);
        if (window) {
            PostMessageA(window, WM_CLOSE, 0, 0);
            EXPECT_EQ(0, program.waitForExit());
        }
        clearKorvaneSettings();
    }

    // Starts the program and opens the export dialog with one key selected, hold 500 ms
    // and release 200 ms.
    void openExport(std::vector<std::pair<std::string, std::string>> env, int key) {
        env.push_back({"KORVANE_DEMO_LOG", log});
        ASSERT_TRUE(program.start(exeFolder(), env));
        window = program.waitForMainWindow();
        ASSERT_NE(nullptr, window);
        PostMessageA(window, WM_COMMAND, CMD_EXPORT, 0);
        for (int i = 0; i < 300 && !dialog; ++i) {
            WaitForInputIdle(program.process(), 1000);
            dialog = findDialog(program, "Export");
            if (!dialog) Sleep(10);
        }
        ASSERT_NE(nullptr, dialog);
        if (key >= 0) clickKey(GetDlgItem(dialog, IDC_EXPORT_KEYS), key);
        SendMessageA(GetDlgItem(dialog, IDC_EXPORT_HOLD), WM_SETTEXT, 0, (LPARAM) "500");
        SendMessageA(GetDlgItem(dialog, IDC_EXPORT_RELEASE), WM_SETTEXT, 0, (LPARAM) "200");
    }

    // Exports with the dialog's choices under that name; true once the file has its size.
    bool exportAs(const std::string &base, const std::string &file, size_t size) {
        SendMessageA(GetDlgItem(dialog, IDC_EXPORT_FILE), WM_SETTEXT, 0, (LPARAM)base.c_str());
        ExportWait wait;
        wait.files.push_back(file);
        wait.sizes.push_back(size);
        PostMessageA(GetDlgItem(dialog, IDC_EXPORT_START), BM_CLICK, 0, 0);
        return waitForChangeIn(readerFolder(), allWritten, &wait, 60000) && waitForExportEnd(program, dialog);
    }

    // The window with the keyboard focus in the program's GUI thread.
    HWND focus() {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        return GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) ? info.hwndFocus : nullptr;
    }
    // A key typed into the window with the focus, as the dialog's loop sees it.
    void type(WORD key) {
        HWND to = focus();
        PostMessageA(to, WM_KEYDOWN, key, 1);
        PostMessageA(to, WM_KEYUP, key, 1 | 3u << 30);
    }

    testdriver::ScopedDrivers drivers;
    RunningProgram program;
    HWND window = nullptr, dialog = nullptr;
    std::string work, log;
};

}  // namespace

// Without a mouse: Tab reaches the piano, End goes to the last MIDI key (127, past the
// octaves shown at first), Space selects it, and the export writes it. A name without
// a folder goes to Documents\Korvane (made when missing), which the dialog names.
TEST_F(ExportOtherInstruments, AKeyChosenOnThePianoByKeyboardIsExportedIntoDocuments) {
    char documents[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents);
    const std::string folder = std::string(documents) + "\\Korvane", file = folder + "\\by-keyboard_G8.wav";
    DeleteFileA(file.c_str());
    RemoveDirectoryA(folder.c_str());  // when empty
    openExport({{"KORVANE_DEMO_VARIANT", ""}}, -1);
    ASSERT_NE(nullptr, dialog);
    HWND keys = GetDlgItem(dialog, IDC_EXPORT_KEYS), start = GetDlgItem(dialog, IDC_EXPORT_START);
    SendMessageA(GetDlgItem(dialog, IDC_EXPORT_FILE), WM_SETTEXT, 0, (LPARAM) "by-keyboard");
    for (int i = 0; i < 30 && focus() != keys; ++i) {
        HWND before = focus();
        type(VK_TAB);
        ASSERT_TRUE(waitUntil(program, [&] { return focus() != before; }, 10000));
    }
    ASSERT_EQ(keys, focus()) << "Tab never reached the piano";
    type(VK_END);
    type(VK_SPACE);
    ASSERT_TRUE(waitUntil(program, [&] { return IsWindowEnabled(start) != FALSE; }, 10000)) << "no key was selected";
    const size_t size = 44 + (size_t)(kRate * 7 / 10) * 4;
    PostMessageA(start, BM_CLICK, 0, 0);
    const std::string said = "1 of 1 file written\n" + folder + "\\";
    ASSERT_TRUE(waitUntil(program, [&] { return resultOf(dialog) == said; }, 60000)) << resultOf(dialog);
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, IDC_EXPORT_OPEN_FOLDER)));
    // Open folder shows the folder in the file manager: a window of another program named after it.
    PostMessageA(GetDlgItem(dialog, IDC_EXPORT_OPEN_FOLDER), BM_CLICK, 0, 0);
    HWND manager = nullptr;
    EXPECT_TRUE(waitUntil(program, [&] { return (manager = windowOfAnotherProgram(program, "Korvane")) != nullptr; }))
        << "no file manager showed the folder";
    if (manager) PostMessageA(manager, WM_CLOSE, 0, 0);
    EXPECT_EQ(size, fileSize(file));
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((folder + "\\by-keyboard_*.wav").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    EXPECT_STREQ("by-keyboard_G8.wav", found.cFileName);
    EXPECT_FALSE(FindNextFileA(h, &found)) << "only the key chosen";
    FindClose(h);
    EXPECT_TRUE(CopyFileA(file.c_str(), (readerFolder() + "\\by-keyboard_G8.wav").c_str(), FALSE));
    addToManifest("wav by-keyboard_G8.wav 1 16 2 44100 " + std::to_string(kRate * 7 / 10) + " 127");
}

// A chord held with Sustain loop: keys an octave and a fifth apart loop at the period
// they share, with nothing to say under the result; a tempered triad shares none, and
// the line says so of the chord, once.
TEST_F(ExportOtherInstruments, AHeldChordLoopsOrTheLineSaysItsKeysShareNoPeriod) {
    openExport({{"KORVANE_DEMO_VARIANT", ""}}, 48);
    ASSERT_NE(nullptr, dialog);
    HWND keys = GetDlgItem(dialog, IDC_EXPORT_KEYS);
    clickKey(keys, 55);
    clickKey(keys, 60);
    SendMessageA(GetDlgItem(dialog, IDC_EXPORT_CHORD), BM_CLICK, 0, 0);
    SendMessageA(GetDlgItem(dialog, IDC_EXPORT_LOOP), BM_CLICK, 0, 0);
    const size_t size = 44 + (size_t)(kRate * 7 / 10) * 4;
    std::string fifth = readerFolder() + "\\chord-fifth", triad = readerFolder() + "\\chord-third";
    ASSERT_TRUE(exportAs(fifth, fifth + ".wav", size));
    EXPECT_EQ("", controlText(GetDlgItem(dialog, IDC_EXPORT_NOTES)));
    WavData looped = readWav(fifth + ".wav");
    ASSERT_EQ(1u, looped.loops.size());
    addToManifest("wavdata chord-fifth.wav 60 0 127 0 127 " + std::to_string(looped.loops[0].first) + " " +
                  std::to_string(looped.loops[0].second + 1));

    for (int key : {48, 55, 60}) clickKey(keys, key);  // off again
    for (int key : {60, 64, 67}) clickKey(keys, key);
    ASSERT_TRUE(exportAs(triad, triad + ".wav", size));
    EXPECT_EQ("the chord without a loop: its keys share no period to loop at",
              controlText(GetDlgItem(dialog, IDC_EXPORT_NOTES)));
    EXPECT_TRUE(readWav(triad + ".wav").loops.empty());
}

// The piano shows its cursor as soon as Tab brings the focus (a focus frame on the first
// C shown, before any arrow); Space selects that key, Delete clears the selection
// (Export disabled again); Enter in the name box presses Export, the default button.
TEST_F(ExportOtherInstruments, ThePianoShowsItsFocusAtOnceDeleteClearsAndEnterExports) {
    openExport({{"KORVANE_DEMO_VARIANT", ""}}, -1);
    ASSERT_NE(nullptr, dialog);
    HWND keys = GetDlgItem(dialog, IDC_EXPORT_KEYS), start = GetDlgItem(dialog, IDC_EXPORT_START);
    HWND name = GetDlgItem(dialog, IDC_EXPORT_FILE);
    const std::string base = readerFolder() + "\\by-enter";
    SendMessageA(name, WM_SETTEXT, 0, (LPARAM)base.c_str());
    // The top row of key 48's cell (where the focus frame is drawn), on the screen.
    RECT client;
    GetClientRect(keys, &client);
    const KeyGeometry g = keyGeometry(client.right, client.bottom);
    const int left = whiteKeyLeft(g, 0);
    // Counts the white and the black pixels along it (read from the screen: another
    // program's window gives no pixels of its own).
    auto pixels = [&](COLORREF colour) {
        HDC dc = GetDC(nullptr);
        POINT at = {left, 1};
        ClientToScreen(keys, &at);
        int n = 0;
        for (int x = 3; x < 3 * g.keyWidth / 4 - 2; ++x) n += GetPixel(dc, at.x + x, at.y) == colour;  // left of C#
        ReleaseDC(nullptr, dc);
        return n;
    };
    auto framed = [&] { return pixels(RGB(0, 0, 0)) > 0; };
    ASSERT_TRUE(waitUntil(program, [&] { return pixels(RGB(255, 255, 255)) > 0; })) << "the piano is not shown";
    EXPECT_FALSE(framed()) << "a frame before the piano has the focus";
    for (int i = 0; i < 30 && focus() != keys; ++i) {
        HWND before = focus();
        type(VK_TAB);
        ASSERT_TRUE(waitUntil(program, [&] { return focus() != before; }, 10000));
    }
    ASSERT_EQ(keys, focus()) << "Tab never reached the piano";
    EXPECT_TRUE(waitUntil(program, framed, 10000)) << "no focus frame until a key is pressed";

    type(VK_SPACE);
    ASSERT_TRUE(waitUntil(program, [&] { return IsWindowEnabled(start) != FALSE; }, 10000)) << "no key selected";
    type(VK_DELETE);
    EXPECT_TRUE(waitUntil(program, [&] { return IsWindowEnabled(start) == FALSE; }, 10000)) << "Delete kept the keys";
    type(VK_SPACE);
    ASSERT_TRUE(waitUntil(program, [&] { return IsWindowEnabled(start) != FALSE; }, 10000));

    PostMessageA(dialog, WM_NEXTDLGCTL, (WPARAM)name, TRUE);
    ASSERT_TRUE(waitUntil(program, [&] { return focus() == name; }, 10000));
    type(VK_RETURN);
    const int frames = kRate * 7 / 10;
    ExportWait wait;
    wait.files.push_back(base + "_C2.wav");
    wait.sizes.push_back(44 + (size_t)frames * 4);
    ASSERT_TRUE(waitForChangeIn(readerFolder(), allWritten, &wait, 60000) && waitForExportEnd(program, dialog))
        << "Enter did not export";
    addToManifest("wav by-enter_C2.wav 1 16 2 44100 " + std::to_string(frames) + " 48");
}

// Switched on for the export, a plugin made with a framework asks the host for its rate
// and block size and tunes by the answer: it must hear the export's 96000 Hz and 512.
TEST_F(ExportOtherInstruments, InstrumentAskingTheHostForItsRateExportsAt96kHzAtItsPitch) {
    openExport({{"KORVANE_DEMO_VARIANT", "rate-from-host"}}, 48);
    ASSERT_NE(nullptr, dialog);
    chooseInCombo(dialog, IDC_EXPORT_RATE, 7);
    EXPECT_EQ("96000 Hz", controlText(GetDlgItem(dialog, IDC_EXPORT_RATE)));
    const int rate = 96000, frames = rate * 7 / 10;
    std::string base = readerFolder() + "\\asks96k";
    ASSERT_TRUE(exportAs(base, base + "_C2.wav", 44 + (size_t)frames * 4));
    WavData wav = readWav(base + "_C2.wav");
    ASSERT_TRUE(wav.ok);
    EXPECT_EQ(rate, wav.sampleRate);
    ASSERT_EQ((size_t)frames, wav.frames());
    EXPECT_NEAR(noteFrequency(48), zeroCrossingFrequency(wav.samples[0], rate, 0, rate / 2 - 512),
                noteFrequency(48) * 0.01);
    addToManifest("wav asks96k_C2.wav 1 16 2 96000 " + std::to_string(frames) + " 48");

    // The same as a SoundFont, whose pitch FluidSynth checks.
    chooseInCombo(dialog, IDC_EXPORT_TYPE, 1);
    ASSERT_TRUE(exportAs(base, base + ".sf2", soundFontLayout(2, frames).fileSize));
    addToManifest("sf2 asks96k.sf2 96000 48");

    // Each export's answers, asked from within its resume at 96000 Hz and 512 frames.
    std::vector<std::string> answers;
    bool exporting = false;
    for (const std::string &l : readLines(log)) {
        if (l.rfind("dispatch 11 0 ", 0) == 0) exporting = l == "dispatch 11 0 512 0";
        if (exporting && (l.rfind("host 16 ", 0) == 0 || l.rfind("host 17 ", 0) == 0)) answers.push_back(l);
    }
    std::vector<std::string> expected;
    for (size_t i = 0; i < answers.size() / 2; ++i) expected.insert(expected.end(), {"host 16 96000", "host 17 512"});
    ASSERT_FALSE(answers.empty());
    EXPECT_EQ(expected, answers);
}

// An instrument that reads its rate only when it is opened and ignores later rates
// (live at 44100 Hz) exports at 96000 Hz at its pitch: the export renders on instances
// opened at the export's rate. The same with Instances at 1, as a SoundFont too.
TEST_F(ExportOtherInstruments, InstrumentReadingItsRateWhenOpenedExportsAt96kHzAtItsPitch) {
    openExport({{"KORVANE_DEMO_VARIANT", "rate-on-open"}}, 48);
    ASSERT_NE(nullptr, dialog);
    chooseInCombo(dialog, IDC_EXPORT_RATE, 7);
    const int rate = 96000, frames = rate * 7 / 10;
    std::string base = readerFolder() + "\\opened96k";
    for (int instances : {0, 1}) {
        chooseInCombo(dialog, IDC_EXPORT_INSTANCES, instances);
        DeleteFileA((base + "_C2.wav").c_str());
        ASSERT_TRUE(exportAs(base, base + "_C2.wav", 44 + (size_t)frames * 4));
        WavData wav = readWav(base + "_C2.wav");
        ASSERT_TRUE(wav.ok);
        EXPECT_EQ(rate, wav.sampleRate);
        EXPECT_NEAR(noteFrequency(48), zeroCrossingFrequency(wav.samples[0], rate, 0, rate / 2 - 512),
                    noteFrequency(48) * 0.01)
            << "Instances " << controlText(GetDlgItem(dialog, IDC_EXPORT_INSTANCES));
    }
    EXPECT_EQ("1", controlText(GetDlgItem(dialog, IDC_EXPORT_INSTANCES)));
    addToManifest("wav opened96k_C2.wav 1 16 2 96000 " + std::to_string(frames) + " 48");
    chooseInCombo(dialog, IDC_EXPORT_INSTANCES, 0);
    chooseInCombo(dialog, IDC_EXPORT_TYPE, 1);
    ASSERT_TRUE(exportAs(base, base + ".sf2", soundFontLayout(2, frames).fileSize));
    addToManifest("sf2 opened96k.sf2 96000 48");
}

// A single output is exported as it is: the same signal on both sides of a stereo file
// and at its full level in a mono one.
TEST_F(ExportOtherInstruments, OneOutputInstrumentExportsBothSidesAndMonoAtTheSameLevel) {
    openExport({{"KORVANE_DEMO_VARIANT", ""}, {"KORVANE_DEMO_CHANNELS", "0,1"}}, 60);
    ASSERT_NE(nullptr, dialog);
    const int frames = kRate * 7 / 10;
    std::string stereo = readerFolder() + "\\single-stereo", mono = readerFolder() + "\\single-mono";
    ASSERT_TRUE(exportAs(stereo, stereo + "_C3.wav", 44 + (size_t)frames * 4));
    chooseInCombo(dialog, IDC_EXPORT_CHANNELS, 0);
    ASSERT_TRUE(exportAs(mono, mono + "_C3.wav", 44 + (size_t)frames * 2));

    WavData both = readWav(stereo + "_C3.wav"), one = readWav(mono + "_C3.wav");
    ASSERT_TRUE(both.ok);
    ASSERT_TRUE(one.ok);
    ASSERT_EQ(2, both.channels);
    ASSERT_EQ(1, one.channels);
    EXPECT_TRUE(both.samples[0] == both.samples[1]) << "the right side differs from the left";
    float level = peak(both.samples[0], 0, both.frames());
    EXPECT_NEAR(0.25f, level, 0.25f * 0.02f);  // the demo's full level at velocity 127
    EXPECT_NEAR(level, peak(one.samples[0], 0, one.frames()), 2.0f / 32768);
    EXPECT_NEAR(noteFrequency(60), zeroCrossingFrequency(one.samples[0], kRate, 0, kRate / 2 - 512),
                noteFrequency(60) * 0.01);
    addToManifest("wav single-stereo_C3.wav 1 16 2 44100 " + std::to_string(frames) + " 60");
    addToManifest("wav single-mono_C3.wav 1 16 1 44100 " + std::to_string(frames) + " 60");
}

// Normalise and two variations chosen in the dialog: an instrument that varies gives
// two takes of the key, the set brought to -1 dBFS, and the line under the result
// gives the gain.
TEST_F(ExportOtherInstruments, NormaliseAndVariationsChosenInTheDialogAreSaidUnderTheResult) {
    openExport({{"KORVANE_DEMO_VARIANT", "vary"}}, 60);
    ASSERT_NE(nullptr, dialog);
    SendMessageA(GetDlgItem(dialog, IDC_EXPORT_NORMALISE), BM_CLICK, 0, 0);
    chooseInCombo(dialog, IDC_EXPORT_VARIATIONS, 1);
    const int frames = kRate * 7 / 10;
    std::string base = readerFolder() + "\\varied";
    ASSERT_TRUE(exportAs(base, base + "_C3_rr2.wav", 44 + (size_t)frames * 4));
    EXPECT_EQ("2 of 2 files written\n" + readerFolder() + "\\", resultOf(dialog));
    const std::string notes = controlText(GetDlgItem(dialog, IDC_EXPORT_NOTES));
    EXPECT_EQ(0u, notes.rfind("normalised by +", 0)) << notes;
    float loudest = 0.0f;
    for (const char *name : {"_C3.wav", "_C3_rr2.wav"}) {
        WavData wav = readWav(base + name);
        ASSERT_TRUE(wav.ok) << name;
        for (const auto &channel : wav.samples) loudest = std::max(loudest, peak(channel, 0, wav.frames()));
        addToManifest("wav varied" + std::string(name) + " 1 16 2 44100 " + std::to_string(frames) + " 60");
    }
    EXPECT_NEAR(-1.0, 20.0 * std::log10(loudest), 0.01);
}

// "Sustain loop" switched on brings the WAV key and loop data with it: the per-key WAV
// carries the loop found (sndfile-info reads it, see the checker); the data switched
// off again, the next WAV has no sampler chunk, while the loop stays chosen.
TEST_F(ExportOtherInstruments, SustainLoopBringsTheLoopIntoPerKeyWavsUntilSwitchedOff) {
    openExport({{"KORVANE_DEMO_VARIANT", ""}}, 60);
    ASSERT_NE(nullptr, dialog);
    HWND keyData = GetDlgItem(dialog, IDC_EXPORT_WAV_KEY_DATA), loop = GetDlgItem(dialog, IDC_EXPORT_LOOP);
    ASSERT_EQ(BST_UNCHECKED, SendMessageA(keyData, BM_GETCHECK, 0, 0));
    SendMessageA(loop, BM_CLICK, 0, 0);
    EXPECT_EQ(BST_CHECKED, SendMessageA(keyData, BM_GETCHECK, 0, 0));
    const int frames = kRate * 7 / 10;
    std::string looped = readerFolder() + "\\loop-on";
    ASSERT_TRUE(exportAs(looped, looped + "_C3.wav", 44 + (size_t)frames * 4));
    WavData wav = readWav(looped + "_C3.wav");
    ASSERT_TRUE(wav.ok);
    ASSERT_TRUE(wav.sampler) << "no smpl chunk";
    ASSERT_EQ(1u, wav.loops.size());
    EXPECT_LT(wav.loops[0].first, wav.loops[0].second);
    EXPECT_LE(wav.loops[0].second, (uint32_t)(kRate / 2)) << "the loop lies in the held part";
    EXPECT_EQ("", controlText(GetDlgItem(dialog, IDC_EXPORT_NOTES))) << "a steady key loops";
    addToManifest("wavdata loop-on_C3.wav 60 0 127 0 127 " + std::to_string(wav.loops[0].first) + " " +
                  std::to_string(wav.loops[0].second + 1));

    SendMessageA(keyData, BM_CLICK, 0, 0);
    EXPECT_EQ(BST_CHECKED, SendMessageA(loop, BM_GETCHECK, 0, 0));
    std::string plain = readerFolder() + "\\loop-without-data";
    ASSERT_TRUE(exportAs(plain, plain + "_C3.wav", 44 + (size_t)frames * 4));
    WavData bare = readWav(plain + "_C3.wav");
    ASSERT_TRUE(bare.ok);
    EXPECT_FALSE(bare.sampler);
}

// "..." opens where exports go: at first Documents\\Korvane (a name typed bare there
// is a file of that folder), then the folder the last export went to. The choices,
// the keys and that folder are back after a restart.
TEST_F(ExportOtherInstruments, TheFileDialogOpensInTheLastExportsFolderAndChoicesComeBackAfterARestart) {
    char documents[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents);
    const std::string korvane = std::string(documents) + "\\Korvane";
    openExport({{"KORVANE_DEMO_VARIANT", ""}}, 60);
    ASSERT_NE(nullptr, dialog);
    // A bare name typed into the file dialog.
    auto browse = [&](const char *typed) {
        PostMessageA(GetDlgItem(dialog, IDC_EXPORT_BROWSE), BM_CLICK, 0, 0);
        HWND files = waitForDialog(program, dialog);
        if (!files) return std::string("<no file dialog>");
        SendMessageA(fileNameBox(files), WM_SETTEXT, 0, (LPARAM)typed);
        PostMessageA(GetDlgItem(files, IDOK), BM_CLICK, 0, 0);
        waitUntil(program, [&] { return !IsWindow(files); });
        return controlText(GetDlgItem(dialog, IDC_EXPORT_FILE));
    };
    EXPECT_EQ(korvane + "\\browsed.wav", browse("browsed"));
    chooseInCombo(dialog, IDC_EXPORT_TYPE, 1);
    chooseInCombo(dialog, IDC_EXPORT_FORMAT, 1);
    chooseInCombo(dialog, IDC_EXPORT_LAYERS, 1);
    SendMessageA(GetDlgItem(dialog, IDC_EXPORT_VELOCITY), WM_SETTEXT, 0, (LPARAM) "100");
    clickKey(GetDlgItem(dialog, IDC_EXPORT_KEYS), 64);
    const int frames = kRate * 7 / 10;
    std::string base = readerFolder() + "\\kept";
    ASSERT_TRUE(exportAs(base, base + ".sf2", soundFontLayout(8, frames, 0, 8, true).fileSize));
    addToManifest("sf2deep kept.sf2 44100 60 64");
    EXPECT_EQ(readerFolder() + "\\again.sf2", browse("again.sf2"));

    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(waitUntil(program, [&] { return !IsWindow(dialog); }));
    dialog = nullptr;
    PostMessageA(window, WM_CLOSE, 0, 0);
    ASSERT_EQ(0, program.waitForExit());
    window = nullptr;

    openExport({{"KORVANE_DEMO_VARIANT", ""}}, -1);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(readerFolder() + "\\again.sf2", controlText(GetDlgItem(dialog, IDC_EXPORT_FILE)));
    EXPECT_EQ("SF2", controlText(GetDlgItem(dialog, IDC_EXPORT_TYPE)));
    EXPECT_EQ(2, SendMessageA(GetDlgItem(dialog, IDC_EXPORT_FORMAT), CB_GETCOUNT, 0, 0)) << "no float for a SoundFont";
    EXPECT_EQ(1, SendMessageA(GetDlgItem(dialog, IDC_EXPORT_FORMAT), CB_GETCURSEL, 0, 0));
    EXPECT_EQ("2", controlText(GetDlgItem(dialog, IDC_EXPORT_LAYERS)));
    EXPECT_EQ("100", controlText(GetDlgItem(dialog, IDC_EXPORT_VELOCITY)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_EXPORT_START))) << "the keys are selected again";
    // A bare name in the box: the dialog opens in the folder the last export went to.
    SendMessageA(GetDlgItem(dialog, IDC_EXPORT_FILE), WM_SETTEXT, 0, (LPARAM) "plain");
    EXPECT_EQ(readerFolder() + "\\next.wav", browse("next"));
}

// A name the files cannot have is refused before anything renders, saying why; a
// folder that does not exist is made with the folders above it, or refused with the
// system's reason when it cannot be.
TEST_F(ExportOtherInstruments, NamesAreJudgedAndFoldersMadeBeforeAnythingRenders) {
    const std::string blocker = readerFolder() + "\\a-file";
    HANDLE file = CreateFileA(blocker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    CloseHandle(file);
    openExport({{"KORVANE_DEMO_VARIANT", ""}}, 48);
    ASSERT_NE(nullptr, dialog);
    struct Case {
        std::string name, message;
    } cases[] = {
        {"a:b?.wav", "The name cannot contain the character ?: file names cannot hold any of"},
        {" ", "Type a name for the files: a name of only blanks or dots"},
        {readerFolder() + "\\Con.wav", "The name cannot contain \"Con.wav\": Windows keeps CON"},
        {blocker + "\\sub\\pad", "The folder " + blocker + "\\sub could not be made, so nothing was exported:\n"},
    };
    for (const Case &c : cases) {
        SendMessageA(GetDlgItem(dialog, IDC_EXPORT_FILE), WM_SETTEXT, 0, (LPARAM)c.name.c_str());
        PostMessageA(GetDlgItem(dialog, IDC_EXPORT_START), BM_CLICK, 0, 0);
        HWND box = nullptr;
        ASSERT_TRUE(waitUntil(program, [&] { return (box = ownedDialog(program, dialog)) != nullptr; })) << c.name;
        std::string text = controlText(GetDlgItem(box, 0xFFFF));
        EXPECT_EQ(0u, text.find(c.message)) << text;
        EXPECT_GT(text.size(), c.message.size()) << "the reason follows";
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(waitUntil(program, [&] { return !IsWindow(box); }));
        EXPECT_EQ(0, exportsIn(log)) << c.name << ": rendered";
        EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, IDC_EXPORT_START)));
    }
    // Two folders that do not exist yet are made, and the file goes into them.
    const std::string made = readerFolder() + "\\made", deeper = made + "\\deeper";
    const std::string wav = deeper + "\\pad_C2.wav";
    DeleteFileA(wav.c_str());
    RemoveDirectoryA(deeper.c_str());
    RemoveDirectoryA(made.c_str());
    const size_t size = 44 + (size_t)(kRate * 7 / 10) * 4;
    SendMessageA(GetDlgItem(dialog, IDC_EXPORT_FILE), WM_SETTEXT, 0, (LPARAM)(deeper + "\\pad").c_str());
    PostMessageA(GetDlgItem(dialog, IDC_EXPORT_START), BM_CLICK, 0, 0);
    ASSERT_TRUE(waitForExportEnd(program, dialog));
    EXPECT_EQ(size, fileSize(wav));
    EXPECT_EQ(1, exportsIn(log));
    DeleteFileA(wav.c_str());
    RemoveDirectoryA(deeper.c_str());
    RemoveDirectoryA(made.c_str());
    DeleteFileA(blocker.c_str());
}

// A folder running out of space: the files that could not be written completely are
// removed, the result counts what is on the disk, each failed file is named with the
// system's reason; an SFZ set whose samples failed keeps no .sfz naming them.
TEST_F(ExportOtherInstruments, AFullDiskLeavesOnlyCompleteFilesAndNoSetFileNamingMissingSamples) {
    SmallVolume volume(400);  // room for three of the six files (121 KiB each)
    if (!volume.mounted()) GTEST_SKIP() << "cannot mount a small volume: " << volume.why();
    openExport({{"KORVANE_DEMO_VARIANT", ""}}, 48);
    ASSERT_NE(nullptr, dialog);
    HWND keys = GetDlgItem(dialog, IDC_EXPORT_KEYS);
    for (int note : {50, 52, 53, 55, 57}) clickKey(keys, note);
    const size_t size = 44 + (size_t)(kRate * 7 / 10) * 4;
    wchar_t diskFull[256] = L"";
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_DISK_FULL, 0, diskFull,
                   256, nullptr);
    std::wstring reason(diskFull);
    while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r')) reason.pop_back();
    ASSERT_FALSE(reason.empty());

    struct Case {
        int type;              // in the type list
        const char *name;      // typed
        const char *folder;    // where its files go in the volume
        const char *setFile;   // the set's own file, never left naming missing samples
    } cases[] = {{0, "full", "", nullptr}, {2, "fullset", "fullset\\", "fullset.sfz"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::string &f : filesMatching(volume.folder() + "\\*.wav"))
            DeleteFileA((volume.folder() + "\\" + f).c_str());
        chooseInCombo(dialog, IDC_EXPORT_TYPE, c.type);
        SendMessageA(GetDlgItem(dialog, IDC_EXPORT_FILE), WM_SETTEXT, 0,
                     (LPARAM)(volume.folder() + "\\" + c.name).c_str());
        PostMessageA(GetDlgItem(dialog, IDC_EXPORT_START), BM_CLICK, 0, 0);
        HWND box = nullptr;
        ASSERT_TRUE(waitUntil(program, [&] { return (box = ownedDialog(program, dialog)) != nullptr; }, 60000));
        std::wstring message = windowTextW(GetDlgItem(box, 0xFFFF));
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(waitForExportEnd(program, dialog));

        // On the disk: only complete files, as many as the result says.
        const std::string folder = volume.folder() + "\\" + c.folder;
        std::vector<std::string> kept = filesMatching(folder + "*.wav");
        for (std::string &f : kept) f = folder + f;
        for (const std::string &f : kept) {
            WavData wav = readWav(f);
            EXPECT_TRUE(wav.ok) << f;
            EXPECT_EQ((size_t)(kRate * 7 / 10), wav.frames()) << f;
            EXPECT_EQ(c.setFile ? fileSize(kept[0]) : size, fileSize(f)) << f;  // the sampler chunks' size alike
        }
        ASSERT_GT(kept.size(), 0u);
        ASSERT_LT(kept.size(), 6u);
        const int planned = c.setFile ? 7 : 6;
        const std::string result = controlText(GetDlgItem(dialog, IDC_EXPORT_RESULT));
        EXPECT_EQ(0u, result.find(std::to_string(kept.size()) + " of " + std::to_string(planned) + " files written"))
            << result;
        if (c.setFile) {
            EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((volume.folder() + "\\" + c.setFile).c_str()));
        }

        // The message: how many failed and why, each file named with the system's reason.
        const int failed = planned - (int)kept.size();
        EXPECT_EQ(0u, message.find(std::to_wstring(failed) + L" of " + std::to_wstring(planned) +
                                   L" files were not written:")) << std::string(message.begin(), message.end());
        EXPECT_NE(std::wstring::npos, message.find(L"could not be written completely"));
        std::wstring firstFailed = L"\n" + std::wstring(volume.folder().begin(), volume.folder().end()) + L"\\";
        size_t named = message.find(firstFailed);
        ASSERT_NE(std::wstring::npos, named) << "no file named";
        size_t lineEnd = message.find(L'\n', named + 1);
        ASSERT_NE(std::wstring::npos, lineEnd);
        EXPECT_EQ(0u, message.compare(lineEnd + 1, reason.size(), reason)) << "the first file named has no reason";
        if (c.setFile) {
            EXPECT_NE(std::wstring::npos, message.find(L"1 set file was left out"));
        }
    }
}

namespace {

// The program live on the test driver (its output recorded) with the demo instrument
// set to stall at one block of an export until the test lets it go on: meanwhile the
// test looks at the dialog and the program.
class ExportBesideTheDialog : public ::testing::Test {
protected:
    void SetUp() override {
        work = tempFolder("export-beside");
        recording = work + "\\driver-output.wav";
        log = work + "\\calls.log";
        clearKorvaneSettings();
        ASSERT_TRUE(addRecordingDriver(drivers, recording));
        eventName = "KorvaneExportStall" + std::to_string(GetCurrentProcessId());
        stallEvent = CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
        ASSERT_NE(nullptr, stallEvent);
    }
    void TearDown() override {
        SetEvent(stallEvent);
        CloseHandle(stallEvent);
        if (program.process() && WaitForSingleObject(program.process(), 0) == WAIT_TIMEOUT && window) {
            PostMessageA(window, WM_CLOSE, 0, 0);
            program.waitForExit();
        }
        clearKorvaneSettings();
    }

    // Starts the program, stalling at this block counted from the export's first
    // note-on, and opens the export dialog with the keys selected, hold 200 ms and
    // release 100 ms, the files named after baseName in the readers' folder.
    void openExport(int stallBlock, std::initializer_list<int> notes, const char *baseName) {
        ASSERT_TRUE(program.start(exeFolder(), {{"KORVANE_DEMO_LOG", log},
                                                {"KORVANE_DEMO_VARIANT", ""},
                                                {"KORVANE_DEMO_STALL_BLOCKS", std::to_string(stallBlock)},
                                                {"KORVANE_DEMO_STALL_EVENT", eventName}}));
        window = program.waitForMainWindow();
        ASSERT_NE(nullptr, window);
        ASSERT_TRUE(waitForFileSize(recording, 44 + kBytesPerSecond / 10));
        PostMessageA(window, WM_COMMAND, CMD_EXPORT, 0);
        ASSERT_TRUE(waitUntil(program, [&] { return (dialog = findDialog(program, "Export")) != nullptr; }));
        for (int note : notes) clickKey(control(IDC_EXPORT_KEYS), note);
        base = readerFolder() + "\\" + baseName;
        SendMessageA(control(IDC_EXPORT_FILE), WM_SETTEXT, 0, (LPARAM)base.c_str());
        SendMessageA(control(IDC_EXPORT_HOLD), WM_SETTEXT, 0, (LPARAM) "200");
        SendMessageA(control(IDC_EXPORT_RELEASE), WM_SETTEXT, 0, (LPARAM) "100");
        // On one instance, whose blocks the stall counts take after take.
        chooseInCombo(dialog, IDC_EXPORT_INSTANCES, 1);
    }

    HWND control(int id) const { return GetDlgItem(dialog, id); }

    // The message box the dialog owns, and its text.
    HWND waitForBox(std::string *text) {
        HWND box = nullptr;
        waitUntil(program, [&] { return (box = ownedDialog(program, dialog)) != nullptr; });
        if (box) *text = controlText(GetDlgItem(box, 0xFFFF));
        return box;
    }

    // Blocks rendered from the first note-on of an export to the start of take n (0 for the first).
    static int takeStart(int n) {
        ExportTiming t = exportTiming(3, 200, 100);
        return n * ((t.totalFrames + kExportBlock - 1) / kExportBlock + flushBlocks(t.rate));
    }

    int exportsInLog() const { return exportsIn(log); }

    testdriver::ScopedDrivers drivers;
    RunningProgram program;
    HWND window = nullptr, dialog = nullptr;
    HANDLE stallEvent = nullptr;
    std::string work, recording, log, base, eventName;
};

const size_t kKeyFileBytes = 44 + (size_t)(kRate * 3 / 10) * 4;  // 300 ms of stereo 16-bit

}  // namespace

// Cancel during the third of five keys: the two finished files stay, the third's take
// is dropped before it becomes a file, the rest never made; the end message says so;
// live sound comes back.
TEST_F(ExportBesideTheDialog, CancelKeepsFinishedKeysRemovesTheTakeBeingMadeAndSoundReturns) {
    openExport(takeStart(2) + 5, {48, 50, 52, 53, 55}, "cancelled");
    ASSERT_NE(nullptr, dialog);
    PostMessageA(control(IDC_EXPORT_START), BM_CLICK, 0, 0);
    ASSERT_TRUE(waitForLogLine(log, "stall"));

    // Meanwhile: the progress line, Cancel in Export's place, the recorder refused with a reason.
    EXPECT_TRUE(
        waitUntil(program, [&] { return controlText(control(IDC_EXPORT_STATUS)).rfind("Take 3 of 5: E2", 0) == 0; }))
        << controlText(control(IDC_EXPORT_STATUS));
    EXPECT_FALSE(IsWindowVisible(control(IDC_EXPORT_START)));
    EXPECT_FALSE(IsWindowEnabled(control(IDC_EXPORT_START)));
    EXPECT_TRUE(IsWindowVisible(control(IDC_EXPORT_CANCEL)));
    EXPECT_EQ("Cancel", controlText(control(IDC_EXPORT_CANCEL)));
    PostMessageA(control(IDC_EXPORT_START), BM_CLICK, 0, 0);  // never a second export
    PostMessageA(window, WM_COMMAND, CMD_RECORD, 0);
    EXPECT_TRUE(waitUntil(program, [&] { return windowText(statusLine(window)) == "Not available while an export runs."; }))
        << windowText(statusLine(window));
    EXPECT_EQ(kKeyFileBytes, fileSize(base + "_C2.wav"));
    EXPECT_EQ(kKeyFileBytes, fileSize(base + "_D2.wav"));
    // A take's file is made once the take is rendered.
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((base + "_E2.wav").c_str()));

    // Cancel answers once the double-click time is over; the stalled block then completes.
    ASSERT_TRUE(waitUntil(program, [&] { return IsWindowEnabled(control(IDC_EXPORT_CANCEL)) != 0; }));
    PostMessageA(control(IDC_EXPORT_CANCEL), BM_CLICK, 0, 0);
    ASSERT_TRUE(waitUntil(program, [&] { return !IsWindowEnabled(control(IDC_EXPORT_CANCEL)); }));
    SetEvent(stallEvent);
    std::string text;
    HWND box = waitForBox(&text);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ("The export was cancelled. 2 of 5 files were written.", text);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(waitForExportEnd(program, dialog));
    EXPECT_EQ("2 of 5 files written\n" + readerFolder() + "\\", resultOf(dialog));

    EXPECT_EQ(kKeyFileBytes, fileSize(base + "_C2.wav"));
    EXPECT_EQ(kKeyFileBytes, fileSize(base + "_D2.wav"));
    for (const char *gone : {"_E2.wav", "_F2.wav", "_G2.wav"})
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((base + gone).c_str())) << gone;
    EXPECT_EQ(1, exportsInLog());
    EXPECT_TRUE(IsWindowEnabled(control(IDC_EXPORT_START)));
    addToManifest("wav cancelled_C2.wav 1 16 2 44100 13230 48");
    addToManifest("wav cancelled_D2.wav 1 16 2 44100 13230 50");

    // Sound returns: Z plays note 48 on the driver again.
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(waitUntil(program, [&] { return !IsWindow(dialog); }));
    size_t at = fileSize(recording);
    PostMessageA(window, WM_KEYDOWN, 'Z', keyParam(44, false));
    ASSERT_TRUE(waitForFileSize(recording, at + kBytesPerSecond * 4 / 10));
    PostMessageA(window, WM_KEYUP, 'Z', keyParam(44, true));
    PostMessageA(window, WM_CLOSE, 0, 0);
    ASSERT_EQ(0, program.waitForExit());
    WavData live = readWav(recording);
    ASSERT_TRUE(live.ok);
    std::vector<float> after(live.samples[0].begin() + (long)((at - 44) / 8), live.samples[0].end());
    size_t first = 0, last = 0;
    ASSERT_TRUE(loudRegion(after, 0.05f, &first, &last)) << "no note after the cancelled export";
    EXPECT_NEAR(noteFrequency(48), zeroCrossingFrequency(after, kRate, first + 441, last - 2205),
                noteFrequency(48) * 0.01);
}

// While a take renders the dialog answers; closing the program or the dialog asks
// whether to cancel, No keeps the export going, Yes ends it before the dialog closes.
TEST_F(ExportBesideTheDialog, DialogAnswersWhileATakeRendersAndClosingAsksFirst) {
    openExport(takeStart(0) + 3, {60, 62}, "closed");
    ASSERT_NE(nullptr, dialog);
    PostMessageA(control(IDC_EXPORT_START), BM_CLICK, 0, 0);
    ASSERT_TRUE(waitForLogLine(log, "stall"));
    // The plugin is inside its process call until the event is set, and the dialog answers.
    DWORD_PTR answer = 0;
    char title[64] = "";
    ASSERT_NE(0, SendMessageTimeoutA(dialog, WM_GETTEXT, sizeof title, (LPARAM)title, SMTO_ABORTIFHUNG, 30000, &answer));
    EXPECT_STREQ("Export", title);
    EXPECT_TRUE(waitUntil(program, [&] { return controlText(control(IDC_EXPORT_STATUS)) == "Take 1 of 2: C3"; }))
        << controlText(control(IDC_EXPORT_STATUS));

    // Closing the program asks; No keeps the export.
    PostMessageA(window, WM_CLOSE, 0, 0);
    std::string text;
    HWND box = waitForBox(&text);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(0u, text.find("An export is running. Cancel it?")) << text;
    PostMessageA(box, WM_COMMAND, IDNO, 0);
    ASSERT_TRUE(waitUntil(program, [&] { return !IsWindow(box); }));
    EXPECT_TRUE(IsWindow(window));
    EXPECT_TRUE(IsWindowVisible(control(IDC_EXPORT_CANCEL)));

    // Closing the dialog asks too; Yes cancels, and the dialog closes once the export has ended.
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    box = waitForBox(&text);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(0u, text.find("An export is running. Cancel it?")) << text;
    PostMessageA(box, WM_COMMAND, IDYES, 0);
    ASSERT_TRUE(waitUntil(program, [&] { return !IsWindow(box); }));
    EXPECT_TRUE(IsWindow(dialog));  // waiting for the stalled block
    SetEvent(stallEvent);
    ASSERT_TRUE(waitUntil(program, [&] { return !IsWindow(dialog); }));
    // A take's file is complete or gone, never cut short.
    for (const char *name : {"_C3.wav", "_D3.wav"}) {
        DWORD attributes = GetFileAttributesA((base + name).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            EXPECT_EQ(kKeyFileBytes, fileSize(base + name)) << name;
        }
    }
    EXPECT_EQ(1, exportsInLog());
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, program.waitForExit());
}

// The dialog closed during an export: after Yes it stays until the export has ended,
// then closes, and the main window's status line says what was kept and where.
TEST_F(ExportBesideTheDialog, ClosedDuringAnExportTheStatusLineSaysWhatWasKept) {
    openExport(takeStart(1) + 3, {48, 50, 52}, "kept");
    ASSERT_NE(nullptr, dialog);
    PostMessageA(control(IDC_EXPORT_START), BM_CLICK, 0, 0);
    ASSERT_TRUE(waitForLogLine(log, "stall"));
    EXPECT_TRUE(waitUntil(program, [&] { return fileSize(base + "_C2.wav") == kKeyFileBytes; }));
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    std::string text;
    HWND box = waitForBox(&text);
    ASSERT_NE(nullptr, box);
    PostMessageA(box, WM_COMMAND, IDYES, 0);
    ASSERT_TRUE(waitUntil(program, [&] { return !IsWindow(box); }));
    EXPECT_TRUE(IsWindow(dialog));  // until the stalled block has been rendered
    SetEvent(stallEvent);
    ASSERT_TRUE(waitUntil(program, [&] { return !IsWindow(dialog); }));
    const std::string said = "Export cancelled: 1 of 3 files kept in " + readerFolder() + "\\";
    EXPECT_TRUE(waitUntil(program, [&] { return windowText(statusLine(window)) == said; }))
        << windowText(statusLine(window));
    EXPECT_EQ(kKeyFileBytes, fileSize(base + "_C2.wav"));
    for (const char *gone : {"_D2.wav", "_E2.wav"})
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((base + gone).c_str())) << gone;
    DeleteFileA((base + "_C2.wav").c_str());
}

// The question whether to cancel, left open while the export ends: with nothing left to
// cancel it closes by itself, and the dialog shows the result of the whole export.
TEST_F(ExportBesideTheDialog, AQuestionLeftOpenWhenTheExportEndsClosesAndTheResultShows) {
    openExport(takeStart(0) + 3, {60, 62}, "answered");
    ASSERT_NE(nullptr, dialog);
    PostMessageA(control(IDC_EXPORT_START), BM_CLICK, 0, 0);
    ASSERT_TRUE(waitForLogLine(log, "stall"));
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    std::string text;
    HWND box = waitForBox(&text);
    ASSERT_NE(nullptr, box);
    SetEvent(stallEvent);
    ASSERT_TRUE(waitUntil(program, [&] { return !IsWindow(box); })) << "the question stayed";
    ASSERT_TRUE(waitForExportEnd(program, dialog));
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_EQ("2 of 2 files written\n" + readerFolder() + "\\", resultOf(dialog));
    EXPECT_EQ(nullptr, ownedDialog(program, dialog)) << "no message: every file was written";
    for (const char *name : {"_C3.wav", "_D3.wav"}) EXPECT_EQ(kKeyFileBytes, fileSize(base + name)) << name;
}

// With two velocity layers the dialog counts the plan's takes (keys x layers): the
// progress bar's range, its position and the line name the take and its velocity.
TEST_F(ExportBesideTheDialog, ProgressCountsTheTakesOfEveryLayer) {
    openExport(takeStart(3) + 3, {48, 50}, "layered-progress");
    ASSERT_NE(nullptr, dialog);
    SendMessageA(control(IDC_EXPORT_LAYERS), CB_SETCURSEL, 1, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_EXPORT_LAYERS, CBN_SELCHANGE), (LPARAM)control(IDC_EXPORT_LAYERS));
    PostMessageA(control(IDC_EXPORT_START), BM_CLICK, 0, 0);
    ASSERT_TRUE(waitForLogLine(log, "stall"));
    EXPECT_TRUE(waitUntil(program, [&] {
        return controlText(control(IDC_EXPORT_STATUS)).rfind("Take 4 of 4: D2 at velocity 127", 0) == 0;
    })) << controlText(control(IDC_EXPORT_STATUS));
    EXPECT_EQ(4, (int)SendMessageA(control(IDC_EXPORT_PROGRESS), PBM_GETRANGE, FALSE, 0));
    EXPECT_EQ(4, (int)SendMessageA(control(IDC_EXPORT_PROGRESS), PBM_GETPOS, 0, 0));
    SetEvent(stallEvent);
    ASSERT_TRUE(waitForExportEnd(program, dialog));
    EXPECT_EQ("4 of 4 files written\n" + readerFolder() + "\\", resultOf(dialog));
    for (const char *name : {"_C2_v64.wav", "_C2_v127.wav", "_D2_v64.wav", "_D2_v127.wav"})
        EXPECT_EQ(kKeyFileBytes, fileSize(base + name)) << name;
}

// A fault inside the export's own instance of the instrument is handled as any fault
// of the instrument: the recording not yet saved is kept in the documents, the
// program says what failed and where the recording is, and ends with the fault's code.
TEST(ExportEndToEnd, AFaultInTheExportsOwnInstanceKeepsTheRecordingAndExplains) {
    const std::string work = tempFolder("export-fault"), recording = work + "\\driver-output.wav";
    DeleteFileA(recording.c_str());
    clearKorvaneSettings();
    testdriver::ScopedDrivers drivers;
    ASSERT_TRUE(addRecordingDriver(drivers, recording));
    RunningProgram program;
    // Every instance faults in its 20th block after its first note; the live one plays none.
    ASSERT_TRUE(program.start(exeFolder(), {{"KORVANE_DEMO_VARIANT", ""},
                                           {"KORVANE_DEMO_FAULT_BLOCKS", "20"},
                                           {"KORVANE_DEMO_FAULT_KIND", "access"}}));
    HWND window = program.waitForMainWindow();
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(waitForFileSize(recording, 44 + kBytesPerSecond / 10));
    HWND status = statusLine(window);
    PostMessageA(window, WM_COMMAND, CMD_RECORD, 0);
    ASSERT_TRUE(waitUntil(program, [&] { return windowText(status).compare(0, 11, "Recording: ") == 0; }));
    ASSERT_TRUE(waitForFileSize(recording, fileSize(recording) + kBytesPerSecond / 2));
    PostMessageA(window, WM_COMMAND, CMD_STOP, 0);
    ASSERT_TRUE(waitUntil(program, [&] { return windowText(status).compare(0, 11, "Recording: ") != 0; }));

    PostMessageA(window, WM_COMMAND, CMD_EXPORT, 0);
    HWND dialog = nullptr;
    ASSERT_TRUE(waitUntil(program, [&] { return (dialog = findDialog(program, "Export")) != nullptr; }));
    clickKey(GetDlgItem(dialog, IDC_EXPORT_KEYS), 60);
    SendMessageA(GetDlgItem(dialog, IDC_EXPORT_FILE), WM_SETTEXT, 0, (LPARAM)(work + "\\faulted").c_str());
    chooseInCombo(dialog, IDC_EXPORT_INSTANCES, 1);  // no probe on the live instance: the export's own renders
    PostMessageA(GetDlgItem(dialog, IDC_EXPORT_START), BM_CLICK, 0, 0);

    const std::string text = answerMessageBox(program);
    EXPECT_EQ(0u, text.find("The instrument Korvane.dll has failed (exception C0000005 at Korvane.dll+0x")) << text;
    const std::string saved = "The recording that was not yet saved is in\n";
    const size_t at = text.find(saved);
    ASSERT_NE(std::string::npos, at) << text;
    const std::string path = text.substr(at + saved.size());
    EXPECT_EQ(0xC0000005ul, (unsigned long)program.waitForExit());
    EXPECT_EQ(0u, path.find(documentsFolder() + "\\Recording ")) << path;
    WavData wav = readWav(path);
    ASSERT_TRUE(wav.ok) << path;
    EXPECT_GT(wav.frames(), (size_t)kRate / 4);
    DeleteFileA(path.c_str());
    clearKorvaneSettings();
}
