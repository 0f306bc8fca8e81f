// What an export wrote and why files were not written: gathered while it runs, by the
// file types as they write, and reported once at its end.
#pragma once

#include <cstddef>

#include "export/takes/export_choices.h"

// Why a file was not written.
enum ExportFailureKind {
    kNotCreated,     // the file could not be created
    kNameTooLong,    // the composed name exceeds the path limit
    kNotWritten,     // created, but writing failed (disk full, no memory, ...): removed again
    kTooLarge,       // the sizes would not fit the file format
    kSetIncomplete,  // a set's index file, left out because samples of the set were not written
    kFailureKinds
};

// A file of an export that was not written: its path, why, and the system's error code
// (0 when the system had no part in it: a name too long, sizes too large).
struct ExportFailure {
    char path[kExportNameSize];
    ExportFailureKind kind;
    unsigned long systemError;
};
const int kListedExportFailures = 3;  // the report names the first few, then counts the rest

// Why the takes were rendered on fewer instances than asked for.
enum ExportInstanceNote {
    kInstancesAsAsked = 0,
    kInstancesDiffer,         // an export instance sounded unlike the live one: one, at the export's rate
    kInstancesNotOpened,      // the instrument could not be opened a second time: the live one
    kInstancesStateRefused,   // an export instance refused the live one's sound: the live one
};

struct ExportReport {
    int planned;      // files the export meant to write
    int notCreated;   // counts by ExportFailureKind
    int nameTooLong;
    int notWritten;
    int tooLarge;
    int setIncomplete;
    // The settings' file name with the extension its file type gave it (".wav",
    // ".sf2", ".sfz"), or as it was when that would not fit; the dialog keeps it.
    char fileName[kExportNameSize];
    ExportFailure failures[kListedExportFailures];  // the first `listed` files not written
    int listed;
    int written;     // files written completely
    bool cancelled;  // the export stopped at the user's request
    int unlooped;    // takes written without the sustain loop asked for (no steady part found)
    int unpitched;   // takes of a key with no pitch found (they keep their key's)
    bool chord;      // the takes are of one chord (its notes are told as the chord's)
    int chordsWithoutPeriod;  // of the unlooped: chord takes whose keys share no period to loop at
    int clipped;     // takes past full scale in an integer format (without Normalise)
    bool normalised; // one gain was given to the set:
    float gainDb;    // this one
    int takes;              // in the plan
    int variations;         // asked for: takes of each key and layer
    int variationsDropped;  // takes the same, bit for bit, as the variation before (not written)
    bool firstVariationOnly; // a SoundFont, which cannot alternate takes, got the first of each
    // The instances of the instrument that rendered the takes (0: the live one), and
    // why not the automatic number of export instances when that was asked for.
    int instances;
    ExportInstanceNote instanceNote;
    int failed() const { return notCreated + nameTooLong + notWritten + tooLarge + setIncomplete; }
};

// Counts `count` files not written for this reason and keeps the path (the first of
// them) with the system's reason while the report has room for it.
void reportFailure(ExportReport &report, ExportFailureKind kind, const char *path, unsigned long systemError,
                   int count = 1);

// The texts of an export's end message, in the user's language; "%d of %d" texts
// come in two forms, the second for a total of one ("1 of 1 file").
struct ExportEndTexts {
    const wchar_t *cancelledFiles[2];  // "The export was cancelled. %d of %d files were written."
    const wchar_t *cancelledNone;      // "... Nothing was written."
    const wchar_t *cannotCreate;       // "Could not create file."
    const wchar_t *notWritten[2];      // "%d of %d files were not written:"
    const wchar_t *reasons[kFailureKinds];  // "%d could not be created." ..., by ExportFailureKind
};

// The one message of an export with failures, or false when every file was written.
bool exportReportText(const ExportReport &report, const ExportEndTexts &texts, wchar_t *out, size_t size);

// The message of a cancelled export: what was written, then the lines of
// exportReportText for files that failed.
void exportCancelText(const ExportReport &report, const ExportEndTexts &texts, wchar_t *out, size_t size);

// The form of a "%d of %d" text for this total: the second for a total of one.
const wchar_t *formForTotal(const wchar_t *const forms[2], int total);

// The notes on an export's takes, shown under its result: takes without the loop
// asked for, with no pitch found, clipped; the set's gain; variations left out; the
// instances that rendered them (with %d, when more than one) or why only one. texts
// in the order below: each count's plural form with %d and its form for one, the
// gain's with %+.1f, the separator between notes. Empty when there is nothing to say.
enum ExportNoteText {
    kNoteUnlooped, kNoteUnloopedOne, kNoteUnpitched, kNoteUnpitchedOne, kNoteClipped, kNoteClippedOne,
    kNoteNormalised, kNoteNoVariation, kNoteRepeats, kNoteRepeatsOne, kNoteFirstVariation, kNoteSeparator,
    kNoteInstances, kNoteInstancesDiffer, kNoteInstancesNotOpened, kNoteInstancesStateRefused,
    kExportNoteTexts
};
void exportNotesText(const ExportReport &report, const wchar_t *const texts[kExportNoteTexts], wchar_t *out,
                     size_t size);
