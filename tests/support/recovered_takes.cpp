#include "support/recovered_takes.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cmath>

#include "support/program_runner.h"
#include "support/sox.h"

namespace testing_support {

std::string recoveredRecordingsFolder() {
    char documents[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents);
    return std::string(documents) + "\\Korvane";
}

std::vector<std::string> takeFilesIn(const std::string &folder) { return filesMatching(folder + "\\~korvane-take-*"); }

std::vector<int> notesHeard(const std::vector<float> &channel, float level, int rate) {
    std::vector<std::pair<size_t, size_t>> stretches;
    const size_t gap = (size_t)rate / 20;
    for (size_t i = 0; i < channel.size(); ++i) {
        if (std::fabs(channel[i]) <= level / 4) continue;
        if (stretches.empty() || i - stretches.back().second > gap)
            stretches.push_back({i, i});
        else
            stretches.back().second = i;
    }
    std::vector<int> notes;
    for (auto s : stretches) {
        if (s.second - s.first < (size_t)rate / 10) continue;
        double f = zeroCrossingFrequency(channel, rate, s.first + rate / 100, s.second - rate / 20);
        notes.push_back(f > 0 ? (int)std::lround(69 + 12 * std::log2(f / 440.0)) : -1);
    }
    return notes;
}

std::string soxSummary(const RecoveredFile &file) {
    return file.soxChannels + " ch " + file.soxRate + " Hz " + file.soxEncoding +
           (file.soxFramesMatch ? ", whole" : ", cut");
}

std::string stereoFloatSummary(int rate) {
    return "2 ch " + std::to_string(rate) + " Hz 32-bit Floating Point PCM, whole";
}

RecoveredFile readRecovered(const std::string &path) {
    RecoveredFile file;
    std::string info = runSox("--i '" + unixPath(path) + "'");
    file.soxChannels = soxInfoField(info, "Channels");
    file.soxRate = soxInfoField(info, "Sample Rate");
    file.soxEncoding = soxInfoField(info, "Sample Encoding");
    file.wav = readWav(path);
    // The data chunk's frames, from the file's size: the header may not claim more.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER size = {};
    if (h != INVALID_HANDLE_VALUE) {
        GetFileSizeEx(h, &size);
        CloseHandle(h);
    }
    long long dataFrames = size.QuadPart > 44 ? (size.QuadPart - 44) / 8 : 0;
    file.soxFramesMatch = file.wav.ok && (long long)file.wav.frames() == dataFrames &&
                          soxInfoField(info, "Duration").find("= " + std::to_string(dataFrames) + " samples") !=
                              std::string::npos;
    return file;
}

}  // namespace testing_support
