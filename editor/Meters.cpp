#include "editor/Meters.h"

#include "editor/MeterMapping.h"
#include "resources/SkinIds.h"

#include <cmath>
#include <cstring>

using namespace VSTGUI;

namespace {

bool isClass(const char* className, const char* name) { return className && std::strcmp(className, name) == 0; }

// The fixed-decimal rounding of the parameter texts: one unit of the last
// kept decimal is added when the rest is about a half or more, and the
// digits are then taken truncated.
double roundForDigits(double c, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    const double f = c * scale;
    const double r = f - std::trunc(f);
    if (r >= 0.49999)
        return (f + 1.0) / scale;
    if (r <= -0.49999)
        return (f - 1.0) / scale;
    return c;
}

// Truncated decimal digit of |c| at 10^power (power -1 is the tenths).
int digitAt(double magnitude, int power)
{
    const double shifted = magnitude / std::pow(10.0, power);
    if (!(shifted < 1e15))
        return 9;
    return static_cast<int>(std::fmod(std::floor(shifted), 10.0));
}

} // namespace

// --- CMovieMeter ---------------------------------------------------------------

CMovieMeter::CMovieMeter(const CRect& size, CControlListener* listener, long tag, long subPixmaps,
                         long heightOfOneImage, CBitmap* normalStrip, CBitmap* alternateStrip, const CPoint& offset,
                         int scale)
    : CControl(size, listener, tag, normalStrip), alternate_(alternateStrip), offset_(offset),
      subPixmaps_(subPixmaps), heightOfOneImage_(heightOfOneImage), scale_(scale ? 1 : 0)
{
    if (alternate_)
        alternate_->remember();
}

CMovieMeter::~CMovieMeter()
{
    if (alternate_)
        alternate_->forget();
}

float CMovieMeter::valueToPosition(float x) const
{
    return meter::needlePosition(x, getScale() ? meter::Scale::Alternate : meter::Scale::Normal);
}

long CMovieMeter::frameForValue(float x) const
{
    if (subPixmaps_ < 1)
        return 0;
    return static_cast<long>(static_cast<double>(subPixmaps_ - 1) * valueToPosition(x) + 0.5);
}

void CMovieMeter::draw(CDrawContext* context)
{
    float x = getValue();
    if (x < 0.0f) {
        x = 0.0f;
        value_.store(x, std::memory_order_relaxed); // drawing: no new dirty mark
    }
    CBitmap* strip = getScale() ? alternate_ : background_;
    if (strip && context) {
        const CPoint source(offset_.h, offset_.v + static_cast<int32_t>(frameForValue(x) * heightOfOneImage_));
        if (transparent_)
            strip->drawTransparent(context, size_, source);
        else
            strip->draw(context, size_, source);
    }
    setDirty(false);
}

void CMovieMeter::mouse(CDrawContext* context, CPoint& /*where*/, long buttons)
{
    if (!leftPress(context, buttons))
        return;
    const int flipped = getScale() == 0 ? 1 : 0;
    scale_.store(flipped, std::memory_order_relaxed);
    setValue(static_cast<float>(flipped));
    setDirty(true);
    update(context);
    notifyValueChanged(context);
}

void CMovieMeter::setScale(int scale)
{
    scale_.store(scale ? 1 : 0, std::memory_order_relaxed);
    setDirty(true);
}

bool CMovieMeter::isTypeOf(const char* className) const
{
    return isClass(className, "CMovieMeter") || CControl::isTypeOf(className);
}

// --- CMovieLED -----------------------------------------------------------------

CMovieLED::CMovieLED(const CRect& size, CControlListener* listener, long tag, long subPixmaps, long heightOfOneImage,
                     CBitmap* strip, const CPoint& offset)
    : CControl(size, listener, tag, strip), offset_(offset), subPixmaps_(subPixmaps),
      heightOfOneImage_(heightOfOneImage), step_(subPixmaps > 1 ? 1.0f / static_cast<float>(subPixmaps - 1) : 1.0f)
{
    setOldValue(0.0f);
    setValue(0.0f);
    setMouseEnabled(true);
    setDirty(true);
}

CMovieLED::~CMovieLED() = default;

void CMovieLED::draw(CDrawContext* context)
{
    // The level shown is the larger of the new input and the old level
    // faded by one step; at or below 0.45 the old level no longer fades.
    float d = getOldValue();
    if (d > 0.45f)
        d -= step_;
    if (d < 0.0f)
        d = 0.0f;
    float value = getValue();
    if (value < d)
        value = d;
    if (value > 1.0f)
        value = 1.0f;
    // Stored without a new dirty mark: this is what is drawn now.
    value_.store(value, std::memory_order_relaxed);
    setOldValue(value);
    long frame = 0;
    if (value > 0.0f)
        frame = static_cast<long>(static_cast<float>(subPixmaps_ - 1) * value + 0.5f);
    lastFrame_ = frame;
    if (background_ && context)
        drawBackgroundFrom(context, CPoint(offset_.h, offset_.v + static_cast<int32_t>(frame * heightOfOneImage_)));
    setDirty(false);
}

void CMovieLED::mouse(CDrawContext* context, CPoint& /*where*/, long buttons)
{
    if (!leftPress(context, buttons))
        return;
    reset();
    doIdleStuff();
}

void CMovieLED::reset()
{
    setOldValue(0.0f);
    setValue(0.0f);
    setDirty(true);
}

bool CMovieLED::isTypeOf(const char* className) const
{
    return isClass(className, "CMovieLED") || CControl::isTypeOf(className);
}

// --- CCounter ------------------------------------------------------------------

std::array<int, 6> readoutCells(float value, ReadoutKind kind)
{
    using namespace skin;
    std::array<int, 6> cells;
    cells.fill(kGlyphBlank);
    double c = value;
    if (std::isnan(c) || std::isinf(c))
        return cells;
    switch (kind) {
    case ReadoutKind::kDecibel: {
        c = roundForDigits(c, 2);
        const double m = std::fabs(c);
        cells[0] = c > 0.01 ? kGlyphPlus : (c < -0.01 ? kGlyphMinus : kGlyphBlank);
        if (m >= 10.0) {
            const int tens = digitAt(m, 1);
            cells[1] = tens >= 1 ? tens : kGlyphBlank;
            cells[2] = digitAt(m, 0);
            cells[3] = kGlyphPoint;
            cells[4] = digitAt(m, -1);
        } else {
            cells[1] = digitAt(m, 0);
            cells[2] = kGlyphPoint;
            cells[3] = digitAt(m, -1);
            cells[4] = digitAt(m, -2);
        }
        cells[5] = kGlyphDecibel;
        break;
    }
    case ReadoutKind::kHertz: {
        // Which layout is decided on the rounded value: 999.96 Hz reads
        // 1 k 0 0, not a cut-off 000.0.
        const double small = roundForDigits(c, 1);
        if (std::fabs(small) < 1000.0) {
            const double m = std::fabs(small);
            const int hundreds = digitAt(m, 2);
            const int tens = digitAt(m, 1);
            cells[0] = hundreds >= 1 ? hundreds : kGlyphBlank;
            cells[1] = (tens == 0 && hundreds == 0) ? kGlyphBlank : tens;
            cells[2] = digitAt(m, 0);
            cells[3] = kGlyphPoint;
            cells[4] = digitAt(m, -1);
        } else {
            const double m = std::fabs(roundForDigits(c, -1));
            const int tenThousands = digitAt(m, 4);
            cells[0] = tenThousands == 0 ? kGlyphBlank : tenThousands;
            cells[1] = digitAt(m, 3);
            cells[2] = kGlyphKilo;
            cells[3] = digitAt(m, 2);
            cells[4] = digitAt(m, 1);
        }
        cells[5] = kGlyphHertz;
        break;
    }
    case ReadoutKind::kPercent:
    case ReadoutKind::kPlain: {
        const bool percent = kind == ReadoutKind::kPercent;
        const double m = std::fabs(roundForDigits(c, percent ? 1 : 2));
        const int hundreds = digitAt(m, 2);
        const int tens = digitAt(m, 1);
        cells[0] = hundreds == 0 ? kGlyphBlank : hundreds;
        cells[1] = (tens == 0 && hundreds == 0) ? kGlyphBlank : tens;
        cells[2] = digitAt(m, 0);
        cells[3] = kGlyphPoint;
        cells[4] = digitAt(m, -1);
        cells[5] = percent ? kGlyphPercent : digitAt(m, -2);
        break;
    }
    case ReadoutKind::kBlank:
    default:
        break;
    }
    return cells;
}

CCounter::CCounter(const CRect& size, CControlListener* listener, long tag, float value, ReadoutKind kind, long x,
                   long y, long pitch, long glyphHeight, CBitmap* strip)
    : CControl(size, listener, tag, strip), kind_(static_cast<int>(kind)), x_(x), y_(y), pitch_(pitch),
      glyphHeight_(glyphHeight)
{
    cells_.fill(skin::kGlyphBlank);
    setValue(value);
    setDirty(true);
}

CCounter::~CCounter() = default;

void CCounter::setValueAndKind(float value, ReadoutKind kind)
{
    kind_.store(static_cast<int>(kind), std::memory_order_relaxed);
    setValue(value);
    setDirty(true);
}

void CCounter::draw(CDrawContext* context)
{
    cells_ = readoutCells(getValue(), getKind());
    if (background_ && context) {
        for (int i = 0; i < 6; ++i) {
            const int32_t left = static_cast<int32_t>(x_ + i * pitch_);
            const CRect cell(left, static_cast<int32_t>(y_), static_cast<int32_t>(left + pitch_),
                             static_cast<int32_t>(y_ + glyphHeight_));
            background_->draw(context, cell, CPoint(0, static_cast<int32_t>(cells_[static_cast<size_t>(i)] * glyphHeight_)));
        }
    }
    setDirty(false);
}

bool CCounter::isTypeOf(const char* className) const
{
    return isClass(className, "CCounter") || CControl::isTypeOf(className);
}
