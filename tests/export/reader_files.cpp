#include "export/reader_files.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "support/program_runner.h"

std::string readerFolder() {
    static std::string folder;
    if (folder.empty()) {
        folder = testing_support::exeFolder() + "\\export-files";
        CreateDirectoryA(folder.c_str(), nullptr);
        WIN32_FIND_DATAA found;
        HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &found);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    DeleteFileA((folder + "\\" + found.cFileName).c_str());
            } while (FindNextFileA(h, &found));
            FindClose(h);
        }
    }
    return folder;
}

void addToManifest(const std::string &line) {
    FILE *f = fopen((readerFolder() + "\\manifest.txt").c_str(), "ab");
    ASSERT_NE(nullptr, f);
    fprintf(f, "%s\n", line.c_str());
    fclose(f);
}
