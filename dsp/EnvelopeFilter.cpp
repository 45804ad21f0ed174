#include "dsp/EnvelopeFilter.h"

#include <cmath>

EnvelopeFilter::EnvelopeFilter(double sampleRate, double cutoffHz, double q)
    : sampleRate_(sampleRate), cutoffHz_(cutoffHz), q_(q)
{
    section.offset = 1e-13;
    recompute();
    clear();
}

void EnvelopeFilter::setSampleRate(double rate)
{
    sampleRate_ = rate;
    recompute();
}

void EnvelopeFilter::setCutoff(double hz)
{
    cutoffHz_ = hz;
    recompute();
}

void EnvelopeFilter::recompute()
{
    const double fs = sampleRate_;
    if (cutoffHz_ > 0.499 * fs)
        cutoffHz_ = 0.499 * fs;
    const double f = cutoffHz_;

    const double w = 6.283185307179586 * f / fs;
    const double cs = std::cos(w);
    const double sn = std::sin(w);
    // The (1 - (f / 0.50001 fs)^8) term widens the bandwidth only as the
    // cutoff nears the Nyquist frequency; for the cutoffs in use it is 1 to
    // within 1e-10.
    const double alpha = sn / ((1.0 - std::pow(f / (fs * 0.50001), 8.0)) * q_ * 2.0);

    const double a0 = 1.0 + alpha;
    section.b0 = (1.0 - cs) / 2.0 / a0;
    section.b1 = (1.0 - cs) / a0;
    section.a1 = -2.0 * cs / a0;
    section.a2 = (1.0 - alpha) / a0;
}

double EnvelopeFilter::tick(double x)
{
    return envelopeTick(section, x);
}
