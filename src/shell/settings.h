// The user's choices kept across runs in HKEY_CURRENT_USER "Software\Morvex\Korvane\1.0":
// the devices, tempo and routing, the export's choices and keys, and the folders the
// file dialogs last used.
#pragma once

#include <cstddef>
#include <cstdint>

void loadSettings();
void saveSettings();

// An index of a driver or MIDI device that no longer exists becomes -1.
int32_t checkDeviceIndex(int32_t index, long deviceCount);

// The driver choice from the stored position and name ("" when no name was stored)
// and the installed drivers (nameAt gives the name at a position, or null). A stored
// name wins over the position: the driver of that name, at the stored position when
// that one has it, else the first one; when none has it the choice is that driver,
// missing. Without a name the position counts, as checkDeviceIndex leaves it.
struct DriverChoice {
    int32_t index;  // position in the driver list; -1 = none
    bool missing;   // a driver of the stored name is not installed
};
DriverChoice resolveDriverChoice(int32_t storedIndex, const char *storedName, long count,
                                 const char *(*nameAt)(const void *context, long index), const void *context);
// A tempo outside 10 ... 500 becomes 120.
int32_t checkTempo(int32_t tempo);
// Copies a stored channel map (little-endian 32-bit entries) over the first `count`
// entries of `map`: only whole entries that were stored, never more than `count`;
// entries below -1 (a damaged value) become -1.
void mergeStoredMap(volatile int32_t *map, int count, const unsigned char *data, size_t size);
// An instrument with one output stores "OutMap" with two entries, its left and right
// side. Versions before that stored its left side alone (storedBytes 4): a left side
// routed away from driver output 0 was the user's choice, so its right side, which
// could not be chosen then, becomes -1; otherwise it keeps its default.
void settleRightSide(volatile int32_t *map, size_t storedBytes);
