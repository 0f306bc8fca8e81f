// The files a take lives in: their names, the info record, and which of them
// outlast the program (real files in a folder of their own).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/raw_file.h"
#include "engine/capture_files.h"
#include "engine/capture_take.h"
#include "support/program_runner.h"
#include "support/recovered_takes.h"

using namespace testing_support;

TEST(TakeFiles, NamesAreMadeAndReadBackAndNoOtherNameCounts) {
    struct Name {
        const char *name;
        bool ours;
        uint32_t number;
        TakePart part;
    } names[] = {
        {"~korvane-take-1234.left", true, 1234, kTakeLeft},
        {"~korvane-take-0.right", true, 0, kTakeRight},
        {"~korvane-take-4294967295.info", true, 4294967295u, kTakeInfo},
        {"~KORVANE-TAKE-7.LEFT", true, 7, kTakeLeft},  // the file system ignores case
        {"~korvane-take-4294967296.info", false, 0, kTakeLeft},  // past 32 bits
        {"~korvane-take-012.left", false, 0, kTakeLeft},         // takeFileName never pads
        {"~korvane-take-.left", false, 0, kTakeLeft},
        {"~korvane-take-12.wav", false, 0, kTakeLeft},
        {"~korvane-take-12.left.bak", false, 0, kTakeLeft},
        {"~korvane-take-12", false, 0, kTakeLeft},
        {"~captureL1234", false, 0, kTakeLeft},  // an older program's temporary file
        {"Recording 2026-01-02 03-04-05.wav", false, 0, kTakeLeft},
    };
    for (const Name &n : names) {
        SCOPED_TRACE(n.name);
        uint32_t number = 99;
        TakePart part = kTakeInfo;
        ASSERT_EQ(n.ours, parseTakeFileName(n.name, &number, &part));
        if (!n.ours) continue;
        EXPECT_EQ(n.number, number);
        EXPECT_EQ(n.part, part);
        char made[64];
        ASSERT_TRUE(takeFileName("C:\\tmp\\", number, part, made, sizeof made));
        EXPECT_EQ(0, _stricmp(made, (std::string("C:\\tmp\\") + n.name).c_str()));
    }
    char small[20];
    EXPECT_FALSE(takeFileName("", 1234, kTakeLeft, small, sizeof small)) << "23 characters do not fit in 20";
    EXPECT_STREQ("", small);
}

TEST(TakeFiles, InfoRecordReadsBackAndAnyDamageIsSeen) {
    TakeInfo info = {kTakeUnsaved, 48000, {}};
    info.started.wYear = 2026, info.started.wMonth = 3, info.started.wDay = 14;
    info.started.wHour = 15, info.started.wMinute = 9, info.started.wSecond = 26, info.started.wMilliseconds = 535;
    uint8_t record[kTakeInfoBytes];
    encodeTakeInfo(info, record);
    TakeInfo read = {};
    ASSERT_TRUE(decodeTakeInfo(record, sizeof record, &read));
    EXPECT_EQ(kTakeUnsaved, read.state);
    EXPECT_EQ(48000u, read.sampleRate);
    EXPECT_EQ(0, memcmp(&info.started, &read.started, sizeof read.started));

    // Every byte of the record is covered: a change anywhere is damage.
    for (size_t at = 0; at < kTakeInfoBytes; ++at) {
        uint8_t damaged[kTakeInfoBytes];
        memcpy(damaged, record, sizeof damaged);
        damaged[at] ^= 0x10;
        EXPECT_FALSE(decodeTakeInfo(damaged, sizeof damaged, &read)) << "byte " << at;
    }
    EXPECT_FALSE(decodeTakeInfo(record, kTakeInfoBytes - 1, &read)) << "cut short";
    EXPECT_FALSE(decodeTakeInfo(nullptr, kTakeInfoBytes, &read));

    // Values no program writes are refused even under a good checksum.
    struct Bad {
        const char *what;
        uint32_t state, rate;
        WORD month, hour;
    } bad[] = {{"state 2", 2, 48000, 3, 15},      {"rate 0", kTakeUnsaved, 0, 3, 15},
               {"rate 2 MHz", kTakeUnsaved, 2000000, 3, 15}, {"month 13", kTakeUnsaved, 48000, 13, 15},
               {"hour 24", kTakeUnsaved, 48000, 3, 24}};
    for (const Bad &b : bad) {
        TakeInfo odd = info;
        odd.state = b.state;
        odd.sampleRate = b.rate;
        odd.started.wMonth = b.month;
        odd.started.wHour = b.hour;
        encodeTakeInfo(odd, record);
        EXPECT_FALSE(decodeTakeInfo(record, sizeof record, &read)) << b.what;
    }
}

TEST(CaptureWriter, FlushesWhatItWroteWithinTheInterval) {
    struct Wait {
        bool unflushed;
        DWORD sinceFlushMs;
        DWORD wait;
    } waits[] = {{false, 0, INFINITE},
                 {false, 60000, INFINITE},  // nothing new: no flush however long ago the last one was
                 {true, 0, kCaptureFlushMs},
                 {true, 400, kCaptureFlushMs - 400},
                 {true, kCaptureFlushMs - 1, 1},
                 {true, kCaptureFlushMs, 0},
                 {true, 60000, 0}};
    for (const Wait &w : waits)
        EXPECT_EQ(w.wait, captureFlushWait(w.unflushed, w.sinceFlushMs)) << w.unflushed << " " << w.sinceFlushMs;
    EXPECT_LE(kCaptureFlushMs, 2000u) << "a power cut loses at most two seconds and the ring";
}

namespace {

// The capture files made in a folder of their own (TMP names it while they are made).
class TakeFilesOnDisk : public ::testing::Test {
protected:
    void SetUp() override {
        folder = tempFolder("take-files");
        char old[MAX_PATH] = "";
        hadTmp = GetEnvironmentVariableA("TMP", old, MAX_PATH) > 0;
        oldTmp = old;
        SetEnvironmentVariableA("TMP", folder.c_str());
    }
    void TearDown() override {
        closeCaptureFiles();
        SetEnvironmentVariableA("TMP", hadTmp ? oldTmp.c_str() : nullptr);
    }
    std::string folder, oldTmp;
    bool hadTmp = false;
};

TakeInfo infoIn(const std::string &path) {
    TakeInfo info = {};
    std::string data = readFile(path);
    EXPECT_TRUE(decodeTakeInfo((const uint8_t *)data.data(), data.size(), &info)) << path;
    return info;
}

}  // namespace

TEST_F(TakeFilesOnDisk, HeldWhileOpenAndKeptAfterwardsOnlyWhileARecordingIsUnsaved) {
    struct Case {
        const char *what;
        bool begun, ended;
        bool kept;
    } cases[] = {{"nothing recorded", false, false, false},
                 {"a recording not saved", true, false, true},
                 {"a recording saved, discarded or recovered", true, true, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(createCaptureFiles());
        std::vector<std::string> names = takeFilesIn(folder);
        ASSERT_EQ(3u, names.size());
        uint32_t number = 0;
        TakePart part;
        ASSERT_TRUE(parseTakeFileName(names[0].c_str(), &number, &part));
        for (const std::string &name : names) {
            // Another program can neither open nor delete them.
            std::string path = folder + "\\" + name;
            HANDLE other = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
            EXPECT_EQ(INVALID_HANDLE_VALUE, other) << name;
            if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
            EXPECT_FALSE(DeleteFileA(path.c_str())) << name;
        }
        float block[4] = {0.5f, -0.5f, 0.25f, 0};
        ASSERT_TRUE(writeAll(gCaptureLeft, block, sizeof block));
        ASSERT_TRUE(writeAll(gCaptureRight, block, sizeof block));
        if (c.begun) beginCapturedTake(48000);
        if (c.ended) endCapturedTake();
        closeCaptureFiles();

        std::vector<std::string> left = takeFilesIn(folder);
        if (!c.kept) {
            EXPECT_TRUE(left.empty());
            continue;
        }
        EXPECT_EQ(names, left);
        char info[MAX_PATH];
        ASSERT_TRUE(takeFileName((folder + "\\").c_str(), number, kTakeInfo, info, sizeof info));
        TakeInfo kept = infoIn(info);
        EXPECT_EQ(kTakeUnsaved, kept.state);
        EXPECT_EQ(48000u, kept.sampleRate);
        SYSTEMTIME now;
        GetLocalTime(&now);
        EXPECT_EQ(now.wYear, kept.started.wYear);
        for (const std::string &name : left) DeleteFileA((folder + "\\" + name).c_str());
    }
}

TEST_F(TakeFilesOnDisk, AFolderThatTakesNoFileIsNamedAndLeavesNothingBehind) {
    std::string missing = folder + "\\no such folder";
    SetEnvironmentVariableA("TMP", missing.c_str());
    CaptureFilesFailure failure = {};
    EXPECT_FALSE(createCaptureFiles(&failure));
    EXPECT_EQ(missing + "\\", failure.path);
    EXPECT_EQ((DWORD)ERROR_PATH_NOT_FOUND, failure.error);
    EXPECT_EQ(INVALID_HANDLE_VALUE, gCaptureLeft);
    EXPECT_EQ(INVALID_HANDLE_VALUE, gCaptureInfo);
}
