// The instrument's sound across runs and in files: the sound it opened with, the
// last sound given back at start-up and kept at shutdown, and the File menu's
// "Load sound...", "Save sound..." and "Default sound". GUI thread; every change of
// the live plugin's state happens with the engine gate closed.
#pragma once

#include <windows.h>

// Right after the plugin opened, before it is resumed: keeps the sound it opened
// with, then gives it the last sound stored for it. A stored sound of another
// instrument is set aside (not given, not deleted); one that cannot be given back
// is set aside too, and said once the main window shows.
void restoreLastSound();

// Once the main window shows: the message of a last sound that could not be given back.
void reportLastSound(HWND window);

// At shutdown, before the plugin closes: stores its sound for the next start.
void keepLastSound();

// The File menu's commands.
void loadSoundCommand(HWND window);
void saveSoundCommand(HWND window);
void defaultSoundCommand(HWND window);
