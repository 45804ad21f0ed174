#include "dsp/Engine.h"

#include "dsp/RingSize.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace
{

constexpr auto kRelaxed = std::memory_order_relaxed;

// Samples entering the engine whose magnitude is above this (+160 dBFS),
// infinite or not a number are taken as silence. No audio path produces such
// levels, and a burst of them, even finite, would leave the recursive filters
// and envelopes swinging for a second after it; a NaN or infinity would
// drive them to infinity or NaN for good.
constexpr double kInputLimit = 1e8;

inline double sanitize(double x)
{
    return std::fabs(x) <= kInputLimit ? x : 0.0;
}

// FAT is available only up to this host rate.
constexpr double kFatMaxRate = 100000.0;

// How far Long stretches the limiter's release exponent per unit of the
// Release factor and of Speed squared (updateTiming).
constexpr double kLongLimiterStretch = 0.7139;

// One-pole follower coefficient that covers 95 % of a step in t samples.
inline double coef95(double t)
{
    return 1.0 - std::pow(0.05, 1.0 / t);
}

inline int switchOf(float x)
{
    return static_cast<int>(x + 0.5);
}

} // namespace

Engine::Engine(const Config& config)
    : config_(config), simd_(chooseSimdLevel()), kernels_(kernelsFor(simd_)),
      resampler_{HalfbandResampler(simd_), HalfbandResampler(simd_)}
{
    updateTiming();
    updateCurve();
    reset(44100.0, true);
}

// ---------------------------------------------------------------- control side

void Engine::setProcess(float x)
{
    c_.process.store(switchOf(x), kRelaxed);
    request(kClearDelayLines);
}

void Engine::setMode(float x)
{
    c_.mode.store(switchOf(x), kRelaxed);
    request(kResetFilterStates | kUpdateFilters);
    updateTiming();
}

void Engine::setMonoStereo(float x)
{
    c_.monoStereo.store(x, kRelaxed);
}

void Engine::setLink(float x)
{
    c_.link.store(switchOf(x), kRelaxed);
}

void Engine::setDrive(float x)
{
    const double s = c_.fineScale.load(kRelaxed);
    // +-24 dB at full scale: 256^(s x) / 16^s.
    c_.driveGain.store(std::pow(256.0, s * x) / std::pow(16.0, s), kRelaxed);
    updateCurve();
}

void Engine::setKnee(float x)
{
    if (x < 0.25f) {
        c_.kneeShape.store(0, kRelaxed);
        c_.kneeAmount.store(4.0 * x, kRelaxed);
    } else {
        c_.kneeShape.store(1, kRelaxed);
        c_.kneeAmount.store((x - 0.25) / 0.75, kRelaxed);
    }
    c_.kneeInflection.store(SaturationCurve::inflectionFor(c_.kneeAmount.load(kRelaxed)), kRelaxed);
    updateCurve();
}

void Engine::setSpeed(float x)
{
    c_.speed.store(x, kRelaxed);
    updateTiming();
}

void Engine::setRelease(double factor)
{
    c_.releaseFactor.store(factor, kRelaxed);
    updateTiming();
}

void Engine::setHighAdjust(float x)
{
    const double s = c_.fineScale.load(kRelaxed);
    c_.highAdjustGain.store(std::pow(16.0, s * x) / std::pow(4.0, s), kRelaxed);
}

void Engine::setLowAdjust(float x)
{
    const double s = c_.fineScale.load(kRelaxed);
    c_.lowAdjustGain.store(std::pow(16.0, s * x) / std::pow(4.0, s), kRelaxed);
}

void Engine::setHighFreq(double hz)
{
    c_.highFreqHz.store(hz, kRelaxed);
    request(kUpdateFilters);
}

void Engine::setLowFreq(double shownHz)
{
    // The low tone filter's corner sits at half the frequency the control
    // shows.
    c_.lowFreqHz.store(shownHz * 0.5, kRelaxed);
    request(kUpdateFilters);
}

void Engine::setMix(float x)
{
    c_.mixAmount.store(x, kRelaxed);
}

void Engine::setCeiling(float x)
{
    const double r = std::sqrt(c_.fineScale.load(kRelaxed));
    c_.ceilingGain.store(std::pow(16.0, r * x) / std::pow(4.0, r), kRelaxed);
    updateCurve();
}

void Engine::setOutput(float x)
{
    const double r = std::sqrt(c_.fineScale.load(kRelaxed));
    c_.outputGain.store(std::pow(16.0, r * x) / std::pow(4.0, r), kRelaxed);
}

void Engine::setBandSaturation(int band, double gain)
{
    if (band < 0 || band > 2)
        return;
    c_.satGain[band].store(gain, kRelaxed);
}

void Engine::setBandRelease(int band, double factor)
{
    if (band < 0 || band > 2)
        return;
    c_.bandReleaseFactor[band].store(factor, kRelaxed);
    updateTiming();
}

void Engine::setMeters(float x)
{
    c_.metersSource.store(std::min(2, static_cast<int>(3.0 * x)), kRelaxed);
}

void Engine::setMeterType(float x)
{
    c_.meterType.store(x, kRelaxed);
}

void Engine::setFineScale(double scale)
{
    c_.fineScale.store(scale, kRelaxed);
}

void Engine::setFat(float x)
{
    c_.fatRequest.store(x, kRelaxed);
    if (!config_.hasFat) {
        c_.fat.store(0, kRelaxed);
        return;
    }
    const bool allowed = c_.hostRate.load(kRelaxed) <= kFatMaxRate;
    c_.fat.store(allowed ? switchOf(x) : 0, kRelaxed);
    updateTiming();
    // No sample of the other rate may survive in any filter or ring.
    request(kUpdateFilters | kClearDelayLines | kResetFilterStates | kResetResamplers);
}

void Engine::setLong(float x)
{
    c_.longRelease.store(switchOf(x), kRelaxed);
    updateTiming();
}

void Engine::setAuto(float x)
{
    c_.autoRelease.store(switchOf(x), kRelaxed);
}

void Engine::setBrickwall(float x)
{
    c_.brickwall.store(switchOf(x), kRelaxed);
}

void Engine::setLR(float x)
{
    c_.lr.store(x, kRelaxed);
}

void Engine::setVuIntegration(double ms)
{
    c_.vuIntegrationMs.store(ms, kRelaxed);
    request(kUpdateVu);
}

void Engine::setVuReference(double gain)
{
    c_.vuReferenceGain.store(gain, kRelaxed);
}

void Engine::setPpmIntegration(double ms)
{
    c_.ppmIntegrationMs.store(ms, kRelaxed);
    c_.ppmRatio.store(ms / c_.ppmReturnMs.load(kRelaxed), kRelaxed);
}

void Engine::setPpmReturn(double ms)
{
    c_.ppmReturnMs.store(ms, kRelaxed);
    c_.ppmRatio.store(c_.ppmIntegrationMs.load(kRelaxed) / ms, kRelaxed);
}

void Engine::setOverCount(double count)
{
    c_.overThreshold.store(count, kRelaxed);
}

void Engine::resetChannels()
{
    request(kClearDelayLines | kResetFilterStates | kResetResamplers);
}

void Engine::updateCurve()
{
    const SaturationCurve curve{c_.kneeShape.load(kRelaxed), c_.kneeAmount.load(kRelaxed),
                                c_.kneeInflection.load(kRelaxed)};
    const double ceilingGain = c_.ceilingGain.load(kRelaxed);
    const float ceilingDrive = curve.inverse(static_cast<float>(1.0 / ceilingGain));
    c_.ceilingDrive.store(ceilingDrive, kRelaxed);
    c_.smallSignalGain.store(smallSignalGain(curve, ceilingDrive, c_.driveGain.load(kRelaxed), ceilingGain), kRelaxed);
}

void Engine::updateTiming()
{
    const double fe = (1 + c_.fat.load(kRelaxed)) * c_.hostRate.load(kRelaxed);
    const double speed = c_.speed.load(kRelaxed);
    const double releaseFactor = c_.releaseFactor.load(kRelaxed);
    const int lng = c_.longRelease.load(kRelaxed);

    // 16^Release, the factor without its 0.25, grown by Long.
    c_.autoReleaseScale.store(0.5 * std::pow(4.0 * releaseFactor * (1 + 15 * lng), 0.25), kRelaxed);

    // Look-ahead of the peak detector, 75 us to 1.2 ms, and of the limiter,
    // 225 us to 1.2 ms; the attack covers 95 % within the look-ahead.
    const int g = static_cast<int>(std::pow(16.0, speed) * 0.075 * 0.001 * fe);
    c_.lookaheadSamples.store(g, kRelaxed);
    c_.attackCoef.store(coef95(g), kRelaxed);
    const int h = static_cast<int>((std::pow(14.0, speed) * 0.075 + 0.15) * 0.001 * fe);
    c_.limiterLookaheadSamples.store(h, kRelaxed);
    c_.limiterAttackCoef.store(coef95(h), kRelaxed);

    // Release time in ms is B * 0.65; Long multiplies it by 17.
    const double b = std::pow(48.0, speed) * releaseFactor * (1 + lng * (15 * lng + 1));
    c_.releaseCoef.store(coef95(fe * b * 0.65 * 0.001), kRelaxed);
    for (int band = 0; band < 3; ++band)
        c_.bandReleaseCoef[band].store(coef95(fe * c_.bandReleaseFactor[band].load(kRelaxed) * b * 0.65 * 0.001),
                                       kRelaxed);
    // The limiter releases in 0.65 24^E + 1.35 ms: E is Speed alone, 17 ms
    // at full Speed; Long doubles E and stretches it further with Release
    // and Speed, to about 35 s at full Speed and a Release of 1.
    const double e = speed * (kLongLimiterStretch * lng * releaseFactor * speed + 1.0) * (lng + 1);
    c_.limiterReleaseCoef.store(coef95(fe * 0.001 * (0.65 * std::pow(24.0, e) + 1.35)), kRelaxed);
}

// ------------------------------------------------------------ audio side

void Engine::updateFilters()
{
    // Every filter runs at the engine rate; the VU filters too, since they
    // are ticked once per engine sample.
    const double fe = (1 + c_.fat.load(kRelaxed)) * c_.hostRate.load(kRelaxed);
    for (EnvelopeFilter& f : state_.envFilters)
        f.setSampleRate(fe);
    for (EnvelopeFilter& f : state_.vu) {
        f.setSampleRate(fe);
        f.setCutoff(700.0 / c_.vuIntegrationMs.load(kRelaxed));
        f.clear();
    }
    subsonic_ = designSubsonic(fe);
    lowTone_ = designToneHighPass(c_.lowFreqHz.load(kRelaxed), fe);
    highTone_ = designToneLowPass(c_.highFreqHz.load(kRelaxed), fe);
}

void Engine::clearDelayLines()
{
    state_.clearRings();
    std::memset(alignRing_, 0, sizeof alignRing_);
    std::memset(workIn_, 0, sizeof workIn_);
    std::memset(workOut_, 0, sizeof workOut_);
    overFlag_[0].store(0.0f, kRelaxed);
    overFlag_[1].store(0.0f, kRelaxed);
}

void Engine::resetFilterStates()
{
    state_.resetEnvelopes();
}

void Engine::resetResamplers()
{
    resampler_[0].reset();
    resampler_[1].reset();
}

void Engine::serviceRequests()
{
    if (pending_.load(kRelaxed) == 0)
        return;
    const uint32_t bits = pending_.exchange(0, std::memory_order_acquire);
    if (bits & kUpdateFilters)
        updateFilters();
    if (bits & kUpdateVu) {
        for (EnvelopeFilter& f : state_.vu) {
            f.setCutoff(700.0 / c_.vuIntegrationMs.load(kRelaxed));
            f.clear();
        }
    }
    if (bits & kClearDelayLines)
        clearDelayLines();
    if (bits & kResetFilterStates)
        resetFilterStates();
    if (bits & kResetResamplers)
        resetResamplers();
}

void Engine::reset(double hostRate, bool clearMeters)
{
    pending_.store(0, kRelaxed);
    c_.hostRate.store(hostRate, kRelaxed);
    const int n = delayRingSizeFor(hostRate, config_.ringDivisor);
    delayRing_ = n;
    state_.s = n - 1;
    state_.wpos = (n - 1) & (n / 2 - 1);
    alignPos_ = n - 1;
    // The switch follows the stored request whenever the rate allows it, so
    // FAT comes back after a detour above 100 kHz.
    c_.fat.store(config_.hasFat && hostRate <= kFatMaxRate ? switchOf(c_.fatRequest.load(kRelaxed)) : 0, kRelaxed);
    clearDelayLines();
    resetFilterStates();
    resetResamplers();
    updateFilters();
    updateTiming();
    if (clearMeters) {
        for (int c = 0; c < 2; ++c) {
            state_.meter[c] = MeterChannel{};
            meterValue_[c].store(0.0f, kRelaxed);
        }
    }
}

void Engine::snapshot(KernelParams& kp, MeterBlock& mb, int& kernel, bool& fat)
{
    const int n = delayRing_;
    kp.delayMask = n - 1;
    kp.detectorMask = n / 2 - 1;
    kp.lookahead = c_.lookaheadSamples.load(kRelaxed);
    kp.limiterLookahead = c_.limiterLookaheadSamples.load(kRelaxed);
    kp.lowAdjustGain = c_.lowAdjustGain.load(kRelaxed);
    kp.highAdjustGain = c_.highAdjustGain.load(kRelaxed);
    kp.attackCoef = c_.attackCoef.load(kRelaxed);
    kp.releaseCoef = c_.releaseCoef.load(kRelaxed);
    for (int b = 0; b < 3; ++b) {
        kp.bandReleaseCoef[b] = c_.bandReleaseCoef[b].load(kRelaxed);
        kp.satGain[b] = c_.satGain[b].load(kRelaxed);
    }
    kp.limiterAttackCoef = c_.limiterAttackCoef.load(kRelaxed);
    kp.limiterReleaseCoef = c_.limiterReleaseCoef.load(kRelaxed);
    kp.autoReleaseScale = c_.autoReleaseScale.load(kRelaxed);
    kp.autoRelease = c_.autoRelease.load(kRelaxed) != 0;
    kp.brickwall = c_.brickwall.load(kRelaxed) != 0;
    kp.driveGain = c_.driveGain.load(kRelaxed);
    kp.ceilingDrive = c_.ceilingDrive.load(kRelaxed);
    kp.ceilingGain = c_.ceilingGain.load(kRelaxed);
    kp.mixAmount = c_.mixAmount.load(kRelaxed);
    kp.outputGain = c_.outputGain.load(kRelaxed);
    kp.passedGain = config_.passedChannelGain ? kp.outputGain : 1.0;
    kp.curve =
        SaturationCurve{c_.kneeShape.load(kRelaxed), c_.kneeAmount.load(kRelaxed), c_.kneeInflection.load(kRelaxed)};
    const float lr = c_.lr.load(kRelaxed);
    kp.route = lr < 0.333f ? Route::Mono : (lr < 0.66f ? Route::Left : Route::Right);
    const float ssg = c_.smallSignalGain.load(kRelaxed);
    kp.smallSignalGain = ssg;
    kp.subsonic = subsonic_;
    kp.lowTone = lowTone_;
    kp.highTone = highTone_;

    const double fs = c_.hostRate.load(kRelaxed);
    // Only a build with FAT at a rate that allows it has the switch on.
    fat = c_.fat.load(kRelaxed) != 0;

    // Kernel choice. Mono Stereo counts as stereo from 0.5 on, as its display
    // and its engine value do.
    const bool multi = c_.mode.load(kRelaxed) != 0;
    if (c_.process.load(kRelaxed) == 0)
        kernel = kBypass;
    else if (c_.monoStereo.load(kRelaxed) >= 0.5f)
        kernel = c_.link.load(kRelaxed) != 0 ? (multi ? kLinkedMulti : kLinkedSingle)
                                             : (multi ? kUnlinkedMulti : kUnlinkedSingle);
    else
        kernel = multi ? kOneChannelMulti : kOneChannelSingle;

    mb.active = editorOpen_.load(kRelaxed);
    if (!mb.active)
        return;
    mb.ppm = c_.meterType.load(kRelaxed) >= 0.5f;
    mb.source = static_cast<MeterSource>(c_.metersSource.load(kRelaxed));
    mb.vuReferenceGain = c_.vuReferenceGain.load(kRelaxed);
    mb.ceilingGain = kp.ceilingGain;
    mb.smallSignalGain = ssg;
    mb.overThreshold = c_.overThreshold.load(kRelaxed);
    // PPM ballistics at the engine rate, recomputed only when an input changes.
    const double fe = (fat ? 2.0 : 1.0) * fs;
    const double key[4] = {c_.ppmIntegrationMs.load(kRelaxed), c_.ppmReturnMs.load(kRelaxed),
                           c_.ppmRatio.load(kRelaxed), fe};
    if (std::memcmp(key, ppmKey_, sizeof key) != 0) {
        std::memcpy(ppmKey_, key, sizeof key);
        // 99 % of a step within the integration and return times.
        ppmAttack_ = key[0] > 0.05 ? 1.0 - std::pow(0.01, 1.0 / (key[0] * 0.001 * fe)) : 1.0;
        ppmRelease_ = 1.0 - std::pow(0.01, 1.0 / (key[1] * 0.001 * fe));
        ppmReading_ = std::pow(10.0, 0.19 * std::pow(key[2], 0.6));
    }
    mb.attack = ppmAttack_;
    mb.release = ppmRelease_;
    mb.reading = ppmReading_;
}

template <typename T>
void Engine::processBlock(const T* inL, const T* inR, T* outL, T* outR, int n, const KernelParams& kp,
                          const MeterBlock& mb, int kernel, bool fat)
{
    double* inWork[2] = {workIn_[0], workIn_[1]};
    double* outWork[2] = {workOut_[0], workOut_[1]};
    for (int i = 0; i < n; ++i) {
        workIn_[0][i] = sanitize(static_cast<double>(inL[i]));
        workIn_[1][i] = sanitize(static_cast<double>(inR[i]));
    }

    int m = n;
    if (fat) {
        resampler_[0].upsample(workIn_[0], n);
        resampler_[1].upsample(workIn_[1], n);
        m = 2 * n;
        // Alignment delay of N - 3 samples at the doubled rate, which with
        // both resampling filters makes up the latency of the host-rate path.
        const int mask = delayRing_ - 1;
        int pos = alignPos_;
        for (int j = 0; j < m; ++j) {
            alignRing_[0][pos] = workIn_[0][j];
            alignRing_[1][pos] = workIn_[1][j];
            pos = (pos + 1) & mask;
            const int read = (pos + 2) & mask;
            workIn_[0][j] = alignRing_[0][read];
            workIn_[1][j] = alignRing_[1][read];
        }
        alignPos_ = pos;
    } else if (config_.hasFat) {
        resampler_[0].alignInput(workIn_[0], n);
        resampler_[1].alignInput(workIn_[1], n);
    }

    kernels_[kernel](state_, kp, mb, inWork, outWork, m);

    if (fat) {
        resampler_[0].downsample(workOut_[0], m);
        resampler_[1].downsample(workOut_[1], m);
        // The downsampling filter can overshoot what the limiter allowed;
        // the clamp restores the bound. A bypassed signal is left alone.
        if (kp.brickwall && kernel != kBypass) {
            const double bound = kp.outputGain;
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < n; ++i) {
                    double& y = workOut_[c][i];
                    y = y > bound ? bound : (y < -bound ? -bound : y);
                }
        }
    } else if (config_.hasFat) {
        resampler_[0].alignOutput(workOut_[0], n);
        resampler_[1].alignOutput(workOut_[1], n);
    }

    // Left then right per frame, so that with a single output the right
    // channel's result is what remains.
    for (int i = 0; i < n; ++i) {
        outL[i] = static_cast<T>(workOut_[0][i]);
        outR[i] = static_cast<T>(workOut_[1][i]);
    }
}

template <typename T> void Engine::process(const T* inL, const T* inR, T* outL, T* outR, int frames)
{
    serviceRequests();
    KernelParams kp;
    MeterBlock mb;
    int kernel = kBypass;
    bool fat = false;
    int remaining = frames;
    while (remaining > 0) {
        const int n = std::min(64, remaining);
        remaining -= n;
        snapshot(kp, mb, kernel, fat);
        processBlock(inL, inR, outL, outR, n, kp, mb, kernel, fat);
        inL += n;
        inR += n;
        outL += n;
        outR += n;
    }
    if (editorOpen_.load(kRelaxed)) {
        meterValue_[0].store(state_.meter[0].value, kRelaxed);
        meterValue_[1].store(state_.meter[1].value, kRelaxed);
    }
    finishCall();
}

void Engine::finishCall()
{
    const double threshold = c_.overThreshold.load(kRelaxed);
    for (int c = 0; c < 2; ++c) {
        MeterChannel& m = state_.meter[c];
        if (m.overCount >= threshold) {
            overFlag_[c].store(1.0f, kRelaxed);
            m.overCount = 0.0f;
        }
    }
}

template void Engine::process<float>(const float*, const float*, float*, float*, int);
template void Engine::process<double>(const double*, const double*, double*, double*, int);
