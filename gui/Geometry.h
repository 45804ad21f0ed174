// The toolkit's basic records: points, rectangles and colours in window
// pixels (the editor's own 1x pixels; a platform layer may draw them at a
// larger device scale), and the bits of the mouse-button state.
#pragma once

#include <algorithm>
#include <cstdint>

namespace VSTGUI {

struct CPoint {
    int32_t h = 0;
    int32_t v = 0;

    constexpr CPoint() = default;
    constexpr CPoint(int32_t h_, int32_t v_) : h(h_), v(v_) {}

    constexpr CPoint& offset(int32_t dh, int32_t dv)
    {
        h += dh;
        v += dv;
        return *this;
    }
    constexpr bool operator==(const CPoint&) const = default;
};

// left and top are inside, right and bottom are one past the last pixel.
struct CRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    constexpr CRect() = default;
    constexpr CRect(int32_t l, int32_t t, int32_t r, int32_t b) : left(l), top(t), right(r), bottom(b) {}
    constexpr CRect(CPoint origin, CPoint size)
        : left(origin.h), top(origin.v), right(origin.h + size.h), bottom(origin.v + size.v)
    {
    }

    constexpr int32_t width() const { return right - left; }
    constexpr int32_t height() const { return bottom - top; }
    constexpr bool isEmpty() const { return right <= left || bottom <= top; }
    constexpr CPoint topLeft() const { return {left, top}; }

    constexpr CRect& offset(int32_t dh, int32_t dv)
    {
        left += dh;
        right += dh;
        top += dv;
        bottom += dv;
        return *this;
    }
    constexpr CRect& moveTo(int32_t h, int32_t v) { return offset(h - left, v - top); }

    // Inside when left <= h < right and top <= v < bottom.
    constexpr bool pointInside(CPoint p) const { return p.h >= left && p.h < right && p.v >= top && p.v < bottom; }

    // Intersection; empty (all zero) when the two do not overlap.
    constexpr CRect& bound(const CRect& other)
    {
        left = std::max(left, other.left);
        top = std::max(top, other.top);
        right = std::min(right, other.right);
        bottom = std::min(bottom, other.bottom);
        if (isEmpty())
            *this = CRect();
        return *this;
    }
    // Smallest rectangle holding both (an empty one counts as nothing).
    constexpr CRect& unite(const CRect& other)
    {
        if (other.isEmpty())
            return *this;
        if (isEmpty())
            return *this = other;
        left = std::min(left, other.left);
        top = std::min(top, other.top);
        right = std::max(right, other.right);
        bottom = std::max(bottom, other.bottom);
        return *this;
    }
    constexpr bool operator==(const CRect&) const = default;
};

struct CColor {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    uint8_t alpha = 255;
    constexpr bool operator==(const CColor&) const = default;
};

inline constexpr CColor kBlackCColor{0, 0, 0, 255};
inline constexpr CColor kWhiteCColor{255, 255, 255, 255};
inline constexpr CColor kGreyCColor{127, 127, 127, 255};
inline constexpr CColor kRedCColor{255, 0, 0, 255};
inline constexpr CColor kGreenCColor{0, 255, 0, 255};
inline constexpr CColor kBlueCColor{0, 0, 255, 255};
inline constexpr CColor kYellowCColor{255, 255, 0, 255};
inline constexpr CColor kMagentaCColor{255, 0, 255, 255};
inline constexpr CColor kCyanCColor{0, 255, 255, 255};
inline constexpr CColor kTransparentCColor{255, 255, 255, 0};

// Mouse-button and modifier state, as read at the moment of asking.
enum CButton : int32_t {
    kLButton = 1,
    kMButton = 2,
    kRButton = 4,
    kShift = 8,
    kControl = 16,
    kAlt = 32,
};

// Horizontal text alignment.
enum CHoriTxtAlign : int32_t { kLeftText = 0, kCenterText = 1, kRightText = 2 };

// Text face flags, combined.
enum CTxtFace : int32_t { kNormalFace = 0, kBoldFace = 1, kItalicFace = 2, kUnderlineFace = 4 };

// Font ids 0-7 of the drawing context: face and height in pixels.
//   0 Arial 12 (always bold), 1 Arial 18, 2 Arial 14, 3 Arial 12,
//   4 Arial 11, 5 Arial 10, 6 Arial 9, 7 Symbol 13.
// An id outside 0-7 is treated as 0.
enum CFont : int32_t {
    kSystemFont = 0,
    kNormalFontVeryBig = 1,
    kNormalFontBig = 2,
    kNormalFont = 3,
    kNormalFontSmall = 4,
    kNormalFontSmaller = 5,
    kNormalFontVerySmall = 6,
    kSymbolFont = 7,
    kNumFonts = 8,
};

struct FontMetric {
    const char* face; // "Arial" or "Symbol"
    int32_t height;   // pixels
    bool alwaysBold;
};
inline constexpr FontMetric kFontMetrics[kNumFonts] = {
    {"Arial", 12, true}, {"Arial", 18, false}, {"Arial", 14, false}, {"Arial", 12, false},
    {"Arial", 11, false}, {"Arial", 10, false}, {"Arial", 9, false}, {"Symbol", 13, false},
};
constexpr int32_t validFontId(int32_t id) { return id >= 0 && id < kNumFonts ? id : 0; }

} // namespace VSTGUI
