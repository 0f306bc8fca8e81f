// The export dialog's progress line: which take of the plan renders, what it plays,
// and how long the export has left, estimated from the takes done. Pure functions.
#pragma once

#include <cstddef>
#include <cstdint>

struct PlannedTake;

// Milliseconds left: the takes done took elapsedAtLastTake between them, so all takes
// take that over takesDone times takes; less elapsedNow, never below 0. -1 while no
// take is done (nothing to estimate from).
int64_t exportTimeLeftMs(uint64_t elapsedAtLastTake, int takesDone, int takes, uint64_t elapsedNow);

// "m:ss", or "h:mm:ss" from an hour on (at most 99:59:59); partial seconds count as a
// whole one.
void formatTimeLeft(int64_t ms, wchar_t *out, size_t size);

// The texts of the user's language the line is made of.
struct ExportProgressTexts {
    const wchar_t *takeOf;      // "Take %d of %d: %ls": the ordinal, the takes, what it plays
    const wchar_t *chord;       // "Chord of %d keys"
    const wchar_t *atVelocity;  // "%ls at velocity %d": what it plays, with several layers
    const wchar_t *timeLeft;    // "%ls, %ls left": the take and the time
};

// What a take plays: its key ("C3") or the chord of its keys, with the velocity when
// the export has several layers.
void exportTakeLabel(const ExportProgressTexts &texts, const PlannedTake &take, bool chord, wchar_t *out,
                     size_t size);

// The take with its label, followed by the time left when it is known (leftMs >= 0).
// out is always terminated.
void exportProgressText(const ExportProgressTexts &texts, int ordinal, int takes, const wchar_t *label,
                        int64_t leftMs, wchar_t *out, size_t size);
