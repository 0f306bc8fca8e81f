// Rendering notes through the plugin offline, as fast as it computes, with the
// real-time engine stopped around the export. One take plays one key (multisample)
// or all selected keys (chord) for the hold time, then renders the release; its
// samples stay in memory, or beyond a budget land in two temporary float files, one
// per channel.
#pragma once

#include <windows.h>

#include <cstddef>
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

// How an export is run: where it tells of its takes, the flag that cancels it, and
// how much memory one take may hold.
struct ExportControl {
    // Called on the export's thread as each take starts: its ordinal (1 for the first)
    // and the number of takes. May be null.
    void (*takeStarted)(void *context, int ordinal, int takes);
    void *context;
    volatile LONG *cancel;  // non-zero: the export stops after the current block; may be null
    size_t takeBudget;      // bytes of floats a take may hold in memory; 0 gives kTakeBudget
};

// A take is rendered into memory when its floats (and, with loops, the sum the loop
// search reads) fit this budget and through the temporary files beyond it; a take
// there is written as rendered, without loop or trim. With the output's piece
// (output_writer.h) an export holds at most 64 MiB in the 32-bit build.
const size_t kTakeBudget = sizeof(void *) == 4 ? (62u << 20) : (256u << 20);

// One export in progress: the plugin at the export rate and 512-frame blocks, and the
// current take, in memory or in the two temporary files.
struct OfflineRender {
    ExportTiming timing;
    int channels;           // 1 mono, 2 stereo (only the writers look at it)
    int midiChannel;
    int velocity;
    int keyCount;           // selected keys
    float *left;            // 512 floats each: the flush, and blocks on their way to the files
    float *right;
    float *take[2];         // the whole take per channel (in whole blocks), or null: the files hold it
    size_t takeBytes;       // of each of them
    float *staged[2];       // kStagedFrames floats per channel, on their way to the files
    int stagedFrames;
    HANDLE tempFiles[2];    // INVALID_HANDLE_VALUE when not needed or not made
    const ExportControl *control;  // or null
    int32_t framesKept;     // frames of the current take that reached memory or both files
};

// Stops the real-time engine (gate, MIDI ports), sizes the engine buffers for 512
// frames, sets the plugin to the export rate and makes room for a take: in memory
// within the budget, else two temporary files in the TMP folder. Returns false only
// when the buffers cannot be allocated (endOfflineRender restores the engine then).
// Sets the process-wide export flag until endOfflineRender. GUI thread.
bool beginOfflineRender(OfflineRender &render, const ExportSettings &settings, const uint8_t *keySelection,
                        const ExportControl *control);
// Empties the temporary files, switches the plugin off and on and plays about one
// second of All Notes Off and silence, thrown away. False when the export was
// cancelled meanwhile.
bool resetPluginForTake(OfflineRender &render);
// Plays the keys (ascending) for the hold time and renders the release; afterwards
// render.framesKept tells how many frames were kept. False when the export was
// cancelled before the take was complete.
bool renderTake(OfflineRender &render, const uint8_t *keys, int count);
// 512 frames of the plugin into the block buffers (inputs silent, outputs 2 and
// above discarded; a single output goes into both).
void processExportBlock(OfflineRender &render);
// Restores the engine: temporary files closed (and so deleted), plugin back at the
// engine's rate and block size and switched on, MIDI queue emptied, MIDI ports and
// the engine gate opened, the export flag cleared. With sound switched off the plugin
// stays suspended, the ports closed and the gate as closed as before the export. GUI
// thread, once the export's thread (if any) has ended.
void endOfflineRender(OfflineRender &render);

// Tells the control that a take starts.
void reportTakeStarted(OfflineRender &render, int ordinal, int takes);
// True once the export was asked to stop.
bool exportCancelled(const OfflineRender &render);

// True when every frame of the take just rendered was kept.
bool takeComplete(const OfflineRender &render);

// Moves both temporary files to their start for reading the take from its first point.
void rewindTake(OfflineRender &render);
// The next `count` points (at most kStagedFrames) of one channel of the current take,
// starting at point `from`: in memory, or read from the channel's temporary file
// (read in order from the start after rewindTake) into scratch. What the file cannot
// deliver (a temporary file that could not be written) reads as silence.
const float *takePoints(OfflineRender &render, int channel, int32_t from, int count, float *scratch);
