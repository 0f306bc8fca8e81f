#include "engine/engine_hooks.h"

#include "audio/engine_state.h"
#include "audio/stream.h"
#include "engine/block_processing.h"
#include "engine/capture_files.h"
#include "engine/time_info.h"
#include "plugin/host_callback.h"

void installEngine() {
    gStreamBlockWork = processBlock;
    gEngineBufferClient = EngineBufferClient{allocateCaptureRing, freeCaptureRing};
    gHostAnswers = HostAnswers{&gEngine.sampleRate, &gEngine.blockSize, &gTimeInfo};
}
