// The parameters' stored values, and their texts and user values as the
// build's parameter table (variants/ParameterTable.h) describes them.
//
// Stored values are read and written from the host's threads and the
// editor's; each is an atomic written in one step.
#pragma once

#include "host/vst2abi.h"
#include "variants/ParamId.h"
#include "variants/Variant.h"

#include <atomic>

class ParameterStore {
public:
    explicit ParameterStore(const Variant& variant);

    const Variant& variant() const { return variant_; }

    // Stores v as the parameter keeps it (quantized where the parameter
    // steps) and returns the stored value. The combined stereo selector is
    // handled by the effect, which sets Mono Stereo and L R through here.
    float store(ParamId id, float v);

    // The value getParameter answers for the parameter.
    float stored(ParamId id) const;

    // FineTune scale S in {1/8, 1/4, 1/2, 1}.
    double fineScale() const;
    // Over count 1..10 of OverIndic.
    int overCount() const;

    // Combined stereo selector value derived from Mono Stereo and L R.
    float stereoSelector() const;

    void name(ParamId id, char* text) const;
    void label(ParamId id, char* text) const;
    void display(ParamId id, char* text) const;
    bool properties(ParamId id, VstParameterProperties* props) const;
    // Value in user units (dB, Hz, ms, ...); parameters without one give 0.
    // The FAT entry gives the stored switch; the effect answers with the
    // engine's own switch instead.
    double engineValue(ParamId id) const;

private:
    const Variant& variant_;
    std::atomic<float> values_[kParamIdCount];
};
