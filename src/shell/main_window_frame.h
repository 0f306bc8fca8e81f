// The main window as a frame around the plugin's editor: made by the program, the
// editor opened into it, sized to the editor plus the status strip and centred.
#pragma once

#include <windows.h>

#include "plugin/plugin_instance.h"

extern const int kStatusStripHeight;   // 18 pixels along the bottom of the main window
extern const char kMainWindowClass[];  // "EditorWndClass"
extern const char kMainWindowTitle[];  // "Korvane"

// Creates the main window (hidden, owned by owner, of the registered class
// kMainWindowClass), opens the plugin's editor into it and sizes it around the editor
// and the status strip, centred in the work area (never left of or above it). Null,
// and no window, when the plugin has no editor.
HWND createMainWindow(PluginInstance &plugin, HWND owner);

// Resizes the window so its client area has the editor rectangle's size.
void fitWindowToEditor(HWND window, const ERect *rect);

// Where the window goes inside a work area: centred, never left of or above it.
POINT centreInWorkArea(const RECT &workArea, int width, int height);
