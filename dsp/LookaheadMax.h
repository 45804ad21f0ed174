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

class LookaheadMax
{
  public:
    static constexpr int kCapacity = 1024;

    LookaheadMax() { clear(); }

    // Zeroes the ring. A zero ring is in order for any positions.
    void clear();

    // One detector value v >= 0 at write position wpos; read is
    // wpos - g - 1 and mask is H - 1. Returns the peak at read.
    double step(double v, int wpos, int read, int mask);

    // The segmented form's loop over a block, built for one instruction set
    // (dsp/LookaheadSegments.h).
    using Segments = void (*)(double* history, double* tailMax, double& running, int& phase, const double* v,
                              double* peak, int n, int wpos, int read, int mask);

    // Peaks for n values at consecutive positions from (wpos, read): the
    // same as n calls of step(). The segmented stretches run through
    // `segments`, or the SSE2 loop when it is null.
    void run(const double* v, double* peak, int n, int wpos, int read, int mask, Segments segments = nullptr);

    // The ring walk itself, on the ring alone.
    double stepWalk(double v, int wpos, int read, int mask);

    bool segmented() const { return segmented_; }

  private:
    void enter(int wpos, int read, int mask);
    double segmentStep(double v, int wpos, int read, int mask, int span, double& running, int& phase);
    void materialize(int mask);
    void leaveWalk(int wpos, int read, int mask);

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
