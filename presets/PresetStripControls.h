// The preset strip's three control classes: the file buttons, the memory
// buttons and the previous/next rocker. Each shows a hover highlight that
// the strip sets at idle time. Their film strips hold 14-pixel images
// stacked top to bottom.
#pragma once

#include "gui/CControl.h"

class CPresetSystemListener;

// A file button (load or save, bank or preset). While the left button is
// down it shows its pressed image and runs its file operation, dialog and
// all. Images: 0 rest, 1 highlighted, 2 pressed (a fourth is not used).
class CSaveLoadButton : public VSTGUI::CKickButton {
public:
    enum Kind { kLoadBank = 0, kSaveBank = 1, kLoadPreset = 2, kSavePreset = 3 };

    CSaveLoadButton(const VSTGUI::CRect& size, CPresetSystemListener* listener, long tag, long heightOfOneImage,
                    VSTGUI::CBitmap* background, const VSTGUI::CPoint& offset, int kind);
    ~CSaveLoadButton() override;

    void draw(VSTGUI::CDrawContext* context) override;
    void mouse(VSTGUI::CDrawContext* context, VSTGUI::CPoint& where, long buttons = -1) override;

    // Marks the control for redrawing when the state changes.
    virtual void setHighlight(bool state);
    bool getHighlight() const { return highlight_; }
    int getKind() const { return kind_; }
    // The image the button shows now.
    int imageIndex() const;
    bool isTypeOf(const char* className) const override;

protected:
    bool highlight_ = false;
    int kind_;
    CPresetSystemListener* presetListener_;
};

// A memory button (store or recall A or B). It acts once at mouse-down and
// shows its pressed image until the release; its value never changes.
// Images (a quarter of the bitmap each): 0 rest, 1 highlighted, 2 pressed,
// 3 disabled.
class CPSOnOffButton : public VSTGUI::COnOffButton {
public:
    CPSOnOffButton(const VSTGUI::CRect& size, VSTGUI::CControlListener* listener, long tag,
                   VSTGUI::CBitmap* background);
    ~CPSOnOffButton() override;

    void draw(VSTGUI::CDrawContext* context) override;
    void mouse(VSTGUI::CDrawContext* context, VSTGUI::CPoint& where, long buttons = -1) override;

    virtual void setHighlight(bool state);
    bool getHighlight() const { return highlight_; }
    void setEnabledLook(bool state);
    bool getEnabledLook() const { return enabledLook_; }
    bool isPressed() const { return pressed_; }
    int imageIndex() const;
    bool isTypeOf(const char* className) const override;

protected:
    bool highlight_ = false;
    bool enabledLook_ = true;
    bool pressed_ = false;
};

// Previous/next: a click on the left half steps down, on the right half up.
// Images: 0 rest, 1 left half highlighted, 2 right half highlighted,
// 3 left half pressed (-1), 4 right half pressed (+1).
class CPSRockerSwitch : public VSTGUI::CRockerSwitch {
public:
    enum Highlight { kNone = 0, kLeftHalf = 1, kRightHalf = 2 };

    CPSRockerSwitch(const VSTGUI::CRect& size, CPresetSystemListener* listener, long tag, long heightOfOneImage,
                    VSTGUI::CBitmap* background, const VSTGUI::CPoint& offset, long style);
    ~CPSRockerSwitch() override;

    void draw(VSTGUI::CDrawContext* context) override;
    void mouse(VSTGUI::CDrawContext* context, VSTGUI::CPoint& where, long buttons = -1) override;
    using VSTGUI::CRockerSwitch::onWheel;
    // A wheel notch steps like a click on the half it points to.
    bool onWheel(VSTGUI::CDrawContext* context, const VSTGUI::CPoint& where, VSTGUI::CMouseWheelAxis axis,
                 float distance) override;

    // Which half the pointer (x, y in the parent's coordinates) is over,
    // when `inside`; redrawn when that changes.
    virtual void setHighlight(bool inside, int x, int y);
    int getHighlight() const { return highlight_; }
    const VSTGUI::CRect& leftHalf() const { return leftHalf_; }
    const VSTGUI::CRect& rightHalf() const { return rightHalf_; }
    int imageIndex() const;
    bool isTypeOf(const char* className) const override;

protected:
    CPresetSystemListener* presetListener_;
    int highlight_ = kNone;
    VSTGUI::CRect leftHalf_;
    VSTGUI::CRect rightHalf_;
};
