#include "export/takes/export_memory.h"

#include <cstdlib>

namespace {

// Each take channel and the loop search's sum up to 4 MiB (1 048 576 frames: 23 s at
// 44100 Hz), of either instance, and the output piece.
const size_t kKeptBytes[kExportMemorySlots] = {4u << 20, 4u << 20, 2u << 20, 4u << 20, 4u << 20, 4u << 20, 4u << 20};

}  // namespace

void *takeExportMemory(ExportMemory *memory, ExportMemorySlot slot, size_t bytes) {
    if (!memory) return malloc(bytes);
    ExportMemory::Kept &kept = memory->kept[slot];
    if (kept.block && kept.bytes >= bytes) {
        void *block = kept.block;
        kept = ExportMemory::Kept{nullptr, 0};
        return block;
    }
    free(kept.block);
    kept = ExportMemory::Kept{nullptr, 0};
    return malloc(bytes);
}

void returnExportMemory(ExportMemory *memory, ExportMemorySlot slot, void *block, size_t bytes) {
    if (!block) return;
    if (!memory || bytes > kKeptBytes[slot] || memory->kept[slot].block) {
        free(block);
        return;
    }
    memory->kept[slot] = ExportMemory::Kept{block, bytes};
}

void releaseExportMemory(ExportMemory &memory) {
    for (ExportMemory::Kept &kept : memory.kept) {
        free(kept.block);
        kept = ExportMemory::Kept{nullptr, 0};
    }
}
