// The folder whose files the suite's host-side reader check (check_export_files.py)
// runs sox and FluidSynth on, and its manifest.
#pragma once

#include <string>

// bin\export-files beside the test executable; emptied at its first use in a run.
std::string readerFolder();
// Appends one line to manifest.txt ("wav ..." or "sf2 ...", see the checker).
void addToManifest(const std::string &line);
