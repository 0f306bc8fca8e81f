// Start-up: the recordings that programs no longer running left unsaved in the TMP
// folder (ended from outside, failed fast, cut off by a power cut) are written as
// 32-bit float WAV files into Documents\Korvane, named after the time the recording
// started, and their files deleted; one message says what was recovered and where.
// Files that a running program holds are left alone: it holds them open without
// sharing, so they cannot be opened here.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/capture_take.h"

// The files of one take found in the folder.
struct LeftoverTake {
    uint32_t number;
    bool present[kTakeParts];
};

// The takes among a folder's file names, in the order first seen; other names are
// ignored.
std::vector<LeftoverTake> groupLeftovers(const std::vector<std::string> &names);

// What one leftover take gives.
struct LeftoverPlan {
    uint64_t frames;  // 0: nothing to recover, the files are only deleted
    int sampleRate;
    SYSTEMTIME started;
};
// The rate a take whose info is missing or damaged is recovered at.
const int kLeftoverFallbackRate = 44100;
// From what the take's files hold: info null when its file is missing or damaged
// (then the fallback rate, and the time the files were last written); the frames
// both channel files hold, a missing channel file counting as silence. A take whose
// info says it holds nothing unsaved gives nothing.
LeftoverPlan planLeftover(const TakeInfo *info, bool hasLeft, uint64_t leftFrames, bool hasRight,
                          uint64_t rightFrames, const SYSTEMTIME &lastWritten);

// Recovers the leftover takes in tempFolder (ending in a separator) into documents,
// or into fallback when no file can be made there, as files called `name` and when
// they were recorded, and deletes their files; a take
// that could not be written keeps its files. Returns the message that says what was
// recovered and where, empty when there is nothing to say; *failed (may be null) is
// set when a take could not be recovered.
std::wstring recoverLeftoversIn(const char *tempFolder, const wchar_t *documents, const wchar_t *fallback,
                               const wchar_t *name, bool *failed);

// Recovers every leftover take in the folder TMP names and shows one message (owner
// null) when anything was recovered or could not be. Start-up, before this program
// makes its own capture files.
void recoverLeftoverTakes();
