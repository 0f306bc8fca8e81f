// The VST preset files, as bytes: a program (.fxp) and a bank (.fxb), each with
// parameter values ('FxCk', 'FxBk') or an opaque chunk ('FPCh', 'FBCh') behind the
// 'CcnK' header; sizes, IDs and floats big-endian. Pure functions over buffers.
//
// Program: 'CcnK', byteSize (the bytes after this word), 'FxCk' or 'FPCh', format
// version, fxID, fxVersion, numParams, the 28-byte name; then numParams floats, or
// a chunk size and the chunk.
// Bank: 'CcnK', byteSize, 'FxBk' or 'FBCh', format version (2: with the current
// program), fxID, fxVersion, numPrograms, current program, 124 reserved bytes; then
// numPrograms program records ('FxCk'), or a chunk size and the chunk.
#pragma once

#include <cstddef>
#include <cstdint>

#include "plugin/plugin_state.h"

// The bytes writePresetFile makes of the state: a program file for a program state,
// a bank file for a bank state; 0 when the state is empty or larger than
// kMaxStateBytes allows.
size_t presetFileSize(const PluginState &state);

// Writes presetFileSize(state) bytes.
void writePresetFile(const PluginState &state, uint8_t *out);

// Reads either file into the state. Every size and count is checked against the
// bytes there are before anything is allocated or read; on failure the state is
// left empty and the reason says what was wrong. A byteSize of 0 (which some hosts
// write) is not taken as a size.
StateFailure readPresetFile(const uint8_t *data, size_t size, PluginState &state);
