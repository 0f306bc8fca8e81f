// Raw files through the system's handles, for the capture files, the export's
// temporary takes, the saves, the sound files and the crash recovery. Nothing here allocates, so the
// crash recovery may use it on a faulted process.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

enum TempFileLife {
    kDeleteOnClose,  // the system deletes the file when its handle is closed
    kKeepOnClose,    // the file outlives the handle (and the process)
};

// A new file "<folder>\<prefix><number>" under a name no other file has, opened
// for reading and writing by this handle alone. The folder is the one TMP names
// (the system's temporary folder while TMP is unset). path (may be null) receives
// the file's name, or the folder when no file could be made. INVALID_HANDLE_VALUE
// on failure, with the system's error code in *error (may be null).
HANDLE createTempFile(const char *prefix, TempFileLife life, char *path, size_t pathSize, DWORD *error);

// The folder TMP names, with a trailing separator; false when it does not fit.
bool temporaryFolder(char *folder, size_t size);

// Writes every byte or fails; false for an invalid handle.
bool writeAll(HANDLE file, const void *data, DWORD bytes);

// Reads up to count floats from the file's position; what it cannot deliver (end of
// file, a failed read, an invalid handle) is silence. Returns the floats read.
DWORD readOrSilence(HANDLE file, float *into, DWORD count);

// Back to the file's start; false when the system refused.
bool rewindFile(HANDLE file);
// To this many bytes from the file's start; false when the system refused.
bool seekFile(HANDLE file, uint64_t bytes);

// Cuts (or extends) the file to bytes and leaves its position there.
bool truncateFile(HANDLE file, uint64_t bytes);

// The file's size in bytes; 0 when it cannot be read.
uint64_t fileBytes(HANDLE file);

// Whether the system deletes the file when its last handle closes (also when the
// process is ended from outside). The handle needs DELETE access; false when the
// system refused.
bool deleteOnClose(HANDLE file, bool remove);

// The folder part of path ("." when it has none, "\\" for a name right under the
// root), for a temporary file beside it.
void folderOfPath(const char *path, char *folder, size_t size);

// Makes the folder and every missing folder above it; true when it exists afterwards,
// else false with the system's code in *error (may be null).
bool makeFolders(const char *folder, DWORD *error);

// Writes the bytes under a temporary name in path's folder, flushes them to disk and
// moves the file over path: a failure, or a crash before the move, leaves a file
// already at path as it was. false with the system's code in *error (may be null).
bool replaceFileWith(const char *path, const void *data, DWORD bytes, DWORD *error);
