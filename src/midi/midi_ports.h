// The MIDI input and output ports, MIDI thru between them, the computer-keyboard
// notes and the host's all-notes-off burst. Everything played ends in gMidiQueue.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>

// Device indexes from the settings; -1 = none (any negative value counts as none).
extern int32_t gMidiInIndex;
extern int32_t gMidiOutIndex;
// Null while the port is closed.
extern HMIDIIN gMidiInHandle;
extern HMIDIOUT gMidiOutHandle;

// Closes both ports and opens them again from the stored indexes. A port that
// cannot be opened (or, for the input, started) stays closed; with both open, the
// system passes everything from the input to the output (MIDI thru).
void openMidiPorts();
void closeMidiPorts();

// The input port's callback (the system's MIDI thread): channel messages other
// than control change 123 go into gMidiQueue unchanged.
void CALLBACK midiInputCallback(HMIDIIN input, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                                DWORD_PTR param2);

// True for a packed message from the input port that the plugin should receive.
bool passesMidiInputFilter(uint32_t message);

// Note offset (note 48 + offset) per keyboard scan code, -1 for no note.
const int kKeyNoteTableSize = 256;
extern int32_t gKeyNoteTable[kKeyNoteTableSize];

// All entries -1, then the 37 keys of the two piano rows.
void initKeyNoteTable(int32_t table[kKeyNoteTableSize]);

// The note-on (or note-off) message on channel 1, velocity 100, for a scan code;
// 0 when the scan code plays no note.
uint32_t keyNoteMessage(const int32_t table[kKeyNoteTableSize], int scanCode, bool noteOn);

// Typed keys in the main window: scan code = bits 16-23 of the key message's
// parameter, repeat bit = bit 30 (non-zero: the key was already down). A key-up
// sends its note-off only for a key whose note-on was played and not yet ended,
// so a note never gets two note-offs and a repeat never starts a note.
void keyDown(int scanCode, int repeatBit);
void keyUp(int scanCode);

// Ends every note still held on the computer keyboard, each by the key-up path,
// for when the main window loses the keyboard focus (its key-ups go elsewhere).
void releaseHeldKeys();

// Control change 123 on channels 1 to 16, in that order, into the queue only.
void allNotesOff();

// Start-up preparation: key note table, no key held, an empty queue, the event block.
void initMidi();
