// The channel routing dialog: which driver output receives each plugin output and
// which driver input feeds each plugin input. Changes apply at once, while audio runs.
#pragma once

#include <windows.h>

void runRoutingDialog(HWND owner);

// Plugin channels the dialog lists: the plugin's count, at most the 128 map entries.
int routedChannelCount(int pluginCount);

// The map value a driver-list selection stands for: item 0 is "None" (-1), item v + 1 channel v.
inline int mapValueFromItem(int item) { return item < 0 ? -1 : item - 1; }
