// A recording that was not saved, written as a 32-bit float stereo WAV named after
// when it was recorded into Documents\Korvane (or a fallback folder): the file both
// the crash handler (on a faulted process) and the start-up recovery (for programs
// that ended without saving) write. Nothing here allocates: each caller hands in its
// own buffers, so the crash handler's fault path can use fixed ones made in advance.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

const size_t kRecoveryPathSize = MAX_PATH + 64;
const DWORD kRecoveryChunkFrames = 4096;

// A caller's own memory for writing one recovered recording.
struct RecoveryBuffers {
    float left[kRecoveryChunkFrames];
    float right[kRecoveryChunkFrames];
    uint8_t frames[kRecoveryChunkFrames * 8];
    wchar_t candidate[kRecoveryPathSize];  // a name being tried
    volatile LONG progress;                // counts chunks written and files tried
};

// Where recovered recordings go: Documents\Korvane (<temporary folder>\Korvane when
// there are no documents), and the temporary folder when no file can be made there
// (either empty when unknown).
// Also what a recovered recording is called in the user's language ("Recording").
struct RecoveryFolders {
    wchar_t documents[kRecoveryPathSize];
    wchar_t fallback[kRecoveryPathSize];
    wchar_t name[64];
};
void findRecoveryFolders(RecoveryFolders &folders);

// "<name> 2026-12-08 00-18-05.wav" ("Recording 2026-..."), or with " (n)" before the
// extension for the n-th attempt (n >= 2) when that name is taken. False when it does
// not fit.
bool recoveryFileName(const wchar_t *name, const SYSTEMTIME &time, int attempt, wchar_t *out, size_t outSize);

// Appends format to out (of outSize characters, holding a terminated text) with
// each "%1" replaced by insert; cut short, but terminated, when out is full.
void appendMessage(wchar_t *out, size_t outSize, const wchar_t *format, const wchar_t *insert);

// Appends text to out[0 .. size) at *at, keeping the terminator; false when cut short.
bool appendText(wchar_t *out, size_t size, size_t *at, const wchar_t *text);
// value in the radix (10 or 16, upper-case), zero-padded to at least `digits` digits,
// appended as appendText does.
bool appendNumber(wchar_t *out, size_t size, size_t *at, uint64_t value, int digits, int radix);

// Writes `frames` frames of the two capture files, read from their start, as a
// 32-bit float stereo WAV at sampleRate into a new file in folder (created if
// missing), named `name` and after `time`; when no file can be made or written completely
// there, in fallbackFolder (null or empty: none). Fewer frames are written when a
// capture file is shorter; one that is missing (INVALID_HANDLE_VALUE) is silence.
// The file's path goes to path (on failure the last one tried). True when the whole
// file was written; a file cut short is deleted.
bool saveRecoveredRecording(HANDLE left, HANDLE right, uint64_t frames, int sampleRate, const wchar_t *folder,
                            const wchar_t *fallbackFolder, const wchar_t *name, const SYSTEMTIME &time, wchar_t *path,
                            size_t pathSize, RecoveryBuffers &buffers);

// Writes the WAV into out (a new file at path) and closes it; deletes the file
// when it could not be written completely. True when it was.
bool writeRecoveryFile(HANDLE out, const wchar_t *path, HANDLE left, HANDLE right, uint64_t frames, int sampleRate,
                       RecoveryBuffers &buffers);
