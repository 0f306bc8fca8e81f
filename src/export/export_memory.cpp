#include "export/export_memory.h"

#include <cstdlib>

namespace {

// Each take channel and the loop search's sum up to 4 MiB (1 048 576 frames: 23 s at
// 44100 Hz) and the output piece: 14 MiB kept at most.
const size_t kKeptBytes[kExportMemorySlots] = {4u << 20, 4u << 20, 2u << 20, 4u << 20};

struct Kept {
    void *block;
    size_t bytes;
};
Kept gKept[kExportMemorySlots];

}  // namespace

void *takeExportMemory(ExportMemorySlot slot, size_t bytes) {
    Kept &kept = gKept[slot];
    if (kept.block && kept.bytes >= bytes) {
        void *block = kept.block;
        kept = Kept{nullptr, 0};
        return block;
    }
    free(kept.block);
    kept = Kept{nullptr, 0};
    return malloc(bytes);
}

void returnExportMemory(ExportMemorySlot slot, void *block, size_t bytes) {
    Kept &kept = gKept[slot];
    if (!block) return;
    if (bytes > kKeptBytes[slot] || kept.block) {
        free(block);
        return;
    }
    kept = Kept{block, bytes};
}
