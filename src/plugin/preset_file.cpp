// The .fxp and .fxb layouts: a state to bytes and back.
#include "plugin/preset_file.h"

#include <cstring>

#include "core/byte_order.h"

namespace {

const char kChunkMagic[] = "CcnK";
const char kProgramParams[] = "FxCk";
const char kProgramChunk[] = "FPCh";
const char kBankParams[] = "FxBk";
const char kBankChunk[] = "FBCh";

// Offsets shared by both headers.
const size_t kByteSizeAt = 4;
const size_t kFormAt = 8;
const size_t kFormatVersionAt = 12;
const size_t kIdAt = 16;
const size_t kFxVersionAt = 20;
const size_t kCountAt = 24;
const size_t kNameAt = 28;               // programs
const size_t kCurrentProgramAt = 28;     // banks of format version 2
const size_t kCommonHeaderBytes = 12;    // what names the file's form
const uint32_t kProgramFormatVersion = 1;
const uint32_t kBankFormatVersion = 2;

size_t programRecordBytes(const PluginState &state) {
    return kPresetProgramHeaderBytes + 4 * (size_t)state.numParams;
}

void putHeader(uint8_t *out, size_t total, size_t headerBytes, const char *form, uint32_t formatVersion,
               const PluginState &state, VstInt32 count) {
    memset(out, 0, headerBytes);
    putTag(out, kChunkMagic);
    putBe32(out + kByteSizeAt, (uint32_t)(total - 8));
    putTag(out + kFormAt, form);
    putBe32(out + kFormatVersionAt, formatVersion);
    putBe32(out + kIdAt, (uint32_t)state.uniqueID);
    putBe32(out + kFxVersionAt, (uint32_t)state.version);
    putBe32(out + kCountAt, (uint32_t)count);
}

void putName(uint8_t *out, const char *name) {
    size_t length = strnlen(name, kPresetNameBytes);
    memcpy(out, name, length);  // the rest of the field is zero
}

// One program's record with the state's ID, version and parameter count.
void putProgramRecord(uint8_t *out, const PluginState &state, const ProgramState &program) {
    putHeader(out, programRecordBytes(state), kPresetProgramHeaderBytes, kProgramParams, kProgramFormatVersion, state,
              state.numParams);
    putName(out + kNameAt, program.name);
    for (VstInt32 i = 0; i < state.numParams; ++i)
        putBeFloat(out + kPresetProgramHeaderBytes + 4 * (size_t)i, program.params[i]);
}

// The file's declared byteSize, when it declares one, against the bytes there are.
bool declaredSizeFits(const uint8_t *data, size_t size) {
    const uint32_t byteSize = getBe32(data + kByteSizeAt);
    return byteSize == 0 || (uint64_t)byteSize + 8 <= size;
}

void readName(const uint8_t *field, char *name) {
    memcpy(name, field, kPresetNameBytes);
    name[kPresetNameBytes] = '\0';
}

// A count word as a non-negative count; 0 for what would be negative.
VstInt32 countAt(const uint8_t *p) {
    const uint32_t v = getBe32(p);
    return v <= 0x7FFFFFFF ? (VstInt32)v : 0;
}

// A chunk behind a header of headerBytes: its size word, then the chunk.
StateFailure readChunk(const uint8_t *data, size_t size, size_t headerBytes, PluginState &state) {
    if (size < headerBytes + kPresetChunkSizeBytes) return stateFailure(kStateTruncated);
    const uint32_t chunkSize = getBe32(data + headerBytes);
    if ((uint64_t)chunkSize > size - headerBytes - kPresetChunkSizeBytes) return stateFailure(kStateShort);
    if (chunkSize == 0) return stateFailure(kStateNoChunk);
    if (!state.allocateChunk(chunkSize)) return stateFailure(kStateNoMemory);
    memcpy(state.chunkData, data + headerBytes + kPresetChunkSizeBytes, chunkSize);
    return stateFailure(kStateOk);
}

// The name and values of a program record whose header has been checked.
void readProgramRecord(const uint8_t *record, VstInt32 numParams, ProgramState &program) {
    readName(record + kNameAt, program.name);
    for (VstInt32 i = 0; i < numParams; ++i)
        program.params[i] = getBeFloat(record + kPresetProgramHeaderBytes + 4 * (size_t)i);
}

// Checks a program record at the start of data (size bytes left in the file) and
// returns its parameter count and length. The records of a bank must agree with the
// first one's count (expected >= 0).
StateFailure checkProgramRecord(const uint8_t *data, size_t size, VstInt32 expected, VstInt32 *numParams,
                                size_t *length) {
    if (size < kCommonHeaderBytes) return stateFailure(size == 0 ? kStateShort : kStateTruncated);
    if (!hasTag(data, kChunkMagic) || !hasTag(data + kFormAt, kProgramParams)) return stateFailure(kStateNotPreset);
    if (size < kPresetProgramHeaderBytes) return stateFailure(kStateTruncated);
    if (!declaredSizeFits(data, size)) return stateFailure(kStateTruncated);
    const uint32_t count = getBe32(data + kCountAt);
    if ((uint64_t)count * 4 > size - kPresetProgramHeaderBytes) return stateFailure(kStateShort);
    if (expected >= 0 && (VstInt32)count != expected) return stateFailure(kStateNotPreset);
    *numParams = (VstInt32)count;
    *length = kPresetProgramHeaderBytes + 4 * (size_t)count;
    return stateFailure(kStateOk);
}

StateFailure readProgramFile(const uint8_t *data, size_t size, bool chunk, PluginState &state) {
    if (size < kPresetProgramHeaderBytes) return stateFailure(kStateTruncated);
    if (!declaredSizeFits(data, size)) return stateFailure(kStateTruncated);
    state.bank = false;
    state.currentProgram = -1;
    if (chunk) {
        readName(data + kNameAt, state.name);
        state.numPrograms = 1;
        state.numParams = countAt(data + kCountAt);
        return readChunk(data, size, kPresetProgramHeaderBytes, state);
    }
    VstInt32 numParams = 0;
    size_t length = 0;
    StateFailure failure = checkProgramRecord(data, size, -1, &numParams, &length);
    if (!failure.ok()) return failure;
    if (!state.allocatePrograms(1, numParams)) return stateFailure(kStateNoMemory);
    readProgramRecord(data, numParams, state.programs[0]);
    return stateFailure(kStateOk);
}

StateFailure readBankFile(const uint8_t *data, size_t size, bool chunk, PluginState &state) {
    if (size < kPresetBankHeaderBytes) return stateFailure(kStateTruncated);
    if (!declaredSizeFits(data, size)) return stateFailure(kStateTruncated);
    const uint32_t count = getBe32(data + kCountAt);
    state.bank = true;
    state.currentProgram = getBe32(data + kFormatVersionAt) >= 2 ? (VstInt32)getBe32(data + kCurrentProgramAt) : -1;
    if (chunk) {
        state.numPrograms = countAt(data + kCountAt);
        return readChunk(data, size, kPresetBankHeaderBytes, state);
    }
    // Each program record takes its header at least: a count the bytes cannot hold
    // is refused before the records are looked at.
    const size_t left = size - kPresetBankHeaderBytes;
    if ((uint64_t)count * kPresetProgramHeaderBytes > left) return stateFailure(kStateShort);
    if (count == 0) return stateFailure(kStateNotPreset);
    // Every record checked first, then read.
    VstInt32 numParams = -1;
    size_t at = kPresetBankHeaderBytes;
    for (uint32_t p = 0; p < count; ++p) {
        size_t length = 0;
        StateFailure failure = checkProgramRecord(data + at, size - at, numParams, &numParams, &length);
        if (!failure.ok()) return failure;
        at += length;
    }
    if (!state.allocatePrograms((VstInt32)count, numParams)) return stateFailure(kStateNoMemory);
    at = kPresetBankHeaderBytes;
    for (uint32_t p = 0; p < count; ++p) {
        readProgramRecord(data + at, numParams, state.programs[p]);
        at += programRecordBytes(state);
    }
    return stateFailure(kStateOk);
}

}  // namespace

size_t presetFileSize(const PluginState &state) {
    uint64_t total;
    if (state.chunk) {
        if (state.chunkData == nullptr) return 0;
        total = (state.bank ? kPresetBankHeaderBytes : kPresetProgramHeaderBytes) + (uint64_t)kPresetChunkSizeBytes +
                state.chunkSize;
    } else {
        if (state.programs == nullptr || state.numPrograms <= 0 || state.numParams < 0) return 0;
        const uint64_t record = kPresetProgramHeaderBytes + 4 * (uint64_t)state.numParams;
        total = state.bank ? kPresetBankHeaderBytes + record * (uint64_t)state.numPrograms : record;
    }
    return total <= kMaxStateBytes ? (size_t)total : 0;
}

void writePresetFile(const PluginState &state, uint8_t *out) {
    const size_t total = presetFileSize(state);
    if (total == 0) return;
    if (state.chunk) {
        const size_t header = state.bank ? kPresetBankHeaderBytes : kPresetProgramHeaderBytes;
        if (state.bank) {
            putHeader(out, total, header, kBankChunk, kBankFormatVersion, state, state.numPrograms);
            putBe32(out + kCurrentProgramAt, (uint32_t)state.currentProgram);
        } else {
            putHeader(out, total, header, kProgramChunk, kProgramFormatVersion, state, state.numParams);
            putName(out + kNameAt, state.name);
        }
        putBe32(out + header, state.chunkSize);
        memcpy(out + header + kPresetChunkSizeBytes, state.chunkData, state.chunkSize);
        return;
    }
    if (!state.bank) {
        putProgramRecord(out, state, state.programs[0]);
        return;
    }
    putHeader(out, total, kPresetBankHeaderBytes, kBankParams, kBankFormatVersion, state, state.numPrograms);
    putBe32(out + kCurrentProgramAt, (uint32_t)state.currentProgram);
    for (VstInt32 p = 0; p < state.numPrograms; ++p)
        putProgramRecord(out + kPresetBankHeaderBytes + (size_t)p * programRecordBytes(state), state,
                         state.programs[p]);
}

StateFailure readPresetFile(const uint8_t *data, size_t size, PluginState &state) {
    state.clear();
    if (size > kMaxStateBytes) return stateFailure(kStateTooLarge);
    // A file cut inside the first word is told by what is there of 'CcnK'.
    if (size < 4) return stateFailure(size > 0 && memcmp(data, kChunkMagic, size) == 0 ? kStateTruncated
                                                                                       : kStateNotPreset);
    if (!hasTag(data, kChunkMagic)) return stateFailure(kStateNotPreset);
    if (size < kCommonHeaderBytes) return stateFailure(kStateTruncated);
    const uint8_t *form = data + kFormAt;
    const bool program = hasTag(form, kProgramParams) || hasTag(form, kProgramChunk);
    const bool bank = hasTag(form, kBankParams) || hasTag(form, kBankChunk);
    if (!program && !bank) return stateFailure(kStateNotPreset);
    const bool chunk = hasTag(form, kProgramChunk) || hasTag(form, kBankChunk);
    if (size >= kCountAt) {
        state.uniqueID = (VstInt32)getBe32(data + kIdAt);
        state.version = (VstInt32)getBe32(data + kFxVersionAt);
    }
    StateFailure failure =
        program ? readProgramFile(data, size, chunk, state) : readBankFile(data, size, chunk, state);
    if (!failure.ok()) state.clear();
    return failure;
}
