#pragma once

// Second-order low-pass that smooths detector values (automatic release) and
// meter levels (VU ballistics). One object per use; owned and ticked by the
// audio side only, so it carries no synchronisation of its own.
class EnvelopeFilter {
public:
    EnvelopeFilter(double sampleRate, double cutoffHz, double q);

    // Stores the rate, lowers the cutoff to 0.499 times it and recomputes.
    // For this first limit a rate outside 20000..200000 Hz counts as 44100 Hz;
    // recompute() then limits the cutoff against the true rate.
    void setSampleRate(double rate);
    // Stores the cutoff and recomputes.
    void setCutoff(double hz);
    // Coefficients from the current rate, cutoff and q. A cutoff above
    // 0.499 times the rate is lowered to that and the lowered value kept.
    void recompute();
    // Zeroes the filter memory (not the bias phase).
    void clear() { x1_ = x2_ = y1_ = y2_ = 0.0; }

    // One sample in, one out. A bias of 1e-13 with alternating sign rides on
    // the input and on the stored output so that the recursion never decays
    // into denormal numbers; at the Nyquist frequency it is far below any
    // audible or metered level.
    double tick(double x)
    {
        offset_ = -offset_;
        const double xb = x + offset_;
        const double y = b0_ * xb + b1_ * x1_ + b2_ * x2_ - a1_ * y1_ - a2_ * y2_;
        y2_ = y1_;
        y1_ = y + offset_;
        x2_ = x1_;
        x1_ = xb;
        return y;
    }

    // Coefficients, memory and bias phase as one record, so that an engine
    // can run several filters side by side (one per vector lane) with the
    // same arithmetic as tick(), and hand the memory back afterwards.
    struct Lane {
        double b0, b1, b2, a1, a2;
        double x1, x2, y1, y2;
        double offset;
    };
    Lane lane() const { return {b0_, b1_, b2_, a1_, a2_, x1_, x2_, y1_, y2_, offset_}; }
    void setMemory(const Lane& l)
    {
        x1_ = l.x1;
        x2_ = l.x2;
        y1_ = l.y1;
        y2_ = l.y2;
        offset_ = l.offset;
    }

    double sampleRate() const { return sampleRate_; }
    double cutoff() const { return cutoffHz_; }
    double q() const { return q_; }

private:
    double sampleRate_;
    double cutoffHz_;
    double q_;
    double offset_ = 1e-13;
    double b0_ = 0.0, b1_ = 0.0, b2_ = 0.0, a1_ = 0.0, a2_ = 0.0;
    double x1_ = 0.0, x2_ = 0.0, y1_ = 0.0, y2_ = 0.0;
};
