// Base of a plug-in editor as the host binding sees it: a window the host
// asks for, opens into its own parent window, idles and closes.
#pragma once

#include "host/vst2abi.h"

class AudioEffect;

class AEffEditor {
public:
    explicit AEffEditor(AudioEffect* effect) : effect_(effect) {}
    virtual ~AEffEditor() = default;

    AEffEditor(const AEffEditor&) = delete;
    AEffEditor& operator=(const AEffEditor&) = delete;

    virtual bool getRect(ERect** rect)
    {
        if (rect)
            *rect = nullptr;
        return false;
    }
    virtual bool open(void* parentWindow)
    {
        systemWindow_ = parentWindow;
        return false;
    }
    virtual void close() { systemWindow_ = nullptr; }
    virtual void idle() {}
    virtual bool onKeyDown(VstKeyCode& /*keyCode*/) { return false; }
    virtual bool onKeyUp(VstKeyCode& /*keyCode*/) { return false; }
    virtual bool setKnobMode(VstInt32 /*mode*/) { return false; }
    // Moves the control bound to a parameter index.
    virtual void setParameter(VstInt32 /*index*/, float /*value*/) {}

    AudioEffect* getEffect() const { return effect_; }
    void* getSystemWindow() const { return systemWindow_; }

protected:
    AudioEffect* effect_;
    void* systemWindow_ = nullptr;
};
