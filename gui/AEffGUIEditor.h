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
    // Stores the parent; false without one. A frame still open from an
    // earlier open goes first (through close()). A derived editor then
    // creates its CFrame and checks CFrame::isOpen (false when no display is
    // reachable).
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

    // Host gestures: audioMasterBeginEdit / audioMasterEndEdit, for the
    // host's parameters only (editor-only tags are not sent).
    virtual void beginEdit(long index);
    virtual void endEdit(long index);

    // Called on every pass of a mouse-tracking loop. Between runs it waits
    // 4 ms and returns, unless the next run is then less than 50 ms away; a
    // run is idle(), one pending paint and the host's idle (audioMasterIdle,
    // with isInIdleStuff() true, so a host that idles the editor from there
    // draws nothing), and the next run is 100 ms later.
    virtual void doIdleStuff();
    bool isInIdleStuff() const { return inIdleStuff_; }

    // Device scale of a window opened in `parent`: the override when one is
    // set, else what the display asks for.
    int32_t windowScale(void* parent) const;
    // 1 or 2 forces that scale for windows opened from now on (the user's
    // zoom); 0 follows the display again.
    void setScaleOverride(int32_t scale) { scaleOverride_ = (scale == 1 || scale == 2) ? scale : 0; }
    int32_t getScaleOverride() const { return scaleOverride_; }

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
    int32_t scaleOverride_ = 0;
};

} // namespace VSTGUI
