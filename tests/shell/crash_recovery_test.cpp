#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "shell/crash_recovery.h"
#include "shell/recovered_recording.h"
#include "support/program_runner.h"
#include "support/wav_file.h"

using namespace testing_support;

TEST(CrashRecoveryText, FileNameFaultAndMessage) {
    SYSTEMTIME t = {};
    t.wYear = 2026, t.wMonth = 12, t.wDay = 8, t.wHour = 0, t.wMinute = 18, t.wSecond = 5;
    struct Name {
        int attempt;
        size_t size;
        const wchar_t *expected;  // null: does not fit
    } names[] = {{1, 64, L"Recording 2026-12-08 00-18-05.wav"},
                 {2, 64, L"Recording 2026-12-08 00-18-05 (2).wav"},
                 {99, 64, L"Recording 2026-12-08 00-18-05 (99).wav"},
                 {1, 34, L"Recording 2026-12-08 00-18-05.wav"},
                 {1, 33, nullptr}};
    for (const Name &n : names) {
        wchar_t out[64];
        wmemset(out, L'#', 64);
        bool fits = recoveryFileName(L"Recording", t, n.attempt, out, n.size);
        EXPECT_EQ(n.expected != nullptr, fits) << n.attempt << " " << n.size;
        if (n.expected) {
            EXPECT_STREQ(n.expected, out);
        }
        EXPECT_EQ(L'\0', out[wcsnlen(out, n.size)]) << "terminated inside the buffer";
        EXPECT_LT(wcsnlen(out, 64), n.size);
    }
    // In the user's language: the word the string table gives.
    wchar_t chinese[64];
    ASSERT_TRUE(recoveryFileName(L"\u5f55\u97f3", t, 2, chinese, 64));
    EXPECT_STREQ(L"\u5f55\u97f3 2026-12-08 00-18-05 (2).wav", chinese);

    // The words between code and address come from the program's string table.
    wchar_t atPlugin[64] = L"", atAddress[64] = L"";
    LoadStringW(GetModuleHandleW(nullptr), IDS_FAULT_AT_PLUGIN, atPlugin, 64);
    LoadStringW(GetModuleHandleW(nullptr), IDS_FAULT_AT_ADDRESS, atAddress, 64);
    wchar_t fault[64];
    describeFault(0xC0000005, 0x10001A2B, 0x10000000, 0x8000, atPlugin, atAddress, fault, 64);
    EXPECT_STREQ(L"C0000005 at Korvane.dll+0x1A2B", fault);
    describeFault(0xC00000FD, 0x10008000, 0x10000000, 0x8000, atPlugin, atAddress, fault, 64);  // just past it
    EXPECT_EQ(std::wstring(L"C00000FD at 0x") + (sizeof(void *) == 8 ? L"0000000010008000" : L"10008000"),
              fault);
    describeFault(0x80000003, 0x1234, 0, 0, atPlugin, atAddress, fault, 12);  // no plugin loaded; cut short
    EXPECT_STREQ(L"80000003 at", fault);
    describeFault(0xC0000005, 0x10001A2B, 0x10000000, 0x8000, L" \x4F4D\x4E8E Korvane.dll+0x", L"", fault, 64);
    EXPECT_STREQ(L"C0000005 \x4F4D\x4E8E Korvane.dll+0x1A2B", fault);

    wchar_t message[40] = L"";
    appendMessage(message, 40, L"Failed (%1).", L"C0000005");
    EXPECT_STREQ(L"Failed (C0000005).", message);
    appendMessage(message, 40, L" File %1, really %1", L"D:\\x.wav");
    EXPECT_STREQ(L"Failed (C0000005). File D:\\x.wav, reall", message);
}

namespace {

// The tests' own memory for writing a recovered recording.
RecoveryBuffers gBuffers;

// A capture file as the recorder keeps it: raw floats, deleted on close, its
// position at the end of what was written.
HANDLE captureFile(const std::string &path, const std::vector<float> &samples) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    DWORD written = 0;
    WriteFile(h, samples.data(), (DWORD)(samples.size() * 4), &written, nullptr);
    return h;
}

std::vector<float> ramp(size_t frames, float scale) {
    std::vector<float> s(frames);
    for (size_t i = 0; i < frames; ++i) s[i] = scale * (float)i / (float)frames;
    return s;
}

}  // namespace

TEST(CrashRecoveryFile, WritesTheShorterCaptureFileAsFloatStereoUnderAFreeName) {
    std::string temp = tempFolder("recovery");
    std::wstring folder = std::wstring(temp.begin(), temp.end()) + L"\\Korvane";  // made by the save
    const size_t frames = 10000;                                                 // more than one pass
    HANDLE left = captureFile(temp + "\\~captureL1", ramp(frames, 0.5f));
    HANDLE right = captureFile(temp + "\\~captureR1", ramp(frames - 3, -1.0f));  // a block short
    SYSTEMTIME t = {};
    t.wYear = 2026, t.wMonth = 1, t.wDay = 2, t.wHour = 3, t.wMinute = 4, t.wSecond = 5;

    struct Case {
        uint64_t frames;
        bool saved;
        const wchar_t *name;
        size_t framesWritten;
    } cases[] = {{frames, true, L"Recording 2026-01-02 03-04-05.wav", frames - 3},
                 {100, true, L"Recording 2026-01-02 03-04-05 (2).wav", 100},
                 {UINT64_MAX, true, L"Recording 2026-01-02 03-04-05 (3).wav", frames - 3},  // count wrapped
                 {0, false, nullptr, 0}};
    std::vector<std::wstring> written;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.frames);
        wchar_t path[MAX_PATH] = L"";
        ASSERT_EQ(c.saved,
                  saveRecoveredRecording(left, right, c.frames, 48000, folder.c_str(), nullptr, L"Recording", t, path, MAX_PATH, gBuffers));
        if (!c.saved) continue;
        written.push_back(path);
        EXPECT_EQ(folder + L"\\" + c.name, path);
        char narrow[MAX_PATH];
        WideCharToMultiByte(CP_ACP, 0, path, -1, narrow, MAX_PATH, nullptr, nullptr);
        WavData wav = readWav(narrow);
        ASSERT_TRUE(wav.ok);
        EXPECT_EQ(3, wav.formatTag);
        EXPECT_EQ(32, wav.bitsPerSample);
        EXPECT_EQ(2, wav.channels);
        EXPECT_EQ(48000, wav.sampleRate);
        ASSERT_EQ(c.framesWritten, wav.frames());
        std::vector<float> l = ramp(frames, 0.5f), r = ramp(frames - 3, -1.0f);
        for (size_t i = 0; i < c.framesWritten; ++i) {
            ASSERT_EQ(l[i], wav.samples[0][i]) << i;
            ASSERT_EQ(r[i], wav.samples[1][i]) << i;
        }
    }
    for (const std::wstring &path : written) DeleteFileW(path.c_str());
    CloseHandle(left);
    CloseHandle(right);
    RemoveDirectoryW(folder.c_str());
}

TEST(CrashRecoveryFile, FolderThatTakesNoFileFallsBackToTheTemporaryFolder) {
    std::string temp = tempFolder("recovery-fallback");
    std::wstring base(temp.begin(), temp.end());
    std::wstring fallback = base + L"\\temporary";
    HANDLE left = captureFile(temp + "\\~captureL2", ramp(500, 0.5f));
    HANDLE right = captureFile(temp + "\\~captureR2", ramp(500, 0.5f));
    SYSTEMTIME t = {};
    t.wYear = 2026, t.wMonth = 3, t.wDay = 4, t.wHour = 5, t.wMinute = 6, t.wSecond = 7;
    const std::wstring name = L"\\Recording 2026-03-04 05-06-07.wav";
    struct Case {
        std::wstring folder, fallback;
        bool saved;
    } cases[] = {{base + L"\\" + std::wstring(300, L'd') + L"\\Korvane", fallback, true},  // name past MAX_PATH
                 {L"Z:\\no\\such\\documents\\Korvane", fallback, true},                     // cannot be made
                 {L"Z:\\no\\such\\documents\\Korvane", L"", false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.folder.begin(), c.folder.end()));
        wchar_t path[MAX_PATH] = L"";
        ASSERT_EQ(c.saved, saveRecoveredRecording(left, right, UINT64_MAX, 44100, c.folder.c_str(),
                                                  c.fallback.c_str(), L"Recording", t, path, MAX_PATH, gBuffers));
        if (!c.saved) continue;
        EXPECT_EQ(fallback + name, path);
        char narrow[MAX_PATH];
        WideCharToMultiByte(CP_ACP, 0, path, -1, narrow, MAX_PATH, nullptr, nullptr);
        WavData wav = readWav(narrow);
        ASSERT_TRUE(wav.ok);
        EXPECT_EQ(500u, wav.frames());
        DeleteFileW(path);
    }
    CloseHandle(left);
    CloseHandle(right);
    RemoveDirectoryW(fallback.c_str());
}

// A file that takes no bytes (opened for reading only) is not left with a header
// promising the whole recording.
TEST(CrashRecoveryFile, AFileCutShortIsDeleted) {
    std::string temp = tempFolder("recovery-cut");
    HANDLE left = captureFile(temp + "\\~captureL3", ramp(500, 0.5f));
    HANDLE right = captureFile(temp + "\\~captureR3", ramp(500, 0.5f));
    std::wstring cut = std::wstring(temp.begin(), temp.end()) + L"\\cut short.wav";
    CloseHandle(CreateFileW(cut.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    HANDLE readOnly = CreateFileW(cut.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, readOnly);
    EXPECT_FALSE(writeRecoveryFile(readOnly, cut.c_str(), left, right, 500, 44100, gBuffers));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(cut.c_str()));
    CloseHandle(left);
    CloseHandle(right);
}

TEST(CrashRecoveryFile, TheExactFrameCountIsRecoveredPastTwoToThe31) {
    struct Frames {
        uint64_t recorded;
        bool saved, recover;
        uint64_t frames;
    } counts[] = {{0, false, false, 0},
                  {100, true, false, 0},
                  {100, false, true, 100},
                  {0x80000005ull, false, true, 0x80000005ull},  // past the 32-bit counters' range
                  {0x123456789ull, false, true, 0x123456789ull},
                  {0x80000005ull, true, false, 0}};
    for (const Frames &c : counts) {
        uint64_t frames = 0;
        EXPECT_EQ(c.recover, framesToRecover(c.recorded, c.saved, &frames)) << c.recorded;
        if (c.recover) {
            EXPECT_EQ(c.frames, frames) << c.recorded;
        }
    }
}

TEST(CrashRecoveryWatch, AStuckRecoveryIsGivenUpAfterTenQuietSeconds) {
    struct Step {
        LONG progress;
        bool messageShown;
        DWORD elapsedMs;
        bool stalled;
    } steps[] = {{0, false, 4000, false},   {0, false, 5000, false},  {1, false, 9000, false},  // progress resets
                 {1, false, 500, false},    {1, true, 60000, false},  // the message may stay up for ever
                 {1, false, 9999, false},   {1, false, 1, true}};
    RecoveryWatch watch = {0, 0};
    int i = 0;
    for (const Step &s : steps)
        EXPECT_EQ(s.stalled, recoveryStalled(watch, s.progress, s.messageShown, s.elapsedMs, kRecoveryStallMs))
            << "step " << i++;
}
