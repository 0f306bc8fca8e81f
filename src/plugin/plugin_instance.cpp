// Loading, opening, switching and closing the one plugin module.
#include "plugin/plugin_instance.h"

#include <cstdlib>
#include <cstring>

#include "plugin/host_callback.h"

namespace {

// A 32-bit flag from a pointer-sized plugin answer: any non-zero value means yes,
// also one whose low 32 bits happen to be zero.
LONG flagFromResult(VstIntPtr result) { return result != 0 ? 1 : 0; }

}  // namespace

PluginInstance::~PluginInstance() { close(); }

VstIntPtr PluginInstance::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void *ptr, float opt) {
    if (effect == nullptr || effect->dispatcher == nullptr) return 0;
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

// Calls the module's entry for a new plugin object and opens it; 1 on success.
int PluginInstance::enterModule() {
    // Through void (*)() so the compiler accepts the change of function type.
    VstEntryProc entry =
        reinterpret_cast<VstEntryProc>(reinterpret_cast<void (*)()>(GetProcAddress(module, "vstfx")));
    if (entry == nullptr) {
        openFailure = kNoEntry;
        return 0;
    }
    effect = entry(hostCallback);
    if (effect == nullptr) {
        openFailure = kNoPlugin;
        return 0;
    }
    dispatch(effOpen);
    return 1;
}

int PluginInstance::loadModule(const char *path) {
    module = LoadLibraryA(path);
    if (module == nullptr) {
        loadError = GetLastError();
        openFailure = kNoModule;
        return 0;
    }
    if (enterModule()) return 1;
    FreeLibrary(module);
    module = nullptr;
    return 0;
}

int PluginInstance::open(const char *path, float sampleRate, int blockSize) {
    close();
    openFailure = kNoModule;
    loadError = 0;
    if (path == nullptr) return 0;
    if (!loadModule(path)) {
        close();
        return 0;
    }
    // Attached only now: requests made during effOpen find no instance.
    effect->resvd1 = reinterpret_cast<VstIntPtr>(this);
    size_t length = strlen(path);
    modulePath = static_cast<char *>(malloc(length + 1));
    if (modulePath != nullptr) memcpy(modulePath, path, length + 1);
    setRateAndBlock(sampleRate, blockSize);
    openFailure = kOpened;
    return 1;
}

int PluginInstance::openAnother(const PluginInstance &loaded, float sampleRate, int blockSize) {
    close();
    openFailure = kNoModule;
    loadError = 0;
    // One more reference to the same module, so that closing this instance leaves it loaded.
    if (loaded.module == nullptr ||
        !GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(loaded.module), &module)) {
        loadError = GetLastError();
        module = nullptr;
        return 0;
    }
    givenSampleRate = sampleRate;
    givenBlockSize = blockSize;
    setOpeningInstance(this);
    const int entered = enterModule();
    setOpeningInstance(nullptr);
    if (!entered) {
        effect = nullptr;
        FreeLibrary(module);
        module = nullptr;
        return 0;
    }
    effect->resvd1 = reinterpret_cast<VstIntPtr>(this);
    setRateAndBlock(sampleRate, blockSize);
    openFailure = kOpened;
    return 1;
}

void PluginInstance::close() {
    needsIdle = 0;  // no effIdle while closing
    suspend();
    closeEditor();
    parentWindow = nullptr;
    if (effect != nullptr) dispatch(effClose);
    if (module != nullptr) {
        FreeLibrary(module);
        module = nullptr;
    }
    if (modulePath != nullptr) {
        free(modulePath);
        modulePath = nullptr;
    }
    effect = nullptr;
    wantsMidi = 0;
    resumed = 0;
}

void PluginInstance::resume() {
    if (resumed == 1 || effect == nullptr) return;
    // The plugin asks for MIDI again from within effMainsChanged.
    wantsMidi = 0;
    dispatch(effMainsChanged, 0, 1);
    resumed = 1;
}

void PluginInstance::suspend() {
    wantsMidi = 0;
    if (resumed == 1 && effect != nullptr) dispatch(effMainsChanged, 0, 0);
    resumed = 0;
}

void PluginInstance::setRateAndBlock(float sampleRate, int blockSize) {
    if (effect == nullptr) return;
    // Kept before each call, so a plugin asking from within it hears the new value.
    givenSampleRate = sampleRate;
    dispatch(effSetSampleRate, 0, 0, nullptr, sampleRate);
    givenBlockSize = blockSize;
    dispatch(effSetBlockSize, 0, blockSize);
}

int PluginInstance::hasEditor() const {
    return effect != nullptr && (effect->flags & effFlagsHasEditor) != 0 ? 1 : 0;
}

void PluginInstance::editorIdle() {
    if (effect != nullptr && editorWindow != nullptr) dispatch(effEditIdle);
}

int PluginInstance::idle() {
    if (effect == nullptr) return 0;
    if (needsIdle == 1) needsIdle = flagFromResult(dispatch(effIdle));
    return needsIdle;
}

// The editor inside a window of the host's: opened into it, its size asked.
const int kMaxEditorExtent = 32767;

int editorClientSize(const ERect *rect, int *width, int *height) {
    if (rect == nullptr) return 0;
    int w = static_cast<int>(rect->right) - rect->left;
    int h = static_cast<int>(rect->bottom) - rect->top;
    if (w <= 0 || h <= 0) return 0;
    *width = w < kMaxEditorExtent ? w : kMaxEditorExtent;
    *height = h < kMaxEditorExtent ? h : kMaxEditorExtent;
    return 1;
}

int PluginInstance::openEditor(HWND window) {
    if (effect == nullptr || !hasEditor() || window == nullptr) return 0;
    editorWindow = window;
    dispatch(effEditOpen, 0, 0, window);
    return 1;
}

const ERect *PluginInstance::editorRect() {
    ERect *rect = nullptr;
    if (effect != nullptr && editorWindow != nullptr) dispatch(effEditGetRect, 0, 0, &rect);
    return rect;
}

void PluginInstance::closeEditor() {
    if (effect == nullptr) return;
    if (hasEditor() && editorWindow != nullptr) dispatch(effEditClose);
    editorWindow = nullptr;
}
