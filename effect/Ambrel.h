// The effect: parameters, lifecycle and processing of the saturation and
// look-ahead compression processor, on top of the program store.
#pragma once

#include "dsp/Engine.h"
#include "effect/Parameters.h"
#include "presets/CPresetSystemEffect.h"
#include "variants/Variant.h"

#include <atomic>
#include <memory>

class Ambrel;

// What the effect tells its editor besides parameter values: the latency
// changed (resume), the meters were cleared (suspend). Either may come from
// any thread the host calls on.
class AmbrelEditorEvents {
public:
    virtual ~AmbrelEditorEvents() = default;
    virtual void latencyChanged() = 0;
    virtual void metersReset() = 0;
};

// Makes the effect's editor, which attaches itself to the effect. The
// plug-in entry passes one; an effect made without one has no editor.
using EditorFactory = AEffEditor* (*)(Ambrel& effect);

class Ambrel : public CPresetSystemEffect {
public:
    Ambrel(audioMasterCallback audioMaster, const Variant& variant, EditorFactory makeEditor = nullptr);
    ~Ambrel() override;

    // Parameters.
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    void getParameterName(VstInt32 index, char* text) override;
    void getParameterLabel(VstInt32 index, char* text) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    bool getParameterProperties(VstInt32 index, VstParameterProperties* props) override;

    // Identity.
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override;
    VstPlugCategory getPlugCategory() override { return kPlugCategMastering; }
    bool getInputProperties(VstInt32 index, VstPinProperties* properties) override;
    bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override;

    // Lifecycle.
    void setSampleRate(float sampleRate) override;
    void suspend() override;
    void resume() override;

    // Processing.
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
    void processDoubleReplacing(double** inputs, double** outputs, VstInt32 sampleFrames) override;

    // Value of a parameter index in user units, for the editor.
    virtual double getEngineValue(VstInt32 index);
    virtual double getLatencyMs();
    virtual VstInt32 getLatencySamples();
    virtual VstInt32 getDetectorRingSize();
    virtual VstInt32 getDelayRingSize();

    bool isSuspended() const { return suspended_; }
    const ParameterStore& parameters() const { return params_; }

    // Signal engine: meter values, over flags and the editor-open switch for
    // the editor, and the derived values for inspection.
    Engine& engine() { return *engine_; }
    const Engine& engine() const { return *engine_; }
    float getMeterValue(int channel) const { return engine_->meterValue(channel); }
    // Reads and clears the over flag of a channel (0 left, 1 right).
    bool takeOverFlag(int channel) { return engine_->takeOverFlag(channel); }
    void setEditorOpen(bool open) { engine_->setEditorOpen(open); }
    bool isEditorOpen() const { return engine_->editorOpen(); }
    // Knob Mode was set since the editor last asked; asking clears it.
    bool takeKnobModeChanged() { return knobModeChanged_.exchange(false, std::memory_order_relaxed); }
    // MeterScale as the meters show it: 0 normal, 1 alternate.
    int getMeterScale();

private:
    // Sets Mono Stereo and L R from the combined stereo selector.
    void setStereoSelector(float value);

    // Lifecycle helpers.
    static float clampSampleRate(float sampleRate);
    // The engine reset of suspend and resume, at the current sample rate;
    // nothing while construction defers it.
    void resetEngine(bool clearMeters);
    void applyEditorSettings();
    AmbrelEditorEvents* editorEvents() const;

    // The engine side of setParameter.
    void applyToEngine(ParamId id, float value);
    // Resolves the host's channel pointers and runs the engine.
    template <typename T>
    void processBlock(T** inputs, T** outputs, VstInt32 sampleFrames);

    ParameterStore params_;
    std::unique_ptr<Engine> engine_;
    // Last combined stereo selector value; host automation and the editor may
    // set it from different threads.
    std::atomic<float> stereoSelectorValue_{0.0f};
    std::atomic<bool> knobModeChanged_{false};
    bool suspended_ = false;
    bool engineResetDeferred_ = false;
};
