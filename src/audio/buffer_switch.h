// The buffer switch: the per-block work on the driver's callback thread that moves
// audio between the driver's buffers and the engine buffers around the block
// processing, and the other driver callbacks.
#pragma once

#include <windows.h>

#include "audio/asio.h"
#include "audio/driver_connection.h"
#include "audio/engine_state.h"
#include "audio/sample_convert.h"
#include "core/gate.h"
#include "plugin/vst2.h"

// The per-channel work, chosen once when the stream opens from the driver-info
// record; replaced only while the engine gate is closed.
struct ChannelConverters {
    long inputCount;   // driver input channels in use, 0 ... 128
    long outputCount;  // driver output channels in use, 0 ... 128
    InputConverter input[kMaxChannels];     // null: the channel is not converted
    OutputConverter output[kMaxChannels];   // null: a routed buffer is left alone
    int outputBytes[kMaxChannels];          // bytes per sample; 0: never zeroed
};

extern ChannelConverters gChannelConverters;

// Fills the converters from the record's buffer counts and channel types.
void prepareChannelConverters(const DriverInfo &info, ChannelConverters *converters);

// Zeroes the given half of every driver output buffer whose type has a size.
void clearOutputHalf(const DriverInfo &info, const ChannelConverters &converters, long half);

// What one buffer switch works on; the driver callbacks use the process-wide records.
struct BufferSwitchContext {
    const DriverInfo *driver;
    EngineState *engine;
    Gate *gate;
    const ChannelConverters *converters;
    int (*processBlock)(int frames);  // non-zero when the block was processed
    ASIOError (*outputReady)();
};

// One block on buffer half 0 or 1. plugin supplies the plugin's channel counts
// (null: none). Never waits: a closed gate gives silence.
void runBufferSwitch(const BufferSwitchContext &context, const AEffect *plugin, long half);

// Written by the driver's thread, read and cleared by the GUI thread's timer.
extern volatile LONG gDriverResetRequest;  // set by asioMessage(kAsioResetRequest)
extern volatile LONG gPendingSampleRate;   // Hz; 0 = none

// The driver callbacks handed over in the callback record.
void bufferSwitch(long doubleBufferIndex, ASIOBool directProcess);
ASIOTime *bufferSwitchTimeInfo(ASIOTime *params, long doubleBufferIndex, ASIOBool directProcess);
void sampleRateDidChange(ASIOSampleRate sRate);
long asioMessage(long selector, long value, void *message, double *opt);
