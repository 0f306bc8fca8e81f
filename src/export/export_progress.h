// The export dialog's progress line: which take renders and how long the export has
// left, estimated from the takes done. Pure functions.
#pragma once

#include <cstddef>
#include <cstdint>

// Milliseconds left: the takes done took elapsedAtLastTake between them, so all takes
// take that over takesDone times takes; less elapsedNow, never below 0. -1 while no
// take is done (nothing to estimate from).
int64_t exportTimeLeftMs(uint64_t elapsedAtLastTake, int takesDone, int takes, uint64_t elapsedNow);

// "m:ss", or "h:mm:ss" from an hour on (at most 99:59:59); partial seconds count as a
// whole one.
void formatTimeLeft(int64_t ms, wchar_t *out, size_t size);

// The texts of the user's language the line is made of.
struct ExportProgressTexts {
    const wchar_t *keyOf;      // "Key %d of %d"
    const wchar_t *chord;      // "Chord of %d keys"
    const wchar_t *timeLeft;   // "%ls, %ls left": the take and the time
};

// The take (a chord when chordKeys > 0), followed by the time left when it is known
// (leftMs >= 0). out is always terminated.
void exportProgressText(const ExportProgressTexts &texts, int ordinal, int takes, int chordKeys, int64_t leftMs,
                        wchar_t *out, size_t size);
