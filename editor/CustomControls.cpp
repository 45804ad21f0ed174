#include "editor/CustomControls.h"

#include "gui/AEffGUIEditor.h"
#include "presets/CPresetSystemEditor.h"

#include <algorithm>
#include <cstring>

using namespace VSTGUI;

namespace {

bool isClass(const char* className, const char* name) { return className && std::strcmp(className, name) == 0; }

// The typed-entry half of the listener interface, when the listener has it.
CPresetSystemListener* entryListener(CControlListener* listener)
{
    return dynamic_cast<CPresetSystemListener*>(listener);
}

constexpr long kAnyButton = kLButton | kMButton | kRButton;

} // namespace

// --- CAnimKnob2 ----------------------------------------------------------------

CAnimKnob2::CAnimKnob2(const CRect& size, CControlListener* listener, long tag, long subPixmaps,
                       long heightOfOneImage, CBitmap* background, const CPoint& offset)
    : CAnimKnob(size, listener, tag, subPixmaps, heightOfOneImage, background, offset)
{
}

CAnimKnob2::~CAnimKnob2() = default;

void CAnimKnob2::draw(CDrawContext* context) { CAnimKnob::draw(context); }

void CAnimKnob2::resetToDefault(CDrawContext* context)
{
    const float before = getValue();
    setValue(getDefaultValue());
    if (getValue() != before || isDirty())
        notifyValueChanged(context);
}

void CAnimKnob2::mouse(CDrawContext* context, CPoint& where, long buttons)
{
    if (!leftPress(context, buttons))
        return;
    if (buttons == (kControl | kLButton)) {
        isDoubleClick(); // a reset counts as a click for the double-click timing
        resetToDefault(context);
        return;
    }
    if (isDoubleClick()) {
        if (CPresetSystemListener* entry = entryListener(listener_))
            entry->beginValueEntry(tag_);
        return;
    }
    track(context, where, buttons, Reporting::kOnChange);
}

void CAnimKnob2::track(CDrawContext* context, const CPoint& where, long buttons, Reporting reporting)
{
    remember();
    const float range = max_ - min_;
    const bool linear = (frame_ && frame_->getKnobMode() == kLinearMode) != ((buttons & kAlt) != 0);
    auto coefficientFor = [range](long state) {
        return range / ((state & kShift) ? kFineLinearSpan : kLinearSpan);
    };

    float entryValue = getValue();
    float coefficient = coefficientFor(buttons);
    CPoint pressLocal(where.h - size_.left, where.v - size_.top);
    float old = valueFromPoint(pressLocal);

    // The value is unchanged here; the listener learns which knob is held.
    notifyValueChanged(context);
    CPoint p;
    currentLocation(context, p);
    doIdleStuff();
    beginEdit();

    CPoint previous = where;
    long previousButtons = buttons;
    long distance2 = 0; // drag distance in half units: up counts two, right one
    float reported = getValue();
    trackMouse(context, p, -1, leftButtonHeld, [&](const CPoint& p, long state) {
        const bool moved = p.h != previous.h || p.v != previous.v;
        if (linear) {
            distance2 += 2 * static_cast<long>(previous.v - p.v) + static_cast<long>(p.h - previous.h);
            const float d = static_cast<float>(distance2) * 0.5f;
            if (state != previousButtons) {
                // Shift pressed or released mid-drag: the knob stays where it
                // is and goes on at the new speed.
                const float newCoefficient = coefficientFor(state);
                entryValue += d * (coefficient - newCoefficient);
                coefficient = newCoefficient;
            }
            setValue(std::clamp(entryValue + d * coefficient, min_, max_));
        } else {
            followAngle(p, old);
        }
        previous = p;
        previousButtons = state;
        if (getValue() != reported || (reporting == Reporting::kOnMove && moved)) {
            reported = getValue();
            notifyValueChanged(context);
        }
    });
    endEdit();
    forget();
}

bool CAnimKnob2::isTypeOf(const char* className) const
{
    return isClass(className, "CAnimKnob2") || CAnimKnob::isTypeOf(className);
}

// --- CAnimKnob3 ----------------------------------------------------------------

CAnimKnob3::CAnimKnob3(const CRect& size, CControlListener* listener, long tag, long subPixmaps, long frameWidth,
                       long heightOfOneImage, CBitmap* background, const CPoint& offset)
    : CAnimKnob2(size, listener, tag, subPixmaps, heightOfOneImage, background, offset), frameWidth_(frameWidth),
      columnHeight_(background ? background->getHeight() : 0),
      rowsPerColumn_(heightOfOneImage > 0 ? columnHeight_ / heightOfOneImage : 0)
{
}

CAnimKnob3::~CAnimKnob3() = default;

CPoint CAnimKnob3::sourceForValue(float value) const
{
    // The offset in a virtual single-column strip, folded into columns of
    // whole images.
    const long b = frameOffsetForValue(value);
    const long column = rowsPerColumn_ > 0 ? b / (rowsPerColumn_ * heightOfOneImage_) : 0;
    const long row = b - column * rowsPerColumn_ * heightOfOneImage_;
    return CPoint(offset_.h + static_cast<int32_t>(column * frameWidth_), offset_.v + static_cast<int32_t>(row));
}

void CAnimKnob3::draw(CDrawContext* context)
{
    if (background_)
        drawBackgroundFrom(context, sourceForValue(getValue()));
    setDirty(false);
}

void CAnimKnob3::mouse(CDrawContext* context, CPoint& where, long buttons)
{
    if (!leftPress(context, buttons))
        return;
    notifyValueChanged(context); // the readout shows Drive from the first click on
    if (buttons == (kControl | kLButton)) {
        resetToDefault(context);
        return;
    }
    if (isDoubleClick()) {
        if (CPresetSystemListener* entry = entryListener(listener_))
            entry->beginValueEntry(tag_);
        return;
    }
    track(context, where, buttons, Reporting::kOnMove);
}

bool CAnimKnob3::isTypeOf(const char* className) const
{
    return isClass(className, "CAnimKnob3") || CAnimKnob2::isTypeOf(className);
}

// --- CMyOnOffButton ------------------------------------------------------------

CMyOnOffButton::CMyOnOffButton(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
                               long style)
    : COnOffButton(size, listener, tag, background, style)
{
}

CMyOnOffButton::~CMyOnOffButton() = default;

void CMyOnOffButton::draw(CDrawContext* context)
{
    if (background_) {
        const int32_t off = getValue() >= 0.5f ? background_->getHeight() / 2 : 0;
        drawBackgroundFrom(context, CPoint(0, off));
    }
    setDirty(false);
}

bool CMyOnOffButton::isTypeOf(const char* className) const
{
    return isClass(className, "CMyOnOffButton") || COnOffButton::isTypeOf(className);
}

// --- CMyVerticalSwitch ---------------------------------------------------------

CMyVerticalSwitch::CMyVerticalSwitch(const CRect& size, CControlListener* listener, long tag, long subPixmaps,
                                     long heightOfOneImage, long maxPositions, CBitmap* background,
                                     const CPoint& offset)
    : CVerticalSwitch(size, listener, tag, subPixmaps, heightOfOneImage, maxPositions, background, offset)
{
}

CMyVerticalSwitch::~CMyVerticalSwitch() = default;

long CMyVerticalSwitch::frameForValue(float value) const
{
    const long last = std::max<long>(std::min(maxPositions_, subPixmaps_) - 1, 0);
    if (!(value > 0.0f))
        return 0;
    return std::min(static_cast<long>(static_cast<float>(maxPositions_) * value), last);
}

void CMyVerticalSwitch::draw(CDrawContext* context)
{
    if (background_) {
        const long frame = frameForValue(getValue());
        drawBackgroundFrom(context, CPoint(offset_.h, offset_.v + static_cast<int32_t>(frame * heightOfOneImage_)));
    }
    setDirty(false);
}

bool CMyVerticalSwitch::isTypeOf(const char* className) const
{
    return isClass(className, "CMyVerticalSwitch") || CVerticalSwitch::isTypeOf(className);
}

// --- CMyLRUDButton -------------------------------------------------------------

CMyLRUDButton::CMyLRUDButton(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
                             long style)
    : COnOffButton(size, listener, tag, background, style)
{
}

CMyLRUDButton::~CMyLRUDButton() = default;

int CMyLRUDButton::frameForValue(float value)
{
    if (value >= 0.75f)
        return 3;
    if (value >= 0.5f)
        return 2;
    if (value >= 0.25f)
        return 1;
    return 0;
}

void CMyLRUDButton::draw(CDrawContext* context)
{
    if (background_) {
        const int32_t quarter = background_->getHeight() / 4;
        drawBackgroundFrom(context, CPoint(0, frameForValue(getValue()) * quarter));
    }
    setDirty(false);
}

float CMyLRUDButton::valueForPoint(const CPoint& where, float keep) const
{
    const int32_t l = size_.left, t = size_.top, r = size_.right, b = size_.bottom;
    const int32_t q = (r - l) / 4, rr = (b - t) / 4, h = (b - t) / 2;
    const int32_t x = where.h, y = where.v;
    if (x >= l && x <= l + q && y >= t + rr && y <= b - rr)
        return kLeftValue;
    if (x >= r - q && x <= r && y >= t + rr && y <= b - rr)
        return kRightValue;
    if (x >= l + q && x <= r - q && y >= b - h && y <= b)
        return kDownValue;
    if (x >= l + q && x <= r - q && y >= t && y <= t + h)
        return kUpValue;
    return keep;
}

void CMyLRUDButton::mouse(CDrawContext* context, CPoint& where, long buttons)
{
    if (!mouseEnabled_)
        return;
    buttons = resolveButtons(context, buttons);
    if (modifierClickStops(context, buttons))
        return;
    if (!(buttons & kLButton))
        return;
    remember();
    const float pressed = getValue();
    beginEdit();
    CPoint p = where;
    float reported = getValue();
    auto anyHeld = [](long state) { return (state & kAnyButton) != 0; };
    trackMouse(context, p, buttons, anyHeld, [&](const CPoint& p, long) {
        setValue(valueForPoint(p, pressed));
        if (getValue() != reported) {
            reported = getValue();
            notifyValueChanged(context);
        }
    });
    notifyValueChanged(context);
    endEdit();
    forget();
}

bool CMyLRUDButton::isTypeOf(const char* className) const
{
    return isClass(className, "CMyLRUDButton") || COnOffButton::isTypeOf(className);
}

// --- CViewContainerSwitch ------------------------------------------------------

CViewContainerSwitch::CViewContainerSwitch(const CRect& size, CControlListener* listener, long tag)
    : CControl(size, listener, tag, nullptr)
{
}

CViewContainerSwitch::~CViewContainerSwitch() = default;

void CViewContainerSwitch::draw(CDrawContext* /*context*/) { setDirty(false); }

void CViewContainerSwitch::mouse(CDrawContext* context, CPoint& /*where*/, long buttons)
{
    if (!leftPress(context, buttons))
        return;
    setValue(getValue() == 0.0f ? 1.0f : 0.0f);
    notifyValueChanged(context);
}

bool CViewContainerSwitch::isTypeOf(const char* className) const
{
    return isClass(className, "CViewContainerSwitch") || CControl::isTypeOf(className);
}

// --- CClickRect ----------------------------------------------------------------

CClickRect::CClickRect(const CRect& size, CControlListener* listener, long tag) : CControl(size, listener, tag, nullptr)
{
}

CClickRect::~CClickRect() = default;

void CClickRect::draw(CDrawContext* /*context*/) { setDirty(false); }

void CClickRect::mouse(CDrawContext* context, CPoint& /*where*/, long buttons)
{
    if (!mouseEnabled_)
        return;
    buttons = resolveButtons(context, buttons);
    notifyValueChanged(context);
    if (buttons & kLButton)
        notifyValueChanged(context);
}

bool CClickRect::isTypeOf(const char* className) const
{
    return isClass(className, "CClickRect") || CControl::isTypeOf(className);
}

// --- CLabel2 -------------------------------------------------------------------

CLabel2::CLabel2(const CRect& size, const char* text) : CParamDisplay(size, nullptr, 0)
{
    if (text) {
        std::strncpy(text_, text, kMaxText);
        text_[kMaxText] = 0;
    }
    setDirty(true);
}

CLabel2::~CLabel2() = default;

void CLabel2::draw(CDrawContext* context)
{
    if (context) {
        context->setFont(kNormalFontVerySmall, 0, kNormalFace);
        context->setFontColor(kBlackCColor);
        context->drawString(text_, size_, false, kLeftText);
    }
    setDirty(false);
}

bool CLabel2::isTypeOf(const char* className) const
{
    return isClass(className, "CLabel2") || CParamDisplay::isTypeOf(className);
}

// --- CMyTextEdit ---------------------------------------------------------------

CMyTextEdit::CMyTextEdit(const CRect& size, CControlListener* listener, long tag, const char* text,
                         CBitmap* background, long style)
    : CTextEdit(size, listener, tag, text, background, style)
{
}

CMyTextEdit::~CMyTextEdit() = default;

void CMyTextEdit::beginEntry(long tag, CDrawContext* context)
{
    entryTag_ = tag;
    if (frame_ && frame_->getFocusView() != this)
        beginEdit();
    takeFocus(context);
}

void CMyTextEdit::looseFocus(CDrawContext* context)
{
    CTextEdit::looseFocus(context);
    if (entryTag_ < 0)
        return;
    // The entry ends here, whatever the listener does next (it detaches the
    // field, which may bring a second looseFocus).
    const long tag = entryTag_;
    entryTag_ = -1;
    char text[kMaxEntry + 1];
    std::strncpy(text, getText().c_str(), kMaxEntry);
    text[kMaxEntry] = 0;
    if (CPresetSystemListener* entry = entryListener(listener_)) {
        remember();
        entry->endValueEntry(tag, text);
        forget();
    }
}

bool CMyTextEdit::isTypeOf(const char* className) const
{
    return isClass(className, "CMyTextEdit") || CTextEdit::isTypeOf(className);
}

// --- CMyFrame ------------------------------------------------------------------

CMyFrame::CMyFrame(const CRect& size, void* systemWindow, AEffGUIEditor* editor) : CFrame(size, systemWindow, editor)
{
}

CMyFrame::~CMyFrame() { pendingFocus_ = nullptr; }

void CMyFrame::mouse(CDrawContext* context, CPoint& where, long buttons)
{
    if (CView* pending = pendingFocus_) {
        pendingFocus_ = nullptr;
        pending->remember();
        pending->looseFocus(context);
        pending->forget();
    }
    // The state is read once here and handed on, so the control sees the
    // same buttons as this check.
    if (buttons == -1)
        buttons = context ? context->getMouseButtons() : getMouseButtons();
    if (backgroundMenu && isOpen() && (buttons & kRButton) && !(buttons & kLButton) &&
        isBackground(getViewAt(where, true))) {
        setFocusView(nullptr);
        remember();
        backgroundMenu(where);
        forget();
        return;
    }
    CFrame::mouse(context, where, buttons);
}

bool CMyFrame::isBackground(const CView* view)
{
    return !view || view->isContainer() || view->isTypeOf("CViewContainerSwitch") || view->isTypeOf("CLabel2") ||
           (view->isTypeOf("CParamDisplay") && !view->isTypeOf("CTextEdit") && !view->isTypeOf("COptionMenu"));
}

bool CMyFrame::onWheel(CDrawContext* context, const CPoint& /*where*/, CMouseWheelAxis axis, float distance)
{
    // Whatever point the window system reported (Windows gives screen
    // coordinates), the control under the pointer now takes the wheel.
    CPoint pointer;
    if (!getCurrentLocation(pointer))
        return false;
    return CFrame::onWheel(context, pointer, axis, distance);
}

bool CMyFrame::isTypeOf(const char* className) const
{
    return isClass(className, "CMyFrame") || CFrame::isTypeOf(className);
}
