#include "export/reader_files.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "support/program_runner.h"

std::string readerFolder() {
    static std::string folder;
    if (folder.empty()) folder = testing_support::freshFolder(testing_support::exeFolder() + "\\export-files");
    return folder;
}

void addToManifest(const std::string &line) {
    FILE *f = fopen((readerFolder() + "\\manifest.txt").c_str(), "ab");
    ASSERT_NE(nullptr, f);
    fprintf(f, "%s\n", line.c_str());
    fclose(f);
}
