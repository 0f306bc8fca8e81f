// The files a take lives in: the two capture files (raw floats, one channel each)
// and an info file that says whether they hold a recording not yet saved, at which
// rate, and when it started. All three lie in the folder TMP names, as
// "~korvane-take-<number>.left", ".right" and ".info".
//
// The program that made them holds all three open without sharing for as long as it
// runs, so another program can tell they are in use. While they hold no unsaved
// recording they are marked for deletion when closed, so they go with the program
// however it ends; while a recording is unsaved they are kept, so a kill, a
// fail-fast or a power cut leaves them for the next start to recover.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

enum TakePart { kTakeLeft = 0, kTakeRight = 1, kTakeInfo = 2, kTakeParts = 3 };

// The start every take file's name has.
extern const char kTakePrefix[];

// "<folder><prefix><number>.<left|right|info>" (folder ends in a separator or is
// empty); false when it does not fit.
bool takeFileName(const char *folder, uint32_t number, TakePart part, char *out, size_t outSize);
// The number and part of a file name (no folder) that takeFileName makes; false
// for every other name.
bool parseTakeFileName(const char *name, uint32_t *number, TakePart *part);

// The info file's one record.
const uint32_t kTakeEmpty = 0;    // nothing to keep: no recording yet, or saved, discarded or recovered
const uint32_t kTakeUnsaved = 1;  // a recording not yet saved
struct TakeInfo {
    uint32_t state;
    uint32_t sampleRate;
    SYSTEMTIME started;  // local time the recording started
};
const size_t kTakeInfoBytes = 40;
void encodeTakeInfo(const TakeInfo &info, uint8_t out[kTakeInfoBytes]);
// False when the bytes are no whole, undamaged record: too short, another magic or
// version, a checksum that does not match, a state, rate or time out of range.
bool decodeTakeInfo(const uint8_t *data, size_t size, TakeInfo *info);

struct TakeFiles {
    HANDLE file[kTakeParts];
};

// Makes the three files of a new take in the TMP folder, under a number no other
// take there has: opened for reading, writing and deleting, shared with nobody,
// marked for deletion on close, the info saying kTakeEmpty. False when they could
// not all be made (none is left behind). path (may be null) receives the info
// file's name, or the folder when they could not be made; *error (may be null) the
// system's code.
bool createTakeFiles(TakeFiles *files, char *path, size_t pathSize, DWORD *error);

// Writes the record at the start of the info file and flushes it to the disk.
bool writeTakeInfo(HANDLE infoFile, const TakeInfo &info);

// Marks the take's files (those that are open) to be kept or deleted when closed.
void keepTakeFiles(const TakeFiles &files, bool keep);

// The info file beside gCaptureLeft and gCaptureRight (INVALID_HANDLE_VALUE while
// they are not made); opened and closed with them.
extern HANDLE gCaptureInfo;

// A recording starts in the capture files: the info says unsaved, at this rate,
// started now, and the files are kept when closed. GUI thread, no writer running.
void beginCapturedTake(int sampleRate);
// The recording was saved, discarded or recovered: the info says so and the files
// go when closed. Allocates nothing, so the crash recovery may call it.
void endCapturedTake();
