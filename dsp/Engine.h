#pragma once

// The signal-processing engine: parameter-derived state (control side), the
// kernels' memory and the block driver (audio side), and the meter feed.
//
// Threads. The control side (setters, called from any thread that sets
// parameters) writes only atomics: derived gains, coefficients and switches,
// and a word of pending requests (clear rings, reset filter states, reset
// resamplers, redesign filters). The audio side consumes the requests at the
// start of the next processing call, then snapshots the values it needs into
// locals once per block of at most 64 frames: a change takes effect at the
// next block. reset() is a lifecycle operation and must not overlap
// processing (hosts never process while the effect is suspended).

#include "dsp/HalfbandResampler.h"
#include "dsp/Kernels.h"

#include <atomic>
#include <cstdint>

class Engine
{
  public:
    struct Config {
        bool hasFat = true;            // FAT oversampling, resamplers and alignments exist
        int ringDivisor = 1;           // rings are 512/1024/2048 divided by this
        bool passedChannelGain = true; // Output gain applies to the passed channel
    };

    // Values derived from the parameters. Written by the control side, read
    // per block by the audio side and by the editor.
    struct Controls {
        std::atomic<double> hostRate{44100.0};
        std::atomic<double> fineScale{1.0};
        std::atomic<double> driveGain{1.0};
        std::atomic<double> ceilingGain{1.0};
        std::atomic<double> outputGain{1.0};
        std::atomic<double> lowAdjustGain{1.0};
        std::atomic<double> highAdjustGain{1.0};
        std::atomic<int> kneeShape{0};
        std::atomic<double> kneeAmount{0.0};
        std::atomic<double> kneeInflection{SaturationCurve::inflectionFor(0.0)};
        std::atomic<float> ceilingDrive{1.0f};
        std::atomic<float> smallSignalGain{1.0f};
        std::atomic<double> mixAmount{1.0};
        std::atomic<double> lowFreqHz{100.0};
        std::atomic<double> highFreqHz{2000.0};
        std::atomic<double> satGain[3] = {1.0, 1.0, 1.0};
        std::atomic<double> releaseFactor{1.0};
        std::atomic<double> bandReleaseFactor[3] = {1.0, 1.0, 1.0};
        std::atomic<int> lookaheadSamples{1};
        std::atomic<double> attackCoef{1.0};
        std::atomic<int> limiterLookaheadSamples{1};
        std::atomic<double> limiterAttackCoef{1.0};
        std::atomic<double> releaseCoef{1.0};
        std::atomic<double> bandReleaseCoef[3] = {1.0, 1.0, 1.0};
        std::atomic<double> limiterReleaseCoef{1.0};
        std::atomic<double> autoReleaseScale{0.5};
        std::atomic<int> process{1};
        std::atomic<int> mode{0};
        std::atomic<int> link{1};
        std::atomic<int> fat{0};
        std::atomic<int> longRelease{0};
        std::atomic<int> autoRelease{0};
        std::atomic<int> brickwall{1};
        // Raw normalized values kept as set.
        std::atomic<float> monoStereo{1.0f};
        std::atomic<float> lr{0.0f};
        std::atomic<float> speed{1.0f};
        std::atomic<float> fatRequest{0.0f};
        std::atomic<float> meterType{0.0f};
        // Meter settings.
        std::atomic<int> metersSource{1};
        std::atomic<double> overThreshold{3.0};
        std::atomic<double> vuIntegrationMs{300.0};
        std::atomic<double> vuReferenceGain{1.0};
        std::atomic<double> ppmIntegrationMs{10.0};
        std::atomic<double> ppmReturnMs{1000.0};
        std::atomic<double> ppmRatio{10.0 / 1000.0};
    };

    explicit Engine(const Config& config);
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    const Config& config() const { return config_; }
    const Controls& controls() const { return c_; }
    // The instruction set the kernels and resamplers run with, chosen at
    // construction (dsp/SimdLevel.h).
    SimdLevel simdLevel() const { return simd_; }

    // Control side: x is the normalized parameter value; where a value in
    // user units is what the engine works with, the setter takes that.
    void setProcess(float x);
    void setMode(float x);
    void setMonoStereo(float x);
    void setLink(float x);
    void setDrive(float x);
    void setKnee(float x);
    void setSpeed(float x);
    void setRelease(double factor);
    void setHighAdjust(float x);
    void setLowAdjust(float x);
    void setHighFreq(double hz);
    void setLowFreq(double shownHz);
    void setMix(float x);
    void setCeiling(float x);
    void setOutput(float x);
    void setBandSaturation(int band, double gain); // 0 low, 1 mid, 2 high
    void setBandRelease(int band, double factor);
    void setMeters(float x);
    void setMeterType(float x);
    // The FineTune scale of the dB ranges; the caller re-applies Ceiling,
    // Drive, HighAdjust, LowAdjust and Output afterwards.
    void setFineScale(double scale);
    void setFat(float x);
    void setLong(float x);
    void setAuto(float x);
    void setBrickwall(float x);
    void setLR(float x);
    void setVuIntegration(double ms);
    void setVuReference(double gain);
    void setPpmIntegration(double ms);
    void setPpmReturn(double ms);
    void setOverCount(double count);
    // Clears rings, filter states and resamplers at the next block: the
    // channel layout changed and no sample of the old one may leak through.
    void resetChannels();

    // Lifecycle: full reset for a host rate (already clamped by the caller).
    // clearMeters also zeroes the meter values and over counters.
    void reset(double hostRate, bool clearMeters);

    // Audio side: one host call. inR may equal inL; outR may equal outL, in
    // which case the right channel's result is what remains there.
    template <typename T> void process(const T* inL, const T* inR, T* outL, T* outR, int frames);
    // The end-of-call over-flag update alone (a call without audio).
    void finishCall();

    // Editor side.
    void setEditorOpen(bool open) { editorOpen_.store(open, std::memory_order_relaxed); }
    bool editorOpen() const { return editorOpen_.load(std::memory_order_relaxed); }
    float meterValue(int channel) const { return meterValue_[channel & 1].load(std::memory_order_relaxed); }
    // Reads and clears the over flag of a channel.
    bool takeOverFlag(int channel) { return overFlag_[channel & 1].exchange(0.0f, std::memory_order_relaxed) != 0.0f; }

  private:
    enum Request : uint32_t {
        kClearDelayLines = 1u << 0,
        kResetFilterStates = 1u << 1,
        kResetResamplers = 1u << 2,
        kUpdateFilters = 1u << 3,
        kUpdateVu = 1u << 4,
    };
    void request(uint32_t bits) { pending_.fetch_or(bits, std::memory_order_release); }
    void serviceRequests();

    // Control side recomputations.
    void updateTiming();
    void updateCurve();

    // Audio side (or lifecycle) operations.
    void updateFilters();
    void clearDelayLines();
    void resetFilterStates();
    void resetResamplers();

    void snapshot(KernelParams& kp, MeterBlock& mb, int& kernel, bool& fat);
    template <typename T>
    void processBlock(const T* inL, const T* inR, T* outL, T* outR, int n, const KernelParams& kp, const MeterBlock& mb,
                      int kernel, bool fat);

    Config config_;
    Controls c_;
    std::atomic<uint32_t> pending_{0};
    std::atomic<bool> editorOpen_{false};
    std::atomic<float> meterValue_[2] = {0.0f, 0.0f};
    std::atomic<float> overFlag_[2] = {0.0f, 0.0f};

    // Audio side.
    SimdLevel simd_;
    const KernelTable& kernels_;
    int delayRing_ = 512;
    KernelState state_;
    HalfbandResampler resampler_[2];
    double alignRing_[2][kMaxDelayRing];
    int alignPos_ = 511;
    // A block of at most 64 host frames, twice that after upsampling.
    alignas(32) double workIn_[2][kMaxBlock];
    alignas(32) double workOut_[2][kMaxBlock];
    // Filter coefficients designed on the audio side.
    SubsonicCoefs subsonic_;
    ToneCoefs lowTone_;
    ToneCoefs highTone_;
    // PPM constants and the inputs they were computed from.
    double ppmKey_[4] = {-1.0, -1.0, -1.0, -1.0};
    double ppmAttack_ = 1.0, ppmRelease_ = 0.0, ppmReading_ = 1.0;
};
