// Controls: a view with a normalized value, a tag and a listener, and the
// toolkit's knobs, buttons, switches, text displays, text field and menu.
//
// setValue may be called from any thread (host automation): it only stores
// the value, which the next idle draws. Everything else belongs to the
// window's thread.
#pragma once

#include "gui/CView.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace VSTGUI {

class CControl;

// Control styles.
inline constexpr long kHorizontal = 1 << 0;
inline constexpr long kVertical = 1 << 1;
inline constexpr long kShadowText = 1 << 2;
inline constexpr long k3DIn = 1 << 3;
inline constexpr long k3DOut = 1 << 4;
inline constexpr long kPopupStyle = 1 << 5;
inline constexpr long kCheckStyle = 1 << 10;
inline constexpr long kMultipleCheckStyle = kCheckStyle | (1 << 9);
inline constexpr long kNoTextStyle = 1 << 11;
inline constexpr long kNoDrawStyle = 1 << 12;
inline constexpr long kNoFrame = 1 << 13;

// Knob modes (AEffGUIEditor::setKnobMode). The knobs drag circularly in
// every mode but linear (relative circular is taken as circular).
inline constexpr long kCircularMode = 0;
inline constexpr long kRelativCircularMode = 1;
inline constexpr long kLinearMode = 2;

class CControlListener {
public:
    virtual ~CControlListener() = default;
    virtual void valueChanged(CDrawContext* context, CControl* control) = 0;
    // Non-zero stops the control from acting on the click.
    virtual long controlModifierClicked(CDrawContext* /*context*/, CControl* /*control*/, long /*button*/)
    {
        return 0;
    }
    virtual void controlBeginEdit(CDrawContext* /*context*/, CControl* /*control*/) {}
    virtual void controlEndEdit(CDrawContext* /*context*/, CControl* /*control*/) {}
};

class CControl : public CView {
public:
    CControl(const CRect& size, CControlListener* listener = nullptr, long tag = 0, CBitmap* background = nullptr);
    ~CControl() override;

    // Any thread (host automation may come from the audio thread): stores
    // the value and marks the control for the next idle; nothing is drawn
    // here. A value that is not a number is ignored.
    virtual void setValue(float value);
    virtual float getValue() const { return value_.load(std::memory_order_relaxed); }
    // The value last drawn.
    virtual void setOldValue(float value) { oldValue_.store(value, std::memory_order_relaxed); }
    virtual float getOldValue() const { return oldValue_.load(std::memory_order_relaxed); }

    virtual void setMin(float value) { min_ = value; }
    virtual float getMin() const { return min_; }
    virtual void setMax(float value) { max_ = value; }
    virtual float getMax() const { return max_; }
    virtual void setDefaultValue(float value) { default_ = value; }
    virtual float getDefaultValue() const { return default_; }
    virtual void setWheelInc(float value) { wheelInc_ = value; }
    virtual float getWheelInc() const { return wheelInc_; }
    virtual void setTag(long tag) { tag_ = tag; }
    long getTag() const { return tag_; }
    virtual void setListener(CControlListener* listener) { listener_ = listener; }
    CControlListener* getListener() const { return listener_; }
    virtual void setBackOffset(const CPoint& offset)
    {
        backOffset_ = offset;
        setDirty(true);
    }
    const CPoint& getBackOffset() const { return backOffset_; }

    // Limits the value to [minimum, maximum].
    virtual void bounceValue();
    // Buttons exactly Ctrl + left: begin edit, default value, valueChanged
    // when it changed, end edit; true then.
    virtual bool checkDefaultValue(CDrawContext* context, long button);
    // True when the previous click on this control was less than the
    // double-click interval (the system's, at least 250 ms) ago; a double
    // click clears the remembered click, any other click records it.
    virtual bool isDoubleClick();
    uint32_t getDoubleClickInterval() const { return doubleClickInterval_; }
    // Lets the editor idle and the window repaint while the mouse is tracked.
    virtual void doIdleStuff();
    // Makes the control the frame's focus view and brackets a gesture for the host.
    virtual void beginEdit();
    virtual void endEdit();

    // Dirty when the value differs from the value last drawn, or when marked.
    // setDirty(false) also takes the value as drawn.
    void setDirty(bool state = true) override;
    bool isDirty() const override;
    void finishDraw() override;
    bool isTypeOf(const char* className) const override;

protected:
    // The button state to act on: `buttons`, or the current one for -1.
    long resolveButtons(CDrawContext* context, long buttons) const;
    // A press this control acts on: the mouse is enabled and the left button
    // is down. `buttons` becomes the state, read now when it was -1.
    bool leftPress(CDrawContext* context, long& buttons) const;
    // The button state and pointer (parent coordinates) at the moment of asking.
    long currentButtons(CDrawContext* context) const;
    void currentLocation(CDrawContext* context, CPoint& where);
    // Shift, Ctrl or Alt held and the listener answered non-zero.
    bool modifierClickStops(CDrawContext* context, long buttons);
    // Tells the listener, if there is one.
    void notifyValueChanged(CDrawContext* context);
    // Follows a press until it ends, letting the editor idle between reads:
    // while the control is in its frame and held(buttons) is true,
    // step(where, buttons) acts; then `where` takes the pointer (parent
    // coordinates), the editor idles (doIdleStuff) and the buttons are read
    // again. `buttons` is the press's state, or -1 to read it first.
    template <typename Held, typename Step>
    void trackMouse(CDrawContext* context, CPoint& where, long buttons, Held held, Step step)
    {
        while (frame_) {
            if (buttons == -1)
                buttons = currentButtons(context);
            if (!held(buttons))
                break;
            step(where, buttons);
            currentLocation(context, where);
            doIdleStuff();
            buttons = -1;
        }
    }
    static bool leftButtonHeld(long buttons) { return (buttons & kLButton) != 0; }
    // Lets the editor idle until the left button is released.
    void waitForRelease(CDrawContext* context);
    // Draws the background bitmap into the rectangle from `source`,
    // transparently when the control's transparency is on.
    void drawBackgroundFrom(CDrawContext* context, const CPoint& source);

    CControlListener* listener_;
    long tag_;
    std::atomic<float> value_{0.0f};
    std::atomic<float> oldValue_{1.0f};
    float default_ = 0.5f;
    float min_ = 0.0f;
    float max_ = 1.0f;
    float wheelInc_ = 0.1f;
    int64_t lastClickTime_ = -1;
    uint32_t doubleClickInterval_ = 250;
    CPoint backOffset_;
};

// A round knob: the background bitmap with a drawn handle line (or the
// handle bitmap). A left-button drag, bracketed by beginEdit/endEdit, with
// the listener told of every change:
// - circular (knob mode not linear, or linear with Alt): the value follows
//   the pointer's angle (valueFromPoint); a move of more than half the range
//   at once (across the gap at the bottom) pins it to the end it came from;
// - linear (knob mode linear, or circular with Alt): 200 pixels cover the
//   range, 200 x the zoom factor with Shift; the distance is right plus up.
//   A modifier pressed or released mid-drag keeps the value where it is.
// A modifier click is first offered to the listener; Ctrl+left restores the
// default value.
class CKnob : public CControl {
public:
    CKnob(const CRect& size, CControlListener* listener, long tag, CBitmap* background, CBitmap* handle,
          const CPoint& offset = CPoint());
    ~CKnob() override;

    void draw(CDrawContext* context) override;
    void mouse(CDrawContext* context, CPoint& where, long buttons = -1) override;
    using CControl::onWheel;
    // Vertical wheel: the wheel step per notch, a tenth of it with Shift.
    bool onWheel(CDrawContext* context, const CPoint& where, CMouseWheelAxis axis, float distance) override;

    // The value for a point relative to the knob's top-left corner: angle
    // around the centre from the start angle (225 degrees, lower left)
    // clockwise over the range (270 degrees); the gap at the bottom gives
    // the nearer end.
    virtual float valueFromPoint(CPoint& point) const;
    // Handle end point for a value, relative to the top-left corner.
    virtual void valueToPoint(CPoint& point) const;

    void setStartAngle(float radians) { startAngle_ = radians; }
    float getStartAngle() const { return startAngle_; }
    void setRangeAngle(float radians) { rangeAngle_ = radians; }
    float getRangeAngle() const { return rangeAngle_; }
    // Linear drags are this many times finer with Shift (1.5 by default).
    void setZoomFactor(float factor) { zoomFactor_ = factor; }
    float getZoomFactor() const { return zoomFactor_; }
    void setInsetValue(long inset) { inset_ = inset; }
    void setColorHandle(const CColor& color) { colorHandle_ = color; }
    CBitmap* getHandleBitmap() const { return handle_; }
    const CPoint& getOffset() const { return offset_; }
    bool isTypeOf(const char* className) const override;

protected:
    // One step of a circular drag to `where` (parent coordinates): the value
    // at the pointer's angle, or the end it came from when the pointer
    // crossed the gap (a jump of more than half the range). `followed` is
    // the angle's value the last time the knob followed it.
    void followAngle(const CPoint& where, float& followed);

    CBitmap* handle_;
    CPoint offset_;
    float startAngle_;
    float rangeAngle_;
    float zoomFactor_ = 1.5f;
    long inset_ = 3;
    CColor colorHandle_ = kWhiteCColor;
};

// A knob drawn from a film strip of `subPixmaps` images of `heightOfOneImage`.
class CAnimKnob : public CKnob {
public:
    CAnimKnob(const CRect& size, CControlListener* listener, long tag, long subPixmaps, long heightOfOneImage,
              CBitmap* background, const CPoint& offset = CPoint());
    ~CAnimKnob() override;

    void draw(CDrawContext* context) override;
    void setInverseBitmap(bool state) { inverseBitmap_ = state; }
    long getNumSubPixmaps() const { return subPixmaps_; }
    long getHeightOfOneImage() const { return heightOfOneImage_; }
    void setHeightOfOneImage(long height) { heightOfOneImage_ = height; }
    // Vertical offset into the strip of the image for `value`.
    long frameOffsetForValue(float value) const;
    bool isTypeOf(const char* className) const override;

protected:
    long subPixmaps_;
    long heightOfOneImage_;
    bool inverseBitmap_ = false;
};

// COnOffButton styles: tell the listener at the click, or after the release.
inline constexpr long kPreListenerUpdate = 0;
inline constexpr long kPostListenerUpdate = 1;

// Toggles between 0 and 1 on a left click; the lower half of the bitmap
// shows any value other than 0.
class COnOffButton : public CControl {
public:
    COnOffButton(const CRect& size, CControlListener* listener, long tag, CBitmap* background, long style = 0);
    ~COnOffButton() override;

    void draw(CDrawContext* context) override;
    void mouse(CDrawContext* context, CPoint& where, long buttons = -1) override;
    long getStyle() const { return style_; }
    bool isTypeOf(const char* className) const override;

protected:
    long style_;
};

// 1 while pressed with the pointer inside, back to 0 on release.
class CKickButton : public CControl {
public:
    CKickButton(const CRect& size, CControlListener* listener, long tag, long heightOfOneImage, CBitmap* background,
                const CPoint& offset = CPoint());
    ~CKickButton() override;

    void draw(CDrawContext* context) override;
    void mouse(CDrawContext* context, CPoint& where, long buttons = -1) override;
    long getHeightOfOneImage() const { return heightOfOneImage_; }
    const CPoint& getOffset() const { return offset_; }
    bool isTypeOf(const char* className) const override;

protected:
    long heightOfOneImage_;
    CPoint offset_;
};

// -1 while the first half is pressed, +1 for the second half, 0 at rest.
// Images: 0 rest, 1 -1, 2 +1. kHorizontal splits left/right, kVertical top/bottom.
class CRockerSwitch : public CControl {
public:
    CRockerSwitch(const CRect& size, CControlListener* listener, long tag, long heightOfOneImage,
                  CBitmap* background, const CPoint& offset = CPoint(), long style = kHorizontal);
    ~CRockerSwitch() override;

    void draw(CDrawContext* context) override;
    void mouse(CDrawContext* context, CPoint& where, long buttons = -1) override;
    using CControl::onWheel;
    // A notch away from the user is the second half (+1), towards the user
    // the first (-1); the value returns to 0 afterwards.
    bool onWheel(CDrawContext* context, const CPoint& where, CMouseWheelAxis axis, float distance) override;
    long getHeightOfOneImage() const { return heightOfOneImage_; }
    const CPoint& getOffset() const { return offset_; }
    long getStyle() const { return style_; }
    bool isTypeOf(const char* className) const override;

protected:
    long heightOfOneImage_;
    CPoint offset_;
    long style_;
};

// A switch of `maxPositions` bands stacked top to bottom.
class CVerticalSwitch : public CControl {
public:
    CVerticalSwitch(const CRect& size, CControlListener* listener, long tag, long subPixmaps, long heightOfOneImage,
                    long maxPositions, CBitmap* background, const CPoint& offset = CPoint());
    ~CVerticalSwitch() override;

    void draw(CDrawContext* context) override;
    void mouse(CDrawContext* context, CPoint& where, long buttons = -1) override;
    long getNumSubPixmaps() const { return subPixmaps_; }
    long getHeightOfOneImage() const { return heightOfOneImage_; }
    long getMaxPositions() const { return maxPositions_; }
    const CPoint& getOffset() const { return offset_; }
    bool isTypeOf(const char* className) const override;

protected:
    long subPixmaps_;
    long heightOfOneImage_;
    long maxPositions_;
    CPoint offset_;
};

// Shows the value as text over its background. Every setter of its look
// marks it for redrawing at the next idle.
class CParamDisplay : public CControl {
public:
    using StringConvert = void (*)(float value, char* text);
    using StringConvertWithData = void (*)(float value, char* text, void* userData);

    CParamDisplay(const CRect& size, CBitmap* background = nullptr, long style = 0);
    ~CParamDisplay() override;

    void draw(CDrawContext* context) override;

    virtual void setFont(long fontId)
    {
        fontId_ = validFontId(static_cast<int32_t>(fontId));
        setDirty(true);
    }
    long getFont() const { return fontId_; }
    virtual void setFontColor(const CColor& color)
    {
        fontColor_ = color;
        setDirty(true);
    }
    CColor getFontColor() const { return fontColor_; }
    virtual void setBackColor(const CColor& color)
    {
        backColor_ = color;
        setDirty(true);
    }
    CColor getBackColor() const { return backColor_; }
    virtual void setFrameColor(const CColor& color)
    {
        frameColor_ = color;
        setDirty(true);
    }
    CColor getFrameColor() const { return frameColor_; }
    virtual void setShadowColor(const CColor& color)
    {
        shadowColor_ = color;
        setDirty(true);
    }
    CColor getShadowColor() const { return shadowColor_; }
    // 0 left, 1 centre, 2 right.
    virtual void setHoriAlign(long align)
    {
        horiAlign_ = align;
        setDirty(true);
    }
    long getHoriAlign() const { return horiAlign_; }
    // The text for a value; "%2.2f" of the value without a converter.
    virtual void setStringConvert(StringConvert convert);
    virtual void setStringConvert(StringConvertWithData convert, void* userData);
    // The text the display shows for `value` (at most 255 characters).
    void valueToText(float value, char* text) const;
    virtual void setStyle(long style)
    {
        style_ = style;
        setDirty(true);
    }
    long getStyle() const { return style_; }
    virtual void setTxtFace(long face)
    {
        txtFace_ = face;
        setDirty(true);
    }
    long getTxtFace() const { return txtFace_; }
    // With transparency, no background is drawn behind the text.
    virtual void setTextTransparency(bool state)
    {
        textTransparent_ = state;
        setDirty(true);
    }
    bool getTextTransparency() const { return textTransparent_; }
    bool isTypeOf(const char* className) const override;

protected:
    // Background (unless kNoDrawStyle) and then `text` (unless kNoTextStyle).
    void drawText(CDrawContext* context, const char* text, CBitmap* newBack = nullptr);

    StringConvert stringConvert_ = nullptr;
    StringConvertWithData stringConvertWithData_ = nullptr;
    void* userData_ = nullptr;
    long fontId_ = kNormalFontSmall;
    long txtFace_ = kNormalFace;
    long horiAlign_ = kCenterText;
    long style_;
    CColor fontColor_ = kWhiteCColor;
    CColor backColor_ = kBlackCColor;
    CColor frameColor_ = kBlackCColor;
    CColor shadowColor_ = kRedCColor;
    bool textTransparent_ = false;
};

// A text display that opens a native single-line field when it takes the
// focus (a click). Return or losing the keyboard focus closes it and keeps
// the text; Escape closes it and keeps the old text. At most 255 characters.
class CTextEdit : public CParamDisplay {
public:
    static constexpr size_t kMaxLength = 255;

    CTextEdit(const CRect& size, CControlListener* listener, long tag, const char* text = nullptr,
              CBitmap* background = nullptr, long style = 0);
    ~CTextEdit() override;

    virtual void setText(const char* text);
    // Copies the text, zero-terminated, into `text` (room for 256 bytes).
    virtual void getText(char* text) const;
    const std::string& getText() const { return text_; }

    void draw(CDrawContext* context) override;
    void mouse(CDrawContext* context, CPoint& where, long buttons = -1) override;
    long onKeyDown(VstKeyCode& keyCode) override;
    long onKeyUp(VstKeyCode& keyCode) override;
    void takeFocus(CDrawContext* context = nullptr) override;
    void looseFocus(CDrawContext* context = nullptr) override;
    void setParents(CFrame* frame, CViewContainer* parent) override;

    bool isEditing() const { return field_ != nullptr; }
    // True when the last editing ended with Escape (the text was kept).
    bool wasCancelled() const { return cancelled_; }
    // What the field would look like: its rectangle (window coordinates) and style.
    TextFieldSpec fieldSpec() const;
    bool isTypeOf(const char* className) const override;

protected:
    // The field closed itself (Return, Escape, focus loss).
    void fieldClosed(bool commit);
    void closeField(bool commit);

    class FieldListener : public PlatformTextFieldListener {
    public:
        explicit FieldListener(CTextEdit& owner) : owner_(owner) {}
        void textFieldClosed(bool commit) override { owner_.fieldClosed(commit); }

    private:
        CTextEdit& owner_;
    };

    std::string text_;
    std::unique_ptr<PlatformTextField> field_;
    FieldListener fieldListener_{*this};
    bool closing_ = false;
    bool cancelled_ = false;
};

// A pop-up menu. Entries: "-" a separator, "-M<title>" a submenu (added
// with addEntry(COptionMenu*, title)), "-G<text>" greyed, "-T<text>" a
// title; any other text a normal entry, which can carry a check mark: the
// current entry with kCheckStyle, each entry's own mark with
// kMultipleCheckStyle (a choice toggles it). The chosen entry becomes the
// current one and the value (its index, separators counted); the listener
// hears of every choice, between beginEdit and endEdit. kNoDrawStyle: the
// control draws nothing (a hot spot over the background).
class COptionMenu : public CParamDisplay {
public:
    static constexpr long kMaxEntries = 1024;
    static constexpr size_t kMaxEntryLength = 255;

    COptionMenu(const CRect& size, CControlListener* listener, long tag, CBitmap* background = nullptr,
                CBitmap* bgWhenClick = nullptr, long style = 0);
    ~COptionMenu() override;

    // Inserts before `index`, or appends (index -1 or past the end). False
    // when the menu is full. Longer texts are cut to 255 bytes (never inside
    // a UTF-8 character).
    virtual bool addEntry(const char* text, long index = -1);
    // Appends a submenu entry (remembered): "-M<title>", or numbered with
    // the prefix mode (setPrefixNumbers 2, 3 or 4).
    virtual bool addEntry(COptionMenu* submenu, const char* title);
    virtual bool setEntry(long index, const char* text);
    // The same for texts that must show as they are (names a user typed):
    // never a separator, submenu, greyed or title entry.
    virtual bool addPlainEntry(const char* text, long index = -1);
    virtual bool setPlainEntry(long index, const char* text);
    virtual bool removeEntry(long index);
    virtual bool removeAllEntry();
    long getNbEntries() const { return static_cast<long>(entries_.size()); }
    // The entry's text without its prefix; false for an index out of range.
    virtual bool getEntry(long index, char* text) const;
    std::string getEntryText(long index) const;
    // The raw stored entry, prefix included.
    const std::string& getRawEntry(long index) const;

    // The current entry, with separators counted or not.
    virtual bool setCurrent(long index, bool countSeparator = true);
    virtual long getCurrent(char* text = nullptr, bool countSeparator = true) const;
    long getIndex(long countedIndex) const; // separator-free index to full index
    virtual bool checkEntry(long index, bool checked);
    virtual bool checkEntryAlone(long index);
    virtual bool isCheckEntry(long index) const;

    // A column break every `count` entries (only while there are fewer than 160).
    void setNbItemsPerColumn(long count) { itemsPerColumn_ = count; }
    long getNbItemsPerColumn() const { return itemsPerColumn_; }
    // 0 or 1: plain submenu titles; 2, 3, 4: the entry number with 1, 2 or 3 digits in front.
    void setPrefixNumbers(long mode) { prefixNumbers_ = mode; }
    long getPrefixNumbers() const { return prefixNumbers_; }

    COptionMenu* getSubMenu(long index) const;
    long getNbSubMenus() const;
    // The menu whose entry was chosen last (this one or a submenu) and the
    // index in it; null when the last popup was cancelled.
    COptionMenu* getLastItemMenu(long& indexInMenu) const;
    long getLastResult() const { return lastResult_; }

    // The model handed to the platform; submenus become child models kept
    // in `submenus`.
    void buildMenuModel(MenuModel& model, std::vector<std::unique_ptr<MenuModel>>& submenus,
                        std::vector<std::pair<const MenuModel*, const COptionMenu*>>* map = nullptr) const;
    // Takes a choice made in a model built by buildMenuModel: sets the
    // current entry and value of the menu concerned. False when cancelled.
    bool applyMenuResult(const MenuResult& result,
                         const std::vector<std::pair<const MenuModel*, const COptionMenu*>>& map);

    // Shows the menu at the control and tracks it; true when an entry was chosen.
    virtual bool popup(CDrawContext* context);

    void draw(CDrawContext* context) override;
    void mouse(CDrawContext* context, CPoint& where, long buttons = -1) override;
    bool isTypeOf(const char* className) const override;

protected:
    struct Entry {
        std::string text; // as stored, prefix included
        bool plain = false; // shown as it is, prefixes mean nothing
        bool checked = false;
        COptionMenu* submenu = nullptr; // remembered
    };
    enum class Kind { kNormal, kSeparator, kSubmenu, kGreyed, kTitle };
    static Kind kindOf(const Entry& entry);
    bool isSeparatorAt(long index) const;
    bool storeEntry(long index, const char* text, bool plain);

    std::vector<Entry> entries_;
    long current_ = -1;
    long itemsPerColumn_ = 0;
    long prefixNumbers_ = 0;
    long lastResult_ = -1;
    const COptionMenu* lastMenu_ = nullptr;
    long lastIndexInMenu_ = -1;
    CBitmap* bgWhenClick_;
};

} // namespace VSTGUI
