// Memory an export keeps for the next one. Memory the system hands out fresh costs a
// page fault at its first touch (10 to 25 us a page under a virtual machine), which
// for a short export (a chord, a few keys) costs more than rendering and writing it;
// so the take buffers and the output piece of an export stay allocated for the next,
// up to a few megabytes. One export runs at a time, so no slot is used by two threads.
#pragma once

#include <cstddef>

enum ExportMemorySlot {
    kTakeLeftMemory,
    kTakeRightMemory,
    kOutputPieceMemory,
    kLoopSearchMemory,  // the channels summed for the sustain loop's search
    kExportMemorySlots
};

// The slot's kept block when it holds at least bytes, else newly allocated memory;
// null without the memory.
void *takeExportMemory(ExportMemorySlot slot, size_t bytes);
// Keeps the block in its slot for the next export when it is no larger than the
// slot's limit, else frees it (null is ignored).
void returnExportMemory(ExportMemorySlot slot, void *block, size_t bytes);
