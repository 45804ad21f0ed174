#pragma once

// The segmented form of the look-ahead maximum (dsp/LookaheadMax.h) over a
// block, for the lane type W of one instruction set: the running maximum
// of a segment and the maxima from each position of a finished segment to
// its end are scans, computed a vector of positions at a time. The values
// are never negative, so every order of taking maxima gives the same
// numbers. Included by translation units that name their instruction set in
// AMBREL_ISA first; everything here has internal linkage.

#include "dsp/Lanes.h"

#ifndef AMBREL_ISA
#error "AMBREL_ISA must name the instruction set the including file is built for"
#endif

namespace AMBREL_ISA {
namespace {
namespace lookahead {

inline int least(int a, int b)
{
    return b < a ? b : a;
}

// Lane l: the maximum of lanes 0..l and of `before`.
template <class W> inline W prefixMax(W x, double before)
{
    const W zero = splat<W>(0.0);
    if constexpr (kLanes<W> == 2) {
        x = larger(x, __builtin_shufflevector(zero, x, 0, 2));
    } else {
        x = larger(x, __builtin_shufflevector(zero, x, 0, 4, 5, 6));
        x = larger(x, __builtin_shufflevector(zero, x, 0, 1, 4, 5));
    }
    return larger(x, splat<W>(before));
}

// Lane l: the maximum of lanes l..last and of `after`.
template <class W> inline W suffixMax(W x, double after)
{
    const W zero = splat<W>(0.0);
    if constexpr (kLanes<W> == 2) {
        x = larger(x, __builtin_shufflevector(x, zero, 1, 2));
    } else {
        x = larger(x, __builtin_shufflevector(x, zero, 1, 2, 3, 4));
        x = larger(x, __builtin_shufflevector(x, zero, 2, 3, 4, 5));
    }
    return larger(x, splat<W>(after));
}

// Maxima from each position of the segment ending at wpos (span + 1
// positions, the last holding x) to its end.
template <class W> void finishSegment(const double* history, double* tailMax, int wpos, int span, double x, int mask)
{
    constexpr int L = kLanes<W>;
    double m = x;
    tailMax[wpos] = m;
    int p = wpos;
    for (int left = span; left > 0;) {
        if (p == 0)
            p = mask + 1;
        const int count = least(left, p);
        const int stop = p - count;
        int q = p;
        for (; q - L >= stop; q -= L) {
            const W t = suffixMax(load<W>(history + q - L), m);
            store(tailMax + q - L, t);
            m = lane(t, 0);
        }
        for (; q > stop; --q) {
            m = history[q - 1] > m ? history[q - 1] : m;
            tailMax[q - 1] = m;
        }
        p = stop;
        left -= count;
    }
}

// n steps of the segmented form from (wpos, read), span = wpos - read.
template <class W>
void runSegments(double* history, double* tailMax, double& runningInOut, int& phaseInOut, const double* v,
                 double* peak, int n, int wpos, int read, int mask)
{
    constexpr int L = kLanes<W>;
    const int size = mask + 1;
    const int span = (wpos - read) & mask;
    double running = runningInOut;
    int phase = phaseInOut;
    int i = 0;
    while (i < n) {
        // The samples before the one that finishes the segment, in runs
        // where neither ring index wraps.
        for (int k = least(n - i, span - phase); k > 0;) {
            const int m = least(k, least(size - wpos, size - read));
            double* hist = history + wpos;
            const double* tail = tailMax + read;
            int j = 0;
            if (phase == 0) {
                running = v[i];
                hist[0] = running;
                peak[i] = tail[0] > running ? tail[0] : running;
                j = 1;
            }
            for (; j + L <= m; j += L) {
                const W x = load<W>(v + i + j);
                store(hist + j, x);
                const W r = prefixMax(x, running);
                running = lane(r, L - 1);
                const W older = load<W>(tail + j);
                store(peak + i + j, select(older > r, older, r));
            }
            for (; j < m; ++j) {
                const double x = v[i + j];
                hist[j] = x;
                running = x > running ? x : running;
                const double older = tail[j];
                peak[i + j] = older > running ? older : running;
            }
            i += m;
            k -= m;
            phase += m;
            wpos = (wpos + m) & mask;
            read = (read + m) & mask;
        }
        if (i == n)
            break;
        // The sample that finishes the segment.
        const double x = v[i];
        history[wpos] = x;
        running = phase == 0 ? x : (x > running ? x : running);
        finishSegment<W>(history, tailMax, wpos, span, x, mask);
        phase = 0;
        const double older = tailMax[read];
        peak[i] = older > running ? older : running;
        ++i;
        wpos = (wpos + 1) & mask;
        read = (read + 1) & mask;
    }
    runningInOut = running;
    phaseInOut = phase;
}

} // namespace lookahead
} // namespace
} // namespace AMBREL_ISA
