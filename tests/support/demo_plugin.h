// Helpers around the demo instrument module: where it lies, how it is configured
// (environment variables it reads when its entry is called) and its call log.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The folder of the test program, without a trailing backslash.
std::string programFolder();
// The demo module beside the test program.
std::string demoModulePath();
// A new empty folder under the temporary folder; removed by removeFolder.
std::string makeTempFolder();
void removeFolder(const std::string &folder);

// Sets the demo's environment for one test and clears it again afterwards.
class DemoSetup {
public:
    explicit DemoSetup(const char *variant = nullptr, const char *editor = nullptr,
                       const char *editorOrigin = nullptr);
    ~DemoSetup();
    // Every line the demo has logged so far.
    std::vector<std::string> log() const;
    // The log lines that begin with the given word ("dispatch", "host", "idle", "vstfx").
    std::vector<std::string> logged(const char *word) const;

private:
    std::string folder_;
    std::string logPath_;
};

// Whether a module with this full path is loaded in the process.
bool isLoaded(const std::string &path);
