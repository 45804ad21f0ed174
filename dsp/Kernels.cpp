// The scalar reference kernels: the signal path one sample at a time, and
// the bypass kernel, which every level shares.
#include "dsp/Kernels.h"
#include "dsp/KernelsShared.h"

#include <cstring>

void KernelState::clearRings()
{
    std::memset(dry, 0, sizeof dry);
    std::memset(tone, 0, sizeof tone);
    std::memset(band, 0, sizeof band);
    std::memset(wet, 0, sizeof wet);
    for (ChannelDetectors& c : ch) {
        c.detector.clear();
        for (LookaheadMax& d : c.bandDetector)
            d.clear();
    }
}

void KernelState::resetEnvelopes()
{
    for (ChannelDetectors& c : ch) {
        c.env = kRestingEnvelope;
        for (double& e : c.bandEnv)
            e = kRestingEnvelope;
        c.limiterEnv = kRestingEnvelope;
    }
    for (ChannelFilters& f : filters)
        f = ChannelFilters{};
    for (EnvelopeFilter& f : envFilters) {
        f.recompute();
        f.clear();
    }
}

namespace
{

template <Layout L, bool MultiBand, bool Auto>
void referenceKernel(KernelState& st, const KernelParams& params, const MeterBlock& meterBlock,
                     const double* const* in, double* const* out, int n)
{
    // Local copies: the ring stores below cannot alias them, so the
    // compiler keeps them in registers.
    const KernelParams kp = params;
    const MeterBlock mb = meterBlock;
    constexpr bool stereo = L != Layout::OneChannel;
    constexpr bool linked = L == Layout::StereoLinked;
    constexpr int nc = stereo ? 2 : 1;     // processed channels
    constexpr int nd = linked ? 1 : nc;    // detector channels

    const int nMask = kp.delayMask;
    const int hMask = kp.detectorMask;
    const int g = kp.lookahead;
    const int h = kp.limiterLookahead;
    const int wetOffset = MultiBand ? g + h + 3 : g + 2;
    const int processed = (!stereo && kp.route == Route::Right) ? 1 : 0;
    ChannelFilters* filt[2] = {&st.filters[stereo ? 0 : processed], &st.filters[1]};
    EnvelopeFilter* ef = st.envFilters.data();
    const double cg = kp.ceilingGain;
    const double autoScale = linked && !MultiBand ? kp.autoReleaseScale : 1.0;

    double d = st.bias;
    int s = st.s;
    int wpos = st.wpos;
    for (int i = 0; i < n; ++i) {
        d = -d;
        const double xL = in[0][i] + d;
        const double xR = in[1][i] + d;
        const int read1 = (wpos - g - 1) & hMask;
        const int read2 = (wpos - h - 1) & hMask;

        // Inputs: the processed channel(s) and, for one channel, the passed one.
        double x[2];
        double passedIn = 0.0;
        if constexpr (stereo) {
            x[0] = xL;
            x[1] = xR;
            st.dry[s][0] = xL;
            st.dry[s][1] = xR;
        } else {
            x[0] = processed ? xR : xL;
            passedIn = processed ? xL : xR;
            st.dry[s][0] = x[0];
            st.dry[s][1] = passedIn;
        }

        double t[2];
        for (int c = 0; c < nc; ++c)
            t[c] = subsonicTick(kp.subsonic, filt[c]->subsonic, x[c], d);
        // The one-channel single-band kernel's dry signal is the filtered one.
        if constexpr (!stereo && !MultiBand)
            st.dry[s][0] = t[0];

        double gain[2];
        double w[2];
        if constexpr (!MultiBand) {
            // Tone stage: the regions below the low corner and above the high
            // corner are the complements of the tone filters' outputs.
            double tp[2];
            for (int c = 0; c < nc; ++c) {
                const double lo = t[c] - toneTick(kp.lowTone, filt[c]->lowTone, t[c], d);
                const double hi = t[c] - toneTick(kp.highTone, filt[c]->highTone, t[c], d);
                tp[c] = t[c] + lo * (kp.lowAdjustGain - 1.0) + hi * (kp.highAdjustGain - 1.0);
                st.tone[wpos][c] = tp[c];
            }
            for (int c = 0; c < nd; ++c) {
                double v = magnitude(kDetectorScale * tp[c]);
                if constexpr (linked)
                    v = larger(v, magnitude(kDetectorScale * tp[1]));
                const double peak = st.ch[c].detector.step(v, wpos, read1, hMask);
                const double det = peak + kDetectorFloor + d;
                double env = envelopeStep<Auto>(st.ch[c].env, det, kp.attackCoef, kp.releaseCoef,
                                                ef[fastFilter(c, 3)].section, ef[fastFilter(c, 3) + 4].section,
                                                kSingleRelease, autoScale);
                if (env < kEnvelopeFloor)
                    env = kEnvelopeFloor;
                st.ch[c].env = env;
                gain[c] = saturate(kp.curve, env * kp.driveGain * kp.ceilingDrive) / env;
            }
            if constexpr (linked)
                gain[1] = gain[0];
            for (int c = 0; c < nc; ++c) {
                w[c] = st.tone[read1][c] * gain[c];
                if (kp.brickwall)
                    w[c] = clampUnit(w[c]);
            }
        } else {
            // Three bands that add up to t when both adjust gains are 1.
            double band[2][3];
            for (int c = 0; c < nc; ++c) {
                const double lt = toneTick(kp.lowTone, filt[c]->lowTone, t[c], d);
                const double ht = toneTick(kp.highTone, filt[c]->highTone, t[c], d);
                band[c][0] = (t[c] - lt) * kp.lowAdjustGain;
                band[c][1] = lt - (t[c] - ht);
                band[c][2] = (t[c] - ht) * kp.highAdjustGain;
                for (int b = 0; b < 3; ++b)
                    st.band[b][wpos][c] = band[c][b];
            }
            double e[2][3];
            for (int b = 0; b < 3; ++b) {
                for (int c = 0; c < nd; ++c) {
                    double v = magnitude(band[c][b]);
                    if constexpr (linked)
                        v = larger(v, magnitude(band[1][b]));
                    const double peak = st.ch[c].bandDetector[b].step(v, wpos, read1, hMask);
                    const double det = peak + kDetectorFloor + d;
                    double env = envelopeStep<Auto>(st.ch[c].bandEnv[b], det, kp.attackCoef, kp.bandReleaseCoef[b],
                                                    ef[fastFilter(c, b)].section, ef[fastFilter(c, b) + 4].section,
                                                    kBandRelease, 1.0);
                    if (env < kEnvelopeFloor)
                        env = kEnvelopeFloor;
                    st.ch[c].bandEnv[b] = env;
                    // The band's Sat moves the level at which it saturates;
                    // its small-signal gain stays that of the curve.
                    const double sat = kp.satGain[b];
                    e[c][b] = saturate(kp.curve, env * kp.driveGain / sat * kp.ceilingDrive) * sat / env;
                }
                if constexpr (linked)
                    e[1][b] = e[0][b];
            }
            double u[2];
            for (int c = 0; c < nc; ++c) {
                u[c] = st.band[0][read1][c] * e[c][0] + st.band[1][read1][c] * e[c][1] +
                       st.band[2][read1][c] * e[c][2];
                st.tone[wpos][c] = u[c];
                gain[c] = smaller(e[c][0], smaller(e[c][1], e[c][2]));
            }

            // Look-ahead limiter on the band sum. Its detector runs whether
            // or not Brickwall is on, so switching it on finds a warm ring.
            double lim[2];
            for (int c = 0; c < nd; ++c) {
                double v = magnitude(kDetectorScale * u[c]);
                if constexpr (linked)
                    v = larger(v, magnitude(kDetectorScale * u[1]));
                lim[c] = st.ch[c].detector.step(v, wpos, read2, hMask) + kDetectorFloor + d;
            }
            double gl[2] = {1.0, 1.0};
            if (kp.brickwall) {
                for (int c = 0; c < nd; ++c) {
                    const double env = envelopeStep<Auto>(st.ch[c].limiterEnv, lim[c], kp.limiterAttackCoef,
                                                          kp.limiterReleaseCoef, ef[fastFilter(c, 3)].section,
                                                          ef[fastFilter(c, 3) + 4].section, kLimiterRelease, 1.0);
                    st.ch[c].limiterEnv = env;
                    // Only levels above full scale are pulled down.
                    gl[c] = env >= 1.0 ? 1.0 / env : 1.0;
                }
                if constexpr (linked)
                    gl[1] = gl[0];
            }
            for (int c = 0; c < nc; ++c) {
                const double ud = st.tone[read2][c];
                if (kp.brickwall) {
                    w[c] = clampUnit(ud * gl[c]);
                    gain[c] = gain[c] * gl[c];
                } else {
                    w[c] = ud;
                }
            }
        }

        // Wet/dry alignment and output stage.
        double wd[2];
        const int wetRead = (s + wetOffset) & nMask;
        for (int c = 0; c < nc; ++c) {
            st.wet[s][c] = w[c] * cg;
            wd[c] = st.wet[wetRead][c];
        }
        s = (s + 1) & nMask;
        const double dry0 = st.dry[s][0];
        const double y0 = (dry0 + kp.mixAmount * (wd[0] - dry0)) * kp.outputGain;
        if constexpr (stereo) {
            const double dry1 = st.dry[s][1];
            const double y1 = (dry1 + kp.mixAmount * (wd[1] - dry1)) * kp.outputGain;
            out[0][i] = y0;
            out[1][i] = y1;
            if (mb.active) {
                meterStep(mb, st.meter[0], st.vu[0], xL, y0, gain[0]);
                meterStep(mb, st.meter[1], st.vu[1], xR, y1, gain[1]);
            }
        } else {
            const double passedOut = st.dry[s][1] * kp.passedGain;
            switch (kp.route) {
            case Route::Mono:
                out[0][i] = y0;
                out[1][i] = y0;
                if (mb.active) {
                    meterStep(mb, st.meter[0], st.vu[0], x[0], y0, gain[0]);
                    meterStep(mb, st.meter[1], st.vu[1], x[0], y0, gain[0]);
                }
                break;
            case Route::Left:
                out[0][i] = y0;
                out[1][i] = passedOut;
                if (mb.active) {
                    meterStep(mb, st.meter[0], st.vu[0], x[0], y0, gain[0]);
                    meterStep(mb, st.meter[1], st.vu[1], passedIn, passedOut, kp.smallSignalGain);
                }
                break;
            case Route::Right:
                out[0][i] = passedOut;
                out[1][i] = y0;
                if (mb.active) {
                    meterStep(mb, st.meter[0], st.vu[0], passedIn, passedOut, kp.smallSignalGain);
                    meterStep(mb, st.meter[1], st.vu[1], x[0], y0, gain[0]);
                }
                break;
            }
        }
        wpos = (wpos + 1) & hMask;
    }
    st.bias = d;
    st.s = s;
    st.wpos = wpos;
}

template <Layout L, bool MultiBand>
void reference(KernelState& st, const KernelParams& kp, const MeterBlock& mb, const double* const* in,
               double* const* out, int n)
{
    if (kp.autoRelease)
        referenceKernel<L, MultiBand, true>(st, kp, mb, in, out, n);
    else
        referenceKernel<L, MultiBand, false>(st, kp, mb, in, out, n);
}

} // namespace

// Process off: both channels only delayed by N - 1 samples like the
// processing paths (raw input plus bias); the meters still run, with unity
// gain for the gain-reduction display in both ballistics.
void runBypass(KernelState& st, const KernelParams& kp, const MeterBlock& mb, const double* const* in,
               double* const* out, int n)
{
    const int nMask = kp.delayMask;
    const int hMask = kp.detectorMask;
    double d = st.bias;
    int s = st.s;
    int wpos = st.wpos;
    for (int i = 0; i < n; ++i) {
        d = -d;
        const double xL = in[0][i] + d;
        const double xR = in[1][i] + d;
        st.dry[s][0] = xL;
        st.dry[s][1] = xR;
        s = (s + 1) & nMask;
        const double yL = st.dry[s][0];
        const double yR = st.dry[s][1];
        out[0][i] = yL;
        out[1][i] = yR;
        if (mb.active) {
            meterStep(mb, st.meter[0], st.vu[0], xL, yL, 1.0);
            meterStep(mb, st.meter[1], st.vu[1], xR, yR, 1.0);
        }
        wpos = (wpos + 1) & hMask;
    }
    st.bias = d;
    st.s = s;
    st.wpos = wpos;
}

const KernelTable& referenceKernels()
{
    static const KernelTable table = {
        runBypass,
        reference<Layout::OneChannel, false>,
        reference<Layout::OneChannel, true>,
        reference<Layout::StereoLinked, false>,
        reference<Layout::StereoLinked, true>,
        reference<Layout::StereoUnlinked, false>,
        reference<Layout::StereoUnlinked, true>,
    };
    return table;
}

const KernelTable& kernelsFor(SimdLevel level)
{
    switch (level) {
    case SimdLevel::Avx2:
        return avx2::kernels();
    case SimdLevel::Sse2:
        return sse2::kernels();
    default:
        return referenceKernels();
    }
}
