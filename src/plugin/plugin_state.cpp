// Taking an instrument's sound from a plugin object and giving it back.
#include "plugin/plugin_state.h"

#include <cstdlib>
#include <cstring>

namespace {

VstIntPtr dispatchTo(AEffect *effect, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                     void *ptr = nullptr) {
    if (effect == nullptr || effect->dispatcher == nullptr) return 0;
    return effect->dispatcher(effect, opcode, index, value, ptr, 0.0f);
}

// The current program's name, as long as the files keep it. Plugins are asked with
// room to spare: some write past the 24 characters they are allowed.
void currentProgramName(AEffect *effect, char *name) {
    char answer[256];
    memset(answer, 0, sizeof answer);
    dispatchTo(effect, effGetProgramName, 0, 0, answer);
    // A 28-byte field with its terminator.
    size_t length = strnlen(answer, kPresetNameBytes - 1);
    memcpy(name, answer, length);
    name[length] = '\0';
}

void selectProgram(AEffect *effect, VstInt32 program) {
    dispatchTo(effect, effBeginSetProgram);
    dispatchTo(effect, effSetProgram, 0, program);
    dispatchTo(effect, effEndSetProgram);
}

void readProgram(AEffect *effect, VstInt32 numParams, ProgramState &program) {
    currentProgramName(effect, program.name);
    for (VstInt32 i = 0; i < numParams; ++i)
        program.params[i] = effect->getParameter ? effect->getParameter(effect, i) : 0.0f;
}

void writeProgram(AEffect *effect, VstInt32 numParams, const ProgramState &program) {
    char name[kPresetNameBytes + 1];
    memcpy(name, program.name, sizeof name);
    dispatchTo(effect, effSetProgramName, 0, 0, name);
    for (VstInt32 i = 0; i < numParams; ++i)
        if (effect->setParameter) effect->setParameter(effect, i, program.params[i]);
}

// A plugin's own count, read as none when it is negative.
VstInt32 countOf(VstInt32 n) { return n > 0 ? n : 0; }

StateFailure takeChunk(AEffect *effect, bool bank, PluginState &state) {
    void *data = nullptr;
    VstIntPtr size = dispatchTo(effect, effGetChunk, bank ? 0 : 1, 0, &data);
    if (size <= 0 || data == nullptr) return stateFailure(kStateNoChunk);
    // Bounded so that the bank file it makes stays within the limit too.
    if ((uint64_t)size + kPresetBankHeaderBytes + kPresetChunkSizeBytes > kMaxStateBytes)
        return stateFailure(kStateTooLarge);
    if (!state.allocateChunk((uint32_t)size)) return stateFailure(kStateNoMemory);
    memcpy(state.chunkData, data, (size_t)size);
    state.numPrograms = bank ? countOf(effect->numPrograms) : 1;
    state.numParams = countOf(effect->numParams);
    currentProgramName(effect, state.name);
    return stateFailure(kStateOk);
}

StateFailure takeParameters(AEffect *effect, bool bank, PluginState &state) {
    const VstInt32 numParams = countOf(effect->numParams);
    const VstInt32 numPrograms = countOf(effect->numPrograms);
    // A bank of a plugin without programs holds its one current state.
    const VstInt32 count = bank && numPrograms > 0 ? numPrograms : 1;
    if (kPresetBankHeaderBytes + (uint64_t)count * (kPresetProgramHeaderBytes + 4 * (uint64_t)numParams) >
        kMaxStateBytes)
        return stateFailure(kStateTooLarge);
    if (!state.allocatePrograms(count, numParams)) return stateFailure(kStateNoMemory);
    if (count == 1) {
        readProgram(effect, numParams, state.programs[0]);
        return stateFailure(kStateOk);
    }
    for (VstInt32 p = 0; p < count; ++p) {
        selectProgram(effect, p);
        readProgram(effect, numParams, state.programs[p]);
    }
    if (state.currentProgram >= 0 && state.currentProgram < count) selectProgram(effect, state.currentProgram);
    return stateFailure(kStateOk);
}

}  // namespace

StateFailure stateFailure(StateReason reason) {
    StateFailure failure;
    failure.reason = reason;
    return failure;
}

void PluginState::clear() {
    if (programs != nullptr) {
        for (VstInt32 p = 0; p < numPrograms; ++p) free(programs[p].params);
        free(programs);
    }
    free(chunkData);
    programs = nullptr;
    chunkData = nullptr;
    chunkSize = 0;
    numPrograms = 0;
    numParams = 0;
    currentProgram = 0;
    chunk = false;
    bank = false;
    uniqueID = 0;
    version = 0;
    name[0] = '\0';
}

void PluginState::moveFrom(PluginState &other) {
    if (&other == this) return;
    clear();
    uniqueID = other.uniqueID;
    version = other.version;
    bank = other.bank;
    chunk = other.chunk;
    chunkData = other.chunkData;
    chunkSize = other.chunkSize;
    currentProgram = other.currentProgram;
    numPrograms = other.numPrograms;
    numParams = other.numParams;
    programs = other.programs;
    memcpy(name, other.name, sizeof name);
    other.chunkData = nullptr;
    other.programs = nullptr;
    other.clear();
}

bool PluginState::allocatePrograms(VstInt32 count, VstInt32 params) {
    if (count <= 0 || params < 0) return false;
    programs = static_cast<ProgramState *>(calloc((size_t)count, sizeof(ProgramState)));
    if (programs == nullptr) return false;
    numPrograms = count;
    numParams = params;
    for (VstInt32 p = 0; p < count; ++p) {
        // One value at least, so that a program of no parameters has a block too.
        programs[p].params = static_cast<float *>(calloc((size_t)params + 1, sizeof(float)));
        if (programs[p].params == nullptr) return false;  // clear() frees what was made
    }
    return true;
}

bool PluginState::allocateChunk(uint32_t bytes) {
    chunkData = static_cast<uint8_t *>(malloc(bytes ? bytes : 1));
    if (chunkData == nullptr) return false;
    chunk = true;
    chunkSize = bytes;
    return true;
}

StateFailure takePluginState(AEffect *effect, bool bank, PluginState &state) {
    state.clear();
    // Nothing is asked of a plugin that has nothing to keep.
    if (effect == nullptr || (!(effect->flags & effFlagsProgramChunks) && countOf(effect->numParams) == 0 &&
                              countOf(effect->numPrograms) == 0))
        return stateFailure(kStateNothingToKeep);
    state.uniqueID = effect->uniqueID;
    state.version = effect->version;
    state.bank = bank;
    state.currentProgram = (VstInt32)dispatchTo(effect, effGetProgram);
    StateFailure failure = (effect->flags & effFlagsProgramChunks) ? takeChunk(effect, bank, state)
                                                                   : takeParameters(effect, bank, state);
    if (!failure.ok()) state.clear();
    return failure;
}

StateFailure stateFitsPlugin(const AEffect *effect, const PluginState &state) {
    if (effect == nullptr) return stateFailure(kStateNothingToKeep);
    StateFailure failure;
    if (state.uniqueID != effect->uniqueID) {
        failure.reason = kStateOtherInstrument;
        failure.fileId = state.uniqueID;
        failure.instrumentId = effect->uniqueID;
        return failure;
    }
    if (state.chunk) {
        if (!(effect->flags & effFlagsProgramChunks)) failure.reason = kStateChunkForm;
        return failure;
    }
    const VstInt32 numPrograms = countOf(effect->numPrograms);
    const VstInt32 numParams = countOf(effect->numParams);
    // A bank may hold fewer programs than the plugin has (the others keep theirs);
    // a plugin without programs takes a bank of one.
    const bool programsFit = !state.bank || state.numPrograms <= (numPrograms > 0 ? numPrograms : 1);
    if (state.numParams != numParams || !programsFit || state.numPrograms <= 0 || state.programs == nullptr) {
        failure.reason = kStateOtherLayout;
        failure.filePrograms = state.numPrograms;
        failure.fileParams = state.numParams;
        failure.instrumentPrograms = numPrograms;
        failure.instrumentParams = numParams;
    }
    return failure;
}

StateFailure givePluginState(AEffect *effect, const PluginState &state) {
    StateFailure failure = stateFitsPlugin(effect, state);
    if (!failure.ok()) return failure;
    if (state.chunk) {
        VstIntPtr taken = dispatchTo(effect, effSetChunk, state.bank ? 0 : 1, (VstIntPtr)state.chunkSize,
                                     state.chunkData);
        return stateFailure(taken != 0 ? kStateOk : kStateRefused);
    }
    if (!state.bank || countOf(effect->numPrograms) == 0) {
        // Into the current program, as a program file is loaded.
        dispatchTo(effect, effBeginSetProgram);
        writeProgram(effect, state.numParams, state.programs[0]);
        dispatchTo(effect, effEndSetProgram);
        return failure;
    }
    const VstInt32 before = (VstInt32)dispatchTo(effect, effGetProgram);
    for (VstInt32 p = 0; p < state.numPrograms; ++p) {
        selectProgram(effect, p);
        writeProgram(effect, state.numParams, state.programs[p]);
    }
    VstInt32 current = state.currentProgram;
    if (current < 0 || current >= countOf(effect->numPrograms)) current = before;
    if (current >= 0 && current < countOf(effect->numPrograms)) selectProgram(effect, current);
    return failure;
}
