#include "audio/stream.h"

#include "audio/buffer_switch.h"
#include "audio/driver_list.h"
#include "audio/engine_state.h"
#include "core/app_state.h"
#include "core/gate.h"
#include "core/texts.h"
#include "plugin/plugin_instance.h"
#include "resources/resource_ids.h"

#include <cstring>

int (*gStreamBlockWork)(int frames) = nullptr;
void (*gSettingsDialogRefresh)(bool opened) = nullptr;
volatile LONG gDriverCallDepth = 0;
volatile LONG gDriverOpen = 0;

namespace {

const SampleRateOps kDriverRateOps = {asioCanSampleRate, asioSetSampleRate, asioGetSampleRate};

bool createDriverBuffers(DriverInfo &info) {
    prepareBufferInfos(&info);
    const long total = info.inputBuffers + info.outputBuffers;
    if (asioCreateBuffers(info.bufferInfos, total, info.bufferPreferredSize, &gAsioCallbacks) != ASE_OK)
        return false;
    // A driver that leaves a buffer unset has not opened: nothing may write through it.
    if (!buffersComplete(info)) return false;
    for (long k = 0; k < total; ++k) {
        info.channelInfos[k].channel = info.bufferInfos[k].channelNum;
        info.channelInfos[k].isInput = info.bufferInfos[k].isInput;
        if (asioGetChannelInfo(&info.channelInfos[k]) != ASE_OK) return false;
    }
    return asioGetLatencies(&info.inputLatency, &info.outputLatency) == ASE_OK;
}

void engineWithoutChannels() {
    gEngine.inputCount = 0;
    gEngine.outputCount = 0;
}

}  // namespace

const char *driverInitError(const DriverInfo &info) {
    // After a successful init the connection stores its own "no error" text.
    if (strcmp(info.errorMessage, "No ASIO Driver Error") == 0) return "";
    return info.errorMessage;
}

int openStream(HWND window, const char *name, double sampleRate) {
    DriverInfo &info = gDriverInfo;
    // Until the new buffers are known, a stray callback finds no channels to touch.
    gChannelConverters = ChannelConverters();
    info.errorMessage[0] = '\0';
    if (!loadAsioDriver(name)) return 0;
    info.sysRef = window;
    if (asioInit(&info) != ASE_OK) return 0;
    if (asioGetChannels(&info.inputChannels, &info.outputChannels) != ASE_OK) return 0;
    if (asioGetBufferSize(&info.bufferMinSize, &info.bufferMaxSize, &info.bufferPreferredSize,
                          &info.bufferGranularity) != ASE_OK)
        return 0;
    if (!settleSampleRate(kDriverRateOps, sampleRate, &info.sampleRate)) return 0;
    gEngine.sampleRate = engineRateFrom(info.sampleRate);
    info.postOutput = asioOutputReady() == ASE_OK;

    gAsioCallbacks.bufferSwitch = bufferSwitch;
    gAsioCallbacks.sampleRateDidChange = sampleRateDidChange;
    gAsioCallbacks.asioMessage = asioMessage;
    gAsioCallbacks.bufferSwitchTimeInfo = bufferSwitchTimeInfo;
    if (!createDriverBuffers(info)) return 0;

    prepareChannelConverters(info, &gChannelConverters);
    clearOutputBuffers(1);
    return asioStart() == ASE_OK ? 1 : 0;
}

int closeStream() {
    gDriverOpen = 0;
    asioStop();
    asioDisposeBuffers();
    asioExit();
    gChannelConverters = ChannelConverters();
    return 0;
}

void clearOutputBuffers(long half) { clearOutputHalf(gDriverInfo, gChannelConverters, half); }

void reopenEngine(HWND mainWindow) {
    if (gDriverCallDepth > 0) {
        // Called from a message loop inside a driver call: the driver still runs
        // its own code, so it is replaced only after that call has returned.
        gDriverResetRequest = 1;
        return;
    }
    ++gDriverCallDepth;
    closeEngineGate();
    closeStream();
    gDriverResetRequest = 0;

    if (gEngine.driverIndex < 0) {
        engineWithoutChannels();
        freeEngineBuffers();
    } else {
        char name[1000] = "";
        gDriverList.getName(gEngine.driverIndex, name, sizeof name);
        name[sizeof name - 1] = '\0';
        bool opened = openStream(mainWindow, name, gEngine.sampleRate) != 0;
        if (opened) {
            const long preferred = gDriverInfo.bufferPreferredSize;
            gEngine.blockSize = preferred > 0 ? int32_t(preferred) : 0;
            gEngine.inputCount = gDriverInfo.inputBuffers;
            gEngine.outputCount = gDriverInfo.outputBuffers;
            if (gEngine.sampleRate == 0) gEngine.sampleRate = 44100;
            if (gEngine.blockSize == 0) gEngine.blockSize = 882;
            // Buffers the size the driver asked for may not be available.
            opened = allocateEngineBuffers(gEngine.blockSize);
            if (opened) gPlugin.setRateAndBlock(float(gEngine.sampleRate), gEngine.blockSize);
        }
        if (!opened) {
            closeStream();
            engineWithoutChannels();
        }
        gDriverOpen = opened ? 1 : 0;
        if (gSettingsDialogRefresh) gSettingsDialogRefresh(opened);
        if (!opened) showError(mainWindow, IDS_DRIVER_FAILED, driverInitError(gDriverInfo));
    }
    gStatusDirty = 1;
    openEngineGate();
    --gDriverCallDepth;
}
