#include "engine/time_info.h"

VstTimeInfo gTimeInfo;

void initTimeInfo() {
    VstTimeInfo &t = gTimeInfo;
    t.samplePos = 0.0;
    t.sampleRate = 44100.0;
    t.nanoSeconds = 0.0;
    t.ppqPos = 0.0;
    t.tempo = 0.0;
    t.barStartPos = 0.0;
    t.cycleStartPos = 0.0;
    t.cycleEndPos = 4.0;
    t.timeSigNumerator = 4;
    t.timeSigDenominator = 4;
    t.smpteOffset = 0;
    t.smpteFrameRate = 1;
    t.samplesToNextClock = 0;
    t.flags = 0;
    t.flags += kVstTransportChanged;
    t.flags += kVstTransportPlaying;
    t.flags += kVstTempoValid;
    t.flags += kVstPpqPosValid;
    t.flags += kVstBarsValid;
    t.flags += kVstTimeSigValid;
}

void advanceTimeInfo(VstTimeInfo &info, int frames, int sampleRate, int tempo) {
    info.samplePos += frames;
    float samplesPerBeat = (float)(sampleRate / (tempo / 60.0));
    info.ppqPos += frames / (double)samplesPerBeat;
    info.barStartPos = 4.0 * (double)(long long)(info.ppqPos / 4.0);
}
