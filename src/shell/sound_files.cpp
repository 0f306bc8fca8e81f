#include "shell/sound_files.h"

#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "core/raw_file.h"
#include "core/texts.h"
#include "plugin/preset_file.h"
#include "resources/resource_ids.h"

namespace {

const char kLastSoundFolder[] = "\\Korvane";
const char kLastSoundName[] = "\\last-sound";
const char kPresetBankExtension[] = ".fxb";
const char kPresetProgramExtension[] = ".fxp";

bool endsWith(const char *name, const char *ending) {
    size_t length = strlen(name), endingLength = strlen(ending);
    return length >= endingLength && _stricmp(name + length - endingLength, ending) == 0;
}

UINT reasonText(StateReason reason) {
    switch (reason) {
    case kStateOk: return 0;
    case kStateNothingToKeep: return IDS_STATE_NOTHING;
    case kStateNoChunk: return IDS_STATE_NO_CHUNK;
    case kStateNoMemory: return IDS_STATE_NO_MEMORY;
    case kStateTooLarge: return IDS_STATE_TOO_LARGE;
    case kStateNotPreset: return IDS_STATE_NOT_PRESET;
    case kStateTruncated: return IDS_STATE_TRUNCATED;
    case kStateShort: return IDS_STATE_SHORT;
    case kStateOtherInstrument: return IDS_STATE_OTHER_INSTRUMENT;
    case kStateOtherLayout: return IDS_STATE_OTHER_LAYOUT;
    case kStateChunkForm: return IDS_STATE_CHUNK_FORM;
    case kStateRefused: return IDS_STATE_REFUSED;
    case kStateCannotOpen: return IDS_STATE_CANNOT_OPEN;
    case kStateCannotRead: return IDS_STATE_CANNOT_READ;
    case kStateCannotWrite: return IDS_STATE_CANNOT_WRITE;
    }
    return 0;
}

StateFailure fileFailure(StateReason reason, DWORD error) {
    StateFailure failure = stateFailure(reason);
    failure.systemError = error;
    return failure;
}

}  // namespace

StateFailure loadPresetFile(const char *path, PluginState &state) {
    state.clear();
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return fileFailure(kStateCannotOpen, GetLastError());
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) {
        DWORD error = GetLastError();
        CloseHandle(file);
        return fileFailure(kStateCannotRead, error);
    }
    if (size.QuadPart > (LONGLONG)kMaxStateBytes) {
        CloseHandle(file);
        return stateFailure(kStateTooLarge);
    }
    const DWORD bytes = (DWORD)size.QuadPart;
    uint8_t *data = static_cast<uint8_t *>(malloc(bytes ? bytes : 1));
    if (data == nullptr) {
        CloseHandle(file);
        return stateFailure(kStateNoMemory);
    }
    DWORD got = 0;
    StateFailure failure;
    if (!ReadFile(file, data, bytes, &got, nullptr) || got != bytes)
        failure = fileFailure(kStateCannotRead, GetLastError());
    CloseHandle(file);
    if (failure.ok()) failure = readPresetFile(data, bytes, state);
    free(data);
    return failure;
}

StateFailure savePresetFile(const char *path, const PluginState &state) {
    const size_t bytes = presetFileSize(state);
    if (bytes == 0) return stateFailure(state.chunk || state.programs ? kStateTooLarge : kStateNothingToKeep);
    uint8_t *data = static_cast<uint8_t *>(malloc(bytes));
    if (data == nullptr) return stateFailure(kStateNoMemory);
    writePresetFile(state, data);
    DWORD error = 0;
    bool written = replaceFileWith(path, data, (DWORD)bytes, &error);
    free(data);
    return written ? stateFailure(kStateOk) : fileFailure(kStateCannotWrite, error);
}

bool presetNameSavesBank(char *name, size_t size, int filterIndex) {
    if (endsWith(name, kPresetBankExtension)) return true;
    if (endsWith(name, kPresetProgramExtension)) return false;
    const bool bank = filterIndex == 2;
    const char *extension = bank ? kPresetBankExtension : kPresetProgramExtension;
    if (strlen(name) + strlen(extension) < size) strcat(name, extension);
    return bank;
}

bool lastSoundPath(char *path, size_t size) {
    char folder[MAX_PATH];
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, folder)))
        return false;
    int length = snprintf(path, size, "%s%s", folder, kLastSoundFolder);
    if (length < 0 || (size_t)length >= size) return false;
    CreateDirectoryA(path, nullptr);  // already there after the first run
    length = snprintf(path, size, "%s%s%s%s", folder, kLastSoundFolder, kLastSoundName, kPresetBankExtension);
    return length > 0 && (size_t)length < size;
}

bool asidePath(const char *path, const char *tag, char *aside, size_t size) {
    size_t length = strlen(path);
    if (!endsWith(path, kPresetBankExtension)) return false;
    length -= strlen(kPresetBankExtension);
    int written = snprintf(aside, size, "%.*s-%s%s", (int)length, path, tag, kPresetBankExtension);
    return written > 0 && (size_t)written < size;
}

void instrumentIdText(VstInt32 id, wchar_t *text, size_t size) {
    const uint32_t value = (uint32_t)id;
    wchar_t letters[5];
    bool printable = true;
    for (int i = 0; i < 4; ++i) {
        const uint32_t c = (value >> (24 - 8 * i)) & 0xFF;
        printable = printable && c >= 0x20 && c < 0x7F;
        letters[i] = (wchar_t)c;
    }
    letters[4] = L'\0';
    if (printable)
        _snwprintf(text, size, L"%ls (%08X)", letters, (unsigned)value);
    else
        _snwprintf(text, size, L"%08X", (unsigned)value);
    text[size - 1] = L'\0';
}

void soundFailureText(UINT whatId, const char *path, const StateFailure &failure, wchar_t *text, size_t size) {
    loadText(whatId, text, (int)size);
    if (path && path[0]) appendAnsiLine(text, size, path);
    wchar_t reason[512] = L"";
    switch (failure.reason) {
    case kStateTooLarge:
        formatText(reason, 512, IDS_STATE_TOO_LARGE, (unsigned)(kMaxStateBytes >> 20));
        break;
    case kStateOtherInstrument: {
        wchar_t file[32], loaded[32];
        instrumentIdText(failure.fileId, file, 32);
        instrumentIdText(failure.instrumentId, loaded, 32);
        formatText(reason, 512, IDS_STATE_OTHER_INSTRUMENT, file, loaded);
        break;
    }
    case kStateOtherLayout:
        formatText(reason, 512, IDS_STATE_OTHER_LAYOUT, (int)failure.filePrograms, (int)failure.fileParams,
                   (int)failure.instrumentPrograms, (int)failure.instrumentParams);
        break;
    default:
        if (UINT id = reasonText(failure.reason)) loadText(id, reason, 512);
        break;
    }
    if (reason[0]) appendLine(text, size, reason);
    appendSystemReason(text, size, failure.systemError);
}
