// MIDI key (note) numbers: 0 ... 127.
#pragma once

const int kKeyCount = 128;
