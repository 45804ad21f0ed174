// The effect's two processing entry points: channel routing for hosts that
// connect a single pin, then the engine's block driver.
#include "effect/Ambrel.h"

template <typename T> void Ambrel::processBlock(T** inputs, T** outputs, VstInt32 sampleFrames)
{
    if (!inputs || !outputs || !inputs[0] || !outputs[0] || sampleFrames <= 0) {
        engine_->finishCall();
        return;
    }
    // A missing or unconnected second pin: the right channel reads the left
    // input, and its result lands in the left output after the left one.
    const T* inL = inputs[0];
    const T* inR = (isInputConnected(1) && inputs[1]) ? inputs[1] : inputs[0];
    T* outL = outputs[0];
    T* outR = (isOutputConnected(1) && outputs[1]) ? outputs[1] : outputs[0];
    engine_->process(inL, inR, outL, outR, sampleFrames);
}

void Ambrel::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames)
{
    processBlock(inputs, outputs, sampleFrames);
}

void Ambrel::processDoubleReplacing(double** inputs, double** outputs, VstInt32 sampleFrames)
{
    processBlock(inputs, outputs, sampleFrames);
}
