// The main page's displays of the engine's state: the two needle meters, the
// over lights and the six-cell numeric readout. The editor feeds them once
// per idle; they draw from film strips of the skin.
#pragma once

#include "gui/CControl.h"

#include <array>
#include <atomic>

// A needle meter drawn from one of two film strips (normal scale "-20..+3",
// alternate scale "-40..+6"); a click flips the scale and tells the listener.
class CMovieMeter : public VSTGUI::CControl {
public:
    CMovieMeter(const VSTGUI::CRect& size, VSTGUI::CControlListener* listener, long tag, long subPixmaps,
                long heightOfOneImage, VSTGUI::CBitmap* normalStrip, VSTGUI::CBitmap* alternateStrip,
                const VSTGUI::CPoint& offset, int scale);
    ~CMovieMeter() override;

    void draw(VSTGUI::CDrawContext* context) override;
    void mouse(VSTGUI::CDrawContext* context, VSTGUI::CPoint& where, long buttons = -1) override;
    bool isTypeOf(const char* className) const override;

    // Needle position in [0, 1] for a linear meter value.
    virtual float valueToPosition(float x) const;
    // Image of the strip the needle shows for a linear meter value.
    long frameForValue(float x) const;
    // 0 normal, 1 alternate; any thread (only stores and marks).
    virtual void setScale(int scale);
    int getScale() const { return scale_.load(std::memory_order_relaxed); }

private:
    VSTGUI::CBitmap* alternate_;
    VSTGUI::CPoint offset_;
    long subPixmaps_;
    long heightOfOneImage_;
    std::atomic<int> scale_;
};

// An over light: flares to its brightest image on an over, fades one image
// per redraw to a dim hold, and stays there until clicked.
class CMovieLED : public VSTGUI::CControl {
public:
    CMovieLED(const VSTGUI::CRect& size, VSTGUI::CControlListener* listener, long tag, long subPixmaps,
              long heightOfOneImage, VSTGUI::CBitmap* strip, const VSTGUI::CPoint& offset = VSTGUI::CPoint());
    ~CMovieLED() override;

    void draw(VSTGUI::CDrawContext* context) override;
    void mouse(VSTGUI::CDrawContext* context, VSTGUI::CPoint& where, long buttons = -1) override;
    bool isTypeOf(const char* className) const override;

    // Dark until the next over.
    virtual void reset();
    // The image drawn last (0 when dark).
    long lastFrame() const { return lastFrame_; }

private:
    VSTGUI::CPoint offset_;
    long subPixmaps_;
    long heightOfOneImage_;
    float step_;
    long lastFrame_ = 0;
};

// What the readout shows: nothing, decibels, hertz, percent or a plain number.
enum class ReadoutKind : int { kBlank = 0, kDecibel = 1, kHertz = 2, kPercent = 3, kPlain = 4 };

// Six glyph indices of the readout strip for a value in a kind: 0-9 digits,
// then point, k, plus, minus, percent, dB, Hz and blank (skin::ReadoutGlyph).
std::array<int, 6> readoutCells(float value, ReadoutKind kind);

// The six-cell readout.
class CCounter : public VSTGUI::CControl {
public:
    CCounter(const VSTGUI::CRect& size, VSTGUI::CControlListener* listener, long tag, float value, ReadoutKind kind,
             long x, long y, long pitch, long glyphHeight, VSTGUI::CBitmap* strip);
    ~CCounter() override;

    void draw(VSTGUI::CDrawContext* context) override;
    bool isTypeOf(const char* className) const override;

    // Any thread (only stores and marks).
    virtual void setValueAndKind(float value, ReadoutKind kind);
    ReadoutKind getKind() const { return static_cast<ReadoutKind>(kind_.load(std::memory_order_relaxed)); }
    // The cells drawn last.
    const std::array<int, 6>& shownCells() const { return cells_; }

private:
    std::atomic<int> kind_;
    long x_, y_, pitch_, glyphHeight_;
    std::array<int, 6> cells_;
};
