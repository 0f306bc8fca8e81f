// An instrument's sound as the host keeps it: taken from any plugin object through
// its dispatcher and parameter functions, and given back to any plugin object. The
// opaque chunk when the plugin declares chunks (effFlagsProgramChunks), else the
// programs' names and parameter values. GUI thread; the caller keeps the audio thread
// away from a live plugin meanwhile (engine gate closed).
#pragma once

#include <windows.h>

#include <cstdint>

#include "plugin/vst2.h"

// The largest state the host takes, gives or reads from a file. Sample-based
// instruments keep megabytes; anything near this is not a sound.
const uint32_t kMaxStateBytes = 128u << 20;

// The preset files' fixed parts: a program's header (with its 28-byte name field,
// zero-terminated as written) before its values, a bank's header before its
// programs, and the size word before an opaque chunk.
const int kPresetNameBytes = 28;
const uint32_t kPresetProgramHeaderBytes = 56;
const uint32_t kPresetBankHeaderBytes = 156;
const uint32_t kPresetChunkSizeBytes = 4;

// Why a state could not be taken, given, read or written; kept until it is shown.
enum StateReason {
    kStateOk = 0,
    kStateNothingToKeep,    // no chunks, no parameters, no programs
    kStateNoChunk,          // the plugin handed no chunk (size 0 or no data)
    kStateNoMemory,
    kStateTooLarge,         // a file, chunk or count beyond kMaxStateBytes
    kStateNotPreset,        // not a program (.fxp) or bank (.fxb) file
    kStateTruncated,        // ends before its header, or before the size it declares
    kStateShort,            // a parameter count, program count or chunk size runs past the end
    kStateOtherInstrument,  // made for another instrument (its ID differs)
    kStateOtherLayout,      // another number of programs or parameters
    kStateChunkForm,        // an opaque chunk, for a plugin that takes none
    kStateRefused,          // the plugin refused the chunk (effSetChunk answered 0)
    kStateCannotOpen,       // the file could not be opened or created (system error kept)
    kStateCannotRead,
    kStateCannotWrite,
};

struct StateFailure {
    StateReason reason = kStateOk;
    VstInt32 fileId = 0;  // kStateOtherInstrument: the file's and the plugin's IDs
    VstInt32 instrumentId = 0;
    VstInt32 filePrograms = 0;  // kStateOtherLayout: what the file holds and the plugin has
    VstInt32 fileParams = 0;
    VstInt32 instrumentPrograms = 0;
    VstInt32 instrumentParams = 0;
    DWORD systemError = 0;  // the file edge's failures

    bool ok() const { return reason == kStateOk; }
};

StateFailure stateFailure(StateReason reason);

// One program: its name (terminated) and numParams values.
struct ProgramState {
    char name[kPresetNameBytes + 1];
    float *params;
};

// The state itself. A program state (what a .fxp holds) has the current program,
// a bank state (a .fxb) every program and which one is current.
struct PluginState {
    PluginState() = default;
    ~PluginState() { clear(); }
    void clear();
    // Takes the other's content; the other is left empty.
    void moveFrom(PluginState &other);

    VstInt32 uniqueID = 0;
    VstInt32 version = 0;
    bool bank = false;
    bool chunk = false;  // chunkData holds the plugin's own chunk; no programs
    uint8_t *chunkData = nullptr;
    uint32_t chunkSize = 0;
    VstInt32 currentProgram = 0;  // a bank's current program; -1 when not known
    VstInt32 numPrograms = 0;     // programs held (1 in a program state); a chunk bank's count
    VstInt32 numParams = 0;
    ProgramState *programs = nullptr;  // numPrograms entries, or null with a chunk
    char name[kPresetNameBytes + 1] = "";  // a chunk program's name

    // Room for programs × params (zeroed names and values); false without memory.
    bool allocatePrograms(VstInt32 programs, VstInt32 params);
    bool allocateChunk(uint32_t bytes);

private:
    PluginState(const PluginState &) = delete;
    PluginState &operator=(const PluginState &) = delete;
};

// Takes the plugin's state: the bank (every program) or the current program. A bank
// of a plugin without chunks is read program by program, the current one selected
// again at the end.
StateFailure takePluginState(AEffect *effect, bool bank, PluginState &state);

// Whether the state can be given to this plugin: the same ID, the same form and
// the same numbers of parameters and programs. Nothing is sent to the plugin.
StateFailure stateFitsPlugin(const AEffect *effect, const PluginState &state);

// Gives the state to the plugin, after stateFitsPlugin; only kStateRefused can come
// after anything was sent.
StateFailure givePluginState(AEffect *effect, const PluginState &state);
