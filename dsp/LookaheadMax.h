#pragma once

// Look-ahead peak detector: the maximum of the detector values written at
// the g + 2 most recent positions, read at read = wpos - g - 1 (mask H - 1).
//
// The defining form is a ring walk: a new value v is written at wpos and
// over the run of smaller entries behind it, down to read; the entry at read
// is the peak, and it is cleared after reading. Entries between read and
// wpos therefore never increase toward newer positions, and each is the
// maximum of everything written since it was. A change of g (Speed) or a
// detector left idle for a while breaks that order for one ring turn; the
// walk defines what happens then.
//
// The walk costs g steps per sample while the level rises, which is most of
// the time for low bands at high rates. While the read and write positions
// move on one step per sample with the same g, and the ring has been in that
// order for a full turn, the peak is simply the maximum over a sliding
// window of w = g + 2 values, and a segmented form gives it in constant time
// without data-dependent branches: the stream is cut into segments of w
// samples; for each finished segment the maxima from every position to its
// end are kept (one backward pass per segment), and within the current
// segment the running maximum from its start; the window always spans the
// tail of one segment and the head of the next, so its maximum is the larger
// of the two. At any break the ring is rebuilt exactly as the walk would
// have left it (the maxima from each position to the newest), the walk runs
// until a full turn has passed, and the segmented form restarts from the
// ring. Both forms give identical peaks and leave identical states; the walk
// alone is kept as stepWalk() for tests.

#include <cstring>

class LookaheadMax
{
  public:
    static constexpr int kCapacity = 1024;

    LookaheadMax() { clear(); }

    // Zeroes the ring. A zero ring is in order for any positions.
    void clear()
    {
        std::memset(ring_, 0, sizeof ring_);
        std::memset(history_, 0, sizeof history_);
        std::memset(tailMax_, 0, sizeof tailMax_);
        segmented_ = true;
        pristine_ = true;
        phase_ = 0;
        walkRun_ = 0;
    }

    // One detector value v >= 0 at write position wpos; read is
    // wpos - g - 1 and mask is H - 1. Returns the peak at read.
    double step(double v, int wpos, int read, int mask)
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

    // Peaks for n values at consecutive positions from (wpos, read): the
    // same as n calls of step().
    void run(const double* v, double* peak, int n, int wpos, int read, int mask)
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
        const int span = (wpos - read) & mask;
        nextWrite_ = (wpos + (n - i)) & mask;
        nextRead_ = (read + (n - i)) & mask;
        double running = running_;
        int phase = phase_;
        for (; i < n; ++i) {
            peak[i] = segmentStep(v[i], wpos, read, mask, span, running, phase);
            wpos = (wpos + 1) & mask;
            read = (read + 1) & mask;
        }
        running_ = running;
        phase_ = phase;
    }

    // The ring walk itself, on the ring alone.
    double stepWalk(double v, int wpos, int read, int mask)
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

    bool segmented() const { return segmented_; }

  private:
    // Checks that (wpos, read) continue the previous step; otherwise the
    // ring takes over.
    void enter(int wpos, int read, int mask)
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
    double segmentStep(double v, int wpos, int read, int mask, int span, double& running, int& phase)
    {
        history_[wpos] = v;
        running = phase == 0 ? v : (v > running ? v : running);
        if (phase == span) {
            // Segment finished: maxima from each of its positions to its end.
            double m = v;
            tailMax_[wpos] = m;
            for (int j = 1; j <= span; ++j) {
                const int p = (wpos - j) & mask;
                m = history_[p] > m ? history_[p] : m;
                tailMax_[p] = m;
            }
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
    void materialize(int mask)
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
    void leaveWalk(int wpos, int read, int mask)
    {
        for (int p = wpos; p != read; p = (p - 1) & mask)
            history_[p] = tailMax_[p] = ring_[p];
        history_[read] = tailMax_[read] = 0.0;
        phase_ = 0;
        segmented_ = true;
    }

    double ring_[kCapacity];
    double history_[kCapacity];
    double tailMax_[kCapacity];
    double running_ = 0.0;
    int phase_ = 0;
    int nextWrite_ = -1, nextRead_ = -1;
    int walkRun_ = 0;
    bool segmented_ = true;
    bool pristine_ = true;
};
