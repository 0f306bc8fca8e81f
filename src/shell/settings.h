// The user's choices kept across runs in HKEY_CURRENT_USER "Software\Morvex\Korvane\1.0".
#pragma once

#include <cstddef>
#include <cstdint>

void loadSettings();
void saveSettings();

// An index of a driver or MIDI device that no longer exists becomes -1.
int32_t checkDeviceIndex(int32_t index, long deviceCount);
// A tempo outside 10 ... 500 becomes 120.
int32_t checkTempo(int32_t tempo);
// Copies a stored channel map (little-endian 32-bit entries) over the first `count`
// entries of `map`: only whole entries that were stored, never more than `count`;
// entries below -1 (a damaged value) become -1.
void mergeStoredMap(volatile int32_t *map, int count, const unsigned char *data, size_t size);
