// The status line along the bottom of the main window.
#pragma once

#include <cstddef>

// The text for the current transport state; seconds are frames / rate.
void statusLineText(char *text, size_t size, bool audioStopped, bool recording, bool playing, long recordedFrames,
                    long transportPosition, int sampleRate);

// Called by the 40 ms timer while the status-dirty flag is set.
void updateStatusLine();
