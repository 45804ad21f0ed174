#pragma once

// The block form of the kernels, for the lane type W of one instruction set
// (V2 for SSE2, V4 for AVX2). Included once by each translation unit built
// for such a set, which names the set in AMBREL_ISA first; everything here
// sits in a namespace of that name and has internal linkage (dsp/Lanes.h).
//
// A block is run in passes, each a loop over the block:
//   1. inputs, entry filters, tone stage or band split, detector inputs;
//   2. the look-ahead detectors, a detector at a time;
//   3. detector values, their fast and slow smoothing (several smoothing
//      filters side by side in the lanes of one vector);
//   4. the automatic release's multipliers and, later, the gains from the
//      envelopes: these depend on one sample alone, so the lanes of W hold
//      consecutive samples;
//   5. the envelopes, a recursion from sample to sample;
//   6. in multi band, the band sums through the band rings, then the same
//      for the limiter;
//   7. the delay rings and the output stage, sample by sample;
//   8. metering, a channel at a time.
// The channels of a stereo kernel share the lanes of a V2 where the maths
// is per sample. Every value is computed with exactly the operations of the
// scalar reference (dsp/Kernels.cpp) in the same order, so the results are
// identical to the bit. The rings are read and written in the same order as
// there, sample by sample, since a block may be longer than the distance
// between a ring's write and read positions.
//
// The switches that stay fixed for a block (Brickwall, Auto, metering, the
// channel route) select instantiations of the passes, not branches per
// sample.

#include "dsp/Kernels.h"
#include "dsp/KernelsShared.h"
#include "dsp/LookaheadSegments.h"

#include <type_traits>

#ifndef AMBREL_ISA
#error "AMBREL_ISA must name the instruction set the including file is built for"
#endif

namespace AMBREL_ISA {
namespace {

template <int N> using Lanes = std::conditional_t<N == 1, double, std::conditional_t<N == 2, V2, V4>>;

template <Layout L> struct Shape {
    static constexpr bool stereo = L != Layout::OneChannel;
    static constexpr bool linked = L == Layout::StereoLinked;
    static constexpr int C = stereo ? 2 : 1; // processed channels
    static constexpr int D = linked ? 1 : C; // detector channels
    using CV = Lanes<C>;
    using DV = Lanes<D>;
};

// The detector channels' gains for the processed channels: the linked
// kernels apply one gain to both.
template <Layout L> inline typename Shape<L>::CV toChannels(typename Shape<L>::DV g)
{
    if constexpr (L == Layout::StereoLinked)
        return V2{g, g};
    else
        return g;
}

// Detector input slot for sample i: one per detector channel; the linked
// detectors follow the larger of the two channels.
template <Layout L> inline void putLevel(KernelScratch& k, int slot, int i, typename Shape<L>::CV v)
{
    if constexpr (L == Layout::OneChannel) {
        k.level[0][slot][i] = v;
    } else if constexpr (L == Layout::StereoLinked) {
        k.level[0][slot][i] = larger(v[0], v[1]);
    } else {
        k.level[0][slot][i] = v[0];
        k.level[1][slot][i] = v[1];
    }
}

template <class CV> inline SubsonicState<CV> loadSubsonic(const ChannelFilters* f)
{
    if constexpr (std::is_same_v<CV, double>)
        return f[0].subsonic;
    else
        return {V2{f[0].subsonic.x1, f[1].subsonic.x1}, V2{f[0].subsonic.x2, f[1].subsonic.x2},
                V2{f[0].subsonic.y1, f[1].subsonic.y1}, V2{f[0].subsonic.y2, f[1].subsonic.y2}};
}

template <class CV> inline void storeSubsonic(const SubsonicState<CV>& s, ChannelFilters* f)
{
    for (int c = 0; c < kLanes<CV>; ++c)
        f[c].subsonic = {lane(s.x1, c), lane(s.x2, c), lane(s.y1, c), lane(s.y2, c)};
}

template <class CV> inline ToneState<CV> loadTone(const ToneState<>& a, const ToneState<>& b)
{
    if constexpr (std::is_same_v<CV, double>)
        return a;
    else
        return {V2{a.w1, b.w1}, V2{a.w2, b.w2}};
}

template <class CV> inline void storeTone(const ToneState<CV>& s, ToneState<>& a, ToneState<>& b)
{
    a = {lane(s.w1, 0), lane(s.w2, 0)};
    if constexpr (kLanes<CV> == 2)
        b = {lane(s.w1, 1), lane(s.w2, 1)};
}

// Sections of several envelope filters, one per lane.
template <class V> inline EnvelopeSection<V> gatherSections(EnvelopeFilter* const* f)
{
    constexpr int n = kLanes<V>;
    double v[9][n];
    for (int l = 0; l < n; ++l) {
        const EnvelopeSection<>& s = f[l]->section;
        const double fields[9] = {s.b0, s.b1, s.a1, s.a2, s.x1, s.x2, s.y1, s.y2, s.offset};
        for (int j = 0; j < 9; ++j)
            v[j][l] = fields[j];
    }
    return {load<V>(v[0]), load<V>(v[1]), load<V>(v[2]), load<V>(v[3]), load<V>(v[4]),
            load<V>(v[5]), load<V>(v[6]), load<V>(v[7]), load<V>(v[8])};
}

template <class V> inline void scatterSections(const EnvelopeSection<V>& s, EnvelopeFilter* const* f)
{
    for (int l = 0; l < kLanes<V>; ++l) {
        EnvelopeSection<>& t = f[l]->section;
        t.x1 = lane(s.x1, l);
        t.x2 = lane(s.x2, l);
        t.y1 = lane(s.y1, l);
        t.y2 = lane(s.y2, l);
        t.offset = lane(s.offset, l);
    }
}

// Pass 1: inputs with the bias, the dry ring's entries, entry filters, tone
// stage or band split, and the detector inputs.
template <Layout L, bool MultiBand, Route R, bool Metering>
void entryPass(KernelState& st, const KernelParams& kp, const double* const* in, int n)
{
    using S = Shape<L>;
    using CV = typename S::CV;
    KernelScratch& k = st.scratch;
    ChannelFilters* filt = S::stereo ? st.filters : &st.filters[R == Route::Right ? 1 : 0];
    SubsonicState<CV> sub = loadSubsonic<CV>(filt);
    ToneState<CV> low = loadTone<CV>(filt[0].lowTone, st.filters[1].lowTone);
    ToneState<CV> high = loadTone<CV>(filt[0].highTone, st.filters[1].highTone);
    const double lowAdjust = kp.lowAdjustGain - 1.0;
    const double highAdjust = kp.highAdjustGain - 1.0;
    double d = st.bias;
    for (int i = 0; i < n; ++i) {
        d = -d;
        const CV dv = splat<CV>(d);
        const double xL = in[0][i] + d;
        const double xR = in[1][i] + d;
        CV x;
        if constexpr (S::stereo) {
            x = V2{xL, xR};
            store(k.dryIn + 2 * i, x);
        } else {
            x = R == Route::Right ? xR : xL;
            const double passed = R == Route::Right ? xL : xR;
            k.dryIn[2 * i] = x;
            k.dryIn[2 * i + 1] = passed;
            if constexpr (Metering) {
                k.pre[2 * i] = R == Route::Right ? passed : x;
                k.pre[2 * i + 1] = R == Route::Left ? passed : x;
            }
        }
        const CV t = subsonicTick(kp.subsonic, sub, x, dv);
        if constexpr (!MultiBand) {
            // The one-channel single-band kernel's dry signal is the filtered one.
            if constexpr (!S::stereo)
                k.dryIn[2 * i] = t;
            const CV lo = t - toneTick(kp.lowTone, low, t, dv);
            const CV hi = t - toneTick(kp.highTone, high, t, dv);
            const CV tp = t + lo * lowAdjust + hi * highAdjust;
            store(k.signal[0] + S::C * i, tp);
            putLevel<L>(k, 0, i, magnitude(kDetectorScale * tp));
        } else {
            const CV lt = toneTick(kp.lowTone, low, t, dv);
            const CV ht = toneTick(kp.highTone, high, t, dv);
            const CV bands[3] = {(t - lt) * kp.lowAdjustGain, lt - (t - ht), (t - ht) * kp.highAdjustGain};
            for (int b = 0; b < 3; ++b) {
                store(k.signal[b] + S::C * i, bands[b]);
                putLevel<L>(k, b, i, magnitude(bands[b]));
            }
        }
    }
    storeSubsonic(sub, filt);
    storeTone(low, filt[0].lowTone, st.filters[1].lowTone);
    storeTone(high, filt[0].highTone, st.filters[1].highTone);
}

// Pass 3: the detector values of one slot with the floor and the bias.
template <int D> void detectorValues(KernelScratch& k, int slot, double bias, int n)
{
    double d = bias;
    double* det = k.det[slot];
    for (int i = 0; i < n; ++i) {
        d = -d;
        if constexpr (D == 2) {
            det[2 * i] = k.peak[0][slot][i] + kDetectorFloor + d;
            det[2 * i + 1] = k.peak[1][slot][i] + kDetectorFloor + d;
        } else {
            det[i] = k.peak[0][slot][i] + kDetectorFloor + d;
        }
    }
}

// Pass 3: the fast and slow smoothing of the detector values of `Slots`
// slots from `first`, slot first + j by the filter pair firstFilter + j
// (band number, or 3 for single band and limiter). The fast and slow filters
// of all detector channels run side by side in one vector where it holds
// them all, and the slots' recursions in one loop, so that they overlap.
template <class W, int D, int Slots> void smooth(KernelState& st, int first, int firstFilter, int n)
{
    KernelScratch& k = st.scratch;
    EnvelopeFilter* ef = st.envFilters.data();
    constexpr int packed = 2 * D;
    if constexpr (packed <= kLanes<W>) {
        using P = Lanes<packed>;
        // Lanes: the fast filters of the detector channels, then the slow ones.
        EnvelopeFilter* order[Slots][packed];
        EnvelopeSection<P> s[Slots];
        for (int j = 0; j < Slots; ++j) {
            for (int c = 0; c < D; ++c) {
                order[j][c] = &ef[fastFilter(c, firstFilter + j)];
                order[j][D + c] = &ef[fastFilter(c, firstFilter + j) + 4];
            }
            s[j] = gatherSections<P>(order[j]);
        }
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < Slots; ++j) {
                const double* det = k.det[first + j];
                P x;
                if constexpr (D == 1) {
                    x = V2{det[i], det[i]};
                } else {
                    const V2 c = load<V2>(det + 2 * i);
                    x = __builtin_shufflevector(c, c, 0, 1, 0, 1);
                }
                const P y = envelopeTick(s[j], x);
                if constexpr (D == 1) {
                    k.fast[first + j][i] = y[0];
                    k.slow[first + j][i] = y[1];
                } else {
                    store(k.fast[first + j] + 2 * i, V2{y[0], y[1]});
                    store(k.slow[first + j] + 2 * i, V2{y[2], y[3]});
                }
            }
        for (int j = 0; j < Slots; ++j)
            scatterSections(s[j], order[j]);
    } else {
        using DV = Lanes<D>;
        EnvelopeFilter* fastFilters[Slots][2];
        EnvelopeFilter* slowFilters[Slots][2];
        EnvelopeSection<DV> sf[Slots], ss[Slots];
        for (int j = 0; j < Slots; ++j) {
            for (int c = 0; c < 2; ++c) {
                fastFilters[j][c] = &ef[fastFilter(c, firstFilter + j)];
                slowFilters[j][c] = &ef[fastFilter(c, firstFilter + j) + 4];
            }
            sf[j] = gatherSections<DV>(fastFilters[j]);
            ss[j] = gatherSections<DV>(slowFilters[j]);
        }
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < Slots; ++j) {
                const DV c = load<DV>(k.det[first + j] + D * i);
                store(k.fast[first + j] + D * i, envelopeTick(sf[j], c));
                store(k.slow[first + j] + D * i, envelopeTick(ss[j], c));
            }
        for (int j = 0; j < Slots; ++j) {
            scatterSections(sf[j], fastFilters[j]);
            scatterSections(ss[j], slowFilters[j]);
        }
    }
}

// Pass 4: the automatic release's multipliers of one slot, in place of the
// fast smoothed values.
template <class W> void releaseMultipliers(KernelScratch& k, int slot, const ReleaseShape& shape, int count)
{
    double* fast = k.fast[slot];
    const double* slow = k.slow[slot];
    int j = 0;
    for (; j + kLanes<W> <= count; j += kLanes<W>)
        store(fast + j, releaseMultiplier(load<W>(fast + j), load<W>(slow + j), shape));
    for (; j < count; ++j)
        fast[j] = releaseMultiplier(fast[j], slow[j], shape);
}

// Applies f to count values in place, kLanes<W> at a time.
template <class W, class F> inline void map(double* values, int count, F f)
{
    int j = 0;
    for (; j + kLanes<W> <= count; j += kLanes<W>)
        store(values + j, f(load<W>(values + j)));
    for (; j < count; ++j)
        values[j] = f(values[j]);
}

// Pass 5: the envelopes of `slots` slots from `first`, all in one loop so
// that their recursions overlap. Release coefficient per slot.
template <int D, int Slots, bool Auto, bool Floor>
void envelopes(KernelScratch& k, double* const* state, int first, double attackCoef, const double* releaseCoef,
               const ReleaseShape& shape, double autoScale, int n)
{
    using DV = Lanes<D>;
    DV env[Slots];
    for (int b = 0; b < Slots; ++b) {
        double v[2] = {state[0][b], state[D - 1][b]};
        env[b] = load<DV>(v);
    }
    for (int i = 0; i < n; ++i) {
        for (int b = 0; b < Slots; ++b) {
            const DV c = load<DV>(k.det[first + b] + D * i);
            const DV m = Auto ? load<DV>(k.fast[first + b] + D * i) : splat<DV>(1.0);
            DV e = envelopeFollow<Auto>(env[b], c, attackCoef, releaseCoef[b], m, shape.scale, autoScale);
            if constexpr (Floor)
                e = select(e < kEnvelopeFloor, splat<DV>(kEnvelopeFloor), e);
            env[b] = e;
            store(k.env[first + b] + D * i, e);
        }
    }
    for (int b = 0; b < Slots; ++b)
        for (int c = 0; c < D; ++c)
            state[c][b] = lane(env[b], c);
}

// Pass 6, multi band: the bands through their rings, weighted by their
// gains and summed; the smallest band gain; the limiter's detector inputs.
template <Layout L> void bandSums(KernelState& st, const KernelParams& kp, int n)
{
    using S = Shape<L>;
    using CV = typename S::CV;
    using DV = typename S::DV;
    KernelScratch& k = st.scratch;
    const int hMask = kp.detectorMask;
    const int g = kp.lookahead;
    int wpos = st.wpos;
    for (int i = 0; i < n; ++i) {
        const int read1 = (wpos - g - 1) & hMask;
        DV e[3];
        CV u{};
        for (int b = 0; b < 3; ++b) {
            store(st.band[b][wpos], load<CV>(k.signal[b] + S::C * i));
            e[b] = load<DV>(k.env[b] + S::D * i);
            const CV xd = load<CV>(st.band[b][read1]);
            u = b == 0 ? xd * toChannels<L>(e[b]) : u + xd * toChannels<L>(e[b]);
        }
        store(k.sum + S::C * i, u);
        store(k.bandGain + S::D * i, smaller(e[0], smaller(e[1], e[2])));
        putLevel<L>(k, 3, i, magnitude(kDetectorScale * u));
        wpos = (wpos + 1) & hMask;
    }
}

// Pass 7: the delay rings and the output stage, with the meter values
// recorded for pass 8.
template <Layout L, bool MultiBand, Route R, bool Brickwall, bool Metering>
void outputPass(KernelState& st, const KernelParams& kp, double* const* out, int n)
{
    using S = Shape<L>;
    using CV = typename S::CV;
    using DV = typename S::DV;
    KernelScratch& k = st.scratch;
    const int nMask = kp.delayMask;
    const int hMask = kp.detectorMask;
    const int g = kp.lookahead;
    const int h = kp.limiterLookahead;
    const int wetOffset = MultiBand ? g + h + 3 : g + 2;
    const double cg = kp.ceilingGain;
    const double mix = kp.mixAmount;
    const double og = kp.outputGain;
    int s = st.s;
    int wpos = st.wpos;
    for (int i = 0; i < n; ++i) {
        store(st.dry[s], load<V2>(k.dryIn + 2 * i));
        CV w;
        DV gain;
        if constexpr (!MultiBand) {
            const int read1 = (wpos - g - 1) & hMask;
            store(st.tone[wpos], load<CV>(k.signal[0] + S::C * i));
            gain = load<DV>(k.env[0] + S::D * i);
            w = load<CV>(st.tone[read1]) * toChannels<L>(gain);
            if constexpr (Brickwall)
                w = clampUnit(w);
        } else {
            const int read2 = (wpos - h - 1) & hMask;
            store(st.tone[wpos], load<CV>(k.sum + S::C * i));
            const CV ud = load<CV>(st.tone[read2]);
            gain = load<DV>(k.bandGain + S::D * i);
            if constexpr (Brickwall) {
                const DV gl = load<DV>(k.env[3] + S::D * i);
                w = clampUnit(ud * toChannels<L>(gl));
                gain = gain * gl;
            } else {
                w = ud;
            }
        }
        const int wetRead = (s + wetOffset) & nMask;
        store(st.wet[s], w * cg);
        const CV wd = load<CV>(st.wet[wetRead]);
        s = (s + 1) & nMask;
        if constexpr (S::stereo) {
            const V2 dry = load<V2>(st.dry[s]);
            const V2 y = (dry + mix * (wd - dry)) * og;
            out[0][i] = y[0];
            out[1][i] = y[1];
            if constexpr (Metering) {
                store(k.post + 2 * i, y);
                store(k.meterGain + 2 * i, toChannels<L>(gain));
            }
        } else {
            const double dry = st.dry[s][0];
            const double y = (dry + mix * (wd - dry)) * og;
            const double passed = st.dry[s][1] * kp.passedGain;
            const double left = R == Route::Right ? passed : y;
            const double right = R == Route::Left ? passed : y;
            out[0][i] = left;
            out[1][i] = right;
            if constexpr (Metering) {
                k.post[2 * i] = left;
                k.post[2 * i + 1] = right;
                k.meterGain[2 * i] = R == Route::Right ? kp.smallSignalGain : gain;
                k.meterGain[2 * i + 1] = R == Route::Left ? kp.smallSignalGain : gain;
            }
        }
        wpos = (wpos + 1) & hMask;
    }
    st.s = s;
    st.wpos = wpos;
}

template <Layout L, bool MultiBand, Route R, bool Metering>
void outputPassFor(KernelState& st, const KernelParams& kp, double* const* out, int n)
{
    if (kp.brickwall)
        outputPass<L, MultiBand, R, true, Metering>(st, kp, out, n);
    else
        outputPass<L, MultiBand, R, false, Metering>(st, kp, out, n);
}

template <int D, int Slots, bool Floor>
void envelopesFor(KernelState& st, const KernelParams& kp, double* const* state, int first, double attackCoef,
                  const double* releaseCoef, const ReleaseShape& shape, double autoScale, int n)
{
    if (kp.autoRelease)
        envelopes<D, Slots, true, Floor>(st.scratch, state, first, attackCoef, releaseCoef, shape, autoScale, n);
    else
        envelopes<D, Slots, false, Floor>(st.scratch, state, first, attackCoef, releaseCoef, shape, autoScale, n);
}

template <class W, Layout L, bool MultiBand, Route R, bool Metering>
void run(KernelState& st, const KernelParams& kp, const MeterBlock& mb, const double* const* in, double* const* out,
         int n)
{
    using S = Shape<L>;
    constexpr int D = S::D;
    constexpr int slots = MultiBand ? 3 : 1;
    KernelScratch& k = st.scratch;
    const int hMask = kp.detectorMask;
    const int read1 = (st.wpos - kp.lookahead - 1) & hMask;
    const double bias = st.bias;

    entryPass<L, MultiBand, R, Metering>(st, kp, in, n);

    for (int c = 0; c < D; ++c)
        for (int b = 0; b < slots; ++b) {
            LookaheadMax& det = MultiBand ? st.ch[c].bandDetector[b] : st.ch[c].detector;
            det.run(k.level[c][b], k.peak[c][b], n, st.wpos, read1, hMask, lookahead::runSegments<W>);
        }
    for (int b = 0; b < slots; ++b)
        detectorValues<D>(k, b, bias, n);
    smooth<W, D, slots>(st, 0, MultiBand ? 0 : 3, n);
    if (kp.autoRelease)
        for (int b = 0; b < slots; ++b)
            releaseMultipliers<W>(k, b, MultiBand ? kBandRelease : kSingleRelease, D * n);

    const double drive = kp.driveGain;
    const double cd = kp.ceilingDrive;
    const SaturationCurve curve = kp.curve;
    if constexpr (!MultiBand) {
        double* state[2] = {&st.ch[0].env, &st.ch[D - 1].env};
        const double autoScale = S::linked ? kp.autoReleaseScale : 1.0;
        envelopesFor<D, 1, true>(st, kp, state, 0, kp.attackCoef, &kp.releaseCoef, kSingleRelease, autoScale, n);
        map<W>(k.env[0], D * n, [&](auto env) { return saturate(curve, env * drive * cd) / env; });
    } else {
        double* state[2] = {st.ch[0].bandEnv, st.ch[D - 1].bandEnv};
        envelopesFor<D, 3, true>(st, kp, state, 0, kp.attackCoef, kp.bandReleaseCoef, kBandRelease, 1.0, n);
        // The band's Sat moves the level at which it saturates; its
        // small-signal gain stays that of the curve.
        for (int b = 0; b < 3; ++b) {
            const double sat = kp.satGain[b];
            map<W>(k.env[b], D * n, [&](auto env) { return saturate(curve, env * drive / sat * cd) * sat / env; });
        }
        bandSums<L>(st, kp, n);

        // The limiter's detector runs whether or not Brickwall is on, so
        // switching it on finds a warm ring; its smoothing and envelope only
        // while Brickwall is on.
        const int read2 = (st.wpos - kp.limiterLookahead - 1) & hMask;
        for (int c = 0; c < D; ++c)
            st.ch[c].detector.run(k.level[c][3], k.peak[c][3], n, st.wpos, read2, hMask, lookahead::runSegments<W>);
        if (kp.brickwall) {
            detectorValues<D>(k, 3, bias, n);
            smooth<W, D, 1>(st, 3, 3, n);
            if (kp.autoRelease)
                releaseMultipliers<W>(k, 3, kLimiterRelease, D * n);
            double* state[2] = {&st.ch[0].limiterEnv, &st.ch[D - 1].limiterEnv};
            envelopesFor<D, 1, false>(st, kp, state, 3, kp.limiterAttackCoef, &kp.limiterReleaseCoef,
                                      kLimiterRelease, 1.0, n);
            // Only levels above full scale are pulled down.
            map<W>(k.env[3], D * n, [](auto env) {
                using V = decltype(env);
                return select(env >= 1.0, 1.0 / env, splat<V>(1.0));
            });
        }
    }

    outputPassFor<L, MultiBand, R, Metering>(st, kp, out, n);

    st.bias = n % 2 ? -bias : bias;

    if constexpr (Metering) {
        const double* pre = S::stereo ? k.dryIn : k.pre;
        for (int c = 0; c < 2; ++c)
            meterRun(mb, st.meter[c], st.vu[c], pre + c, k.post + c, k.meterGain + c, 2, n);
    }
}

template <class W, Layout L, bool MultiBand, Route R>
void runRouted(KernelState& st, const KernelParams& kp, const MeterBlock& mb, const double* const* in,
               double* const* out, int n)
{
    if (mb.active)
        run<W, L, MultiBand, R, true>(st, kp, mb, in, out, n);
    else
        run<W, L, MultiBand, R, false>(st, kp, mb, in, out, n);
}

template <class W, Layout L, bool MultiBand>
void kernel(KernelState& st, const KernelParams& kp, const MeterBlock& mb, const double* const* in, double* const* out,
            int n)
{
    if constexpr (L != Layout::OneChannel) {
        runRouted<W, L, MultiBand, Route::Mono>(st, kp, mb, in, out, n);
    } else {
        switch (kp.route) {
        case Route::Mono:
            runRouted<W, L, MultiBand, Route::Mono>(st, kp, mb, in, out, n);
            break;
        case Route::Left:
            runRouted<W, L, MultiBand, Route::Left>(st, kp, mb, in, out, n);
            break;
        case Route::Right:
            runRouted<W, L, MultiBand, Route::Right>(st, kp, mb, in, out, n);
            break;
        }
    }
}

template <class W> const KernelTable& table()
{
    static const KernelTable kernels = {
        runBypass,
        kernel<W, Layout::OneChannel, false>,
        kernel<W, Layout::OneChannel, true>,
        kernel<W, Layout::StereoLinked, false>,
        kernel<W, Layout::StereoLinked, true>,
        kernel<W, Layout::StereoUnlinked, false>,
        kernel<W, Layout::StereoUnlinked, true>,
    };
    return kernels;
}

} // namespace
} // namespace AMBREL_ISA
