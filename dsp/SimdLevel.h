#pragma once

// The instruction sets the engine's block kernels and resampler are built
// for. Every level gives the same numbers to the bit; wider ones are faster.

enum class SimdLevel { Scalar, Sse2, Avx2 };

// The level to run: AVX2 where the processor (and the system) supports it,
// else SSE2, which every target has. The environment variable AMBREL_SIMD
// set to "scalar" or "sse2" lowers it, so that every path can be compared on
// one machine; a level the processor lacks is never chosen.
SimdLevel chooseSimdLevel();

bool simdLevelSupported(SimdLevel level);
const char* simdLevelName(SimdLevel level);
