// The editor base: a host editor (AEffEditor) drawn with the toolkit. The
// derived editor builds its frame in open() and destroys it in close().
#pragma once

#include "gui/CFrame.h"
#include "host/AEffEditor.h"

#include <cstdint>

namespace VSTGUI {

class AEffGUIEditor : public AEffEditor {
public:
    // Registers itself as the effect's editor (the effect owns it then).
    explicit AEffGUIEditor(AudioEffect* effect);
    ~AEffGUIEditor() override;

    // The rectangle times the display's device scale; true.
    bool getRect(ERect** rect) override;
    // Stores the parent; false without one. A derived editor then creates
    // its CFrame and checks CFrame::isOpen (false when no display is reachable).
    bool open(void* parentWindow) override;
    // Forgets the frame (which destroys the window) if it still exists.
    void close() override;
    // Unless inside doIdleStuff: the frame's idle (events, redraw of dirty views).
    void idle() override;
    bool onKeyDown(VstKeyCode& keyCode) override;
    bool onKeyUp(VstKeyCode& keyCode) override;
    // One knob mode for every editor of the process: 0 circular, 1 relative circular, 2 linear.
    bool setKnobMode(VstInt32 mode) override;
    static long getKnobMode();
    void setParameter(VstInt32 /*index*/, float /*value*/) override {}

    // Host gestures: audioMasterBeginEdit / audioMasterEndEdit.
    virtual void beginEdit(long index);
    virtual void endEdit(long index);

    // Called on every pass of a mouse-tracking loop: at most every 100 ms it
    // runs idle(), one pending paint and the host's idle; in between it
    // waits 4 ms.
    virtual void doIdleStuff();
    bool isInIdleStuff() const { return inIdleStuff_; }

    CFrame* getFrame() const { return frame; }
    // The toolkit's own rectangle (1x pixels).
    const ERect& getUnscaledRect() const { return rect; }

protected:
    ERect rect{0, 0, 0, 0};
    CFrame* frame = nullptr;

private:
    ERect scaledRect_{0, 0, 0, 0};
    uint32_t nextIdleTicks_ = 0;
    bool idleTicksValid_ = false;
    bool inIdleStuff_ = false;
};

} // namespace VSTGUI
