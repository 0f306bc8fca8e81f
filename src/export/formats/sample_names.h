// The names an export writes under: the name as typed split into its parts, placed in
// the default folder when it names none, and the names of each take's file.
#pragma once

#include <cstddef>

struct ExportReport;

const int kPathLimit = 260;  // characters including the terminator

// A path split by the usual rules: drive = the first two characters when the second
// is a colon; folder up to and including the last '\' or '/'; extension from the last
// dot after the folder; base name between.
struct PathParts {
    char drive[3];
    char folder[kPathLimit];
    char base[kPathLimit];
    char extension[kPathLimit];
};

void splitPath(const char *path, PathParts &parts);
// drive, folder (a '\' added when it does not end in one), base, extension (a dot
// added when it lacks one). False, with out emptied, when it needs more than size.
bool buildPath(char *out, size_t size, const PathParts &parts, const char *extension);

// Gives the name the dialog keeps (report.fileName, whose parts these are) the
// extension; false, the name unchanged, when the result would not fit.
bool renameStored(ExportReport &report, const PathParts &parts, const char *extension);

// The name an export writes under: a name that names no folder of its own (neither
// a drive nor a leading '\' or '/') is placed in defaultFolder; any other is kept.
// False, with out emptied, when the result needs more than size.
bool placeExportName(const char *name, const char *defaultFolder, char *out, size_t size);

// <drive><folder><base>_<note name>_v<velocity>_rr<variation>.wav, the note name left
// out for a key below 0, the velocity for one below 0 and the variation for one below 0;
// false when the name would not fit the path limit.
bool keyFileName(char *out, size_t size, const PathParts &parts, int key, int velocity = -1, int variation = -1);

bool isPathSeparator(char c);

// What keeps a typed name from naming files, found before anything is rendered.
enum ExportNameProblem {
    kNameFine,
    kNameBlank,           // no file name: empty, only blanks and dots, or ending in a separator
    kNameForbiddenCharacter,  // one of < > : " | ? * or a control character, outside a drive's colon
    kNameReserved,        // a part the system keeps for a device (CON, PRN, AUX, NUL, COM1-9, LPT1-9)
};
struct ExportNameCheck {
    ExportNameProblem problem;
    char character;             // the forbidden character
    char part[kPathLimit];      // the reserved part, as typed
};
ExportNameCheck checkExportName(const char *name);
