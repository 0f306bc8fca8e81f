// The export dialog's progress line: the time left from the takes done, and the text.
#include <gtest/gtest.h>

#include "export/export_progress.h"

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

TEST(ExportProgress, LineNamesTheTakeAndTheTimeLeftInMinutesOrHours) {
    const ExportProgressTexts texts = {L"Key %d of %d", L"Chord of %d keys", L"%ls, %ls left"};
    struct Case {
        int ordinal, takes, chordKeys;
        int64_t left;
        const wchar_t *line;
    } cases[] = {
        {12, 48, 0, -1, L"Key 12 of 48"},
        {12, 48, 0, 80000, L"Key 12 of 48, 1:20 left"},
        {12, 48, 0, 80001, L"Key 12 of 48, 1:21 left"},  // a started second counts
        {2, 3, 0, 0, L"Key 2 of 3, 0:00 left"},
        {5, 128, 0, 3723000, L"Key 5 of 128, 1:02:03 left"},
        {1, 1, 7, -1, L"Chord of 7 keys"},
    };
    for (const Case &c : cases) {
        wchar_t line[64];
        exportProgressText(texts, c.ordinal, c.takes, c.chordKeys, c.left, line, 64);
        EXPECT_STREQ(c.line, line);
    }
    wchar_t tiny[8];
    exportProgressText(texts, 12, 48, 0, 80000, tiny, 8);  // cut, never overflowed
    EXPECT_STREQ(L"Key 12 ", tiny);
}
