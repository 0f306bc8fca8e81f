// Conversion between the driver's sample formats and the engine's 32-bit floats.
// A converter is picked once per channel when the stream opens (tables keyed by
// ASIO sample type), so the buffer switch runs one tight loop per channel.
#pragma once

#include "audio/asio.h"

// Driver samples -> floats, n frames.
typedef void (*InputConverter)(const void *source, float *destination, int frames);
// Floats -> driver samples with clipping, n frames.
typedef void (*OutputConverter)(const float *source, void *destination, int frames);

const long kSampleTypeCount = 28;  // types 0 ... 27 have a size

// Bytes per sample of the type; 0 for types without a size (gaps and anything above 27).
int bytesPerSample(long type);

// Instruction sets the converters may use. The baseline forms of both builds are
// SSE2 (kConverterBaseline and kConverterSse2 pick the same ones); in the x86_64
// build the integer output converters and the packed 24-bit input converter also
// have AVX forms. Every form gives the same results as the baseline, to the bit,
// and the integer outputs round to nearest whatever rounding mode the calling
// thread has set.
enum ConverterLevel { kConverterBaseline = 0, kConverterSse2 = 1, kConverterAvx = 2 };

// The best level usable here: kConverterAvx only in the x86_64 build on a processor
// with AVX whose system saves the AVX registers; kConverterSse2 otherwise.
ConverterLevel supportedConverterLevel();

// Null for types that are not converted (the engine buffer keeps its contents):
// every type but 16 ... 20 and 25 ... 27. Without a level: the supported one.
// A level above supportedConverterLevel() is treated as the baseline.
InputConverter inputConverterFor(long type);
InputConverter inputConverterFor(long type, ConverterLevel level);

// What to do with a driver output buffer that some plugin output is routed to.
// Little-endian integer and float types: clip and convert. Big-endian types: a
// converter that writes zeros. Null (leave the buffer alone): 5 ... 7, 12 ... 15,
// 21 ... 24 and anything above 27. Type 24 (16-bit data in a 32-bit container)
// is deliberately left unconverted in both directions.
OutputConverter outputConverterFor(long type);
OutputConverter outputConverterFor(long type, ConverterLevel level);

// Rounding used by the integer output converters: nearest integer, ties to even
// (the processor's default rounding mode, which they set while they run).
long roundToNearestEven(double value);
