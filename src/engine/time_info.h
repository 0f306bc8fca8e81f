// The musical time returned to the plugin: always playing, 4/4, advanced per block.
#pragma once

#include "plugin/vst2.h"

extern VstTimeInfo gTimeInfo;

// Start values: positions 0, cycle end 4.0, 4/4, SMPTE rate 1, flags 0x2E03.
void initTimeInfo();
// Advances the positions after a processed block of n frames.
void advanceTimeInfo(VstTimeInfo &info, int frames, int sampleRate, int tempo);
