// The data is written on the export's thread: measured under Wine, handing the pieces
// to a second thread cost more (a wake-up per piece, the bytes fetched by another core)
// than overlapping saved. Closes go to the thread through a ring: the export pushes
// (waiting on slotsFree when the ring is full) and signals queued; the thread takes
// them in order. The lock guards only the ring's indexes.
#include "export/formats/output_writer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "export/takes/export_memory.h"

namespace {

// A write the system cut short without an error is the disk running full.
void recordFailure(OutputFile &file) {
    DWORD error = GetLastError();
    if (InterlockedExchange(&file.failed, 1) == 0) InterlockedExchange(&file.error, (LONG)(error ? error : ERROR_DISK_FULL));
}

bool writeBytes(HANDLE handle, const uint8_t *data, size_t bytes) {
    DWORD written = 0;
    SetLastError(0);
    return WriteFile(handle, data, (DWORD)bytes, &written, nullptr) && written == bytes;
}

// Writes out the piece's bytes of its owner.
void writePiece(OutputWriter &writer) {
    OutputFile *file = writer.pieceOwner;
    writer.pieceOwner = nullptr;
    if (!file || file->filled == 0) return;
    // After a failure the rest of the file is not tried: it is reported already.
    if (!file->failed && !writeBytes(file->handle, writer.piece, file->filled)) recordFailure(*file);
    file->filled = 0;
}

void closeFile(OutputFile &file, bool remove) {
    SetLastError(0);
    if (!CloseHandle(file.handle)) recordFailure(file);
    // A file that failed is removed as well: what stays on the disk is complete.
    if (remove || file.failed) DeleteFileA(file.path);
}

DWORD WINAPI closerThread(void *context) {
    OutputWriter &writer = *(OutputWriter *)context;
    for (;;) {
        WaitForSingleObject(writer.queued, INFINITE);
        EnterCriticalSection(&writer.lock);
        OutputClose c = writer.ring[writer.tail];
        writer.tail = (writer.tail + 1) % kOutputCloses;
        LeaveCriticalSection(&writer.lock);
        ReleaseSemaphore(writer.slotsFree, 1, nullptr);
        if (!c.file) return 0;
        closeFile(*c.file, c.remove);
    }
}

void push(OutputWriter &writer, OutputFile *file, bool remove) {
    WaitForSingleObject(writer.slotsFree, INFINITE);
    EnterCriticalSection(&writer.lock);
    writer.ring[writer.head] = {file, remove};
    writer.head = (writer.head + 1) % kOutputCloses;
    LeaveCriticalSection(&writer.lock);
    ReleaseSemaphore(writer.queued, 1, nullptr);
}

void releaseAll(OutputWriter &writer) {
    returnExportMemory(writer.memory, kOutputPieceMemory, writer.piece, kOutputPieceBytes);
    writer.piece = nullptr;
    if (writer.queued) CloseHandle(writer.queued);
    if (writer.slotsFree) CloseHandle(writer.slotsFree);
    writer.queued = writer.slotsFree = nullptr;
    DeleteCriticalSection(&writer.lock);
}

}  // namespace

bool startOutputWriter(OutputWriter &writer, bool closeBehind, ExportMemory *memory) {
    memset(&writer, 0, sizeof writer);
    InitializeCriticalSection(&writer.lock);
    writer.memory = memory;
    writer.piece = (uint8_t *)takeExportMemory(memory, kOutputPieceMemory, kOutputPieceBytes);
    if (writer.piece && !closeBehind) return true;
    writer.queued = CreateSemaphoreA(nullptr, 0, kOutputCloses, nullptr);
    writer.slotsFree = CreateSemaphoreA(nullptr, kOutputCloses, kOutputCloses, nullptr);
    if (writer.piece && writer.queued && writer.slotsFree)
        writer.thread = CreateThread(nullptr, 0, closerThread, &writer, 0, nullptr);
    if (writer.thread) return true;
    releaseAll(writer);
    return false;
}

void stopOutputWriter(OutputWriter &writer) {
    if (writer.thread) {
        push(writer, nullptr, false);
        WaitForSingleObject(writer.thread, INFINITE);
        CloseHandle(writer.thread);
        writer.thread = nullptr;
    }
    releaseAll(writer);
}

bool openOutput(OutputFile &file, const char *path, DWORD *error) {
    memset(&file, 0, sizeof file);
    snprintf(file.path, sizeof file.path, "%s", path);
    file.handle = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file.handle != INVALID_HANDLE_VALUE) return true;
    if (error) *error = GetLastError();
    return false;
}

uint8_t *outputRoom(OutputWriter &writer, OutputFile &file, size_t bytes) {
    if (writer.pieceOwner != &file || file.filled + bytes > kOutputPieceBytes) writePiece(writer);
    writer.pieceOwner = &file;
    uint8_t *room = writer.piece + file.filled;
    file.filled += bytes;
    file.queued += bytes;
    return room;
}

void outputBytes(OutputWriter &writer, OutputFile &file, const void *data, size_t bytes) {
    const uint8_t *p = (const uint8_t *)data;
    while (bytes > 0) {
        size_t n = bytes < kOutputPieceBytes ? bytes : kOutputPieceBytes;
        memcpy(outputRoom(writer, file, n), p, n);
        p += n;
        bytes -= n;
    }
}

void patchOutput(OutputWriter &writer, OutputFile &file, uint64_t offset, const void *data, size_t bytes) {
    if (writer.pieceOwner == &file) writePiece(writer);
    LARGE_INTEGER at;
    at.QuadPart = (LONGLONG)offset;
    SetLastError(0);
    if (!file.failed &&
        (!SetFilePointerEx(file.handle, at, nullptr, FILE_BEGIN) || !writeBytes(file.handle, (const uint8_t *)data, bytes)))
        recordFailure(file);
}

void closeOutput(OutputWriter &writer, OutputFile &file, bool remove) {
    if (writer.pieceOwner == &file) writePiece(writer);
    if (writer.thread)
        push(writer, &file, remove);
    else
        closeFile(file, remove);
}
