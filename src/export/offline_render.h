// Rendering notes through the plugin offline, as fast as it computes, with the
// real-time engine stopped around the export. One take plays one key (multisample)
// or all selected keys (chord) for the hold time, then renders the release; its
// samples land in two temporary float files, one per channel.
#pragma once

#include <windows.h>

#include <cstdint>

struct ExportSettings;
struct PluginEventBlock;

const int kExportBlock = 512;
const int kStagedFrames = 4096;  // blocks gather here before they go to the temporary files

// Frame counts of every take of an export.
struct ExportTiming {
    int32_t rate;
    int32_t holdFrames;     // rate / 1000.0 x hold ms, truncated
    int32_t releaseFrames;
    int32_t totalFrames;    // hold + release
};

// Any rate index outside 0..7 gives 44100 Hz.
int32_t exportRate(int rateIndex);
ExportTiming exportTiming(int rateIndex, int holdMs, int releaseMs);
// Blocks of All Notes Off and silence before a take: rate / 512 + 1, a little more
// than a second.
int flushBlocks(int32_t rate);

// What goes to the plugin before one block of a take.
enum TakeEvents { kTakeNoEvents, kTakeNoteOn, kTakeNoteOff };

struct TakeCursor {
    int32_t position = 0;  // frames rendered so far
    bool started = false;
    bool released = false;
};

// The step before the next block: its events and the frames of it to keep. The
// note-off falls at frame max(1, hold div 512) x 512; the last block is cut.
// Call while cursor.position < total frames; advances the cursor by one block.
struct TakeStep {
    TakeEvents events;
    int32_t keep;
};
TakeStep nextTakeStep(TakeCursor &cursor, const ExportTiming &timing);

// Writes the events of a step into the block: one note-on (or note-on with velocity
// 0) per key in the given order on the channel; numEvents = count (0 for none).
void fillTakeEvents(PluginEventBlock &block, TakeEvents events, const uint8_t *keys, int count, int channel,
                    int velocity);
// The flush's first block: control change 123, value 0, on channels 1 to 16.
void fillAllNotesOff(PluginEventBlock &block);

// One export in progress: the plugin at the export rate and 512-frame blocks, two
// block buffers and the two temporary files of the current take.
struct OfflineRender {
    ExportTiming timing;
    int channels;           // 1 mono, 2 stereo (only the writers look at it)
    int midiChannel;
    int velocity;
    int keyCount;           // selected keys
    float *left;            // 512 floats each
    float *right;
    float *staged[2];       // kStagedFrames floats per channel, on their way to the files
    int stagedFrames;
    HANDLE tempFiles[2];    // INVALID_HANDLE_VALUE when they could not be created
    HWND progress;          // the dialog's progress bar, or null
    int32_t framesKept;     // frames of the current take that reached both files
};

// Stops the real-time engine (gate, MIDI ports), sizes the engine buffers for 512
// frames, sets the plugin to the export rate, allocates the block buffers and creates
// the temporary files in the TMP folder. Returns false only when the buffers cannot
// be allocated (the engine is restored again then).
bool beginOfflineRender(OfflineRender &render, const ExportSettings &settings, const uint8_t *keySelection,
                        HWND progress);
// Empties the temporary files, switches the plugin off and on and plays about one
// second of All Notes Off and silence, thrown away.
void resetPluginForTake(OfflineRender &render);
// Plays the keys (ascending) for the hold time and renders the release into the
// temporary files; afterwards render.framesKept tells how many frames reached them.
void renderTake(OfflineRender &render, const uint8_t *keys, int count);
// 512 frames of the plugin into the block buffers (inputs silent, outputs 2 and
// above discarded; a single output goes into both).
void processExportBlock(OfflineRender &render);
// Restores the engine: temporary files closed (and so deleted), plugin back at the
// engine's rate and block size and switched on, MIDI queue emptied, MIDI ports and
// the engine gate opened, progress bar hidden. With sound switched off the plugin
// stays suspended, the ports closed and the gate as closed as before the export.
void endOfflineRender(OfflineRender &render);

// Progress bar: range 0..n at the start of the writing, position per take.
void setExportProgressRange(OfflineRender &render, int n);
void setExportProgress(OfflineRender &render, int position);

// True when every frame of the take just rendered reached the temporary files.
bool takeComplete(const OfflineRender &render);

// Reads the next `count` points of one channel of the current take into out; what
// the file cannot deliver (a temporary file that could not be written) reads as
// silence, so every take yields exactly its total frames.
void readTakePoints(OfflineRender &render, int channel, float *out, int count);
// Moves both temporary files to their start for reading.
void rewindTake(OfflineRender &render);
