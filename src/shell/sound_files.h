// Preset files on disk: reading and writing them whole, the file the last sound is
// kept in, and the text that says why a sound file failed. GUI thread.
#pragma once

#include <windows.h>

#include <cstddef>

#include "plugin/plugin_state.h"

// Reads a .fxp or .fxb file into the state. Its size is checked before anything is
// allocated; the failure keeps the system's code where the file itself failed.
StateFailure loadPresetFile(const char *path, PluginState &state);

// Writes the state as a preset file at path: under a temporary name, then moved over
// it, so that a failure leaves a file already there as it was.
StateFailure savePresetFile(const char *path, const PluginState &state);

// Whether a save writes a bank: a name ending in ".fxb" does, one in ".fxp" does
// not; another name gets the extension of the dialog's filter (1 = program, 2 = bank)
// when it fits in size characters.
bool presetNameSavesBank(char *name, size_t size, int filterIndex);

// Where the last sound lives: "<application data>\Korvane\last-sound.fxb", the
// folder made when missing. false when there is no such folder.
bool lastSoundPath(char *path, size_t size);

// The name a stored sound is set aside under, beside it: "last-sound-<tag>.fxb".
bool asidePath(const char *path, const char *tag, char *aside, size_t size);

// An instrument ID as it reads: its four characters when they are printable, and
// its value in hex ("KrvO (4B72764F)").
void instrumentIdText(VstInt32 id, wchar_t *text, size_t size);

// The message of a failed sound action: the text with id whatId, the path (may be
// null) on the next line, then the reason (with the system's text where there is one).
void soundFailureText(UINT whatId, const char *path, const StateFailure &failure, wchar_t *text, size_t size);
