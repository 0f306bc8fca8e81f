// The set-up the export benchmarks share: the engine installed and its buffers
// allocated, and the demo instrument beside the program opened at 44100 Hz and
// switched on, as the program does at its start.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

#include "audio/engine_state.h"
#include "engine/engine_hooks.h"
#include "midi/midi_ports.h"
#include "plugin/plugin_instance.h"

// False, with a line on stderr, when the buffers or the instrument cannot be had.
inline bool openDemoInstrument() {
    installEngine();
    initMidi();
    if (!allocateEngineBuffers(gEngine.blockSize)) {
        fprintf(stderr, "the engine buffers could not be allocated\n");
        return false;
    }
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, n < MAX_PATH ? n : 0);
    folder = folder.substr(0, folder.find_last_of('\\'));
    if (!gPlugin.open((folder + "\\Korvane.dll").c_str(), 44100.0f, gEngine.blockSize)) {
        fprintf(stderr, "no instrument beside the program\n");
        return false;
    }
    gPlugin.resume();
    return true;
}
