// The queue of short MIDI messages that every note source feeds, and the event
// block through which the block processing hands them to the plugin.
#pragma once

#include <windows.h>

#include <cstdint>

#include "plugin/vst2.h"

const int kMidiQueueSize = 256;

// Packed short messages in the layout of midiOutShortMsg: status in bits 0-7,
// data 1 in bits 8-15, data 2 in bits 16-23. Guarded by gMidiQueueLock.
//
// When the queue is full (256 messages waiting since the last drain), a push drops
// the new message: count never exceeds 256 and nothing outside messages[] is
// written, however many messages arrive between two blocks.
struct MidiQueue {
    uint32_t messages[kMidiQueueSize];
    volatile LONG count;  // messages waiting, 0 ... 256

    // Appends one message under the lock; false when it was dropped (queue full).
    bool push(uint32_t message);
    // Forgets every waiting message (under the lock).
    void clear();
};

// A VstEvents record followed by its own 256 event records. The first three fields
// have the layout of VstEvents, so the block is handed to effProcessEvents as is.
// Pointer i always refers to records[i]; users change only numEvents and the MIDI
// data bytes of the records.
struct PluginEventBlock {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent *events[kMidiQueueSize];
    VstMidiEvent records[kMidiQueueSize];
};

static_assert(offsetof(PluginEventBlock, numEvents) == offsetof(VstEvents, numEvents), "VstEvents layout");
static_assert(offsetof(PluginEventBlock, reserved) == offsetof(VstEvents, reserved), "VstEvents layout");
static_assert(offsetof(PluginEventBlock, events) == offsetof(VstEvents, events), "VstEvents layout");

extern MidiQueue gMidiQueue;
extern PluginEventBlock gPluginEventBlock;

// No events; every record kVstMidiType, 24 bytes, everything else 0; pointers fixed.
void prepareEventBlock(PluginEventBlock &block);

// Writes a packed message as the record's MIDI data: status, data 1, data 2, 0.
void storeMidiMessage(VstMidiEvent &event, uint32_t message);

// Under the lock: copies the waiting messages in arrival order into the first
// records, sets numEvents to their number, empties the queue. Returns the number
// handed over (0 ... 256). Used by the block processing on the driver's thread.
int drainMidiQueue(MidiQueue &queue, PluginEventBlock &block);
