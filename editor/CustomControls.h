// The plug-in's own controls on top of the toolkit: knobs with their own drag
// law, Ctrl+click reset and double-click typed entry; bitmap switches that
// pick their image by the same thresholds the engine uses, so any host value
// shows the state that sounds; invisible click areas; a static text; the
// typed-entry field; and the frame that commits a typed value on any click
// and sends the wheel to the control under the pointer.
#pragma once

#include "gui/CControl.h"
#include "gui/CFrame.h"

#include <functional>
#include <string>

// Knob drawn from a film strip (one column). Drag: linear over 300 pixels
// (1500 with Shift) or circular after the toolkit's knob mode, Alt swapping
// the two; Ctrl+click restores the default; a double click asks the listener
// for typed entry.
class CAnimKnob2 : public VSTGUI::CAnimKnob {
public:
    CAnimKnob2(const VSTGUI::CRect& size, VSTGUI::CControlListener* listener, long tag, long subPixmaps,
               long heightOfOneImage, VSTGUI::CBitmap* background, const VSTGUI::CPoint& offset = VSTGUI::CPoint());
    ~CAnimKnob2() override;

    void draw(VSTGUI::CDrawContext* context) override;
    void mouse(VSTGUI::CDrawContext* context, VSTGUI::CPoint& where, long buttons = -1) override;
    bool isTypeOf(const char* className) const override;

    // Pixels of a full-range linear drag, without and with Shift.
    static constexpr float kLinearSpan = 300.0f;
    static constexpr float kFineLinearSpan = 1500.0f;

protected:
    // How the knob tells its listener during a drag (CAnimKnob3 reports more often).
    enum class Reporting { kOnChange, kOnMove };
    void track(VSTGUI::CDrawContext* context, const VSTGUI::CPoint& where, long buttons, Reporting reporting);
    // Ctrl+left: the default value, reported when it changed.
    void resetToDefault(VSTGUI::CDrawContext* context);
};

// The Drive knob: its frames run down the first column of the bitmap, then
// down the next, and so on. It also reports every click at once and every
// pointer movement, so the readout shows the knob while it is held.
class CAnimKnob3 : public CAnimKnob2 {
public:
    CAnimKnob3(const VSTGUI::CRect& size, VSTGUI::CControlListener* listener, long tag, long subPixmaps,
               long frameWidth, long heightOfOneImage, VSTGUI::CBitmap* background,
               const VSTGUI::CPoint& offset = VSTGUI::CPoint());
    ~CAnimKnob3() override;

    void draw(VSTGUI::CDrawContext* context) override;
    void mouse(VSTGUI::CDrawContext* context, VSTGUI::CPoint& where, long buttons = -1) override;
    bool isTypeOf(const char* className) const override;

    // Source point in the bitmap of the image for `value`.
    VSTGUI::CPoint sourceForValue(float value) const;

private:
    long frameWidth_;
    long columnHeight_;
    long rowsPerColumn_;
};

// Two images: the upper half below 0.5, the lower half from 0.5 on (the
// threshold at which a switch is on in the engine).
class CMyOnOffButton : public VSTGUI::COnOffButton {
public:
    CMyOnOffButton(const VSTGUI::CRect& size, VSTGUI::CControlListener* listener, long tag,
                   VSTGUI::CBitmap* background, long style = 0);
    ~CMyOnOffButton() override;
    void draw(VSTGUI::CDrawContext* context) override;
    bool isTypeOf(const char* className) const override;
};

// A vertical switch whose image is the band (int)(positions x value): for
// three positions below 1/3, below 2/3 and the rest, as the engine reads it.
class CMyVerticalSwitch : public VSTGUI::CVerticalSwitch {
public:
    CMyVerticalSwitch(const VSTGUI::CRect& size, VSTGUI::CControlListener* listener, long tag, long subPixmaps,
                      long heightOfOneImage, long maxPositions, VSTGUI::CBitmap* background,
                      const VSTGUI::CPoint& offset = VSTGUI::CPoint());
    ~CMyVerticalSwitch() override;
    void draw(VSTGUI::CDrawContext* context) override;
    // Image shown for a value.
    long frameForValue(float value) const;
    bool isTypeOf(const char* className) const override;
};

// The channel-mode button: four zones (left, right, down, up) that set
// 0.33, 0.67, 1 and 0 while the button is held; four images by quarter.
class CMyLRUDButton : public VSTGUI::COnOffButton {
public:
    static constexpr float kLeftValue = 0.33f;
    static constexpr float kRightValue = 0.67f;
    static constexpr float kDownValue = 1.0f;
    static constexpr float kUpValue = 0.0f;

    CMyLRUDButton(const VSTGUI::CRect& size, VSTGUI::CControlListener* listener, long tag,
                  VSTGUI::CBitmap* background, long style = 0);
    ~CMyLRUDButton() override;
    void draw(VSTGUI::CDrawContext* context) override;
    void mouse(VSTGUI::CDrawContext* context, VSTGUI::CPoint& where, long buttons = -1) override;
    // Image (0-3) shown for a value.
    static int frameForValue(float value);
    // The value a pointer at `where` (parent coordinates) selects; `keep`
    // outside every zone.
    float valueForPoint(const VSTGUI::CPoint& where, float keep) const;
    bool isTypeOf(const char* className) const override;
};

// Invisible: a left click toggles its value between 0 and 1 and tells the
// listener (the editor's page switches).
class CViewContainerSwitch : public VSTGUI::CControl {
public:
    CViewContainerSwitch(const VSTGUI::CRect& size, VSTGUI::CControlListener* listener, long tag);
    ~CViewContainerSwitch() override;
    void draw(VSTGUI::CDrawContext* context) override;
    void mouse(VSTGUI::CDrawContext* context, VSTGUI::CPoint& where, long buttons = -1) override;
    bool isTypeOf(const char* className) const override;
};

// Invisible: tells the listener of any click (twice for the left button).
class CClickRect : public VSTGUI::CControl {
public:
    CClickRect(const VSTGUI::CRect& size, VSTGUI::CControlListener* listener, long tag);
    ~CClickRect() override;
    void draw(VSTGUI::CDrawContext* context) override;
    void mouse(VSTGUI::CDrawContext* context, VSTGUI::CPoint& where, long buttons = -1) override;
    bool isTypeOf(const char* className) const override;
};

// A line of black text in the smallest font, left-aligned, no background.
class CLabel2 : public VSTGUI::CParamDisplay {
public:
    static constexpr size_t kMaxText = 255;
    CLabel2(const VSTGUI::CRect& size, const char* text);
    ~CLabel2() override;
    void draw(VSTGUI::CDrawContext* context) override;
    const char* getLabel() const { return text_; }
    bool isTypeOf(const char* className) const override;

private:
    char text_[kMaxText + 1] = {};
};

// The typed-entry field. beginEntry opens the native field for a knob's tag;
// when the field loses the focus (Return, a click elsewhere, Escape) the
// listener's endValueEntry receives the tag and at most 63 characters.
class CMyTextEdit : public VSTGUI::CTextEdit {
public:
    static constexpr size_t kMaxEntry = 63;

    CMyTextEdit(const VSTGUI::CRect& size, VSTGUI::CControlListener* listener, long tag, const char* text = nullptr,
                VSTGUI::CBitmap* background = nullptr, long style = 0);
    ~CMyTextEdit() override;

    virtual void beginEntry(long tag, VSTGUI::CDrawContext* context);
    void looseFocus(VSTGUI::CDrawContext* context = nullptr) override;
    long getEntryTag() const { return entryTag_; }
    bool isTypeOf(const char* className) const override;

private:
    long entryTag_ = -1;
};

// The editor's frame. A click first makes the pending focus view (the
// typed-entry field) lose the focus, so a typed value is committed before
// the click acts; the wheel always goes to the control under the pointer.
class CMyFrame : public VSTGUI::CFrame {
public:
    CMyFrame(const VSTGUI::CRect& size, void* systemWindow, VSTGUI::AEffGUIEditor* editor);
    ~CMyFrame() override;

    void setPendingFocusView(VSTGUI::CView* view) { pendingFocus_ = view; }
    VSTGUI::CView* getPendingFocusView() const { return pendingFocus_; }

    void mouse(VSTGUI::CDrawContext* context, VSTGUI::CPoint& where, long buttons = -1) override;
    using VSTGUI::CFrame::onWheel;
    bool onWheel(VSTGUI::CDrawContext* context, const VSTGUI::CPoint& where, VSTGUI::CMouseWheelAxis axis,
                 float distance) override;
    bool isTypeOf(const char* className) const override;

    // Called with the point (frame coordinates) of a right click on a page's
    // background rather than on a control: the editor's window menu.
    std::function<void(VSTGUI::CPoint where)> backgroundMenu;
    // Whether a view counts as background for that menu.
    static bool isBackground(const VSTGUI::CView* view);

private:
    VSTGUI::CView* pendingFocus_ = nullptr;
};
