// The one current ASIO driver of the process, and plain operations on it that
// answer ASE_NotPresent with neutral out-values when no driver is loaded.
#pragma once

#include "audio/asio.h"

const int kMaxBufferInfos = 256;

// Everything learned from and handed to the open driver.
struct DriverInfo {
    long asioVersion;
    long driverVersion;
    char name[32];
    char errorMessage[124];
    void *sysRef;  // window handle passed to init
    long inputChannels;
    long outputChannels;
    long bufferMinSize;
    long bufferMaxSize;
    long bufferPreferredSize;
    long bufferGranularity;
    ASIOSampleRate sampleRate;
    bool postOutput;  // the driver asked for outputReady after every buffer switch
    long inputLatency;
    long outputLatency;
    long inputBuffers;   // channels in use, at most 128 each
    long outputBuffers;
    ASIOBufferInfo bufferInfos[kMaxBufferInfos];    // inputs first, then outputs
    ASIOChannelInfo channelInfos[kMaxBufferInfos];  // same order
};

extern DriverInfo gDriverInfo;
extern ASIOCallbacks gAsioCallbacks;

// Connection operations.
bool loadAsioDriver(const char *name);
ASIOError asioInit(DriverInfo *info);
ASIOError asioExit();
IASIO *currentAsioDriver();
// Unloads the current driver and forgets the connection's list, so that the next
// load reads the registry again. The program keeps its list for the whole run;
// tests that register drivers of their own call this between cases.
void resetDriverConnection();

// Forwarding operations.
ASIOError asioStart();
ASIOError asioStop();
ASIOError asioGetChannels(long *numInputChannels, long *numOutputChannels);
ASIOError asioGetLatencies(long *inputLatency, long *outputLatency);
ASIOError asioGetBufferSize(long *minSize, long *maxSize, long *preferredSize, long *granularity);
ASIOError asioCanSampleRate(ASIOSampleRate sampleRate);
ASIOError asioGetSampleRate(ASIOSampleRate *currentRate);
ASIOError asioSetSampleRate(ASIOSampleRate sampleRate);
ASIOError asioGetChannelInfo(ASIOChannelInfo *info);
ASIOError asioCreateBuffers(ASIOBufferInfo *bufferInfos, long numChannels, long bufferSize,
                            ASIOCallbacks *callbacks);
ASIOError asioDisposeBuffers();
ASIOError asioControlPanel();
ASIOError asioOutputReady();
