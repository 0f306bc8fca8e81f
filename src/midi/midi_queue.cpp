#include "midi/midi_queue.h"

#include "core/gate.h"

MidiQueue gMidiQueue;
PluginEventBlock gPluginEventBlock;

bool MidiQueue::push(uint32_t message) {
    gMidiQueueLock.enter();
    LONG n = count;
    bool stored = n >= 0 && n < kMidiQueueSize;
    if (stored) {
        messages[n] = message;
        count = n + 1;
    }
    gMidiQueueLock.leave();
    return stored;
}

void MidiQueue::clear() {
    gMidiQueueLock.enter();
    count = 0;
    gMidiQueueLock.leave();
}

void prepareEventBlock(PluginEventBlock &block) {
    block.numEvents = 0;
    block.reserved = 0;
    for (int i = 0; i < kMidiQueueSize; ++i) {
        VstMidiEvent &e = block.records[i];
        e.type = kVstMidiType;
        e.byteSize = 24;
        e.deltaFrames = 0;
        e.flags = 0;
        e.noteLength = 0;
        e.noteOffset = 0;
        e.midiData[0] = e.midiData[1] = e.midiData[2] = e.midiData[3] = 0;
        e.detune = 0;
        e.noteOffVelocity = 0;
        e.reserved1 = 0;
        e.reserved2 = 0;
        block.events[i] = reinterpret_cast<VstEvent *>(&e);
    }
}

void storeMidiMessage(VstMidiEvent &event, uint32_t message) {
    event.midiData[0] = (char)(message & 0xFF);
    event.midiData[1] = (char)((message >> 8) & 0xFF);
    event.midiData[2] = (char)((message >> 16) & 0xFF);
    event.midiData[3] = 0;
}

int drainMidiQueue(MidiQueue &queue, PluginEventBlock &block) {
    gMidiQueueLock.enter();
    LONG n = queue.count;
    if (n < 0) n = 0;
    if (n > kMidiQueueSize) n = kMidiQueueSize;
    for (LONG k = 0; k < n; ++k) storeMidiMessage(block.records[k], queue.messages[k]);
    block.numEvents = n;
    queue.count = 0;
    gMidiQueueLock.leave();
    return n;
}
