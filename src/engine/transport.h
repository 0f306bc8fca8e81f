// Record, stop and play, and the recorder's notices. GUI thread.
#pragma once

#include <windows.h>

#include <cstdint>

// Record (F3): ignored while sound is off, recording or playing, or while the last
// writer thread has not ended; truncates both capture files and starts the writer.
// When a capture file is missing and cannot be made now either, says so in a
// message box owned by owner and records nothing.
void recordCommand(HWND owner = nullptr);
// Record as the user asks for it (F3, the menu): with no driver open nothing is
// recorded and the status line says why; a take not yet saved is recorded over only
// when the user says yes to the question (whose default keeps it).
void recordAsked(HWND window);
// Record was asked for while no driver is open: the status line says that recording
// needs one, until a driver is open.
void recordNeedsDriver();
// Whether record asks first: something was recorded and not saved completely.
bool recordingAtRisk(long recordedFrames, bool saved);

// Stop (F4): asks the writer to end and ends a playback.
void stopCommand();
// Play (F5): ignored while sound is off or recording, or while the last writer
// thread has not ended; rewinds both capture files.
void playCommand();

// The message a stopped recording calls for: IDS_RECORDING_DISK_FULL when a capture
// file refused a write, else IDS_RECORDING_LOST (with *lostMs, rounded up) when
// blocks were lost, else 0.
unsigned recorderNotice(bool writeFailed, long lostFrames, int sampleRate, unsigned *lostMs);

// Called by the 40 ms timer: once the writer of the last recording has ended, tells
// the user about a full disk or lost audio (once per recording).
void serveRecorderNotice(HWND window);

// Shows one of the recorder's messages (a string-table entry with at most one
// argument, a number or a path) in a message box owned by the window, with the
// system's text for systemError (when not 0) on a line of its own.
void showRecorderMessage(HWND owner, unsigned id, unsigned number, const char *path, DWORD systemError = 0);
