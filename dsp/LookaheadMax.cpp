#include "dsp/LookaheadMax.h"

#define AMBREL_ISA sse2
#include "dsp/LookaheadSegments.h"

#include <cstring>

void LookaheadMax::clear()
{
    std::memset(ring_, 0, sizeof ring_);
    std::memset(history_, 0, sizeof history_);
    std::memset(tailMax_, 0, sizeof tailMax_);
    segmented_ = true;
    pristine_ = true;
    phase_ = 0;
    walkRun_ = 0;
}

double LookaheadMax::step(double v, int wpos, int read, int mask)
{
    enter(wpos, read, mask);
    nextWrite_ = (wpos + 1) & mask;
    nextRead_ = (read + 1) & mask;
    if (segmented_)
        return segmentStep(v, wpos, read, mask, (wpos - read) & mask, running_, phase_);
    const double peak = stepWalk(v, wpos, read, mask);
    if (++walkRun_ > mask)
        leaveWalk(wpos, read, mask);
    return peak;
}

void LookaheadMax::run(const double* v, double* peak, int n, int wpos, int read, int mask, Segments segments)
{
    int i = 0;
    for (; i < n && !segmented_; ++i) {
        peak[i] = step(v[i], wpos, read, mask);
        wpos = (wpos + 1) & mask;
        read = (read + 1) & mask;
    }
    if (i == n)
        return;
    enter(wpos, read, mask);
    if (!segmented_) {
        for (; i < n; ++i) {
            peak[i] = step(v[i], wpos, read, mask);
            wpos = (wpos + 1) & mask;
            read = (read + 1) & mask;
        }
        return;
    }
    nextWrite_ = (wpos + (n - i)) & mask;
    nextRead_ = (read + (n - i)) & mask;
    (segments ? segments : sse2::lookahead::runSegments<V2>)(history_, tailMax_, running_, phase_, v + i, peak + i,
                                                              n - i, wpos, read, mask);
}

double LookaheadMax::stepWalk(double v, int wpos, int read, int mask)
{
    int p = wpos;
    for (;;) {
        ring_[p] = v;
        p = (p - 1) & mask;
        if (!(v > ring_[p]) || p == read)
            break;
    }
    if (v > ring_[read])
        ring_[read] = v;
    const double peak = ring_[read];
    ring_[read] = 0.0;
    return peak;
}

// Checks that (wpos, read) continue the previous step; otherwise the
// ring takes over.
void LookaheadMax::enter(int wpos, int read, int mask)
{
    if (pristine_) {
        pristine_ = false;
        return;
    }
    if (wpos == nextWrite_ && read == nextRead_)
        return;
    if (segmented_)
        materialize(mask);
    segmented_ = false;
    walkRun_ = 0;
}

// span = g + 1; the window holds span + 1 values.
inline double LookaheadMax::segmentStep(double v, int wpos, int read, int mask, int span, double& running, int& phase)
{
    history_[wpos] = v;
    running = phase == 0 ? v : (v > running ? v : running);
    if (phase == span) {
        sse2::lookahead::finishSegment<V2>(history_, tailMax_, wpos, span, v, mask);
        phase = 0;
    } else {
        ++phase;
    }
    const double older = tailMax_[read];
    return older > running ? older : running;
}

// The ring as the walk leaves it after the last segmented step: entries
// after the read position hold the maximum of what was written since,
// the read position and everything before it zero. The history before
// the current segment may hold such maxima rather than the values
// themselves; the maxima from any position onward are the same.
void LookaheadMax::materialize(int mask)
{
    std::memset(ring_, 0, sizeof ring_);
    const int w = (nextWrite_ - 1) & mask;
    const int r = (nextRead_ - 1) & mask;
    double m = 0.0;
    for (int p = w; p != r; p = (p - 1) & mask) {
        m = history_[p] > m ? history_[p] : m;
        ring_[p] = m;
    }
}

// After a full turn of the walk: the window's entries are the maxima
// from each position onward, which serve as its history and as the
// finished segment before the next sample.
void LookaheadMax::leaveWalk(int wpos, int read, int mask)
{
    for (int p = wpos; p != read; p = (p - 1) & mask)
        history_[p] = tailMax_[p] = ring_[p];
    history_[read] = tailMax_[read] = 0.0;
    phase_ = 0;
    segmented_ = true;
}
