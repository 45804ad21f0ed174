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
// order for a full turn, the same peaks come from a monotone queue of
// (sample number, value) pairs in amortised constant time. At any break the
// ring is rebuilt from the queue exactly as the walk would have left it, the
// walk runs until a full turn has passed, and the queue is rebuilt from the
// ring. Both forms give identical peaks and leave identical states; the walk
// alone is kept as stepWalk() for tests.

#include <cstdint>
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
        head_ = tail_ = 0;
        queued_ = true;
        pristine_ = true;
        walkRun_ = 0;
    }

    // One detector value v >= 0 at write position wpos; read is
    // wpos - g - 1 and mask is H - 1. Returns the peak at read.
    double step(double v, int wpos, int read, int mask)
    {
        const bool inStep = wpos == nextWrite_ && read == nextRead_;
        if (!inStep && !pristine_) {
            if (queued_)
                materialize(mask);
            queued_ = false;
            walkRun_ = 0;
        }
        pristine_ = false;
        nextWrite_ = (wpos + 1) & mask;
        nextRead_ = (read + 1) & mask;
        if (queued_)
            return stepQueue(v, static_cast<unsigned>((wpos - read) & mask));
        const double peak = stepWalk(v, wpos, read, mask);
        if (++walkRun_ > mask) {
            rebuild(wpos, read, mask);
            queued_ = true;
        }
        return peak;
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

    bool usingQueue() const { return queued_; }

  private:
    static constexpr unsigned kQueueMask = kCapacity - 1;

    // span = g + 1: the oldest sample still in the window is span samples old.
    double stepQueue(double v, unsigned span)
    {
        const uint32_t n = ++count_;
        // Drop the sample that left the window (at most one per step).
        head_ += (head_ != tail_) & (n - index_[head_ & kQueueMask] > span);
        // Drop the queued values that v covers; mostly none or one.
        unsigned t = tail_;
        t -= (t != head_) & (value_[(t - 1) & kQueueMask] <= v);
        t -= (t != head_) & (value_[(t - 1) & kQueueMask] <= v);
        while (t != head_ && value_[(t - 1) & kQueueMask] <= v)
            --t;
        value_[t & kQueueMask] = v;
        index_[t & kQueueMask] = n;
        tail_ = t + 1;
        return value_[head_ & kQueueMask];
    }

    // The ring as the walk leaves it after the last queued step: entries
    // after the read position hold the maximum of what was written since,
    // the read position and everything before it zero.
    void materialize(int mask)
    {
        std::memset(ring_, 0, sizeof ring_);
        const int w = (nextWrite_ - 1) & mask;
        const int r = (nextRead_ - 1) & mask;
        const unsigned span = static_cast<unsigned>((w - r) & mask);
        unsigned q = head_;
        for (unsigned age = span - 1; age + 1 > 0 && q != tail_; --age) {
            const uint32_t sample = count_ - age;
            while (q != tail_ && static_cast<int32_t>(index_[q & kQueueMask] - sample) < 0)
                ++q;
            if (q == tail_)
                break;
            ring_[(w - static_cast<int>(age)) & mask] = value_[q & kQueueMask];
        }
    }

    // The queue from a ring in walk order, after the step at (wpos, read).
    void rebuild(int wpos, int read, int mask)
    {
        head_ = tail_ = 0;
        const int span = (wpos - read) & mask;
        for (int age = span - 1; age >= 0; --age) {
            const double v = ring_[(wpos - age) & mask];
            unsigned t = tail_;
            while (t != head_ && value_[(t - 1) & kQueueMask] <= v)
                --t;
            value_[t & kQueueMask] = v;
            index_[t & kQueueMask] = count_ - static_cast<uint32_t>(age);
            tail_ = t + 1;
        }
    }

    double ring_[kCapacity];
    double value_[kCapacity];
    uint32_t index_[kCapacity];
    unsigned head_ = 0, tail_ = 0;
    uint32_t count_ = 0;
    int nextWrite_ = -1, nextRead_ = -1;
    int walkRun_ = 0;
    bool queued_ = true;
    bool pristine_ = true;
};
