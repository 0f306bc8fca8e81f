// The buffer-switch callbacks as the driver calls them: the real-time work of
// runBufferSwitch (see its contract) bound to the process-wide records.
#include "audio/buffer_switch.h"
#include "engine/block_processing.h"
#include "plugin/plugin_instance.h"

namespace {

const BufferSwitchContext kEngineContext = {
    &gDriverInfo, &gEngine, &gEngineGate, &gChannelConverters, processBlock, asioOutputReady,
};

}  // namespace

void bufferSwitch(long doubleBufferIndex, ASIOBool) {
    runBufferSwitch(kEngineContext, gPlugin.effect, doubleBufferIndex);
}

ASIOTime *bufferSwitchTimeInfo(ASIOTime *, long doubleBufferIndex, ASIOBool) {
    runBufferSwitch(kEngineContext, gPlugin.effect, doubleBufferIndex);
    return nullptr;
}
