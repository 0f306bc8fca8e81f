// The buffer-switch callbacks as the driver calls them: the real-time work of
// runBufferSwitch (see its contract) bound to the process-wide records.
#include "audio/buffer_switch.h"
#include "audio/stream.h"
#include "plugin/plugin_instance.h"

namespace {

int handedBlockWork(int frames) { return gStreamBlockWork ? gStreamBlockWork(frames) : 0; }

const BufferSwitchContext kEngineContext = {
    &gDriverInfo, &gEngine, &gEngineGate, &gChannelConverters, handedBlockWork, asioOutputReady,
};

}  // namespace

void bufferSwitch(long doubleBufferIndex, ASIOBool) {
    runBufferSwitch(kEngineContext, gPlugin.effect, doubleBufferIndex);
}

ASIOTime *bufferSwitchTimeInfo(ASIOTime *, long doubleBufferIndex, ASIOBool) {
    runBufferSwitch(kEngineContext, gPlugin.effect, doubleBufferIndex);
    return nullptr;
}
