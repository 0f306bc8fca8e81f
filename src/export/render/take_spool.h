// The finished takes of an export held back until the last one is rendered, so that
// the set can be written with one gain (normalised): their frames in two temporary
// files of floats, one per channel, their records in memory.
#pragma once

#include <windows.h>

#include "export/takes/finished_take.h"

struct TakeSpool {
    HANDLE files[2];
    uint64_t frames;      // in each file so far
    FinishedTake *takes;  // room for `room`
    int count, room;
};

// Makes the files and room for `room` takes; false (nothing left open) when either
// cannot be had, with the system's reason in *error and the temporary folder (or the
// file tried) in where (MAX_PATH characters).
bool openTakeSpool(TakeSpool &spool, int room, DWORD *error, char *where);
// Copies the take's frames to the files' end and keeps its record, its audio now
// the spool's; false when there is no room for another take.
bool spoolTake(TakeSpool &spool, const FinishedTake &take);
// Closes (and so deletes) the files and frees the records.
void closeTakeSpool(TakeSpool &spool);
