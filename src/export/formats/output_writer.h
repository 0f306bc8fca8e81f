// The export's output files: their bytes gather in one large piece of memory and go
// to the disk a piece at a time; when more files follow, each finished file is closed
// (or removed) on a thread of its own, so that closing, which can take long (a virus
// scanner looks at the file, a network share confirms it), overlaps the rendering of
// the next take. The export's thread alone calls these functions.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

struct ExportMemory;

const size_t kOutputPieceBytes = 2u << 20;
const int kOutputCloses = 32;  // closes waiting for the thread at most

// One file the export writes. The export owns it and keeps it until stopOutputWriter
// has returned; a write, a patch or the close that fell short is recorded in it.
struct OutputFile {
    HANDLE handle;
    char path[MAX_PATH];
    uint64_t queued;       // bytes handed over so far: the file's length once written
    size_t filled;         // of them, bytes still in the piece
    volatile LONG failed;  // set by either thread
    volatile LONG error;   // the system's error code of the first failure
};

struct OutputClose {
    OutputFile *file;  // null: the thread ends
    bool remove;
};

struct OutputWriter {
    ExportMemory *memory;    // where the piece comes from and goes back to (may be null)
    uint8_t *piece;          // kOutputPieceBytes, filled for one file at a time
    OutputFile *pieceOwner;  // whose bytes are in it
    HANDLE thread;           // null: files are closed where closeOutput is called
    HANDLE queued;      // semaphore: closes waiting for the thread
    HANDLE slotsFree;   // semaphore: room in the ring
    CRITICAL_SECTION lock;  // the ring's indexes
    OutputClose ring[kOutputCloses];
    int head, tail;
};

// Takes the piece from the export's memory and, for closing behind (an export of
// several files), starts the thread; false (nothing left behind) when either cannot
// be had.
bool startOutputWriter(OutputWriter &writer, bool closeBehind, ExportMemory *memory);
// Waits until every queued close has run, ends the thread and frees the piece.
void stopOutputWriter(OutputWriter &writer);

// Creates the file for writing, truncating an existing one; false with the system's
// error code in *error when it cannot be created.
bool openOutput(OutputFile &file, const char *path, DWORD *error);
// Room for bytes (at most kOutputPieceBytes) at the file's end, to be filled by the
// caller before the next call; counted as queued at once. Files are written one after
// the other: a file's bytes are written out when another file asks for room.
uint8_t *outputRoom(OutputWriter &writer, OutputFile &file, size_t bytes);
// Copies bytes to the file's end.
void outputBytes(OutputWriter &writer, OutputFile &file, const void *data, size_t bytes);
// Overwrites bytes at offset, after writing out what the piece holds; only a close may
// follow.
void patchOutput(OutputWriter &writer, OutputFile &file, uint64_t offset, const void *data, size_t bytes);
// Writes out what is left of the file and closes it (on the thread when closing
// behind) and, with remove or when any of its writes failed, deletes it.
void closeOutput(OutputWriter &writer, OutputFile &file, bool remove);
