// Memory an export keeps for the next one. Memory the system hands out fresh costs a
// page fault at its first touch (10 to 25 us a page under a virtual machine), which
// for a short export (a chord, a few keys) costs more than rendering and writing it;
// so the take buffers, the loop search's sum and the output piece of an export stay
// allocated for the next, 14 MiB at most, and 12 MiB more for the take buffers and sum
// of a second instance. The export that runs owns the record (the
// export dialog's job keeps it from one export to the next); one export runs at a
// time, and within it each slot has one user.
#pragma once

#include <cstddef>

enum ExportMemorySlot {
    kTakeLeftMemory,
    kTakeRightMemory,
    kOutputPieceMemory,
    kLoopSearchMemory,  // the channels summed for the pitch measure and the sustain loop's search
    // The same three for an export's second instance of the instrument, which renders
    // beside the first (and before, the probe's take on an export instance, while the
    // live instance's probe takes use the first three).
    kSecondTakeLeftMemory,
    kSecondTakeRightMemory,
    kSecondLoopSearchMemory,
    kExportMemorySlots
};

struct ExportMemory {
    struct Kept {
        void *block;
        size_t bytes;
    };
    Kept kept[kExportMemorySlots];
};

// The slot's kept block when it holds at least bytes, else newly allocated memory;
// null without the memory. With a null record, always newly allocated memory.
void *takeExportMemory(ExportMemory *memory, ExportMemorySlot slot, size_t bytes);
// Keeps the block in its slot for the next export when it is no larger than the
// slot's limit, else frees it (a null block is ignored; a null record frees it).
void returnExportMemory(ExportMemory *memory, ExportMemorySlot slot, void *block, size_t bytes);
// Frees every kept block.
void releaseExportMemory(ExportMemory &memory);
