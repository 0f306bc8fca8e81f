#include "export/render/take_spool.h"

#include <cstdlib>

#include "core/raw_file.h"

namespace {

const char *const kSpoolPrefixes[2] = {"~xpoolL", "~xpoolR"};

}  // namespace

bool openTakeSpool(TakeSpool &spool, int room, DWORD *error, char *where) {
    spool = TakeSpool{{INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE}, 0, nullptr, 0, room};
    spool.takes = (FinishedTake *)calloc((size_t)room + 1, sizeof(FinishedTake));
    *error = spool.takes ? 0 : ERROR_NOT_ENOUGH_MEMORY;
    where[0] = '\0';
    for (int c = 0; c < 2 && !*error; ++c)
        spool.files[c] = createTempFile(kSpoolPrefixes[c], kDeleteOnClose, where, MAX_PATH, error);
    if (!*error) return true;
    closeTakeSpool(spool);
    return false;
}

bool spoolTake(TakeSpool &spool, const FinishedTake &take) {
    if (spool.count >= spool.room) return false;
    float scratch[kTakeReadFrames];
    bool intact = true;  // a file that refuses a write reads silence there: the take is reported
    for (int c = 0; c < 2; ++c) {
        seekFile(spool.files[c], spool.frames * sizeof(float));
        for (uint32_t done = 0; done < take.frames;) {
            int n = take.frames - done < (uint32_t)kTakeReadFrames ? (int)(take.frames - done) : kTakeReadFrames;
            const float *frames = readTakeFrames(take.audio, c, done, n, scratch);
            if (!writeAll(spool.files[c], frames, (DWORD)n * sizeof(float))) intact = false;
            done += (uint32_t)n;
        }
    }
    FinishedTake &kept = spool.takes[spool.count++];
    kept = take;
    kept.audio = TakeAudio{{nullptr, nullptr}, {spool.files[0], spool.files[1]}, spool.frames};
    kept.complete = take.complete && intact;
    spool.frames += take.frames;
    return true;
}

void closeTakeSpool(TakeSpool &spool) {
    for (HANDLE &file : spool.files) {
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
    }
    free(spool.takes);
    spool.takes = nullptr;
}
