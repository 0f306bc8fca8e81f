// Export throughput: 128 keys with the dialog's defaults (44100 Hz, stereo, 16-bit,
// hold 2000 ms, release 500 ms) exported as one WAV file per key, as one SoundFont and
// as one chord, through the plugin beside the program (the demo instrument) or, with
// "null" as the third argument, through a plugin that does nothing: the demo's process
// and event calls replaced by empty ones built here. Each export is timed as the
// Export button runs it (its three steps: begin, takes, end), and right after it, in the same process, the two
// limits of the disk under this loader: the same bytes written into one file, and the
// same files (count and sizes) written with plain writes. Prints nanoseconds per
// exported frame for each, and the time spent inside the plugin; with several rounds,
// then the median of each over the rounds.
// With "heavy <units>" as the third and fourth arguments, the demo instrument costs that
// many work units a frame (KORVANE_DEMO_COST, as a real synthesiser costs) and the WAV
// per key export runs on 1, 2 and the automatic number of instances in turn, each
// round, with each one's time next to the one-instance time of its round.
// Usage: export_bench.exe <output folder> <label> [null|demo|heavy <units>] [rounds]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "audio/engine_state.h"
#include "demo_instrument.h"
#include "engine/engine_hooks.h"
#include "export/formats/output_writer.h"
#include "export/render/export_run.h"
#include "midi/midi_ports.h"
#include "plugin/plugin_instance.h"

namespace {

LARGE_INTEGER gFrequency;
volatile LONG64 gPluginTicks = 0;  // summed over the instances' threads
AEffectProcessProc gRealProcess = nullptr;
AEffectDispatcherProc gRealDispatcher = nullptr;

// The plugin that does nothing: untimed, as its time would be nothing but the clock
// readings.
void VSTCALLBACK nullProcess(AEffect *, float **, float **, VstInt32) {}

VstIntPtr VSTCALLBACK nullDispatcher(AEffect *effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void *ptr,
                                     float opt) {
    if (opcode == effProcessEvents) return 1;
    return gRealDispatcher(effect, opcode, index, value, ptr, opt);
}

int64_t now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

double seconds(int64_t ticks) { return (double)ticks / (double)gFrequency.QuadPart; }

void VSTCALLBACK timedProcess(AEffect *effect, float **inputs, float **outputs, VstInt32 frames) {
    int64_t t0 = now();
    gRealProcess(effect, inputs, outputs, frames);
    InterlockedExchangeAdd64(&gPluginTicks, now() - t0);
}

VstIntPtr VSTCALLBACK timedDispatcher(AEffect *effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void *ptr,
                                      float opt) {
    if (opcode != effProcessEvents) return gRealDispatcher(effect, opcode, index, value, ptr, opt);
    int64_t t0 = now();
    VstIntPtr result = gRealDispatcher(effect, opcode, index, value, ptr, opt);
    InterlockedExchangeAdd64(&gPluginTicks, now() - t0);
    return result;
}

struct FileInfo {
    std::string path;
    uint64_t bytes;
};

// The files in the folder (the export's output), sorted by name.
std::vector<FileInfo> filesIn(const std::string &folder) {
    std::vector<FileInfo> files;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return files;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        files.push_back({folder + "\\" + data.cFileName, (uint64_t)data.nFileSizeHigh << 32 | data.nFileSizeLow});
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return files;
}

void removeAll(const std::vector<FileInfo> &files) {
    for (const FileInfo &f : files) DeleteFileA(f.path.c_str());
}

// Writes bytes into an open file in pieces of the export's size (from one piece).
bool writePieces(HANDLE file, const uint8_t *buffer, uint64_t bytes) {
    while (bytes > 0) {
        DWORD n = bytes < kOutputPieceBytes ? (DWORD)bytes : (DWORD)kOutputPieceBytes;
        DWORD written = 0;
        if (!WriteFile(file, buffer, n, &written, nullptr) || written != n) return false;
        bytes -= n;
    }
    return true;
}

HANDLE createPlain(const std::string &path) {
    return CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The same files again (names and sizes) with plain writes: create, write, close.
double sameFilesSeconds(const std::vector<FileInfo> &files, const uint8_t *buffer) {
    int64_t t0 = now();
    for (const FileInfo &f : files) {
        HANDLE h = createPlain(f.path);
        if (h == INVALID_HANDLE_VALUE || !writePieces(h, buffer, f.bytes)) fprintf(stderr, "write failed\n");
        CloseHandle(h);
    }
    double s = seconds(now() - t0);
    removeAll(files);
    return s;
}

// Their bytes all written into one file.
double oneFileSeconds(const std::string &folder, uint64_t bytes, const uint8_t *buffer) {
    std::string path = folder + "\\one-file.bin";
    int64_t t0 = now();
    HANDLE h = createPlain(path);
    if (h == INVALID_HANDLE_VALUE || !writePieces(h, buffer, bytes)) fprintf(stderr, "write failed\n");
    CloseHandle(h);
    double s = seconds(now() - t0);
    DeleteFileA(path.c_str());
    return s;
}

// The plugin calls of every instance an export opened replaced as the live one's were.
void replaceCalls(ExportRun &run, AEffectProcessProc process, AEffectDispatcherProc dispatcher) {
    for (int i = 0; i < run.instanceCount; ++i) {
        run.instances[i]->effect->process = process;
        run.instances[i]->effect->dispatcher = dispatcher;
    }
}

// What the machine gives two threads at this moment: the same spin on two threads at
// once against one alone (1: two free processors; 2: one, shared with other work).
volatile float gSpinSink = 0.0f;
DWORD WINAPI spin(void *) {
    float x = gSpinSink;
    for (long i = 0; i < 300000000L; ++i) x = x * 0.999999f + 1e-7f;
    gSpinSink = x;
    return 0;
}

double twoThreadsToOne() {
    int64_t t0 = now();
    spin(nullptr);
    const double one = seconds(now() - t0);
    t0 = now();
    HANDLE other = CreateThread(nullptr, 0, spin, nullptr, 0, nullptr);
    spin(nullptr);
    if (other) {
        WaitForSingleObject(other, INFINITE);
        CloseHandle(other);
    }
    return seconds(now() - t0) / one;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n == 0 ? 0.0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: export_bench <output folder> <label> [null|demo|heavy <units>] [rounds]\n");
        return 2;
    }
    QueryPerformanceFrequency(&gFrequency);
    const bool heavy = argc > 4 && strcmp(argv[3], "heavy") == 0;
    if (heavy) SetEnvironmentVariableA("KORVANE_DEMO_COST", argv[4]);
    if (!openDemoInstrument()) return 1;
    gRealProcess = gPlugin.effect->process;
    gRealDispatcher = gPlugin.effect->dispatcher;
    bool null = argc > 3 && strcmp(argv[3], "null") == 0;
    int rounds = argc > (heavy ? 5 : 4) ? atoi(argv[heavy ? 5 : 4]) : 1;
    if (rounds < 1 || rounds > 99) rounds = 1;
    gPlugin.effect->process = null ? nullProcess : timedProcess;
    gPlugin.effect->dispatcher = null ? nullDispatcher : timedDispatcher;

    // What one clock reading costs: each timed plugin call adds two.
    int64_t c0 = now();
    for (int i = 0; i < 100000; ++i) now();
    double readingNs = seconds(now() - c0) * 1e9 / 100000;
    printf("%s: one clock reading %.0f ns\n", argv[2], readingNs);

    // A piece of zeros for the limits (the page cache takes any bytes alike).
    uint8_t *zeros = (uint8_t *)calloc(1, kOutputPieceBytes);
    if (!zeros) return 1;
    std::string folder = argv[1];
    struct Kind {
        const char *name;
        ExportFileType type;
        ExportMode mode;
        ExportInstances instances;
        int maxInstances;  // 0: one per processor
        std::vector<double> host, plugin, oneFile, sameFiles, toOne;  // ns per frame (and ratio), one per round
    };
    std::vector<Kind> kinds;
    if (heavy)
        kinds = {{"wav per key, 1 instance", kExportWav, kExportMultisample, kInstancesOne, 0, {}, {}, {}, {}, {}},
                 {"wav per key, 2 instances", kExportWav, kExportMultisample, kInstancesAutomatic, 2, {}, {}, {}, {}, {}},
                 {"wav per key, automatic", kExportWav, kExportMultisample, kInstancesAutomatic, 0, {}, {}, {}, {}, {}}};
    else
        kinds = {{"wav per key", kExportWav, kExportMultisample, kInstancesAutomatic, 0, {}, {}, {}, {}, {}},
                 {"soundfont", kExportSoundFont, kExportMultisample, kInstancesAutomatic, 0, {}, {}, {}, {}, {}},
                 {"chord", kExportWav, kExportChord, kInstancesAutomatic, 0, {}, {}, {}, {}, {}}};
    int failed = 0;
    std::vector<double> capacity;  // heavy: twoThreadsToOne before each round
    for (int round = 1; round <= rounds; ++round) {
        if (heavy) {
            capacity.push_back(twoThreadsToOne());
            printf("%s round %d: two threads' spin takes %.2f of one's\n", argv[2], round, capacity.back());
        }
        for (Kind &kind : kinds) {
            InterlockedExchange64(&gPluginTicks, 0);
            ExportSettings settings = kDefaultExportSettings;
            snprintf(settings.fileName, sizeof settings.fileName, "%s\\bench.wav", folder.c_str());
            settings.fileType = kind.type;
            settings.mode = kind.mode;
            settings.instances = kind.instances;
            unsigned char keys[128];
            memset(keys, 1, sizeof keys);
            // runExport's three steps, timed one by one, with memory kept from one
            // export to the next as the export dialog keeps it.
            static ExportRun run;
            static ExportMemory kept;
            const ExportControl control = {nullptr, nullptr, nullptr, 0, &kept, kind.maxInstances};
            int64_t t0 = now();
            beginExport(run, settings, keys, &control);
            replaceCalls(run, null ? nullProcess : timedProcess, null ? nullDispatcher : timedDispatcher);
            int64_t t1 = now();
            renderExport(run);
            int64_t t2 = now();
            endExport(run);
            int64_t t3 = now();
            double host = seconds(t3 - t0);
            failed += run.report.failed();

            std::vector<FileInfo> files = filesIn(folder);
            uint64_t bytes = 0;
            for (const FileInfo &f : files) bytes += f.bytes;
            removeAll(files);
            double sameFiles = sameFilesSeconds(files, zeros);
            double oneFile = oneFileSeconds(folder, bytes, zeros);

            double ns = 1e9 / ((kind.mode == kExportChord ? 1.0 : 128.0) * 110250.0);
            kind.host.push_back(host * ns);
            kind.plugin.push_back(seconds(gPluginTicks) * ns);
            kind.oneFile.push_back(oneFile * ns);
            kind.sameFiles.push_back(sameFiles * ns);
            kind.toOne.push_back(host * ns / kinds[0].host.back());
            printf("%s round %d, %s: %d files, %llu bytes, %d instances; export %.1f ns/frame (plugin %.1f; begin "
                   "%.2f ms, takes %.2f ms, end %.2f ms), one-file limit %.1f, same-files limit %.1f\n",
                   argv[2], round, kind.name, (int)files.size(), (unsigned long long)bytes, run.report.instances, host * ns,
                   kind.plugin.back(), seconds(t1 - t0) * 1e3, seconds(t2 - t1) * 1e3, seconds(t3 - t2) * 1e3,
                   oneFile * ns, sameFiles * ns);
        }
    }
    for (Kind &kind : kinds) {
        double host = median(kind.host), oneFile = median(kind.oneFile), sameFiles = median(kind.sameFiles);
        printf("%s median of %d, %s: export %.1f ns/frame (plugin %.1f), one-file limit %.1f, same-files limit "
               "%.1f; export / one file %.1f, export / same files %.1f\n",
               argv[2], rounds, kind.name, host, median(kind.plugin), oneFile, sameFiles, host / oneFile,
               host / sameFiles);
        if (heavy) printf("%s median of %d, %s: %.3f of the one-instance time\n", argv[2], rounds, kind.name,
                          median(kind.toOne));
    }
    if (heavy)
        printf("%s median of %d: two threads' spin takes %.2f of one's (1.00: two free processors)\n", argv[2], rounds,
               median(capacity));
    free(zeros);
    gPlugin.effect->process = gRealProcess;
    gPlugin.effect->dispatcher = gRealDispatcher;
    gPlugin.close();
    freeEngineBuffers();
    return failed ? 1 : 0;
}
