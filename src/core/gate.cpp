#include "core/gate.h"

Gate gEngineGate = {1, 1};
Gate gCaptureLock = {1, 1};
Gate gMidiQueueLock = {1, 1};

void Gate::close() {
    InterlockedDecrement(&level);
    InterlockedDecrement(&counter);
    while (counter != level) Sleep(1);
}

bool Gate::closeWithin(DWORD timeoutMs) {
    InterlockedDecrement(&level);
    InterlockedDecrement(&counter);
    DWORD start = GetTickCount();
    while (counter != level) {
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(1);
    }
    return true;
}

void Gate::open() {
    InterlockedIncrement(&level);
    InterlockedIncrement(&counter);
}

bool Gate::tryEnter() {
    if (InterlockedDecrement(&counter) == 0) return true;
    InterlockedIncrement(&counter);
    return false;
}

void Gate::enter() {
    while (!tryEnter()) Sleep(1);
}

void Gate::leave() { InterlockedIncrement(&counter); }

void closeEngineGate() {
    gEngineGate.close();
    gCaptureLock.close();
}

void openEngineGate() {
    gEngineGate.open();
    gCaptureLock.open();
}
