#include "audio/driver_connection.h"

#include <cstring>

#include "audio/driver_list.h"

DriverInfo gDriverInfo = {0, 0, "No ASIO Driver", "", nullptr, 0, 0, 0, 0, 0, 0, 0.0, false, 0, 0, 0, 0, {}, {}};
ASIOCallbacks gAsioCallbacks = {nullptr, nullptr, nullptr, nullptr};

namespace {

const ASIOError kNotPresent = ASE_NotPresent;

IASIO *gCurrentDriver = nullptr;
DriverList *gConnectionList = nullptr;  // created by the first load, kept for the whole run
LONG gCurrentIndex = -1;

void copyText(char *dst, size_t capacity, const char *src) {
    size_t n = std::strlen(src);
    if (n >= capacity) n = capacity - 1;
    std::memcpy(dst, src, n);
    dst[n] = 0;
}

void unloadCurrent() {
    if (gCurrentIndex != -1) gConnectionList->closeDriver(gCurrentIndex);
    gCurrentIndex = -1;
    gCurrentDriver = nullptr;
}

}  // namespace

bool loadAsioDriver(const char *name) {
    if (!gConnectionList) {
        gConnectionList = new DriverList;
        gCurrentIndex = -1;
    }
    if (!name) return false;
    LONG found = -1;
    for (LONG id = 0; id < gConnectionList->count() && found < 0; ++id) {
        const char *entryName = gConnectionList->name(id);
        if (entryName && std::strcmp(entryName, name) == 0) found = id;
    }
    if (found < 0) return false;

    char previous[sizeof(DriverEntry::name)] = "";
    if (gCurrentIndex != -1 && gConnectionList->name(gCurrentIndex))
        copyText(previous, sizeof(previous), gConnectionList->name(gCurrentIndex));

    unloadCurrent();
    IASIO *driver = nullptr;
    if (gConnectionList->openDriver(found, &driver) == DRVERR_OK) {
        gCurrentDriver = driver;
        gCurrentIndex = found;
        return true;
    }
    gCurrentDriver = nullptr;
    // Bring back the driver that was loaded before (the current index is -1 now,
    // so this goes no deeper).
    if (previous[0] && std::strcmp(previous, name) != 0) loadAsioDriver(previous);
    return false;
}

ASIOError asioInit(DriverInfo *info) {
    if (!info) return ASE_NotPresent;
    info->driverVersion = 0;
    copyText(info->name, sizeof(info->name), "No ASIO Driver");
    if (!gCurrentDriver) return ASE_NotPresent;
    // Drivers get roomy scratch buffers: one that writes past the published sizes
    // must not run over the rest of the record.
    char text[512];
    std::memset(text, 0, sizeof(text));
    if (!gCurrentDriver->init(info->sysRef)) {
        gCurrentDriver->getErrorMessage(text);
        text[sizeof(text) - 1] = 0;
        copyText(info->errorMessage, sizeof(info->errorMessage), text);
        // The object stays held by its list entry until the next load or exit.
        gCurrentDriver = nullptr;
        return ASE_NotPresent;
    }
    copyText(info->errorMessage, sizeof(info->errorMessage), "No ASIO Driver Error");
    gCurrentDriver->getDriverName(text);
    text[sizeof(text) - 1] = 0;
    copyText(info->name, sizeof(info->name), text);
    info->driverVersion = gCurrentDriver->getDriverVersion();
    return ASE_OK;
}

ASIOError asioExit() {
    if (gConnectionList) unloadCurrent();
    gCurrentDriver = nullptr;
    return ASE_OK;
}

IASIO *currentAsioDriver() { return gCurrentDriver; }

void resetDriverConnection() {
    asioExit();
    delete gConnectionList;
    gConnectionList = nullptr;
}

ASIOError asioStart() { return gCurrentDriver ? gCurrentDriver->start() : kNotPresent; }

ASIOError asioStop() { return gCurrentDriver ? gCurrentDriver->stop() : kNotPresent; }

ASIOError asioGetChannels(long *numInputChannels, long *numOutputChannels) {
    if (!gCurrentDriver) {
        if (numInputChannels) *numInputChannels = 0;
        if (numOutputChannels) *numOutputChannels = 0;
        return ASE_NotPresent;
    }
    if (!numInputChannels || !numOutputChannels) return ASE_InvalidParameter;
    return gCurrentDriver->getChannels(numInputChannels, numOutputChannels);
}

ASIOError asioGetLatencies(long *inputLatency, long *outputLatency) {
    if (!gCurrentDriver) {
        if (inputLatency) *inputLatency = 0;
        if (outputLatency) *outputLatency = 0;
        return ASE_NotPresent;
    }
    if (!inputLatency || !outputLatency) return ASE_InvalidParameter;
    return gCurrentDriver->getLatencies(inputLatency, outputLatency);
}

ASIOError asioGetBufferSize(long *minSize, long *maxSize, long *preferredSize, long *granularity) {
    if (!gCurrentDriver) {
        if (minSize) *minSize = 0;
        if (maxSize) *maxSize = 0;
        if (preferredSize) *preferredSize = 0;
        if (granularity) *granularity = 0;
        return ASE_NotPresent;
    }
    if (!minSize || !maxSize || !preferredSize || !granularity) return ASE_InvalidParameter;
    return gCurrentDriver->getBufferSize(minSize, maxSize, preferredSize, granularity);
}

ASIOError asioCanSampleRate(ASIOSampleRate sampleRate) {
    return gCurrentDriver ? gCurrentDriver->canSampleRate(sampleRate) : kNotPresent;
}

ASIOError asioGetSampleRate(ASIOSampleRate *currentRate) {
    if (!gCurrentDriver) return ASE_NotPresent;
    if (!currentRate) return ASE_InvalidParameter;
    return gCurrentDriver->getSampleRate(currentRate);
}

ASIOError asioSetSampleRate(ASIOSampleRate sampleRate) {
    return gCurrentDriver ? gCurrentDriver->setSampleRate(sampleRate) : kNotPresent;
}

ASIOError asioGetChannelInfo(ASIOChannelInfo *info) {
    if (!gCurrentDriver) {
        if (info) {
            info->channelGroup = -1;
            info->type = 0;
            copyText(info->name, sizeof(info->name), "None");
        }
        return ASE_NotPresent;
    }
    if (!info) return ASE_InvalidParameter;
    ASIOError result = gCurrentDriver->getChannelInfo(info);
    info->name[sizeof(info->name) - 1] = 0;
    return result;
}

ASIOError asioCreateBuffers(ASIOBufferInfo *bufferInfos, long numChannels, long bufferSize,
                            ASIOCallbacks *callbacks) {
    if (!gCurrentDriver) {
        for (long i = 0; bufferInfos && i < numChannels; ++i) {
            bufferInfos[i].buffers[0] = nullptr;
            bufferInfos[i].buffers[1] = nullptr;
        }
        return ASE_NotPresent;
    }
    return gCurrentDriver->createBuffers(bufferInfos, numChannels, bufferSize, callbacks);
}

ASIOError asioDisposeBuffers() { return gCurrentDriver ? gCurrentDriver->disposeBuffers() : kNotPresent; }

ASIOError asioControlPanel() { return gCurrentDriver ? gCurrentDriver->controlPanel() : kNotPresent; }

ASIOError asioOutputReady() { return gCurrentDriver ? gCurrentDriver->outputReady() : kNotPresent; }
