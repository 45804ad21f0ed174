#include "gui/CControl.h"

#include "gui/CFrame.h"
#include "gui/Utf8.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>

namespace VSTGUI {

namespace {

constexpr long kModifiers = kShift | kControl | kAlt;
constexpr float kPi = std::numbers::pi_v<float>;

// Cuts `text` to at most `maxBytes` bytes without splitting a UTF-8
// sequence, and turns control characters (a pasted line break) into spaces.
void cleanText(std::string& text, size_t maxBytes)
{
    text.resize(utf8Prefix(text.data(), text.size(), maxBytes));
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
}

void copyText(const std::string& from, char* to)
{
    if (!to)
        return;
    size_t n = std::min<size_t>(from.size(), 255);
    std::memcpy(to, from.data(), n);
    to[n] = 0;
}

} // namespace

// --- CControl ------------------------------------------------------------------

CControl::CControl(const CRect& size, CControlListener* listener, long tag, CBitmap* background)
    : CView(size), listener_(listener), tag_(tag)
{
    uint32_t system = platform().doubleClickTime();
    doubleClickInterval_ = std::max<uint32_t>(system, 250);
    if (background)
        setBackground(background);
    setDirty(true);
}

CControl::~CControl() = default;

void CControl::setValue(float value)
{
    if (std::isnan(value))
        return;
    if (value_.load(std::memory_order_relaxed) == value)
        return;
    value_.store(value, std::memory_order_relaxed);
    // Release order: a drawing that takes this mark sees the value.
    dirty_.store(true, std::memory_order_release);
}

void CControl::bounceValue()
{
    float v = getValue();
    if (v > max_)
        setValue(max_);
    else if (v < min_)
        setValue(min_);
}

bool CControl::checkDefaultValue(CDrawContext* context, long button)
{
    if (button != (kControl | kLButton))
        return false;
    beginEdit();
    float before = getValue();
    setValue(getDefaultValue());
    if (getValue() != before || isDirty())
        notifyValueChanged(context);
    endEdit();
    return true;
}

bool CControl::isDoubleClick()
{
    uint32_t now = platform().ticks();
    if (lastClickTime_ >= 0 && now - static_cast<uint32_t>(lastClickTime_) < doubleClickInterval_) {
        lastClickTime_ = -1;
        return true;
    }
    lastClickTime_ = now;
    return false;
}

void CControl::doIdleStuff()
{
    if (frame_)
        frame_->doIdleStuff();
}

void CControl::beginEdit()
{
    if (frame_) {
        frame_->setFocusView(this);
        frame_->beginEdit(tag_);
    }
    if (listener_)
        listener_->controlBeginEdit(nullptr, this);
}

void CControl::endEdit()
{
    if (frame_)
        frame_->endEdit(tag_);
    if (listener_)
        listener_->controlEndEdit(nullptr, this);
}

void CControl::setDirty(bool state)
{
    CView::setDirty(state);
    if (!state)
        setOldValue(getValue());
}

bool CControl::isDirty() const { return CView::isDirty() || getValue() != getOldValue(); }

void CControl::finishDraw()
{
    setOldValue(getValue());
    CView::finishDraw();
}

bool CControl::isTypeOf(const char* className) const
{
    return (className && std::strcmp(className, "CControl") == 0) || CView::isTypeOf(className);
}

long CControl::currentButtons(CDrawContext* context) const
{
    if (context)
        return context->getMouseButtons();
    return frame_ ? frame_->getMouseButtons() : 0;
}

long CControl::resolveButtons(CDrawContext* context, long buttons) const
{
    return buttons == -1 ? currentButtons(context) : buttons;
}

bool CControl::leftPress(CDrawContext* context, long& buttons) const
{
    if (!mouseEnabled_)
        return false;
    buttons = resolveButtons(context, buttons);
    return (buttons & kLButton) != 0;
}

void CControl::currentLocation(CDrawContext* context, CPoint& where)
{
    if (context)
        context->getMouseLocation(where);
    else
        getMouseLocation(nullptr, where);
}

bool CControl::modifierClickStops(CDrawContext* context, long buttons)
{
    return (buttons & kModifiers) && listener_ && listener_->controlModifierClicked(context, this, buttons) != 0;
}

void CControl::notifyValueChanged(CDrawContext* context)
{
    if (listener_)
        listener_->valueChanged(context, this);
}

void CControl::waitForRelease(CDrawContext* context)
{
    while (frame_ && (currentButtons(context) & kLButton))
        doIdleStuff();
}

void CControl::drawBackgroundFrom(CDrawContext* context, const CPoint& source)
{
    if (!background_ || !context)
        return;
    if (transparent_)
        background_->drawTransparent(context, size_, source);
    else
        background_->draw(context, size_, source);
}

// --- CKnob ---------------------------------------------------------------------

CKnob::CKnob(const CRect& size, CControlListener* listener, long tag, CBitmap* background, CBitmap* handle,
             const CPoint& offset)
    : CControl(size, listener, tag, background), handle_(handle), offset_(offset), startAngle_(5.0f * kPi / 4.0f),
      rangeAngle_(3.0f * kPi / 2.0f)
{
    if (handle_)
        handle_->remember();
}

CKnob::~CKnob()
{
    if (handle_)
        handle_->forget();
}

void CKnob::followAngle(const CPoint& where, float& followed)
{
    CPoint local(where.h - size_.left, where.v - size_.top);
    const float v = valueFromPoint(local);
    const float halfRange = (max_ - min_) * 0.5f;
    if (followed - v > halfRange) {
        setValue(max_);
    } else if (v - followed > halfRange) {
        setValue(min_);
    } else {
        setValue(v);
        followed = v;
    }
}

float CKnob::valueFromPoint(CPoint& point) const
{
    float radius = static_cast<float>(size_.width()) / 2.0f;
    float dx = static_cast<float>(point.h) - radius;
    float dy = radius - static_cast<float>(point.v);
    if (dx == 0.0f && dy == 0.0f)
        return getValue(); // the centre has no angle
    // Clockwise angle from the start, in [0, 2 pi).
    float turned = startAngle_ - std::atan2(dy, dx);
    const float full = 2.0f * kPi;
    turned = std::fmod(turned, full);
    if (turned < 0.0f)
        turned += full;
    float v;
    if (rangeAngle_ <= 0.0f)
        v = 0.0f;
    else if (turned <= rangeAngle_)
        v = turned / rangeAngle_;
    else // in the gap: the nearer end
        v = (turned - rangeAngle_) < (full - turned) ? 1.0f : 0.0f;
    return min_ + v * (max_ - min_);
}

void CKnob::valueToPoint(CPoint& point) const
{
    float range = max_ - min_;
    float v = range != 0.0f ? (getValue() - min_) / range : 0.0f;
    v = std::clamp(v, 0.0f, 1.0f);
    float angle = startAngle_ - v * rangeAngle_;
    float radius = static_cast<float>(size_.width()) / 2.0f;
    float length = std::max(0.0f, radius - static_cast<float>(inset_));
    point.h = static_cast<int32_t>(std::lround(radius + std::cos(angle) * length));
    point.v = static_cast<int32_t>(std::lround(radius - std::sin(angle) * length));
}

void CKnob::draw(CDrawContext* context)
{
    if (background_)
        drawBackgroundFrom(context, offset_);
    CPoint tip;
    valueToPoint(tip);
    tip.offset(size_.left, size_.top);
    if (handle_ && handle_->isLoaded()) {
        int32_t w = handle_->getWidth();
        int32_t h = handle_->getHeight();
        CRect r(tip.h - w / 2, tip.v - h / 2, tip.h - w / 2 + w, tip.v - h / 2 + h);
        handle_->drawTransparent(context, r);
    } else {
        int32_t radius = size_.width() / 2;
        CColor saved = context->getFrameColor();
        context->setFrameColor(colorHandle_);
        context->moveTo(CPoint(size_.left + radius, size_.top + radius));
        context->lineTo(tip);
        context->setFrameColor(saved);
    }
    setDirty(false);
}

void CKnob::mouse(CDrawContext* context, CPoint& where, long buttons)
{
    if (!leftPress(context, buttons))
        return;
    if (modifierClickStops(context, buttons))
        return;
    if (checkDefaultValue(context, buttons))
        return;

    remember();
    const float range = max_ - min_;
    const long knobMode = frame_ ? frame_->getKnobMode() : kCircularMode;
    const bool linear = (knobMode == kLinearMode) != ((buttons & kAlt) != 0);
    const CPoint press = where;
    auto spanFor = [this](long state) { return (state & kShift) ? 200.0f * zoomFactor_ : 200.0f; };

    float entryValue = getValue();
    float coef = range / spanFor(buttons);
    long previousButtons = buttons;
    CPoint local(press.h - size_.left, press.v - size_.top);
    float old = valueFromPoint(local);
    float reported = getValue();

    beginEdit();
    CPoint p = press;
    trackMouse(context, p, buttons, leftButtonHeld, [&](const CPoint& p, long buttons) {
        if (linear) {
            float distance = static_cast<float>((p.h - press.h) + (press.v - p.v));
            if (buttons != previousButtons) {
                // A modifier changed mid-drag: the knob stays where it is and
                // goes on at the new speed.
                float newCoef = range / spanFor(buttons);
                entryValue += distance * (coef - newCoef);
                coef = newCoef;
                previousButtons = buttons;
            }
            setValue(entryValue + distance * coef);
        } else {
            followAngle(p, old);
        }
        bounceValue();
        if (getValue() != reported) {
            notifyValueChanged(context);
            reported = getValue();
        }
    });
    endEdit();
    forget();
}

bool CKnob::onWheel(CDrawContext* context, const CPoint& /*where*/, CMouseWheelAxis axis, float distance)
{
    if (!mouseEnabled_ || axis != kMouseWheelAxisY)
        return false;
    float before = getValue();
    float step = wheelInc_ * distance;
    if (currentButtons(context) & kShift)
        step *= 0.1f;
    setValue(before + step);
    bounceValue();
    if (getValue() != before) {
        beginEdit();
        notifyValueChanged(context);
        endEdit();
    }
    return true;
}

bool CKnob::isTypeOf(const char* className) const
{
    return (className && std::strcmp(className, "CKnob") == 0) || CControl::isTypeOf(className);
}

// --- CAnimKnob -----------------------------------------------------------------

CAnimKnob::CAnimKnob(const CRect& size, CControlListener* listener, long tag, long subPixmaps,
                     long heightOfOneImage, CBitmap* background, const CPoint& offset)
    : CKnob(size, listener, tag, background, nullptr, offset), subPixmaps_(subPixmaps),
      heightOfOneImage_(heightOfOneImage)
{
}

CAnimKnob::~CAnimKnob() = default;

long CAnimKnob::frameOffsetForValue(float value) const
{
    if (heightOfOneImage_ <= 0 || subPixmaps_ <= 1)
        return 0;
    float v = inverseBitmap_ ? 1.0f - value : value;
    if (!(v >= 0.0f))
        return 0;
    const long span = heightOfOneImage_ * (subPixmaps_ - 1);
    long y = static_cast<long>(v * static_cast<float>(span));
    y = std::min(y, span); // beyond the range: the last image, never past the strip
    return y - y % heightOfOneImage_;
}

void CAnimKnob::draw(CDrawContext* context)
{
    if (background_) {
        CPoint source(offset_.h, offset_.v + static_cast<int32_t>(frameOffsetForValue(getValue())));
        drawBackgroundFrom(context, source);
    }
    setDirty(false);
}

bool CAnimKnob::isTypeOf(const char* className) const
{
    return (className && std::strcmp(className, "CAnimKnob") == 0) || CKnob::isTypeOf(className);
}

// --- COnOffButton --------------------------------------------------------------

COnOffButton::COnOffButton(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
                           long style)
    : CControl(size, listener, tag, background), style_(style)
{
}

COnOffButton::~COnOffButton() = default;

void COnOffButton::draw(CDrawContext* context)
{
    if (background_) {
        int32_t off = getValue() != 0.0f ? background_->getHeight() / 2 : 0;
        drawBackgroundFrom(context, CPoint(0, off));
    }
    setDirty(false);
}

void COnOffButton::mouse(CDrawContext* context, CPoint& /*where*/, long buttons)
{
    if (!leftPress(context, buttons))
        return;
    if (modifierClickStops(context, buttons))
        return;
    remember();
    setValue(static_cast<long>(getValue()) == 0 ? 1.0f : 0.0f);
    if (style_ == kPostListenerUpdate) {
        waitForRelease(context); // the listener hears of it after the release
    } else {
        doIdleStuff();
    }
    beginEdit();
    notifyValueChanged(context);
    endEdit();
    forget();
}

bool COnOffButton::isTypeOf(const char* className) const
{
    return (className && std::strcmp(className, "COnOffButton") == 0) || CControl::isTypeOf(className);
}

// --- CKickButton ---------------------------------------------------------------

CKickButton::CKickButton(const CRect& size, CControlListener* listener, long tag, long heightOfOneImage,
                         CBitmap* background, const CPoint& offset)
    : CControl(size, listener, tag, background), heightOfOneImage_(heightOfOneImage), offset_(offset)
{
}

CKickButton::~CKickButton() = default;

void CKickButton::draw(CDrawContext* context)
{
    if (background_) {
        CPoint source = offset_;
        if (getValue() >= 0.5f)
            source.v += static_cast<int32_t>(heightOfOneImage_);
        drawBackgroundFrom(context, source);
    }
    setDirty(false);
}

void CKickButton::mouse(CDrawContext* context, CPoint& where, long buttons)
{
    if (!leftPress(context, buttons))
        return;
    if (modifierClickStops(context, buttons))
        return;
    remember();
    beginEdit();
    CPoint p = where;
    float reported = getValue();
    trackMouse(context, p, buttons, leftButtonHeld, [&](const CPoint& p, long) {
        // Pressed while the pointer is on the button.
        setValue(size_.pointInside(p) ? 1.0f : 0.0f);
        if (getValue() != reported) {
            notifyValueChanged(context);
            reported = getValue();
        }
    });
    setValue(0.0f);
    notifyValueChanged(context);
    endEdit();
    forget();
}

bool CKickButton::isTypeOf(const char* className) const
{
    return (className && std::strcmp(className, "CKickButton") == 0) || CControl::isTypeOf(className);
}

// --- CRockerSwitch -------------------------------------------------------------

CRockerSwitch::CRockerSwitch(const CRect& size, CControlListener* listener, long tag, long heightOfOneImage,
                             CBitmap* background, const CPoint& offset, long style)
    : CControl(size, listener, tag, background), heightOfOneImage_(heightOfOneImage), offset_(offset), style_(style)
{
    min_ = -1.0f;
    max_ = 1.0f;
    default_ = 0.0f;
    setValue(0.0f);
}

CRockerSwitch::~CRockerSwitch() = default;

void CRockerSwitch::draw(CDrawContext* context)
{
    if (background_) {
        CPoint source = offset_;
        float v = getValue();
        if (v < 0.0f)
            source.v += static_cast<int32_t>(heightOfOneImage_);
        else if (v > 0.0f)
            source.v += static_cast<int32_t>(2 * heightOfOneImage_);
        drawBackgroundFrom(context, source);
    }
    setDirty(false);
}

void CRockerSwitch::mouse(CDrawContext* context, CPoint& where, long buttons)
{
    if (!leftPress(context, buttons))
        return;
    if (modifierClickStops(context, buttons))
        return;
    remember();
    beginEdit();
    const bool vertical = (style_ & kVertical) && !(style_ & kHorizontal);
    CPoint p = where;
    float reported = getValue();
    trackMouse(context, p, buttons, leftButtonHeld, [&](const CPoint& p, long) {
        float v = 0.0f;
        if (size_.pointInside(p)) {
            bool firstHalf = vertical ? p.v < size_.top + size_.height() / 2 : p.h < size_.left + size_.width() / 2;
            v = firstHalf ? -1.0f : 1.0f;
        }
        setValue(v);
        if (getValue() != reported) {
            notifyValueChanged(context);
            reported = getValue();
        }
    });
    setValue(0.0f);
    if (reported != 0.0f)
        notifyValueChanged(context);
    endEdit();
    forget();
}

bool CRockerSwitch::onWheel(CDrawContext* context, const CPoint& /*where*/, CMouseWheelAxis axis, float distance)
{
    if (!mouseEnabled_ || axis != kMouseWheelAxisY || distance == 0.0f)
        return false;
    remember();
    beginEdit();
    setValue(distance > 0.0f ? 1.0f : -1.0f);
    notifyValueChanged(context);
    setValue(0.0f);
    notifyValueChanged(context);
    endEdit();
    forget();
    return true;
}

bool CRockerSwitch::isTypeOf(const char* className) const
{
    return (className && std::strcmp(className, "CRockerSwitch") == 0) || CControl::isTypeOf(className);
}

// --- CVerticalSwitch -----------------------------------------------------------

CVerticalSwitch::CVerticalSwitch(const CRect& size, CControlListener* listener, long tag, long subPixmaps,
                                 long heightOfOneImage, long maxPositions, CBitmap* background, const CPoint& offset)
    : CControl(size, listener, tag, background), subPixmaps_(subPixmaps), heightOfOneImage_(heightOfOneImage),
      maxPositions_(maxPositions), offset_(offset)
{
}

CVerticalSwitch::~CVerticalSwitch() = default;

void CVerticalSwitch::draw(CDrawContext* context)
{
    if (background_) {
        long frame = 0;
        if (maxPositions_ > 1)
            frame = static_cast<long>(getValue() * static_cast<float>(maxPositions_ - 1) + 0.5f);
        frame = std::clamp<long>(frame, 0, std::max<long>(subPixmaps_ - 1, 0));
        CPoint source(offset_.h, offset_.v + static_cast<int32_t>(frame * heightOfOneImage_));
        drawBackgroundFrom(context, source);
    }
    setDirty(false);
}

void CVerticalSwitch::mouse(CDrawContext* context, CPoint& where, long buttons)
{
    if (!leftPress(context, buttons))
        return;
    if (modifierClickStops(context, buttons))
        return;
    if (checkDefaultValue(context, buttons))
        return;
    if (maxPositions_ < 1 || heightOfOneImage_ <= 0)
        return;
    remember();
    beginEdit();
    // Each position owns a band of the image's height.
    const double band = static_cast<double>(heightOfOneImage_) / static_cast<double>(maxPositions_);
    const long pressed = buttons;
    CPoint p = where;
    float reported = getValue();
    // Any change of the buttons, a modifier too, ends the drag.
    auto held = [pressed](long state) { return state == pressed; };
    trackMouse(context, p, buttons, held, [&](const CPoint& p, long) {
        long position = static_cast<long>(std::floor((p.v - size_.top) / band));
        float v = maxPositions_ > 1 ? static_cast<float>(position) / static_cast<float>(maxPositions_ - 1) : 0.0f;
        setValue(std::clamp(v, 0.0f, 1.0f));
        if (getValue() != reported) {
            notifyValueChanged(context);
            reported = getValue();
        }
    });
    endEdit();
    forget();
}

bool CVerticalSwitch::isTypeOf(const char* className) const
{
    return (className && std::strcmp(className, "CVerticalSwitch") == 0) || CControl::isTypeOf(className);
}

// --- CParamDisplay -------------------------------------------------------------

CParamDisplay::CParamDisplay(const CRect& size, CBitmap* background, long style)
    : CControl(size, nullptr, 0, background), style_(style)
{
}

CParamDisplay::~CParamDisplay() = default;

void CParamDisplay::setStringConvert(StringConvert convert)
{
    stringConvert_ = convert;
    stringConvertWithData_ = nullptr;
    userData_ = nullptr;
    setDirty(true);
}

void CParamDisplay::setStringConvert(StringConvertWithData convert, void* userData)
{
    stringConvertWithData_ = convert;
    userData_ = userData;
    stringConvert_ = nullptr;
    setDirty(true);
}

void CParamDisplay::valueToText(float value, char* text) const
{
    if (!text)
        return;
    char buffer[512] = {};
    if (stringConvertWithData_)
        stringConvertWithData_(value, buffer, userData_);
    else if (stringConvert_)
        stringConvert_(value, buffer);
    else
        std::snprintf(buffer, sizeof buffer, "%2.2f", static_cast<double>(value));
    buffer[255] = 0;
    std::memcpy(text, buffer, 256);
}

void CParamDisplay::draw(CDrawContext* context)
{
    char text[256];
    valueToText(getValue(), text);
    drawText(context, text);
    setDirty(false);
}

void CParamDisplay::drawText(CDrawContext* context, const char* text, CBitmap* newBack)
{
    if (!context)
        return;
    if (!(style_ & kNoDrawStyle)) {
        CBitmap* back = newBack ? newBack : background_;
        if (back) {
            if (transparent_)
                back->drawTransparent(context, size_, backOffset_);
            else
                back->draw(context, size_, backOffset_);
        } else {
            if (!textTransparent_) {
                context->setFillColor(backColor_);
                context->fillRect(size_);
            }
            if (style_ & (k3DIn | k3DOut)) {
                // A bevel: light from the top left.
                CColor light = (style_ & k3DIn) ? kGreyCColor : kWhiteCColor;
                CColor dark = (style_ & k3DIn) ? kWhiteCColor : kGreyCColor;
                CPoint tl(size_.left, size_.top), tr(size_.right - 1, size_.top);
                CPoint bl(size_.left, size_.bottom - 1), br(size_.right - 1, size_.bottom - 1);
                context->setFrameColor(light);
                context->moveTo(bl);
                context->lineTo(tl);
                context->lineTo(tr);
                context->setFrameColor(dark);
                context->lineTo(br);
                context->lineTo(bl);
            } else if (!(style_ & kNoFrame)) {
                context->setFrameColor(frameColor_);
                context->drawRect(size_);
            }
        }
    }
    if (!(style_ & kNoTextStyle) && text && *text) {
        CRect savedClip = context->getClipRect();
        CRect clip = size_;
        clip.bound(savedClip);
        context->setClipRect(clip);
        context->setFont(static_cast<int32_t>(fontId_), 0, static_cast<int32_t>(txtFace_));
        if (style_ & kShadowText) {
            CRect shadow = size_;
            shadow.offset(1, 1);
            context->setFontColor(shadowColor_);
            context->drawString(text, shadow, false, static_cast<int32_t>(horiAlign_));
        }
        context->setFontColor(fontColor_);
        context->drawString(text, size_, false, static_cast<int32_t>(horiAlign_));
        context->setClipRect(savedClip);
    }
}

bool CParamDisplay::isTypeOf(const char* className) const
{
    return (className && std::strcmp(className, "CParamDisplay") == 0) || CControl::isTypeOf(className);
}

// --- CTextEdit -----------------------------------------------------------------

CTextEdit::CTextEdit(const CRect& size, CControlListener* listener, long tag, const char* text,
                     CBitmap* background, long style)
    : CParamDisplay(size, background, style)
{
    listener_ = listener;
    tag_ = tag;
    if (text)
        setText(text);
}

CTextEdit::~CTextEdit()
{
    // Closed without a word to anyone: the listener may be gone already.
    field_.reset();
}

void CTextEdit::setText(const char* text)
{
    std::string t = text ? text : "";
    cleanText(t, kMaxLength);
    if (t != text_) {
        text_ = std::move(t);
        setDirty(true);
    }
}

void CTextEdit::getText(char* text) const { copyText(text_, text); }

void CTextEdit::draw(CDrawContext* context)
{
    drawText(context, text_.c_str());
    setDirty(false);
}

void CTextEdit::mouse(CDrawContext* context, CPoint& /*where*/, long buttons)
{
    if (!leftPress(context, buttons))
        return;
    takeFocus(context);
}

long CTextEdit::onKeyDown(VstKeyCode& keyCode) { return field_ && field_->handleKey(keyCode, true) ? 1 : -1; }

long CTextEdit::onKeyUp(VstKeyCode& keyCode) { return field_ && field_->handleKey(keyCode, false) ? 1 : -1; }

TextFieldSpec CTextEdit::fieldSpec() const
{
    TextFieldSpec desc;
    CPoint origin = parentToFrame(size_.topLeft());
    desc.rect = CRect(origin.h, origin.v, origin.h + size_.width(), origin.v + size_.height());
    desc.text = text_;
    desc.fontId = static_cast<int32_t>(fontId_);
    desc.face = static_cast<int32_t>(txtFace_);
    desc.weight = 600;
    desc.textColor = fontColor_;
    desc.backColor = backColor_;
    desc.align = static_cast<int32_t>(horiAlign_);
    desc.margin = 3;
    desc.maxLength = kMaxLength;
    return desc;
}

void CTextEdit::takeFocus(CDrawContext* /*context*/)
{
    if (field_ || closing_ || !frame_)
        return;
    PlatformWindow* window = frame_->getPlatformWindow();
    if (!window)
        return;
    if (frame_->getFocusView() != this)
        beginEdit(); // the focus, and the gesture that closing ends
    cancelled_ = false;
    field_ = window->createTextField(fieldSpec(), &fieldListener_);
    if (!field_) {
        endEdit();
        if (frame_)
            frame_->releaseFocus(this);
    }
}

void CTextEdit::looseFocus(CDrawContext* /*context*/) { closeField(!cancelled_); }

void CTextEdit::fieldClosed(bool commit)
{
    if (!field_ || closing_)
        return;
    remember();
    cancelled_ = !commit;
    looseFocus(nullptr); // derived fields act on the end of an edit here
    forget();
}

void CTextEdit::closeField(bool commit)
{
    if (closing_)
        return;
    if (!field_) {
        if (frame_)
            frame_->releaseFocus(this);
        return;
    }
    closing_ = true;
    remember();
    endEdit();
    if (frame_)
        frame_->releaseFocus(this);
    std::string typed = field_->getText();
    field_.reset();
    bool changed = false;
    if (commit) {
        cleanText(typed, kMaxLength);
        changed = typed != text_;
        text_ = std::move(typed);
    }
    setDirty(true);
    if (changed && listener_) {
        CDrawContext* context = frame_ ? frame_->createDrawContext() : nullptr;
        listener_->valueChanged(context, this);
        if (context)
            context->forget();
    }
    closing_ = false;
    forget();
}

void CTextEdit::setParents(CFrame* frame, CViewContainer* parent)
{
    // Leaving the window: the field cannot stay without it.
    if (field_ && frame != frame_)
        closeField(true);
    CParamDisplay::setParents(frame, parent);
}

bool CTextEdit::isTypeOf(const char* className) const
{
    return (className && std::strcmp(className, "CTextEdit") == 0) || CParamDisplay::isTypeOf(className);
}

// --- COptionMenu ---------------------------------------------------------------

COptionMenu::COptionMenu(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
                         CBitmap* bgWhenClick, long style)
    : CParamDisplay(size, background, style), bgWhenClick_(bgWhenClick)
{
    listener_ = listener;
    tag_ = tag;
    if (bgWhenClick_)
        bgWhenClick_->remember();
}

COptionMenu::~COptionMenu()
{
    removeAllEntry();
    if (bgWhenClick_)
        bgWhenClick_->forget();
}

COptionMenu::Kind COptionMenu::kindOf(const Entry& entry)
{
    if (entry.plain)
        return Kind::kNormal;
    const std::string& t = entry.text;
    if (t == "-")
        return Kind::kSeparator;
    if (t.size() >= 2 && t[0] == '-') {
        switch (t[1]) {
        case 'M':
            return Kind::kSubmenu;
        case 'G':
            return Kind::kGreyed;
        case 'T':
            return Kind::kTitle;
        default:
            break;
        }
    }
    return Kind::kNormal;
}

bool COptionMenu::isSeparatorAt(long index) const
{
    return index >= 0 && index < getNbEntries() && kindOf(entries_[static_cast<size_t>(index)]) == Kind::kSeparator;
}

bool COptionMenu::storeEntry(long index, const char* text, bool plain)
{
    if (getNbEntries() >= kMaxEntries)
        return false;
    Entry entry;
    entry.text = text ? text : "";
    cleanText(entry.text, kMaxEntryLength);
    entry.plain = plain;
    if (index < 0 || index > getNbEntries())
        index = getNbEntries();
    entries_.insert(entries_.begin() + index, std::move(entry));
    if (current_ >= index)
        ++current_;
    setDirty(true);
    return true;
}

bool COptionMenu::addEntry(const char* text, long index) { return storeEntry(index, text, false); }

bool COptionMenu::addPlainEntry(const char* text, long index) { return storeEntry(index, text, true); }

bool COptionMenu::addEntry(COptionMenu* submenu, const char* title)
{
    if (!submenu || submenu == this || getNbEntries() >= kMaxEntries)
        return false;
    const char* name = title ? title : "";
    char text[512];
    long number = getNbEntries() + 1;
    switch (prefixNumbers_) {
    case 2:
        std::snprintf(text, sizeof text, "-M%1ld %s", number, name);
        break;
    case 3:
        std::snprintf(text, sizeof text, "-M%02ld %s", number, name);
        break;
    case 4:
        std::snprintf(text, sizeof text, "-M%03ld %s", number, name);
        break;
    default:
        std::snprintf(text, sizeof text, "-M%s", name);
        break;
    }
    if (!storeEntry(-1, text, false))
        return false;
    submenu->remember();
    entries_.back().submenu = submenu;
    return true;
}

bool COptionMenu::setEntry(long index, const char* text)
{
    if (index < 0 || index >= getNbEntries())
        return false;
    Entry& entry = entries_[static_cast<size_t>(index)];
    entry.text = text ? text : "";
    cleanText(entry.text, kMaxEntryLength);
    entry.plain = false;
    if (entry.submenu && kindOf(entry) != Kind::kSubmenu) {
        entry.submenu->forget();
        entry.submenu = nullptr;
    }
    setDirty(true);
    return true;
}

bool COptionMenu::setPlainEntry(long index, const char* text)
{
    if (!setEntry(index, text))
        return false;
    Entry& entry = entries_[static_cast<size_t>(index)];
    entry.plain = true;
    if (entry.submenu) {
        entry.submenu->forget();
        entry.submenu = nullptr;
    }
    return true;
}

bool COptionMenu::removeEntry(long index)
{
    if (index < 0 || index >= getNbEntries())
        return false;
    if (COptionMenu* submenu = entries_[static_cast<size_t>(index)].submenu)
        submenu->forget();
    entries_.erase(entries_.begin() + index);
    if (current_ == index)
        current_ = -1;
    else if (current_ > index)
        --current_;
    setDirty(true);
    return true;
}

bool COptionMenu::removeAllEntry()
{
    for (Entry& entry : entries_)
        if (entry.submenu)
            entry.submenu->forget();
    entries_.clear();
    current_ = -1;
    setDirty(true);
    return true;
}

std::string COptionMenu::getEntryText(long index) const
{
    if (index < 0 || index >= getNbEntries())
        return std::string();
    const Entry& entry = entries_[static_cast<size_t>(index)];
    switch (kindOf(entry)) {
    case Kind::kSubmenu:
    case Kind::kGreyed:
    case Kind::kTitle:
        return entry.text.substr(2);
    default:
        return entry.text;
    }
}

bool COptionMenu::getEntry(long index, char* text) const
{
    if (index < 0 || index >= getNbEntries()) {
        if (text)
            *text = 0;
        return false;
    }
    copyText(getEntryText(index), text);
    return true;
}

const std::string& COptionMenu::getRawEntry(long index) const
{
    static const std::string none;
    if (index < 0 || index >= getNbEntries())
        return none;
    return entries_[static_cast<size_t>(index)].text;
}

long COptionMenu::getIndex(long countedIndex) const
{
    if (countedIndex < 0)
        return -1;
    long seen = 0;
    for (long i = 0; i < getNbEntries(); ++i) {
        if (isSeparatorAt(i))
            continue;
        if (seen == countedIndex)
            return i;
        ++seen;
    }
    return -1;
}

bool COptionMenu::setCurrent(long index, bool countSeparator)
{
    long full = countSeparator ? index : getIndex(index);
    if (full < 0 || full >= getNbEntries())
        return false;
    current_ = full;
    setValue(static_cast<float>(full));
    setDirty(true);
    return true;
}

long COptionMenu::getCurrent(char* text, bool countSeparator) const
{
    if (text)
        *text = 0;
    if (current_ < 0 || current_ >= getNbEntries())
        return -1;
    if (text)
        copyText(getEntryText(current_), text);
    if (countSeparator)
        return current_;
    long counted = 0;
    for (long i = 0; i < current_; ++i)
        if (!isSeparatorAt(i))
            ++counted;
    return counted;
}

bool COptionMenu::checkEntry(long index, bool checked)
{
    if (index < 0 || index >= getNbEntries())
        return false;
    entries_[static_cast<size_t>(index)].checked = checked;
    return true;
}

bool COptionMenu::checkEntryAlone(long index)
{
    if (index < 0 || index >= getNbEntries())
        return false;
    for (long i = 0; i < getNbEntries(); ++i)
        entries_[static_cast<size_t>(i)].checked = i == index;
    return true;
}

bool COptionMenu::isCheckEntry(long index) const
{
    return index >= 0 && index < getNbEntries() && entries_[static_cast<size_t>(index)].checked;
}

COptionMenu* COptionMenu::getSubMenu(long index) const
{
    // `index` counts the submenus only.
    long seen = 0;
    for (const Entry& entry : entries_) {
        if (!entry.submenu)
            continue;
        if (seen == index)
            return entry.submenu;
        ++seen;
    }
    return nullptr;
}

long COptionMenu::getNbSubMenus() const
{
    return static_cast<long>(std::count_if(entries_.begin(), entries_.end(), [](const Entry& e) { return e.submenu; }));
}

COptionMenu* COptionMenu::getLastItemMenu(long& indexInMenu) const
{
    indexInMenu = lastIndexInMenu_;
    return const_cast<COptionMenu*>(lastMenu_);
}

namespace {
// Menus nested deeper than this are not shown (and a menu that holds itself
// cannot recurse forever).
constexpr int kMaxMenuDepth = 16;
} // namespace

void COptionMenu::buildMenuModel(MenuModel& model, std::vector<std::unique_ptr<MenuModel>>& submenus,
                                 std::vector<std::pair<const MenuModel*, const COptionMenu*>>* map) const
{
    struct Builder {
        std::vector<std::unique_ptr<MenuModel>>& submenus;
        std::vector<std::pair<const MenuModel*, const COptionMenu*>>* map;

        void build(const COptionMenu& menu, MenuModel& model, int depth)
        {
            if (map)
                map->emplace_back(&model, &menu);
            model.items.clear();
            const long count = menu.getNbEntries();
            const bool multipleCheck = (menu.style_ & kMultipleCheckStyle) == kMultipleCheckStyle;
            const bool checkCurrent = !multipleCheck && (menu.style_ & kCheckStyle);
            for (long i = 0; i < count; ++i) {
                const Entry& entry = menu.entries_[static_cast<size_t>(i)];
                MenuItem item;
                item.title = menu.getEntryText(i);
                switch (kindOf(entry)) {
                case Kind::kSeparator:
                    item.flags |= MenuItem::kSeparator;
                    item.title.clear();
                    break;
                case Kind::kGreyed:
                    item.flags |= MenuItem::kDisabled;
                    break;
                case Kind::kTitle:
                    item.flags |= MenuItem::kTitle | MenuItem::kDisabled;
                    break;
                case Kind::kSubmenu:
                    if (entry.submenu && depth < kMaxMenuDepth) {
                        submenus.push_back(std::make_unique<MenuModel>());
                        MenuModel* child = submenus.back().get();
                        build(*entry.submenu, *child, depth + 1);
                        item.submenu = child;
                    } else {
                        item.flags |= MenuItem::kDisabled;
                    }
                    break;
                case Kind::kNormal:
                    break;
                }
                if (!(item.flags & (MenuItem::kSeparator | MenuItem::kTitle)) && !item.submenu) {
                    bool checked = multipleCheck ? entry.checked : (checkCurrent && i == menu.current_);
                    if (!multipleCheck && !checkCurrent)
                        checked = entry.checked;
                    if (checked)
                        item.flags |= MenuItem::kChecked;
                }
                if (menu.itemsPerColumn_ > 0 && count < 160 && i > 0 && i % menu.itemsPerColumn_ == 0)
                    item.flags |= MenuItem::kColumnBreak;
                model.items.push_back(std::move(item));
            }
        }
    };
    Builder builder{submenus, map};
    builder.build(*this, model, 0);
}

bool COptionMenu::applyMenuResult(const MenuResult& result,
                                  const std::vector<std::pair<const MenuModel*, const COptionMenu*>>& map)
{
    lastMenu_ = nullptr;
    lastIndexInMenu_ = -1;
    lastResult_ = -1;
    if (!result.menu || result.index < 0)
        return false;
    COptionMenu* chosen = nullptr;
    for (const auto& [model, menu] : map)
        if (model == result.menu)
            chosen = const_cast<COptionMenu*>(menu);
    if (!chosen || result.index >= chosen->getNbEntries())
        return false;
    const Entry& entry = chosen->entries_[static_cast<size_t>(result.index)];
    Kind kind = kindOf(entry);
    if (kind != Kind::kNormal)
        return false; // separators, titles, greyed entries and submenu heads cannot be chosen
    if ((chosen->style_ & kMultipleCheckStyle) == kMultipleCheckStyle)
        chosen->checkEntry(result.index, !chosen->isCheckEntry(result.index));
    chosen->setCurrent(result.index);
    lastMenu_ = chosen;
    lastIndexInMenu_ = result.index;
    lastResult_ = result.index;
    return true;
}

bool COptionMenu::popup(CDrawContext* context)
{
    if (!frame_ || !frame_->getPlatformWindow())
        return false;
    remember();
    if (bgWhenClick_ && context) {
        // The pressed look while the menu is open.
        bgWhenClick_->draw(context, size_, backOffset_);
        frame_->flushPending();
    }
    MenuModel model;
    std::vector<std::unique_ptr<MenuModel>> submenus;
    std::vector<std::pair<const MenuModel*, const COptionMenu*>> map;
    buildMenuModel(model, submenus, &map);
    CPoint at = parentToFrame(size_.topLeft());
    MenuResult result;
    if (PlatformWindow* window = frame_ ? frame_->getPlatformWindow() : nullptr)
        result = window->popupMenu(model, at);
    bool chosen = applyMenuResult(result, map);
    setDirty(true);
    forget();
    return chosen;
}

void COptionMenu::draw(CDrawContext* context)
{
    if (!(style_ & kNoDrawStyle)) {
        char text[256] = {};
        getCurrent(text);
        drawText(context, text);
    }
    setDirty(false);
}

void COptionMenu::mouse(CDrawContext* context, CPoint& /*where*/, long buttons)
{
    if (!leftPress(context, buttons))
        return;
    if (modifierClickStops(context, buttons))
        return;
    remember();
    if (popup(context)) {
        beginEdit();
        notifyValueChanged(context);
        endEdit();
    }
    forget();
}

bool COptionMenu::isTypeOf(const char* className) const
{
    return (className && std::strcmp(className, "COptionMenu") == 0) || CParamDisplay::isTypeOf(className);
}

} // namespace VSTGUI
