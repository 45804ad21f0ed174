#pragma once

// The filtered sums of the half-band resampler (dsp/HalfbandResampler.cpp)
// for one lane type; included by the translation units built for each
// instruction set, which name the set in AMBREL_ISA first. Everything here
// sits in a namespace of that name and has internal linkage (dsp/Lanes.h).

#include "dsp/Lanes.h"

// The sums of n outputs (n at most 64) from the history h, built for one
// instruction set each (one lane at a time for the scalar level). weights
// holds each pair weight four times.
namespace sse2 {
void halfbandSumsOneLane(const double* h, const double* weights, int n, double* out);
void halfbandSums(const double* h, const double* weights, int n, double* out);
} // namespace sse2
namespace avx2 {
void halfbandSums(const double* h, const double* weights, int n, double* out);
} // namespace avx2

#ifndef AMBREL_ISA
#error "AMBREL_ISA must name the instruction set the including file is built for"
#endif

namespace AMBREL_ISA {
namespace {

// Consecutive groups read overlapping history, and the optimiser would carry
// loads over from earlier k in extra registers; with the eight registers of
// 32-bit x86 that pushes the accumulators onto the stack. That transformation
// is switched off for the summing code.
#if defined(__clang__)
#define AMBREL_SUM_KERNEL
#else
#define AMBREL_SUM_KERNEL __attribute__((optimize("no-predictive-commoning")))
#endif

// The filtered sums for the G * lanes consecutive samples from t, each
// accumulated from k = 0 upwards. Consecutive outputs read adjacent history
// entries, so each term is two unaligned loads, an add, a multiply and an
// add per vector of outputs. The G accumulators are independent dependency
// chains, which hides the add latency that bounds the one-at-a-time sum.
template <class V, int G>
AMBREL_SUM_KERNEL inline void pairSums(const double* h, const double* weights, int t, double* out)
{
    constexpr int n = kLanes<V>;
    V acc[G];
#pragma GCC unroll 8
    for (int g = 0; g < G; ++g)
        acc[g] = splat<V>(0.0);
    {
        const V w = load<V>(weights);
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g)
            acc[g] += w * (load<V>(h + t + n * g - 1) + load<V>(h + t + n * g));
    }
    for (int k = 1; k < 64; ++k) {
        const V w = load<V>(weights + 4 * k);
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g)
            acc[g] += w * (load<V>(h + t + n * g - 1 - k) + load<V>(h + t + n * g - 128 + k));
    }
#pragma GCC unroll 8
    for (int g = 0; g < G; ++g)
        store(out + n * g, acc[g]);
}

// The filtered sums for the samples at history indices 128..128+n-1, where
// sample t is summed as
//   w_0 (h[t-1] + h[t]) + sum over k = 1..63 of w_k (h[t-1-k] + h[t-128+k]).
// n is at most 64. Groups of four vectors; a last partial group is computed
// whole, reading history entries past the block (never past index 191) into
// outputs past n (never past 63) that are not used. A short remainder takes
// fewer vectors: its cost is set by the add latency, not by the lane count.
template <class V> AMBREL_SUM_KERNEL inline void blockSums(const double* h, const double* weights, int n, double* out)
{
    constexpr int lanes = kLanes<V>;
    int j = 0;
    for (; j + 4 * lanes <= n; j += 4 * lanes)
        pairSums<V, 4>(h, weights, 128 + j, out + j);
    const int rest = n - j;
    if (rest > 2 * lanes)
        pairSums<V, 4>(h, weights, 128 + j, out + j);
    else if (rest > lanes)
        pairSums<V, 2>(h, weights, 128 + j, out + j);
    else if (rest > 0)
        pairSums<V, 1>(h, weights, 128 + j, out + j);
}

#undef AMBREL_SUM_KERNEL

} // namespace
} // namespace AMBREL_ISA
