// The export dialog's progress line: the time left from the takes done, and the text.
#include <gtest/gtest.h>

#include "export/dialog/export_progress.h"
#include "export/takes/take_plan.h"

TEST(ExportProgress, TimeLeftComesFromTheTakesDone) {
    struct Case {
        uint64_t atLastTake;  // ms from the start to the start of the current take
        int done, takes;
        uint64_t now;
        int64_t left;
    } cases[] = {
        {0, 0, 48, 5000, -1},              // nothing done yet: no estimate
        {10000, 1, 48, 10000, 470000},     // 10 s a take, 47 to come
        {110000, 11, 48, 115000, 365000},  // 5 s into the twelfth take
        {110000, 11, 48, 600000, 0},       // slower than the estimate: never below zero
        {3000, 3, 4, 3000, 1000},
        {5000, 1, 0, 5000, -1},            // no takes
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.left, exportTimeLeftMs(c.atLastTake, c.done, c.takes, c.now))
            << c.atLastTake << " " << c.done << " " << c.takes << " " << c.now;
}

TEST(ExportProgress, LineNamesTheTakeOfThePlanWhatItPlaysAndTheTimeLeft) {
    const ExportProgressTexts texts = {L"Take %d of %d: %ls", L"Chord of %d keys", L"%ls at velocity %d",
                                       L"%ls, %ls left"};
    struct Case {
        int ordinal, takes;
        bool chord, layered;
        int64_t left;
        const wchar_t *line;
    } cases[] = {
        {12, 48, false, false, -1, L"Take 12 of 48: C3"},
        {12, 48, false, false, 80000, L"Take 12 of 48: C3, 1:20 left"},
        {12, 48, false, false, 80001, L"Take 12 of 48: C3, 1:21 left"},  // a started second counts
        {2, 3, false, false, 0, L"Take 2 of 3: C3, 0:00 left"},
        {5, 128, false, false, 3723000, L"Take 5 of 128: C3, 1:02:03 left"},
        {1, 1, true, false, -1, L"Take 1 of 1: Chord of 7 keys"},
        {60, 96, false, true, -1, L"Take 60 of 96: C3 at velocity 64"},  // 48 keys of two layers
        {2, 2, true, true, -1, L"Take 2 of 2: Chord of 7 keys at velocity 64"},
    };
    for (const Case &c : cases) {
        PlannedTake take = {};
        take.rootKey = 60;
        take.keyCount = c.chord ? 7 : 1;
        take.layered = c.layered;
        take.layer.velocity = 64;
        wchar_t label[64], line[64];
        exportTakeLabel(texts, take, c.chord, label, 64);
        exportProgressText(texts, c.ordinal, c.takes, label, c.left, line, 64);
        EXPECT_STREQ(c.line, line);
    }
    wchar_t tiny[8];
    exportProgressText(texts, 12, 48, L"C3", 80000, tiny, 8);  // cut, never overflowed
    EXPECT_STREQ(L"Take 12", tiny);
}
