// A plug-in instance without a host, driven through its processing entry
// points, for the processing tests.
#pragma once

#include "effect/Ambrel.h"

#include <cmath>
#include <memory>
#include <random>
#include <vector>

struct Stereo {
    std::vector<double> l, r;
    explicit Stereo(size_t n = 0) : l(n, 0.0), r(n, 0.0) {}
    size_t size() const { return l.size(); }
};

class ProcessingRig
{
  public:
    explicit ProcessingRig(const Variant& variant = variants::kAmbrel2, float rate = 44100.0f)
        : variant_(variant), fx_(std::make_unique<Ambrel>(nullptr, variant))
    {
        fx_->setSampleRate(rate);
        fx_->resume();
    }

    Ambrel& fx() { return *fx_; }
    const Variant& variant() const { return variant_; }
    Engine& engine() { return fx_->engine(); }

    void set(ParamId id, float value) { fx_->setParameter(variant_.index(id), value); }

    // Every sound control at its neutral position: 0 dB everywhere, hard
    // knee, full mix, Brickwall and Auto off.
    void neutral()
    {
        set(ParamId::Drive, 0.5f);
        set(ParamId::Knee, 0.0f);
        set(ParamId::Ceiling, 0.5f);
        set(ParamId::Output, 0.5f);
        set(ParamId::HighAdjust, 0.5f);
        set(ParamId::LowAdjust, 0.5f);
        set(ParamId::Mix, 1.0f);
        set(ParamId::Brickwall, 0.0f);
        set(ParamId::Auto, 0.0f);
    }

    // Process, stereo layout, link and mode in one call; kernel 0 is bypass,
    // then one-channel single/multi, linked single/multi, unlinked single/multi.
    void selectKernel(int kernel)
    {
        set(ParamId::Process, kernel == 0 ? 0.0f : 1.0f);
        const bool oneChannel = kernel == 1 || kernel == 2;
        set(ParamId::MonoStereo, oneChannel ? 0.0f : 1.0f);
        set(ParamId::LR, 0.0f);
        set(ParamId::Link, (kernel == 3 || kernel == 4) ? 1.0f : 0.0f);
        set(ParamId::Mode, (kernel == 2 || kernel == 4 || kernel == 6) ? 1.0f : 0.0f);
    }

    // Runs the input through processDoubleReplacing in host blocks.
    Stereo run(const Stereo& in, int hostBlock = 512)
    {
        Stereo out(in.size());
        for (size_t pos = 0; pos < in.size(); pos += static_cast<size_t>(hostBlock)) {
            const int n = static_cast<int>(std::min(in.size() - pos, static_cast<size_t>(hostBlock)));
            double* ins[2] = {const_cast<double*>(in.l.data() + pos), const_cast<double*>(in.r.data() + pos)};
            double* outs[2] = {out.l.data() + pos, out.r.data() + pos};
            fx_->processDoubleReplacing(ins, outs, n);
        }
        return out;
    }

    // The same through processReplacing.
    std::vector<std::vector<float>> runFloat(const std::vector<float>& l, const std::vector<float>& r,
                                             int hostBlock = 512)
    {
        std::vector<float> ol(l.size()), orr(r.size());
        for (size_t pos = 0; pos < l.size(); pos += static_cast<size_t>(hostBlock)) {
            const int n = static_cast<int>(std::min(l.size() - pos, static_cast<size_t>(hostBlock)));
            float* ins[2] = {const_cast<float*>(l.data() + pos), const_cast<float*>(r.data() + pos)};
            float* outs[2] = {ol.data() + pos, orr.data() + pos};
            fx_->processReplacing(ins, outs, n);
        }
        return {ol, orr};
    }

  private:
    const Variant& variant_;
    std::unique_ptr<Ambrel> fx_;
};

// Band-limited noise with a slow envelope, peaking near the given level.
inline Stereo programSignal(size_t n, double peak, unsigned seed = 1, double rate = 44100.0)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 1.0);
    Stereo s(n);
    double l1 = 0.0, l2 = 0.0, r1 = 0.0, r2 = 0.0;
    const double a = std::exp(-2.0 * 3.141592653589793 * 3000.0 / rate);
    for (size_t i = 0; i < n; ++i) {
        l1 = a * l1 + (1.0 - a) * noise(rng);
        l2 = a * l2 + (1.0 - a) * l1;
        r1 = a * r1 + (1.0 - a) * noise(rng);
        r2 = a * r2 + (1.0 - a) * r1;
        const double env = 0.55 + 0.45 * std::sin(2.0 * 3.141592653589793 * 1.7 * static_cast<double>(i) / rate);
        s.l[i] = std::tanh(2.0 * l2) * peak * env;
        s.r[i] = std::tanh(2.0 * r2) * peak * env;
    }
    return s;
}
