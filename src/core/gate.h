// The gate: two interlocked counters that serve as the engine gate (closed by the
// GUI thread around reconfiguration, entered without waiting by the driver thread)
// and as a spin lock with 1 ms sleeps (the capture lock, the MIDI queue lock).
#pragma once

#include <windows.h>

struct Gate {
    volatile LONG level;    // 1 while open; each close lowers it, each open raises it
    volatile LONG counter;  // equals level while nobody is inside, one lower while a holder is

    // Waits (1 ms sleeps) until every thread that was inside has left.
    void close();
    // close that gives up waiting after timeoutMs (the gate stays closed); true when
    // every thread that was inside has left.
    bool closeWithin(DWORD timeoutMs);
    void open();
    bool tryEnter();
    void enter();  // try, sleep 1 ms, try again, without limit
    void leave();
};

// Constant-initialised, so they exist before any constructor runs.
extern Gate gEngineGate;
extern Gate gCaptureLock;
extern Gate gMidiQueueLock;

// Close the engine gate and then the capture lock; returns once neither the buffer
// switch nor the capture writer is inside.
void closeEngineGate();
void openEngineGate();
