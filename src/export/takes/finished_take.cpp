#include "export/takes/finished_take.h"

#include "core/raw_file.h"

const float *readTakeFrames(const TakeAudio &audio, int channel, uint32_t from, int count, float *scratch) {
    int c = channel != 0;
    if (audio.memory[c]) return audio.memory[c] + from;
    if (count > 0) {
        seekFile(audio.files[c], (uint64_t)from * sizeof(float));
        readOrSilence(audio.files[c], scratch, (DWORD)count);
    }
    return scratch;
}
