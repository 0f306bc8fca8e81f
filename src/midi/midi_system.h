// The winmm MIDI calls this program makes, gathered in one table so that tests can
// stand in for the system's devices. Filled with the real calls by default.
#pragma once

#include <windows.h>
#include <mmsystem.h>

struct MidiSystem {
    decltype(&::midiInGetNumDevs) midiInGetNumDevs;
    decltype(&::midiOutGetNumDevs) midiOutGetNumDevs;
    decltype(&::midiInGetDevCapsA) midiInGetDevCapsA;
    decltype(&::midiOutGetDevCapsA) midiOutGetDevCapsA;
    decltype(&::midiInOpen) midiInOpen;
    decltype(&::midiInStart) midiInStart;
    decltype(&::midiInStop) midiInStop;
    decltype(&::midiInClose) midiInClose;
    decltype(&::midiOutOpen) midiOutOpen;
    decltype(&::midiOutShortMsg) midiOutShortMsg;
    decltype(&::midiOutClose) midiOutClose;
    decltype(&::midiConnect) midiConnect;
};

// The table of the real winmm functions.
MidiSystem winmmMidiSystem();

// The table every MIDI port operation goes through.
extern MidiSystem gMidiSystem;
