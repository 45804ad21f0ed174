#include "presets/PresetStripControls.h"

#include "presets/CPresetSystemEditor.h"

#include <cstring>

using namespace VSTGUI;

namespace {

// Draws the control now, so a pressed look shows while the operation it
// starts runs (a file dialog, a preset being applied).
void showNow(CControl& control, CDrawContext* context)
{
    control.setDirty(true);
    if (context)
        control.update(context);
}

// Inside a rectangle, its right and bottom edges included.
bool insideInclusive(const CRect& rect, int x, int y)
{
    return x >= rect.left && x <= rect.right && y >= rect.top && y <= rect.bottom;
}

} // namespace

// --- CSaveLoadButton -----------------------------------------------------------

CSaveLoadButton::CSaveLoadButton(const CRect& size, CPresetSystemListener* listener, long tag, long heightOfOneImage,
                                 CBitmap* background, const CPoint& offset, int kind)
    : CKickButton(size, listener, tag, heightOfOneImage, background, offset), kind_(kind), presetListener_(listener)
{
}

CSaveLoadButton::~CSaveLoadButton() = default;

int CSaveLoadButton::imageIndex() const
{
    const float value = getValue();
    if (value > 0.5f)
        return 2;
    if (value < 0.5f && highlight_)
        return 1;
    return 0;
}

void CSaveLoadButton::draw(CDrawContext* context)
{
    CPoint source = offset_;
    source.v += static_cast<int32_t>(imageIndex() * heightOfOneImage_);
    drawBackgroundFrom(context, source);
    setDirty(false);
}

void CSaveLoadButton::setHighlight(bool state)
{
    if (state == highlight_)
        return;
    highlight_ = state;
    setDirty(true);
}

void CSaveLoadButton::mouse(CDrawContext* context, CPoint& /*where*/, long buttons)
{
    if (!mouseEnabled_ || !frame_ || !presetListener_)
        return;
    buttons = resolveButtons(context, buttons);
    if (!(buttons & kLButton))
        return;
    remember();
    setValue(1.0f);
    showNow(*this, context);
    // The dialog runs while the button shows pressed.
    switch (kind_) {
    case kLoadBank:
        presetListener_->loadBank();
        break;
    case kSaveBank:
        presetListener_->saveBank();
        break;
    case kLoadPreset:
        presetListener_->loadPreset();
        break;
    case kSavePreset:
        presetListener_->savePreset();
        break;
    default:
        break;
    }
    waitForRelease(context);
    setValue(0.0f);
    setDirty(true);
    forget();
}

bool CSaveLoadButton::isTypeOf(const char* className) const
{
    return (className && std::strcmp(className, "CSaveLoadButton") == 0) || CKickButton::isTypeOf(className);
}

// --- CPSOnOffButton ------------------------------------------------------------

CPSOnOffButton::CPSOnOffButton(const CRect& size, CControlListener* listener, long tag, CBitmap* background)
    : COnOffButton(size, listener, tag, background, kPreListenerUpdate)
{
}

CPSOnOffButton::~CPSOnOffButton() = default;

int CPSOnOffButton::imageIndex() const
{
    if (!enabledLook_)
        return 3;
    if (pressed_)
        return 2;
    if (highlight_)
        return 1;
    return 0;
}

void CPSOnOffButton::draw(CDrawContext* context)
{
    if (background_)
        drawBackgroundFrom(context, CPoint(0, imageIndex() * (background_->getHeight() / 4)));
    setDirty(false);
}

void CPSOnOffButton::setHighlight(bool state)
{
    if (state == highlight_)
        return;
    highlight_ = state;
    setDirty(true);
}

void CPSOnOffButton::setEnabledLook(bool state)
{
    if (state == enabledLook_)
        return;
    enabledLook_ = state;
    setDirty(true);
}

void CPSOnOffButton::mouse(CDrawContext* context, CPoint& /*where*/, long buttons)
{
    if (!leftPress(context, buttons))
        return;
    remember();
    // The memory is stored or recalled at the press, not at the release.
    notifyValueChanged(context);
    pressed_ = true;
    showNow(*this, context);
    waitForRelease(context);
    pressed_ = false;
    setDirty(true);
    forget();
}

bool CPSOnOffButton::isTypeOf(const char* className) const
{
    return (className && std::strcmp(className, "CPSOnOffButton") == 0) || COnOffButton::isTypeOf(className);
}

// --- CPSRockerSwitch -----------------------------------------------------------

CPSRockerSwitch::CPSRockerSwitch(const CRect& size, CPresetSystemListener* listener, long tag,
                                 long heightOfOneImage, CBitmap* background, const CPoint& offset, long style)
    : CRockerSwitch(size, listener, tag, heightOfOneImage, background, offset, style), presetListener_(listener),
      leftHalf_(size.left, size.top, (size.left + size.right) / 2, size.bottom),
      rightHalf_((size.left + size.right) / 2, size.top, size.right, size.bottom)
{
}

CPSRockerSwitch::~CPSRockerSwitch() = default;

int CPSRockerSwitch::imageIndex() const
{
    const float value = getValue();
    if (value == 1.0f)
        return 4;
    if (value == -1.0f)
        return 3;
    if (highlight_ == kLeftHalf)
        return 1;
    if (highlight_ == kRightHalf)
        return 2;
    return 0;
}

void CPSRockerSwitch::draw(CDrawContext* context)
{
    CPoint source = offset_;
    source.v += static_cast<int32_t>(imageIndex() * heightOfOneImage_);
    drawBackgroundFrom(context, source);
    setDirty(false);
}

void CPSRockerSwitch::setHighlight(bool inside, int x, int y)
{
    int state = kNone;
    if (inside) {
        if (insideInclusive(leftHalf_, x, y))
            state = kLeftHalf;
        else if (insideInclusive(rightHalf_, x, y))
            state = kRightHalf;
    }
    if (state == highlight_)
        return;
    highlight_ = state;
    setDirty(true);
}

void CPSRockerSwitch::mouse(CDrawContext* context, CPoint& where, long buttons)
{
    if (!mouseEnabled_ || !presetListener_)
        return;
    buttons = resolveButtons(context, buttons);
    if (!(buttons & kLButton))
        return;
    remember();
    // The middle column belongs to the left half.
    int step = 0;
    if (insideInclusive(leftHalf_, where.h, where.v))
        step = -1;
    else if (insideInclusive(rightHalf_, where.h, where.v))
        step = 1;
    if (step != 0) {
        setValue(static_cast<float>(step));
        showNow(*this, context);
        doIdleStuff();
        presetListener_->stepPreset(step > 0);
        setDirty(true);
        waitForRelease(context);
    }
    setValue(0.0f);
    setDirty(true);
    forget();
}

bool CPSRockerSwitch::onWheel(CDrawContext* /*context*/, const CPoint& /*where*/, CMouseWheelAxis axis,
                              float distance)
{
    if (!mouseEnabled_ || !presetListener_ || axis != kMouseWheelAxisY || distance == 0.0f)
        return false;
    // Away from the user is the next preset, like the right half.
    presetListener_->stepPreset(distance > 0.0f);
    return true;
}

bool CPSRockerSwitch::isTypeOf(const char* className) const
{
    return (className && std::strcmp(className, "CPSRockerSwitch") == 0) || CRockerSwitch::isTypeOf(className);
}
