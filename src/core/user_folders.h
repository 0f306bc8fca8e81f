// Folders of the user's this program writes into.
#pragma once

#include <cstddef>

// "<Documents>\Korvane", where recovered recordings and exports of a bare name go (made
// by whoever writes there first). False, out emptied, when the system names no
// documents folder or the path does not fit.
bool korvaneDocumentsFolder(wchar_t *out, size_t size);
// The same in the ANSI code page, for the paths the export writes under.
bool korvaneDocumentsFolder(char *out, size_t size);
