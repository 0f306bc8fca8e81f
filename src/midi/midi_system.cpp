#include "midi/midi_system.h"

MidiSystem winmmMidiSystem() {
    MidiSystem s;
    s.midiInGetNumDevs = ::midiInGetNumDevs;
    s.midiOutGetNumDevs = ::midiOutGetNumDevs;
    s.midiInGetDevCapsA = ::midiInGetDevCapsA;
    s.midiOutGetDevCapsA = ::midiOutGetDevCapsA;
    s.midiInOpen = ::midiInOpen;
    s.midiInStart = ::midiInStart;
    s.midiInStop = ::midiInStop;
    s.midiInClose = ::midiInClose;
    s.midiOutOpen = ::midiOutOpen;
    s.midiOutShortMsg = ::midiOutShortMsg;
    s.midiOutClose = ::midiOutClose;
    s.midiConnect = ::midiConnect;
    return s;
}

MidiSystem gMidiSystem = winmmMidiSystem();
