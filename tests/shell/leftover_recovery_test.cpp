// Takes left behind by a program that ended without saving them: what each gives,
// where it goes, and which files go with it. Real files in folders of their own,
// read back by sox and by our own reader.
#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "engine/capture_take.h"
#include "shell/recovered_recording.h"
#include "shell/leftover_recovery.h"
#include "support/program_runner.h"
#include "support/recovered_takes.h"

using namespace testing_support;

namespace {

SYSTEMTIME localTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    SYSTEMTIME t = {};
    t.wYear = year, t.wMonth = month, t.wDay = day, t.wHour = hour, t.wMinute = minute, t.wSecond = second;
    return t;
}

std::wstring wide(const std::string &s) { return std::wstring(s.begin(), s.end()); }
std::string narrow(const std::wstring &s) { return std::string(s.begin(), s.end()); }

// Left channel sample i of take `number`; the right one is its negative.
float sampleOf(uint32_t number, size_t i) { return (float)number / 1000.0f + (float)(i % 64) / 256.0f; }

// A float as the file holds it: its bits, compared bit for bit.
uint32_t bitsOf(float x) {
    uint32_t bits;
    memcpy(&bits, &x, 4);
    return bits;
}

// Empties a folder of its files and removes it when the test ends, passed or not, so
// that a failed run leaves nothing that changes the next one's names.
struct FolderRemoval {
    std::string folder;
    ~FolderRemoval() {
        freshFolder(folder);
        RemoveDirectoryA(folder.c_str());
    }
};

void writeBytes(const std::string &path, const std::string &bytes, const SYSTEMTIME *lastWritten) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h) << path;
    DWORD written = 0;
    if (!bytes.empty()) WriteFile(h, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
    if (lastWritten) {
        FILETIME local, utc;
        SystemTimeToFileTime(lastWritten, &local);
        LocalFileTimeToFileTime(&local, &utc);
        SetFileTime(h, nullptr, nullptr, &utc);
    }
    CloseHandle(h);
}

std::string channelBytes(uint32_t number, int frames, float sign, int extraBytes) {
    std::string bytes;
    for (int i = 0; i < frames; ++i) {
        float s = sign * sampleOf(number, (size_t)i);
        bytes.append((const char *)&s, 4);
    }
    return bytes + std::string((size_t)extraBytes, '\x7f');
}

const int kNoInfo = -1, kDamagedInfo = -2, kNoFile = -1;

struct Leftover {
    const char *what;
    uint32_t number;
    int info;  // a take state, kNoInfo or kDamagedInfo
    uint32_t rate;
    SYSTEMTIME time;  // the recording's start, or when its files were last written
    int leftFrames, rightFrames;  // kNoFile: missing
    int tornBytes;                // a partial frame at the end of the left file
    int recoveredFrames;          // 0: nothing is recovered
    int recoveredRate;
};

std::string takePath(const std::string &folder, uint32_t number, TakePart part) {
    char path[MAX_PATH];
    takeFileName((folder + "\\").c_str(), number, part, path, sizeof path);
    return path;
}

void writeLeftover(const std::string &folder, const Leftover &l) {
    if (l.info >= 0) {
        TakeInfo info = {(uint32_t)l.info, l.rate, l.time};
        uint8_t record[kTakeInfoBytes];
        encodeTakeInfo(info, record);
        writeBytes(takePath(folder, l.number, kTakeInfo), std::string((const char *)record, sizeof record), nullptr);
    } else if (l.info == kDamagedInfo) {
        writeBytes(takePath(folder, l.number, kTakeInfo), "KVTK torn by a power cut", nullptr);
    }
    if (l.leftFrames != kNoFile)
        writeBytes(takePath(folder, l.number, kTakeLeft), channelBytes(l.number, l.leftFrames, 1, l.tornBytes), &l.time);
    if (l.rightFrames != kNoFile)
        writeBytes(takePath(folder, l.number, kTakeRight), channelBytes(l.number, l.rightFrames, -1, 0), &l.time);
}

std::wstring recoveredName(const SYSTEMTIME &time) {
    wchar_t name[64];
    recoveryFileName(L"Recording", time, 1, name, 64);
    return name;
}

}  // namespace

TEST(LeftoverTakes, EachGivesWhatItHoldsAsFloatStereoAndItsFilesGo) {
    std::string temp = tempFolder("leftovers");
    std::string documents = tempFolder("leftovers-documents") + "\\Korvane";  // made by the recovery
    FolderRemoval removal = {documents};
    freshFolder(documents);
    RemoveDirectoryA(documents.c_str());
    const Leftover leftovers[] = {
        {"a whole take", 101, kTakeUnsaved, 48000, localTime(2026, 1, 2, 10, 20, 30), 4800, 4800, 0, 4800, 48000},
        {"cut off mid-frame, the right file a little behind", 102, kTakeUnsaved, 44100,
         localTime(2026, 1, 2, 10, 20, 31), 3000, 2900, 3, 2900, 44100},
        {"the right file lost: silence", 103, kTakeUnsaved, 22050, localTime(2026, 1, 2, 10, 20, 32), 2205, kNoFile, 0,
         2205, 22050},
        {"a damaged info: the default rate, named when last written", 104, kDamagedInfo, 0,
         localTime(2025, 5, 6, 7, 8, 9), 1000, 1000, 0, 1000, 44100},
        {"no info", 105, kNoInfo, 0, localTime(2025, 5, 6, 7, 8, 10), 500, 600, 0, 500, 44100},
        {"saved before the program ended", 106, kTakeEmpty, 44100, localTime(2026, 1, 2, 10, 20, 33), 900, 900, 0, 0, 0},
        {"nothing recorded", 107, kTakeUnsaved, 44100, localTime(2026, 1, 2, 10, 20, 34), 0, 0, 0, 0, 0},
    };
    for (const Leftover &l : leftovers) writeLeftover(temp, l);
    // A running program's take: it holds its files, so they are left alone. Numbered
    // first, so every other take comes after it.
    const Leftover running = {"held", 100, kTakeUnsaved, 44100, localTime(2026, 1, 2, 10, 20, 35), 100, 100, 0, 0, 0};
    writeLeftover(temp, running);
    std::vector<HANDLE> held;
    for (TakePart part : {kTakeLeft, kTakeRight, kTakeInfo})
        held.push_back(CreateFileA(takePath(temp, 100, part).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                                   nullptr, OPEN_EXISTING, 0, nullptr));

    bool failed = true;
    std::wstring message = recoverLeftoversIn((temp + "\\").c_str(), wide(documents).c_str(), L"", L"Recording", &failed);
    EXPECT_FALSE(failed);
    EXPECT_EQ(0u, message.find(L"Korvane ended before a recording was saved. The recording was recovered and saved as:\n"))
        << narrow(message);

    for (const Leftover &l : leftovers) {
        SCOPED_TRACE(l.what);
        std::string path = documents + "\\" + narrow(recoveredName(l.time));
        if (l.recoveredFrames == 0) {
            EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str()));
            continue;
        }
        char length[32];
        snprintf(length, sizeof length, " (%.1f seconds)", (double)l.recoveredFrames / l.recoveredRate);
        EXPECT_NE(std::wstring::npos, message.find(L"\n" + wide(path + length))) << narrow(message);
        RecoveredFile file = readRecovered(path);
        EXPECT_EQ(stereoFloatSummary(l.recoveredRate), soxSummary(file)) << "the header claims exactly the frames written";
        ASSERT_TRUE(file.wav.ok);
        ASSERT_EQ((size_t)l.recoveredFrames, file.wav.frames());
        for (size_t i = 0; i < file.wav.frames(); ++i) {
            ASSERT_EQ(bitsOf(sampleOf(l.number, i)), bitsOf(file.wav.samples[0][i])) << i;
            ASSERT_EQ(bitsOf(l.rightFrames == kNoFile ? 0.0f : -sampleOf(l.number, i)), bitsOf(file.wav.samples[1][i]))
                << i;
        }
    }
    // Only the running program's files are left.
    std::vector<std::string> heldNames;
    for (TakePart part : {kTakeInfo, kTakeLeft, kTakeRight}) {
        std::string path = takePath(temp, 100, part);
        heldNames.push_back(path.substr(path.find_last_of('\\') + 1));
    }
    EXPECT_EQ(heldNames, takeFilesIn(temp));
    for (HANDLE h : held) CloseHandle(h);
    for (const std::string &name : takeFilesIn(temp)) DeleteFileA((temp + "\\" + name).c_str());
}

TEST(LeftoverTakes, ATakeThatCannotBeWrittenKeepsItsFilesForTheNextStart) {
    std::string temp = tempFolder("leftovers-kept");
    const Leftover take = {"unwritable", 201, kTakeUnsaved, 44100, localTime(2026, 2, 3, 4, 5, 6), 441, 441, 0, 441,
                           44100};
    writeLeftover(temp, take);
    std::vector<std::string> files = takeFilesIn(temp);
    ASSERT_EQ(3u, files.size());

    bool failed = false;
    std::wstring message = recoverLeftoversIn((temp + "\\").c_str(), L"Z:\\no\\such\\documents\\Korvane", L"", L"Recording", &failed);
    EXPECT_TRUE(failed);
    EXPECT_EQ(0u, message.find(L"Korvane ended before a recording was saved, and the recording could not be written."))
        << narrow(message);
    EXPECT_NE(std::wstring::npos,
              message.find(L"It tried:\nZ:\\no\\such\\documents\\Korvane\\Recording 2026-02-03 04-05-06.wav"))
        << narrow(message);
    EXPECT_EQ(files, takeFilesIn(temp));

    // The next start, with documents to write to.
    std::string documents = tempFolder("leftovers-kept-documents");
    FolderRemoval removal = {documents};
    message = recoverLeftoversIn((temp + "\\").c_str(), wide(documents).c_str(), L"", L"Recording", &failed);
    EXPECT_FALSE(failed);
    std::string path = documents + "\\Recording 2026-02-03 04-05-06.wav";
    EXPECT_NE(std::wstring::npos, message.find(wide(path + " (0.0 seconds)"))) << narrow(message);
    EXPECT_EQ(441u, readRecovered(path).wav.frames());
    EXPECT_TRUE(takeFilesIn(temp).empty());
}

TEST(LeftoverTakes, FilesAreGroupedByTakeAndOnlyAnUnsavedOneGivesFrames) {
    std::vector<LeftoverTake> takes = groupLeftovers({"~korvane-take-5.right", "notes.txt", "~korvane-take-7.info",
                                                      "~korvane-take-5.left", "~korvane-take-5.info",
                                                      "~korvane-take-7.left.old", "~captureL77"});
    ASSERT_EQ(2u, takes.size());
    EXPECT_EQ(5u, takes[0].number);
    EXPECT_TRUE(takes[0].present[kTakeLeft] && takes[0].present[kTakeRight] && takes[0].present[kTakeInfo]);
    EXPECT_EQ(7u, takes[1].number);
    EXPECT_TRUE(!takes[1].present[kTakeLeft] && !takes[1].present[kTakeRight] && takes[1].present[kTakeInfo]);

    const SYSTEMTIME started = localTime(2026, 4, 5, 6, 7, 8), written = localTime(2026, 4, 5, 9, 0, 0);
    const TakeInfo unsaved = {kTakeUnsaved, 96000, started}, saved = {kTakeEmpty, 96000, started};
    struct Plan {
        const char *what;
        const TakeInfo *info;
        bool hasLeft;
        uint64_t left;
        bool hasRight;
        uint64_t right;
        uint64_t frames;
        int rate;
        const SYSTEMTIME *time;
    } plans[] = {{"unsaved", &unsaved, true, 100, true, 100, 100, 96000, &started},
                 {"the shorter file sets the length", &unsaved, true, 100, true, 97, 97, 96000, &started},
                 {"a missing file is silence", &unsaved, false, 0, true, 80, 80, 96000, &started},
                 {"no channel file", &unsaved, false, 0, false, 0, 0, 96000, &started},
                 {"saved", &saved, true, 100, true, 100, 0, 44100, &written},
                 {"no info", nullptr, true, 50, true, 60, 50, kLeftoverFallbackRate, &written},
                 {"past 2^32 frames", &unsaved, true, 0x123456789ull, true, 0x123456789ull, 0x123456789ull, 96000,
                  &started}};
    for (const Plan &p : plans) {
        LeftoverPlan plan = planLeftover(p.info, p.hasLeft, p.left, p.hasRight, p.right, written);
        EXPECT_EQ(p.frames, plan.frames) << p.what;
        if (!p.frames) continue;
        EXPECT_EQ(p.rate, plan.sampleRate) << p.what;
        EXPECT_EQ(0, memcmp(p.time, &plan.started, sizeof plan.started)) << p.what;
    }
}
