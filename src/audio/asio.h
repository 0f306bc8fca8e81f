// The ASIO driver interface as this host uses it: the driver object's operations
// in slot order after IUnknown, the records in their published layout, sample
// types, message selectors and callbacks. Declared here from the published
// layout; the 32-bit build checks the record sizes.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <cstddef>

typedef long ASIOBool;
typedef long ASIOError;
typedef long ASIOSampleType;
typedef double ASIOSampleRate;

// Driver methods are plain C++ member functions: thiscall in 32-bit code.
#if defined(_WIN32) && !defined(_WIN64)
#define ASIOMETHOD __attribute__((thiscall))
#else
#define ASIOMETHOD
#endif

enum {
    ASE_OK = 0,
    ASE_SUCCESS = 0x3f4847a0,
    ASE_NotPresent = -1000,
    ASE_HWMalfunction = -999,
    ASE_InvalidParameter = -998,
    ASE_InvalidMode = -997,
    ASE_SPNotAdvancing = -996,
    ASE_NoClock = -995,
    ASE_NoMemory = -994,
};

enum {
    ASIOSTInt16MSB = 0,
    ASIOSTInt24MSB = 1,
    ASIOSTInt32MSB = 2,
    ASIOSTFloat32MSB = 3,
    ASIOSTFloat64MSB = 4,
    ASIOSTInt32MSB16 = 8,
    ASIOSTInt32MSB18 = 9,
    ASIOSTInt32MSB20 = 10,
    ASIOSTInt32MSB24 = 11,
    ASIOSTInt16LSB = 16,
    ASIOSTInt24LSB = 17,
    ASIOSTInt32LSB = 18,
    ASIOSTFloat32LSB = 19,
    ASIOSTFloat64LSB = 20,
    ASIOSTInt32LSB16 = 24,
    ASIOSTInt32LSB18 = 25,
    ASIOSTInt32LSB20 = 26,
    ASIOSTInt32LSB24 = 27,
};

// asioMessage selectors.
enum {
    kAsioSelectorSupported = 1,
    kAsioEngineVersion = 2,
    kAsioResetRequest = 3,
    kAsioBufferSizeChange = 4,
    kAsioResyncRequest = 5,
    kAsioLatenciesChanged = 6,
    kAsioSupportsTimeInfo = 7,
    kAsioSupportsTimeCode = 8,
};

struct ASIOSamples {
    unsigned long hi;
    unsigned long lo;
};

struct ASIOTimeStamp {
    unsigned long hi;
    unsigned long lo;
};

struct ASIOClockSource {
    long index;
    long associatedChannel;
    long associatedGroup;
    ASIOBool isCurrentSource;
    char name[32];
};

struct ASIOChannelInfo {
    long channel;
    ASIOBool isInput;
    ASIOBool isActive;
    long channelGroup;
    ASIOSampleType type;
    char name[32];
};

struct ASIOBufferInfo {
    ASIOBool isInput;
    long channelNum;
    void *buffers[2];  // one per buffer half
};

struct ASIOTime;  // passed to bufferSwitchTimeInfo; never read by the host

struct ASIOCallbacks {
    void (*bufferSwitch)(long doubleBufferIndex, ASIOBool directProcess);
    void (*sampleRateDidChange)(ASIOSampleRate sRate);
    long (*asioMessage)(long selector, long value, void *message, double *opt);
    ASIOTime *(*bufferSwitchTimeInfo)(ASIOTime *params, long doubleBufferIndex, ASIOBool directProcess);
};

// The driver object. Its class identifier also serves as the interface identifier.
struct IASIO : public IUnknown {
    virtual ASIOBool ASIOMETHOD init(void *sysHandle) = 0;
    virtual void ASIOMETHOD getDriverName(char *name) = 0;  // 32 bytes
    virtual long ASIOMETHOD getDriverVersion() = 0;
    virtual void ASIOMETHOD getErrorMessage(char *string) = 0;  // 124 bytes
    virtual ASIOError ASIOMETHOD start() = 0;
    virtual ASIOError ASIOMETHOD stop() = 0;
    virtual ASIOError ASIOMETHOD getChannels(long *numInputChannels, long *numOutputChannels) = 0;
    virtual ASIOError ASIOMETHOD getLatencies(long *inputLatency, long *outputLatency) = 0;
    virtual ASIOError ASIOMETHOD getBufferSize(long *minSize, long *maxSize, long *preferredSize,
                                               long *granularity) = 0;
    virtual ASIOError ASIOMETHOD canSampleRate(ASIOSampleRate sampleRate) = 0;
    virtual ASIOError ASIOMETHOD getSampleRate(ASIOSampleRate *sampleRate) = 0;
    virtual ASIOError ASIOMETHOD setSampleRate(ASIOSampleRate sampleRate) = 0;
    virtual ASIOError ASIOMETHOD getClockSources(ASIOClockSource *clocks, long *numSources) = 0;
    virtual ASIOError ASIOMETHOD setClockSource(long reference) = 0;
    virtual ASIOError ASIOMETHOD getSamplePosition(ASIOSamples *sPos, ASIOTimeStamp *tStamp) = 0;
    virtual ASIOError ASIOMETHOD getChannelInfo(ASIOChannelInfo *info) = 0;
    virtual ASIOError ASIOMETHOD createBuffers(ASIOBufferInfo *bufferInfos, long numChannels, long bufferSize,
                                               ASIOCallbacks *callbacks) = 0;
    virtual ASIOError ASIOMETHOD disposeBuffers() = 0;
    virtual ASIOError ASIOMETHOD controlPanel() = 0;
    virtual ASIOError ASIOMETHOD future(long selector, void *opt) = 0;
    virtual ASIOError ASIOMETHOD outputReady() = 0;
};

static_assert(sizeof(long) == 4, "ASIO longs are 32-bit on Windows");
static_assert(sizeof(ASIOChannelInfo) == 52, "ASIOChannelInfo layout");
static_assert(offsetof(ASIOChannelInfo, name) == 20, "channel name after five longs");
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(ASIOBufferInfo) == 16, "ASIOBufferInfo is 16 bytes in 32-bit code");
static_assert(offsetof(ASIOBufferInfo, buffers) == 8, "buffers after two longs");
static_assert(sizeof(ASIOCallbacks) == 16, "four callback pointers");
#else
static_assert(sizeof(ASIOBufferInfo) == 24, "ASIOBufferInfo is 24 bytes in 64-bit code");
static_assert(offsetof(ASIOBufferInfo, buffers) == 8, "buffers after two longs");
#endif
