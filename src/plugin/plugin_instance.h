// The one host-side plugin record: module, plugin object, on/off state, editor.
#pragma once

#include <windows.h>

#include "plugin/vst2.h"

class PluginInstance {
public:
    PluginInstance() = default;
    virtual ~PluginInstance();  // closes the plugin

    // Loads the module, opens the plugin, sets rate and block; 1 on success. On
    // failure, openFailure says which step failed (and loadError the system's code
    // when the module did not load).
    int open(const char *path, float sampleRate, int blockSize);
    // Opens another plugin object from the module the loaded instance holds (its entry
    // called again, the module referenced once more), at this rate and block size from
    // its first request on: inside the entry and effOpen the host answers them. 1 on
    // success; openFailure says why not (kNoPlugin: the entry gave no object).
    int openAnother(const PluginInstance &loaded, float sampleRate, int blockSize);
    void close();
    void resume();
    void suspend();
    void setRateAndBlock(float sampleRate, int blockSize);
    int hasEditor() const;
    void editorIdle();
    int idle();
    // Opens the plugin's editor into the window (which the host made and sizes); 1 when
    // the plugin has an editor and was asked to open it.
    int openEditor(HWND window);
    // The editor's rectangle as the plugin gives it (effEditGetRect), once it is open;
    // null when it gives none.
    const ERect *editorRect();
    void closeEditor();

    // Convenience for dispatcher calls; 0 without a plugin object.
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void *ptr = nullptr,
                       float opt = 0.0f);

    // Fields in the documented order.
    char *modulePath = nullptr;
    HMODULE module = nullptr;
    AEffect *effect = nullptr;
    volatile LONG wantsMidi = 0;
    volatile LONG resumed = 0;
    HWND parentWindow = nullptr;  // the owner of the window the editor is in
    HWND editorWindow = nullptr;  // the window the editor was opened into
    volatile LONG needsIdle = 0;

    // The rate and block size last given to the plugin (setRateAndBlock): what the
    // host answers when the plugin asks for them. 44100 and 882, the values every
    // plugin is opened with at start-up, until then.
    volatile float givenSampleRate = 44100.0f;
    volatile LONG givenBlockSize = 882;

    enum OpenFailure { kOpened, kNoModule, kNoEntry, kNoPlugin };
    OpenFailure openFailure = kOpened;
    DWORD loadError = 0;

    // The time record an instance other than the live one is answered with: an export
    // renders on several instances at once, each on a thread of its own.
    VstTimeInfo ownTime = {};

private:
    int loadModule(const char *path);
    int enterModule();
    PluginInstance(const PluginInstance &) = delete;
    PluginInstance &operator=(const PluginInstance &) = delete;
};

// The client size an editor rectangle asks for; 0 when the pointer is null or the
// rectangle is empty or inverted. Each side is limited to kMaxEditorExtent.
int editorClientSize(const ERect *rect, int *width, int *height);

// The process-wide instance (built before the entry, torn down after it).
extern PluginInstance gPlugin;

extern const int kMaxEditorExtent;  // largest editor width or height the host takes
