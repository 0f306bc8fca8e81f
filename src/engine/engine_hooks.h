// Hands the engine's work to the layers below it, which never call upward: the
// stream gets the block processing, the engine buffers get the capture ring sized
// with them, and the plugin's host callback gets the engine's rate, block size and
// musical time. Start-up, before the first stream opens.
#pragma once

void installEngine();
