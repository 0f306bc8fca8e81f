// Fixed-width integers and floats in a given byte order, read from and written to
// byte buffers. RIFF files (WAV, SoundFont) and this program's own records are
// little-endian; the VST preset files (.fxp, .fxb) are big-endian.
#pragma once

#include <cstdint>
#include <cstring>

inline void putLe16(uint8_t *p, uint32_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}

inline void putLe32(uint8_t *p, uint32_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

inline void putLe64(uint8_t *p, uint64_t v) {
    putLe32(p, (uint32_t)v);
    putLe32(p + 4, (uint32_t)(v >> 32));
}

inline uint16_t getLe16(const uint8_t *p) { return (uint16_t)(p[0] | p[1] << 8); }

inline uint32_t getLe32(const uint8_t *p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

inline uint64_t getLe64(const uint8_t *p) { return (uint64_t)getLe32(p) | (uint64_t)getLe32(p + 4) << 32; }

inline void putBe32(uint8_t *p, uint32_t v) {
    p[0] = (uint8_t)(v >> 24);
    p[1] = (uint8_t)(v >> 16);
    p[2] = (uint8_t)(v >> 8);
    p[3] = (uint8_t)v;
}

inline uint32_t getBe32(const uint8_t *p) {
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | (uint32_t)p[3];
}

// IEEE single precision by its bits, so that the value is carried bit for bit.
inline void putBeFloat(uint8_t *p, float v) {
    uint32_t bits;
    memcpy(&bits, &v, 4);
    putBe32(p, bits);
}

inline float getBeFloat(const uint8_t *p) {
    const uint32_t bits = getBe32(p);
    float v;
    memcpy(&v, &bits, 4);
    return v;
}

// A four-character code (FOURCC), as it stands in the file.
inline void putTag(uint8_t *p, const char *tag) { memcpy(p, tag, 4); }

inline bool hasTag(const uint8_t *p, const char *tag) { return memcmp(p, tag, 4) == 0; }
