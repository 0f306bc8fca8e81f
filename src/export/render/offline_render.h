// Rendering notes through the plugin offline, as fast as it computes. The live engine
// is stopped around an export (gate and MIDI ports closed, the plugin at the export's
// rate and 512-frame blocks) and restored after it, on the GUI thread; in between, a
// renderer plays each take on the export's thread: it resets the plugin, plays the
// take's keys for the hold time and renders the release, into memory or, beyond a
// budget, into two temporary float files, one per channel.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "export/takes/export_memory.h"
#include "export/takes/finished_take.h"
#include "export/takes/take_plan.h"
#include "midi/midi_queue.h"

class PluginInstance;

const int kStagedFrames = 4096;  // blocks gather here before they go to the temporary files

// A take is rendered into memory when its floats (and, with loops, the sum the loop
// search reads) fit this budget and through the temporary files beyond it; a take
// there is written as rendered, without loop or trim. With the output's piece
// (output_writer.h) an export holds at most 64 MiB in the 32-bit build.
const size_t kTakeBudget = sizeof(void *) == 4 ? (62u << 20) : (256u << 20);

// Stops the real-time engine (gate, MIDI ports), sizes the engine buffers for 512
// frames and sets the plugin to the export rate. Sets the process-wide export flag
// until endOfflineEngine. False only when the engine buffers cannot be allocated
// (endOfflineEngine restores the engine then). GUI thread.
bool beginOfflineEngine(int32_t rate);
// Restores the engine: plugin back at the engine's rate and block size and switched
// on, MIDI queue emptied, MIDI ports and the engine gate opened, the export flag
// cleared. With sound switched off the plugin stays suspended, the ports closed and
// the gate as closed as before the export. GUI thread, once every renderer is closed.
void endOfflineEngine();

// Writes the events of a step into the block: one note-on (or note-on with velocity
// 0) per key in the given order on the channel; numEvents = count (0 for none).
void fillTakeEvents(PluginEventBlock &block, TakeEvents events, const uint8_t *keys, int count, int channel,
                    int velocity);
// The flush's first block: control change 123, value 0, on channels 1 to 16.
void fillAllNotesOff(PluginEventBlock &block);

// One instance of the instrument rendering an export's takes. Its event block, its
// input and output buffers and the current take's room are its own; the take's
// memory comes from the export's memory and goes back to it.
struct TakeRenderer {
    PluginInstance *plugin;
    ExportTiming timing;
    int midiChannel;
    const volatile LONG *cancel;  // non-zero: stop after the current block; may be null
    ExportMemory *memory;         // may be null
    ExportMemorySlot slots[3];    // where in it the take's left, right and sum come from
    PluginEventBlock events;
    float *silence;   // kExportBlock floats: every input
    float *discard;   // kExportBlock floats: every output beyond the second
    float *block[2];  // kExportBlock floats each: the flush, and blocks on their way to the files
    // The frames the instrument says its output comes late (initialDelay, at most a
    // second): each take renders that much longer and starts that much later, so that
    // its sound starts with its note.
    int32_t latency;
    float *rendered[2];      // each channel's rendering in memory (whole blocks), latency included
    TakeAudio audio;  // the current take: memory points past the latency
    size_t takeBytes;        // of each channel in memory, and of the sum
    float *sum;              // with a take in memory: room for its channels summed (pitch, loop search)
    float *staged[2];        // kStagedFrames floats per channel, on their way to the files
    int stagedFrames;
    int32_t framesKept;      // frames of the current take that reached memory or both files
};

// Makes room for the plan's takes: in memory within the budget (a third of it for each
// channel and for their sum, which the pitch measure and the loop search read; 0
// gives kTakeBudget), else two temporary files in the TMP folder. False when its
// buffers cannot be allocated (closeTakeRenderer frees what was).
// second: the memory's slots of an export's second instance.
bool openTakeRenderer(TakeRenderer &renderer, PluginInstance *plugin, const ExportPlan &plan, size_t takeBudget,
                      ExportMemory *memory, const volatile LONG *cancel, bool second = false);
// The same for takes of this timing on this MIDI channel (the probe's short takes).
bool openTakeRenderer(TakeRenderer &renderer, PluginInstance *plugin, const ExportTiming &timing, int midiChannel,
                      size_t takeBudget, ExportMemory *memory, const volatile LONG *cancel, bool second = false);
// Empties the temporary files, switches the plugin off and on and plays about one
// second of All Notes Off and silence, thrown away. False when cancelled meanwhile.
bool resetPluginForTake(TakeRenderer &renderer);
// Plays the take's keys at its velocity for the hold time (of the renderer's timing)
// and renders the release.
// False when cancelled before the take was complete.
bool renderTake(TakeRenderer &renderer, const ExportPlan &plan, const PlannedTake &take);
// True when every frame of the take just rendered was kept.
bool takeComplete(const TakeRenderer &renderer);
// Temporary files closed (and so deleted), buffers freed, the take's memory given back.
void closeTakeRenderer(TakeRenderer &renderer);
