// The unlinked stereo kernels with the two channels in the two lanes of an
// SSE2 vector. Every lane performs exactly the operations of the scalar
// kernel body (runKernel<Layout::StereoUnlinked, ...>) in the same order,
// so the results are identical to the bit; decisions are taken per lane by
// selecting between values both computed. Only the look-ahead detectors run
// per channel.
#include "dsp/Kernels.h"
#include "dsp/KernelsShared.h"

#include <cstdint>
#include <cstring>

namespace
{

typedef double v2d __attribute__((vector_size(16)));
typedef int64_t v2i __attribute__((vector_size(16)));

inline v2d splat(double x)
{
    return v2d{x, x};
}

inline v2d vabs(v2d x)
{
    v2i bits;
    std::memcpy(&bits, &x, sizeof bits);
    bits &= v2i{INT64_MAX, INT64_MAX};
    v2d out;
    std::memcpy(&out, &bits, sizeof out);
    return out;
}

// Two second-order sections side by side.
struct SectionPair {
    v2d x1, x2, y1, y2;
};

inline v2d subsonicPair(const SubsonicCoefs& c, SectionPair& s, v2d x, v2d d)
{
    const v2d y =
        splat(c.b0) * x + splat(c.b1) * s.x1 + splat(c.b2) * s.x2 - splat(c.a1) * s.y1 - splat(c.a2) * s.y2 + d;
    s.y2 = s.y1;
    s.y1 = y;
    s.x2 = s.x1;
    s.x1 = x;
    return y;
}

struct TonePair {
    v2d w1, w2;
};

inline v2d tonePair(const ToneCoefs& c, TonePair& s, v2d x, v2d d)
{
    const v2d w = x - splat(c.a1) * s.w1 - splat(c.a2) * s.w2 + d;
    const v2d y = splat(c.b0) * (w + s.w2) + splat(c.b1) * s.w1;
    s.w2 = s.w1;
    s.w1 = w;
    return y;
}

// Two envelope filters (left, right) in lanes, as EnvelopeFilter::tick().
struct EnvelopePair {
    v2d b0, b1, b2, a1, a2, x1, x2, y1, y2, offset;

    void load(const EnvelopeFilter& l, const EnvelopeFilter& r)
    {
        const EnvelopeFilter::Lane a = l.lane(), b = r.lane();
        b0 = v2d{a.b0, b.b0};
        b1 = v2d{a.b1, b.b1};
        b2 = v2d{a.b2, b.b2};
        a1 = v2d{a.a1, b.a1};
        a2 = v2d{a.a2, b.a2};
        x1 = v2d{a.x1, b.x1};
        x2 = v2d{a.x2, b.x2};
        y1 = v2d{a.y1, b.y1};
        y2 = v2d{a.y2, b.y2};
        offset = v2d{a.offset, b.offset};
    }
    void store(EnvelopeFilter& l, EnvelopeFilter& r) const
    {
        EnvelopeFilter::Lane a = l.lane(), b = r.lane();
        a.x1 = x1[0], a.x2 = x2[0], a.y1 = y1[0], a.y2 = y2[0], a.offset = offset[0];
        b.x1 = x1[1], b.x2 = x2[1], b.y1 = y1[1], b.y2 = y2[1], b.offset = offset[1];
        l.setMemory(a);
        r.setMemory(b);
    }
    v2d tick(v2d x)
    {
        offset = -offset;
        const v2d xb = x + offset;
        const v2d y = b0 * xb + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        y2 = y1;
        y1 = y + offset;
        x2 = x1;
        x1 = xb;
        return y;
    }
};

// The envelope step of envelopeStep() per lane, from the smoothed detector
// values cf and cs (the filters run a block ahead).
inline v2d envelopeFromSmoothed(v2d env, v2d c, v2d cf, v2d cs, double attackCoef, double releaseCoef, bool autoRelease,
                                ReleaseShape shape)
{
    const v2d attack = env + (c - env) * attackCoef;
    v2d release;
    if (autoRelease) {
        const v2d r = shape.ratio * cf / (cs + 1e-6);
        release = env + (c - env) * releaseCoef * (shape.slope * r / (r + 1.0) + 0.1) * shape.scale;
    } else {
        release = env + (c - env) * releaseCoef;
    }
    return c > env ? attack : release;
}

// Runs a pair of smoothing filters over a block of detector values.
inline void smoothBlock(EnvelopePair& filter, const v2d* c, v2d* out, int n)
{
    EnvelopePair f = filter;
    for (int i = 0; i < n; ++i)
        out[i] = f.tick(c[i]);
    filter = f;
}

inline v2d floorEnvelope(v2d env)
{
    return env < kEnvelopeFloor ? splat(kEnvelopeFloor) : env;
}

// SaturationCurve::operator() per lane.
inline v2d curvePair(const SaturationCurve& c, v2d x)
{
    if (c.shape == 0) {
        const v2d bent = (1.0 - c.amount) * x + c.amount * (2.0 * x - x * x);
        return x < 1.0 ? bent : splat(1.0);
    }
    const double i = c.inflection;
    const v2d xb = i * x / (x + i - 1.0);
    const v2d bent = 2.0 * xb - xb * xb;
    return xb < 1.0 ? bent : splat(1.0);
}

inline v2d clampUnitPair(v2d w)
{
    const v2d upper = w > 1.0 ? splat(1.0) : w;
    return upper < -1.0 ? splat(-1.0) : upper;
}

constexpr int kChunk = 128;

template <bool MultiBand>
void runUnlinkedChunk(KernelState& st, const KernelParams& params, const MeterBlock& meterBlock,
                      const double* const* in, double* const* out, int n)
{
    const KernelParams kp = params;
    const MeterBlock mb = meterBlock;
    const int nMask = kp.delayMask;
    const int hMask = kp.detectorMask;
    const int g = kp.lookahead;
    const int h = kp.limiterLookahead;
    const int wetOffset = MultiBand ? g + h + 3 : g + 2;
    ChannelRings& left = st.ch[0];
    ChannelRings& right = st.ch[1];
    EnvelopeFilter* ef = st.envFilters.data();

    SectionPair sub{v2d{st.filters[0].subsonic.x1, st.filters[1].subsonic.x1},
                    v2d{st.filters[0].subsonic.x2, st.filters[1].subsonic.x2},
                    v2d{st.filters[0].subsonic.y1, st.filters[1].subsonic.y1},
                    v2d{st.filters[0].subsonic.y2, st.filters[1].subsonic.y2}};
    TonePair lowTone{v2d{st.filters[0].lowTone.w1, st.filters[1].lowTone.w1},
                     v2d{st.filters[0].lowTone.w2, st.filters[1].lowTone.w2}};
    TonePair highTone{v2d{st.filters[0].highTone.w1, st.filters[1].highTone.w1},
                      v2d{st.filters[0].highTone.w2, st.filters[1].highTone.w2}};
    // Envelope filters: bands b (fast b, slow b + 4; right 8 + b, 12 + b)
    // and the single-band or limiter pair 3/7 and 11/15.
    EnvelopePair fast[4], slow[4];
    for (int b = 0; b < 4; ++b) {
        if (!MultiBand && b < 3)
            continue;
        fast[b].load(ef[b], ef[8 + b]);
        slow[b].load(ef[4 + b], ef[12 + b]);
    }
    v2d env{left.env, right.env};
    v2d bandEnv[3] = {
        {left.bandEnv[0], right.bandEnv[0]}, {left.bandEnv[1], right.bandEnv[1]}, {left.bandEnv[2], right.bandEnv[2]}};
    v2d limiterEnv{left.limiterEnv, right.limiterEnv};

    // First pass: the entry filters and the detector values, which depend on
    // the input alone; then each look-ahead detector over the whole block;
    // then the envelopes, gains and delay lines sample by sample.
    constexpr int kMax = kChunk;
    constexpr int nd = MultiBand ? 3 : 1; // detectors per channel before the limiter
    alignas(16) v2d xs[kMax];
    alignas(16) v2d sig[nd][kMax]; // t' (single band) or the three bands
    double level[2][nd][kMax];
    double peak[2][nd][kMax];
    const double d0 = st.bias;
    {
        double d = d0;
        for (int i = 0; i < n; ++i) {
            d = -d;
            const v2d dv = splat(d);
            const v2d x{in[0][i] + d, in[1][i] + d};
            xs[i] = x;
            const v2d t = subsonicPair(kp.subsonic, sub, x, dv);
            if constexpr (!MultiBand) {
                const v2d lo = t - tonePair(kp.lowTone, lowTone, t, dv);
                const v2d hi = t - tonePair(kp.highTone, highTone, t, dv);
                const v2d tp = t + lo * (kp.lowAdjustGain - 1.0) + hi * (kp.highAdjustGain - 1.0);
                sig[0][i] = tp;
                const v2d v = vabs(kDetectorScale * tp);
                level[0][0][i] = v[0];
                level[1][0][i] = v[1];
            } else {
                const v2d lt = tonePair(kp.lowTone, lowTone, t, dv);
                const v2d ht = tonePair(kp.highTone, highTone, t, dv);
                const v2d band[3] = {(t - lt) * kp.lowAdjustGain, lt - (t - ht), (t - ht) * kp.highAdjustGain};
                for (int b = 0; b < 3; ++b) {
                    sig[b][i] = band[b];
                    const v2d v = vabs(band[b]);
                    level[0][b][i] = v[0];
                    level[1][b][i] = v[1];
                }
            }
        }
    }
    for (int c = 0; c < 2; ++c) {
        const int read1 = (st.wpos - g - 1) & hMask;
        for (int b = 0; b < nd; ++b) {
            LookaheadMax& det = MultiBand ? st.ch[c].bandDetector[b] : st.ch[c].detector;
            det.run(level[c][b], peak[c][b], n, st.wpos, read1, hMask);
        }
    }

    // Detector values with the floor and bias, and their smoothing for the
    // automatic release, filter by filter over the block.
    alignas(16) v2d det[nd][kMax];
    alignas(16) v2d smoothFast[nd][kMax];
    alignas(16) v2d smoothSlow[nd][kMax];
    {
        double d = d0;
        for (int i = 0; i < n; ++i) {
            d = -d;
            for (int b = 0; b < nd; ++b)
                det[b][i] = v2d{peak[0][b][i], peak[1][b][i]} + kDetectorFloor + splat(d);
        }
        for (int b = 0; b < nd; ++b) {
            const int f = MultiBand ? b : 3;
            smoothBlock(fast[f], det[b], smoothFast[b], n);
            smoothBlock(slow[f], det[b], smoothSlow[b], n);
        }
    }

    // Multi band: the band envelopes and gains give the band sums, whose
    // levels feed the limiter's detectors, again a block at a time.
    alignas(16) v2d sum[kMax];
    alignas(16) v2d bandGain[kMax];
    double limiterLevel[2][kMax];
    double limiterPeak[2][kMax];
    alignas(16) v2d limiterDet[kMax];
    alignas(16) v2d limiterFast[kMax];
    alignas(16) v2d limiterSlow[kMax];
    if constexpr (MultiBand) {
        int wpos = st.wpos;
        for (int i = 0; i < n; ++i) {
            const int read1 = (wpos - g - 1) & hMask;
            v2d e[3];
            v2d u = splat(0.0);
#pragma GCC unroll 3
            for (int b = 0; b < 3; ++b) {
                left.band[b][wpos] = sig[b][i][0];
                right.band[b][wpos] = sig[b][i][1];
                bandEnv[b] = floorEnvelope(envelopeFromSmoothed(bandEnv[b], det[b][i], smoothFast[b][i],
                                                                smoothSlow[b][i], kp.attackCoef, kp.bandReleaseCoef[b],
                                                                kp.autoRelease, kBandRelease));
                const double sat = kp.satGain[b];
                e[b] = curvePair(kp.curve, bandEnv[b] * kp.driveGain / sat * kp.ceilingDrive) * sat / bandEnv[b];
                const v2d xd{left.band[b][read1], right.band[b][read1]};
                u = b == 0 ? xd * e[b] : u + xd * e[b];
            }
            sum[i] = u;
            // std::min(a, b) is b < a ? b : a.
            const v2d m12 = e[2] < e[1] ? e[2] : e[1];
            bandGain[i] = m12 < e[0] ? m12 : e[0];
            const v2d v = vabs(kDetectorScale * u);
            limiterLevel[0][i] = v[0];
            limiterLevel[1][i] = v[1];
            wpos = (wpos + 1) & hMask;
        }
        const int read2 = (st.wpos - h - 1) & hMask;
        left.detector.run(limiterLevel[0], limiterPeak[0], n, st.wpos, read2, hMask);
        right.detector.run(limiterLevel[1], limiterPeak[1], n, st.wpos, read2, hMask);
        double d = d0;
        for (int i = 0; i < n; ++i) {
            d = -d;
            limiterDet[i] = v2d{limiterPeak[0][i], limiterPeak[1][i]} + kDetectorFloor + splat(d);
        }
        // The limiter's smoothing runs only while Brickwall is on.
        if (kp.brickwall) {
            smoothBlock(fast[3], limiterDet, limiterFast, n);
            smoothBlock(slow[3], limiterDet, limiterSlow, n);
        }
    }

    double d = d0;
    int s = st.s;
    int wpos = st.wpos;
    for (int i = 0; i < n; ++i) {
        d = -d;
        const v2d x = xs[i];
        const int read1 = (wpos - g - 1) & hMask;
        const int read2 = (wpos - h - 1) & hMask;
        st.mainRing[s] = x[0];
        st.otherRing[s] = x[1];

        v2d w, gain;
        if constexpr (!MultiBand) {
            const v2d tp = sig[0][i];
            left.tone[wpos] = tp[0];
            right.tone[wpos] = tp[1];
            env = floorEnvelope(envelopeFromSmoothed(env, det[0][i], smoothFast[0][i], smoothSlow[0][i], kp.attackCoef,
                                                     kp.releaseCoef, kp.autoRelease, kSingleRelease));
            gain = curvePair(kp.curve, env * kp.driveGain * kp.ceilingDrive) / env;
            w = v2d{left.tone[read1], right.tone[read1]} * gain;
            if (kp.brickwall)
                w = clampUnitPair(w);
        } else {
            const v2d u = sum[i];
            left.tone[wpos] = u[0];
            right.tone[wpos] = u[1];
            gain = bandGain[i];
            const v2d ud{left.tone[read2], right.tone[read2]};
            if (kp.brickwall) {
                limiterEnv =
                    envelopeFromSmoothed(limiterEnv, limiterDet[i], limiterFast[i], limiterSlow[i],
                                         kp.limiterAttackCoef, kp.limiterReleaseCoef, kp.autoRelease, kLimiterRelease);
                const v2d gl = limiterEnv >= 1.0 ? 1.0 / limiterEnv : splat(1.0);
                w = clampUnitPair(ud * gl);
                gain = gain * gl;
            } else {
                w = ud;
            }
        }

        const v2d wet = w * kp.ceilingGain;
        left.wet[s] = wet[0];
        right.wet[s] = wet[1];
        const int wetRead = (s + wetOffset) & nMask;
        const v2d wd{left.wet[wetRead], right.wet[wetRead]};
        s = (s + 1) & nMask;
        const v2d dry{st.mainRing[s], st.otherRing[s]};
        const v2d y = (dry + kp.mixAmount * (wd - dry)) * kp.outputGain;
        out[0][i] = y[0];
        out[1][i] = y[1];
        if (mb.active) {
            meterStep(mb, st.meter[0], st.vu[0], x[0], y[0], gain[0]);
            meterStep(mb, st.meter[1], st.vu[1], x[1], y[1], gain[1]);
        }
        wpos = (wpos + 1) & hMask;
    }

    for (int c = 0; c < 2; ++c) {
        st.filters[c].subsonic = SubsonicState{sub.x1[c], sub.x2[c], sub.y1[c], sub.y2[c]};
        st.filters[c].lowTone = ToneState{lowTone.w1[c], lowTone.w2[c]};
        st.filters[c].highTone = ToneState{highTone.w1[c], highTone.w2[c]};
        st.ch[c].env = env[c];
        st.ch[c].limiterEnv = limiterEnv[c];
        for (int b = 0; b < 3; ++b)
            st.ch[c].bandEnv[b] = bandEnv[b][c];
    }
    for (int b = 0; b < 4; ++b) {
        if (!MultiBand && b < 3)
            continue;
        fast[b].store(ef[b], ef[8 + b]);
        slow[b].store(ef[4 + b], ef[12 + b]);
    }
    st.bias = d;
    st.s = s;
    st.wpos = wpos;
}

} // namespace

template <bool MultiBand>
void runUnlinkedPairs(KernelState& st, const KernelParams& kp, const MeterBlock& mb, const double* const* in,
                      double* const* out, int n)
{
    for (int pos = 0; pos < n; pos += kChunk) {
        const double* chunkIn[2] = {in[0] + pos, in[1] + pos};
        double* chunkOut[2] = {out[0] + pos, out[1] + pos};
        runUnlinkedChunk<MultiBand>(st, kp, mb, chunkIn, chunkOut, n - pos < kChunk ? n - pos : kChunk);
    }
}

template void runUnlinkedPairs<false>(KernelState&, const KernelParams&, const MeterBlock&, const double* const*,
                                      double* const*, int);
template void runUnlinkedPairs<true>(KernelState&, const KernelParams&, const MeterBlock&, const double* const*,
                                     double* const*, int);
