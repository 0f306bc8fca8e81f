// The piano-keyboard control ("KeysClass") of the export dialog: three octaves at a
// time, scrolled by octaves; the left button selects keys (click or drag), the right
// button auditions them (press, drag for a glissando). With the focus (Tab), a key
// cursor drawn as a focus frame: the arrow keys move it (Shift selects on the way),
// Space toggles its key, Ctrl+A selects every key, Delete clears the selection, Enter
// auditions its key while held. The cursor shows as soon as the control has the focus.
#pragma once

#include <windows.h>

#include <cstdint>

#include "midi/midi_keys.h"

struct MidiQueue;

const int kVisibleWhiteKeys = 21;  // three octaves
const int kKeyScrollStart = 4;     // the control opens on notes 48..83
const int kKeyScrollMax = 8;       // the lowest visible octave, 0..8 (8 shows 96..127)
const int kKeysChangedCode = 0x300;  // EN_CHANGE, sent to the parent with the control's id

// The key selection the control shows and edits (its owner keeps it).
struct KeySelection {
    uint8_t keys[kKeyCount];  // non-zero = selected
    int32_t soundingNote;     // the note last started with the right button
    int32_t hoveredKey;       // the note under the pointer at the last move over the keys
    uint8_t paintMode;        // 1: a left drag selects, 0: it deselects
    uint8_t cursorPlaced;     // 0 until the keyboard or a click first places the cursor
    int32_t cursor;           // the note under the keyboard cursor, once placed
};

// What the owner hands the control when it initialises: the selection, and where the
// control reads the MIDI channel (0-based) and velocity of its preview notes at each
// note. The record and what it points to outlive the control window.
struct KeyControlData {
    KeySelection *selection;
    const int *midiChannel;
    const int *velocity;
};

// Hands the control its data (kept as a window property). Until then the control
// shows no key selected and ignores the mouse.
void setKeyControlData(HWND control, KeyControlData *data);

extern const char kKeysClass[];  // "KeysClass"

// The key layout for a client area; every value an integer division as drawn.
struct KeyGeometry {
    int width, height;
    int keyWidth;     // W / 21
    int margin;       // (W - 21 kw) / 2
    int blackWidth;   // kw / 2
    int blackHeight;  // 2 H / 3
};

KeyGeometry keyGeometry(int width, int height);
int whiteKeyLeft(const KeyGeometry &g, int whiteIndex);
int blackKeyLeft(const KeyGeometry &g, int whiteIndex);
// True when a black key follows white key i (not after E and B).
bool hasBlackKeyAfter(int whiteIndex);
int whiteKeyNote(int scroll, int whiteIndex);
// -1 when no black key follows that white key.
int blackKeyNote(int scroll, int whiteIndex);
// The note under (x, y), or -1 left or right of the keys or outside 0..127.
int keyAt(const KeyGeometry &g, int scroll, int x, int y);
// The octave label of a C key ("%d"): note 60 is 3.
int octaveLabel(int scroll, int whiteIndex);

// The scroll position a WM_HSCROLL request asks for (the system then keeps it within
// 0..7); false for requests that do nothing (thumb-position and the rest). `track`
// is the thumb-track position.
bool scrollRequestTarget(int code, int position, int track, int *target);

// Packed note-on (velocity > 0) and note-off (velocity 0) on a 0-based channel.
uint32_t noteMessage(int channel, int note, int velocity);

// A mouse move over the note (from keyAt) with the button state of the message:
// with the right button alone a glissando to a new note (note-off of the sounding
// note, then the new note-on, into the queue); with the left button alone a drag
// selects or deselects (by paint mode) a key newly entered. Returns true when a
// key's flag changed (the caller repaints and notifies the parent).
bool keyMouseMove(KeySelection &sel, MidiQueue &queue, int note, WPARAM buttons, int channel, int velocity);
// A left click on the hovered key: toggles it and sets the paint mode; true when
// a key was toggled.
bool keyLeftClick(KeySelection &sel);
// Right button down and up: start the hovered note, stop the sounding note.
void keyRightDown(KeySelection &sel, MidiQueue &queue, int channel, int velocity);
void keyRightUp(KeySelection &sel, MidiQueue &queue, int channel);

// What a key press did: nothing for keys the control does not use.
enum KeyPressResult { kKeyIgnored = 0, kKeyHandled = 1, kKeySelectionChanged = 2 };

// A key pressed with the focus on the control (see the top of this file); the cursor
// starts at the first C shown (scroll position `scroll`) when not yet placed. Enter
// starts the cursor's note (once, not again on auto-repeat) until keyKeyUp.
int keyKeyDown(KeySelection &sel, MidiQueue &queue, int virtualKey, bool shift, bool control, bool repeat, int scroll,
               int channel, int velocity);
void keyKeyUp(KeySelection &sel, MidiQueue &queue, int virtualKey, int channel);

// The scroll position nearest to `scroll` at which the note is shown.
int scrollToShow(int scroll, int note);
// Places the cursor, when it has no place yet, on the first C shown at this scroll.
void placeKeyCursor(KeySelection &sel, int scroll);
// A key's colour by kind and selection: selected keys orange, a black one darker.
COLORREF keyColour(bool black, bool selected);

int countSelectedKeys(const KeySelection &sel);

void registerKeysClass(HINSTANCE instance);
LRESULT CALLBACK keysWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
