#include "midi/midi_ports.h"

#include "midi/midi_queue.h"
#include "midi/midi_system.h"

int32_t gMidiInIndex = -1;
int32_t gMidiOutIndex = -1;
HMIDIIN gMidiInHandle = nullptr;
HMIDIOUT gMidiOutHandle = nullptr;
int32_t gKeyNoteTable[kKeyNoteTableSize];

namespace {

const int kBaseNote = 48;
const uint32_t kKeyVelocity = 100;

// Per scan code: 1 from a key-down that played a note until its note-off (GUI thread).
uint8_t gKeyHeld[kKeyNoteTableSize];

struct KeyNote {
    int scanCode;
    int offset;
};

// Lower row (Z ... /) then upper row (Q ... ]); offsets 12 to 16 occur in both.
const KeyNote kKeyNotes[] = {
    {44, 0},  {31, 1},  {45, 2},  {32, 3},  {46, 4},  {47, 5},  {34, 6},  {48, 7},  {35, 8},  {49, 9},
    {36, 10}, {50, 11}, {51, 12}, {38, 13}, {52, 14}, {39, 15}, {53, 16}, {16, 12}, {3, 13},  {17, 14},
    {4, 15},  {18, 16}, {19, 17}, {6, 18},  {20, 19}, {7, 20},  {21, 21}, {8, 22},  {22, 23}, {23, 24},
    {10, 25}, {24, 26}, {11, 27}, {25, 28}, {26, 29}, {13, 30}, {27, 31},
};
static_assert(sizeof(kKeyNotes) / sizeof(kKeyNotes[0]) == 37, "37 keys play notes");

void playKeyNote(uint32_t message) {
    gMidiQueue.push(message);
    if (gMidiOutHandle) gMidiSystem.midiOutShortMsg(gMidiOutHandle, message);
}

}  // namespace

void openMidiPorts() {
    closeMidiPorts();
    if (gMidiInIndex >= 0) {
        HMIDIIN input = nullptr;
        MMRESULT r = gMidiSystem.midiInOpen(&input, (UINT)gMidiInIndex, (DWORD_PTR)&midiInputCallback, 0,
                                            CALLBACK_FUNCTION);
        if (r == MMSYSERR_NOERROR && input) {
            if (gMidiSystem.midiInStart(input) == MMSYSERR_NOERROR) {
                gMidiInHandle = input;
            } else {
                gMidiSystem.midiInClose(input);
            }
        }
    }
    if (gMidiOutIndex >= 0) {
        HMIDIOUT output = nullptr;
        MMRESULT r = gMidiSystem.midiOutOpen(&output, (UINT)gMidiOutIndex, 0, 0, CALLBACK_NULL);
        if (r == MMSYSERR_NOERROR && output) gMidiOutHandle = output;
    }
    if (gMidiInHandle && gMidiOutHandle) {
        gMidiSystem.midiConnect((HMIDI)gMidiInHandle, gMidiOutHandle, nullptr);
    }
}

void closeMidiPorts() {
    if (gMidiInHandle) {
        gMidiSystem.midiInStop(gMidiInHandle);
        gMidiSystem.midiInClose(gMidiInHandle);
        gMidiInHandle = nullptr;
    }
    if (gMidiOutHandle) {
        gMidiSystem.midiOutClose(gMidiOutHandle);
        gMidiOutHandle = nullptr;
    }
}

bool passesMidiInputFilter(uint32_t message) {
    uint32_t kind = message & 0xF0;
    if (kind < 0x80 || kind >= 0xF0) return false;
    if (kind == 0xB0 && ((message >> 8) & 0xFF) == 123) return false;
    return true;
}

void CALLBACK midiInputCallback(HMIDIIN, UINT message, DWORD_PTR, DWORD_PTR param1, DWORD_PTR) {
    if (message != MIM_DATA) return;
    uint32_t packed = (uint32_t)param1;
    if (passesMidiInputFilter(packed)) gMidiQueue.push(packed);
}

void initKeyNoteTable(int32_t table[kKeyNoteTableSize]) {
    for (int i = 0; i < kKeyNoteTableSize; ++i) table[i] = -1;
    for (const KeyNote &k : kKeyNotes) table[k.scanCode] = k.offset;
}

uint32_t keyNoteMessage(const int32_t table[kKeyNoteTableSize], int scanCode, bool noteOn) {
    if (scanCode < 0 || scanCode >= kKeyNoteTableSize) return 0;
    int32_t offset = table[scanCode];
    if (offset < 0 || kBaseNote + offset > 127) return 0;
    uint32_t status = noteOn ? 0x90 : 0x80;
    return status | (uint32_t)(kBaseNote + offset) << 8 | kKeyVelocity << 16;
}

void keyDown(int scanCode, int repeatBit) {
    if (repeatBit) return;
    uint32_t message = keyNoteMessage(gKeyNoteTable, scanCode, true);
    if (!message) return;  // also rules out scan codes outside the table
    gKeyHeld[scanCode] = 1;
    playKeyNote(message);
}

void keyUp(int scanCode) {
    uint32_t message = keyNoteMessage(gKeyNoteTable, scanCode, false);
    if (!message || !gKeyHeld[scanCode]) return;
    gKeyHeld[scanCode] = 0;
    playKeyNote(message);
}

void releaseHeldKeys() {
    for (int scanCode = 0; scanCode < kKeyNoteTableSize; ++scanCode)
        if (gKeyHeld[scanCode]) keyUp(scanCode);
}

void allNotesOff() {
    for (uint32_t channel = 0; channel < 16; ++channel) gMidiQueue.push(0x7BB0 | channel);
}

void initMidi() {
    initKeyNoteTable(gKeyNoteTable);
    for (uint8_t &held : gKeyHeld) held = 0;
    gMidiQueue.count = 0;
    prepareEventBlock(gPluginEventBlock);
}
