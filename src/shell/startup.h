// The program's start-up, message loop and shutdown.
#pragma once

#include <windows.h>

#include <cstddef>

// Runs the whole program; returns the process exit code (always 0).
int runKorvane(HINSTANCE instance);

// The shutdown the main window performs on WM_DESTROY.
void shutdownKorvane(HWND mainWindow);

// Splits a module file name at its last backslash, leaving the folder in place and
// writing folder + "\Korvane.dll" into pluginPath. Returns false when either does not fit.
bool pluginPathFromModule(char *moduleName, char *pluginPath, size_t pluginPathSize);

// The engine's one-time set-up before the plugin is loaded: time information,
// capture files and the writer's events, keyboard map, default channel maps,
// MIDI event block, window classes.
void engineSetup(HINSTANCE instance);
