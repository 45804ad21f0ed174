// The two page backgrounds: the light brushed main faceplate with the meter
// bridge, every caption and knob scale, the readout window, the name plate
// and the preset rail; and the dark settings page.
#include "Art.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <stdexcept>

namespace gen {

using namespace layout;

// --- Where the bitmaps go ------------------------------------------------------

std::vector<Placement> placementsOf(int id)
{
    std::vector<Placement> out;
    for (const ControlSpec& c : kMainPageControls) {
        if (c.bitmap == 0)
            continue;
        if (c.bitmap == id)
            out.push_back({Page::Main, c.rect});
        if (c.bitmap == skin::kProcessButton && id == skin::kProcessButtonNoFat)
            out.push_back({Page::MainNoFat, c.rect});
        if (c.bitmap == skin::kMeterNormal && id == skin::kMeterAlternate)
            out.push_back({Page::Main, c.rect});
    }
    for (const SettingsKnobSpec& k : kSettingsKnobs)
        if (id == skin::kSettingsKnob)
            out.push_back({Page::Settings, k.knob});
    for (const ControlSpec& c : kSettingsPageControls)
        if (c.bitmap != 0 && c.bitmap == id)
            out.push_back({Page::Settings, c.rect});
    for (const StripControlSpec& s : kStripControls)
        if (s.bitmap != 0 && s.bitmap == id)
            out.push_back({Page::Main, stripRect(s)});
    return out;
}

double knobRadius(int id)
{
    switch (id) {
    case skin::kDriveKnob:
        return 29.0;
    case skin::kSettingsKnob:
        return 9.5;
    default:
        return 15.5;
    }
}

// --- Textures -------------------------------------------------------------------

Image brushedMetal(int width, int height, int scale, const Color& base, double grain, uint64_t seed)
{
    const int w = width * scale, h = height * scale;
    // Fine streaks: white noise smeared along x; a few longer, stronger
    // scratches; and a slow waviness so the sheen is not uniform.
    Plane fine = whiteNoise(w, h, seed);
    blurHorizontal(fine, 14 * scale, 3, true);
    fine.normalize();
    Plane streak = whiteNoise(w, h, seed + 1);
    blurHorizontal(streak, 60 * scale, 3, true);
    blurVertical(streak, scale > 1 ? 1 : 0, 1);
    streak.normalize();
    Plane speck = whiteNoise(w, h, seed + 2);
    blurHorizontal(speck, 2 * scale, 2, true);
    speck.normalize();

    Image img(w, h, scale);
    img.beginPixels();
    for (int y = 0; y < h; ++y) {
        uint32_t* row = img.row(y);
        for (int x = 0; x < w; ++x) {
            double n = grain * (0.55 * fine.at(x, y) + 0.35 * streak.at(x, y) + 0.18 * speck.at(x, y));
            double r = base.r + n, g = base.g + n, b = base.b + n * 1.05;
            auto q = [](double v) { return static_cast<uint32_t>(std::clamp(std::lround(v * 255.0), 0L, 255L)); };
            row[x] = 0xFF000000u | (q(r) << 16) | (q(g) << 8) | q(b);
        }
    }
    img.endPixels();
    return img;
}

Image anodized(int width, int height, int scale, const Color& base, double grain, uint64_t seed)
{
    const int w = width * scale, h = height * scale;
    Plane n1 = whiteNoise(w, h, seed);
    blurHorizontal(n1, scale, 1);
    blurVertical(n1, scale, 1);
    n1.normalize();
    Plane n2 = whiteNoise(w, h, seed + 7);
    blurHorizontal(n2, 30 * scale, 3, true);
    n2.normalize();
    Image img(w, h, scale);
    img.beginPixels();
    for (int y = 0; y < h; ++y) {
        uint32_t* row = img.row(y);
        for (int x = 0; x < w; ++x) {
            double n = grain * (0.8 * n1.at(x, y) + 0.4 * n2.at(x, y));
            auto q = [](double v) { return static_cast<uint32_t>(std::clamp(std::lround(v * 255.0), 0L, 255L)); };
            row[x] = 0xFF000000u | (q(base.r + n) << 16) | (q(base.g + n) << 8) | q(base.b + n * 1.1);
        }
    }
    img.endPixels();
    return img;
}

void cloneTexture(Image& page, const CRect& from, const CRect& to, int margin, const Color& base)
{
    const int s = page.scale();
    const Image source = page;
    const int ox = (from.left - to.left) * s, oy = (from.top - to.top) * s;
    const int x0 = (to.left - margin) * s, y0 = (to.top - margin) * s;
    const int x1 = (to.right + margin) * s, y1 = (to.bottom + margin) * s;
    source.beginPixels();
    page.beginPixels();
    for (int y = std::max(y0, 0); y < std::min(y1, page.height()); ++y)
        for (int x = std::max(x0, 0); x < std::min(x1, page.width()); ++x) {
            int sx = x + ox, sy = y + oy;
            if (sx < 0 || sy < 0 || sx >= page.width() || sy >= page.height())
                continue;
            // Distance outside the target rectangle, in 1x pixels.
            double dx = std::max({to.left * s - x - 0.5, x + 0.5 - to.right * s, 0.0}) / s;
            double dy = std::max({to.top * s - y - 0.5, y + 0.5 - to.bottom * s, 0.0}) / s;
            double d = std::sqrt(dx * dx + dy * dy);
            double w = 1.0 - smoothstep(0.0, margin, d);
            if (w <= 0)
                continue;
            // Blend the grain about the plate's tone so that it keeps its
            // strength where the two textures meet (a plain mix of two
            // unrelated grains would be smoother there, a visible ring).
            uint32_t a = page.at(x, y), b = source.at(sx, sy), out = 0xFF000000u;
            const double norm = 1.0 / std::sqrt(w * w + (1 - w) * (1 - w));
            const double tone[3] = {base.b * 255, base.g * 255, base.r * 255};
            for (int k = 0; k < 3; ++k) {
                double va = ((a >> (8 * k)) & 0xFF) - tone[k], vb = ((b >> (8 * k)) & 0xFF) - tone[k];
                double v = tone[k] + (va * (1 - w) + vb * w) * norm;
                out |= static_cast<uint32_t>(std::clamp(std::lround(v), 0L, 255L)) << (8 * k);
            }
            page.set(x, y, out);
        }
    page.endPixels();
}

// --- Printing -------------------------------------------------------------------

void drawKnobScale(Pen& pen, double cx, double cy, double inner, double tickLength, const KnobScale& scale,
                   const Color& color, double labelSize)
{
    auto dir = [](double v, double& dx, double& dy) {
        double a = radians(225.0 - 270.0 * v);
        dx = std::cos(a);
        dy = -std::sin(a);
    };
    for (int i = 0; i < scale.ticks; ++i) {
        double v = scale.ticks > 1 ? static_cast<double>(i) / (scale.ticks - 1) : 0.0;
        bool major = std::any_of(scale.emphasis.begin(), scale.emphasis.end(),
                                 [&](double e) { return std::abs(e - v) < 1e-6; });
        double dx, dy;
        dir(v, dx, dy);
        double len = major ? tickLength : tickLength * 0.55;
        pen.line(cx + dx * inner, cy + dy * inner, cx + dx * (inner + len), cy + dy * (inner + len),
                 major ? 1.0 : 0.8, color);
    }
    TextStyle st{Font::SansBold, labelSize, 0.0, color};
    for (const auto& [v, text] : scale.labels) {
        double dx, dy;
        dir(v, dx, dy);
        // The text box touches the point just beyond the tick with its
        // nearest side, so labels at mirrored places sit at the same height.
        double w = textWidth(pen, text, st), h = capHeight(st);
        double r = inner + tickLength + 2.0;
        double x = cx + dx * r + dx * w / 2, y = cy + dy * r + dy * h / 2 + h / 2;
        drawText(pen, text, x, y, Align::Center, st);
    }
}

namespace {

const TextStyle kCaption{Font::SansBold, 6.8, 0.75, kInk};
const TextStyle kBridgeCaption{Font::SansBold, 6.8, 0.75, kLightInk};

KnobScale scaleFor(ParamId id)
{
    KnobScale k;
    switch (id) {
    case ParamId::Knee:
    case ParamId::Speed:
    case ParamId::Mix:
        k.ticks = 11;
        k.labels = {{0.0, "0"}, {1.0, "100"}};
        k.emphasis = {0.0, 0.5, 1.0};
        break;
    case ParamId::Drive:
        k.ticks = 17;
        k.labels = {{0.0, "\u221224"}, {0.25, "\u221212"}, {0.75, "+12"}, {1.0, "+24"}};
        k.emphasis = {0.0, 0.25, 0.5, 0.75, 1.0};
        break;
    case ParamId::HighFreq:
        k.ticks = 9;
        k.labels = {{0.0, "1k"}, {1.0, "16k"}};
        k.emphasis = {0.0, 0.25, 0.5, 0.75, 1.0};
        break;
    case ParamId::LowFreq:
        k.ticks = 9;
        k.labels = {{0.0, "25"}, {1.0, "400"}};
        k.emphasis = {0.0, 0.25, 0.5, 0.75, 1.0};
        break;
    case ParamId::Release:
        k.ticks = 9;
        k.labels = {{0.0, "0.25"}, {1.0, "4"}};
        k.emphasis = {0.0, 0.25, 0.5, 0.75, 1.0};
        break;
    default: // the +-12 dB knobs
        k.ticks = 9;
        k.labels = {{0.0, "\u221212"}, {1.0, "+12"}};
        k.emphasis = {0.0, 0.5, 1.0};
        break;
    }
    return k;
}

// Rectangles of the page's controls: a caption must not reach into any of
// them but its own, or a control's frames would cut it.
std::vector<CRect> g_keepOut;

bool overlapsOthers(double x0, double y0, double x1, double y1, const CRect& own)
{
    for (const CRect& r : g_keepOut)
        if (!(r == own) && x0 < r.right && x1 > r.left && y0 < r.bottom && y1 > r.top)
            return true;
    return false;
}

void drawCaption(Pen& pen, const std::string& text, const CRect& r, CaptionSide side, TextStyle st, double gap = 3.0)
{
    if (text.empty())
        return;
    double cx = (r.left + r.right) / 2.0, cy = (r.top + r.bottom) / 2.0;
    // Where the text goes for a style: left end, baseline, width.
    auto place = [&](const TextStyle& style, double& x, double& base, double& w) {
        double cap = capHeight(style);
        w = textWidth(pen, text, style);
        switch (side) {
        case CaptionSide::Above:
            x = cx - w / 2;
            base = r.top - gap;
            break;
        case CaptionSide::Below:
            x = cx - w / 2;
            base = r.bottom + gap + cap;
            break;
        case CaptionSide::Left:
            x = r.left - gap - w;
            base = cy + cap / 2;
            break;
        case CaptionSide::Right:
            x = r.right + gap;
            base = cy + cap / 2;
            break;
        }
    };
    // Tighten the letters, then shrink the type, until it fits.
    double x = 0, base = 0, w = 0;
    for (;;) {
        place(st, x, base, w);
        if (!overlapsOthers(x, base - capHeight(st), x + w, base, r))
            break;
        if (st.tracking > 0.05)
            st.tracking = std::max(0.0, st.tracking - 0.2);
        else if (st.size > 5.6)
            st.size -= 0.2;
        else {
            std::fprintf(stderr, "caption \"%s\" overlaps another control\n", text.c_str());
            break;
        }
    }
    drawText(pen, text, x, base, Align::Left, st);
}

// A small solid triangle pointing right (dir 1) or left (dir -1).
void arrowHead(Pen& pen, double cx, double cy, double size, int dir, const Color& c)
{
    cairo_move_to(pen, cx + dir * size * 0.6, cy);
    cairo_line_to(pen, cx - dir * size * 0.6, cy - size * 0.75);
    cairo_line_to(pen, cx - dir * size * 0.6, cy + size * 0.75);
    cairo_close_path(pen);
    pen.source(c);
    cairo_fill(pen);
}

// A screw head with a slot, lit from the top left.
void drawScrew(Pen& pen, double cx, double cy, double r, double slotAngle)
{
    cairo_t* cr = pen.cr();
    // Countersink shadow.
    pen.fillCircle(cx + 0.3, cy + 0.5, r + 0.9, grey(0.0, 0.25));
    cairo_pattern_t* p = cairo_pattern_create_linear(cx - r, cy - r, cx + r, cy + r);
    cairo_pattern_add_color_stop_rgb(p, 0, 0.93, 0.93, 0.92);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.52, 0.52, 0.52);
    cairo_arc(cr, cx, cy, r, 0, 2 * kPi);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
    double a = radians(slotAngle), dx = std::cos(a) * r * 0.8, dy = std::sin(a) * r * 0.8;
    pen.line(cx - dx, cy - dy, cx + dx, cy + dy, r * 0.36, grey(0.22));
    pen.line(cx - dx + 0.25, cy - dy + 0.35, cx + dx + 0.25, cy + dy + 0.35, r * 0.12, grey(0.85, 0.6));
}

// A recessed panel: dark inner edge along the top and left, a light lip
// along the bottom and right, so it sits below the faceplate.
void insetFrame(Pen& pen, double x, double y, double w, double h, double r, double depth = 1.0)
{
    cairo_t* cr = pen.cr();
    cairo_save(cr);
    pen.roundedRect(x - 0.5, y - 0.5, w + 1, h + 1, r + 0.5);
    cairo_set_line_width(cr, 1.0);
    cairo_pattern_t* p = cairo_pattern_create_linear(0, y, 0, y + h);
    cairo_pattern_add_color_stop_rgba(p, 0, 0, 0, 0, 0.45 * depth);
    cairo_pattern_add_color_stop_rgba(p, 0.5, 0, 0, 0, 0.2 * depth);
    cairo_pattern_add_color_stop_rgba(p, 1, 1, 1, 1, 0.55 * depth);
    cairo_set_source(cr, p);
    cairo_stroke(cr);
    cairo_pattern_destroy(p);
    cairo_restore(cr);
}

// Gradient fill of a rounded rectangle, top to bottom.
void fillPanel(Pen& pen, double x, double y, double w, double h, double r, const Color& top, const Color& bottom)
{
    cairo_t* cr = pen.cr();
    cairo_pattern_t* p = cairo_pattern_create_linear(0, y, 0, y + h);
    cairo_pattern_add_color_stop_rgba(p, 0, top.r, top.g, top.b, top.a);
    cairo_pattern_add_color_stop_rgba(p, 1, bottom.r, bottom.g, bottom.b, bottom.a);
    pen.roundedRect(x, y, w, h, r);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
}

// Paints a texture image into a rounded rectangle of the page.
void fillWithTexture(Image& page, const Image& texture, double x, double y, double w, double h, double r)
{
    Pen pen(page);
    pen.roundedRect(x, y, w, h, r);
    cairo_clip(pen.cr());
    cairo_scale(pen.cr(), 1.0 / page.scale(), 1.0 / page.scale());
    cairo_set_source_surface(pen.cr(), texture.surface(), 0, 0);
    cairo_paint(pen.cr());
}

// Same texture of one bitmap at all its places on one page.
void matchPlacements(Image& page, Page which, const std::vector<int>& ids, int margin, const Color& base)
{
    for (int id : ids) {
        std::vector<Placement> places = placementsOf(id);
        const Placement* first = nullptr;
        for (const Placement& p : places) {
            if (p.page != which)
                continue;
            if (!first)
                first = &p;
            else
                cloneTexture(page, first->rect, p.rect, margin, base);
        }
    }
}

const ControlSpec& mainControl(const char* name)
{
    for (const ControlSpec& c : kMainPageControls)
        if (std::string(c.name) == name)
            return c;
    throw std::runtime_error(std::string("no control ") + name);
}

// Meter bridge: the dark window band across the top that holds both meters,
// their switches and the over lights.
constexpr double kBridgeX = 28, kBridgeY = 13, kBridgeW = 394, kBridgeH = 131;

} // namespace

Image drawMainPage(int scale, bool hasFat)
{
    const int W = kWindowWidth, H = kWindowHeight;
    Image page = brushedMetal(W, H, scale, kFaceplate, 0.017, 1000);

    // Meter bridge base.
    {
        Image glass = anodized(W, H, scale, kBridge, 0.004, 2000);
        fillWithTexture(page, glass, kBridgeX, kBridgeY, kBridgeW, kBridgeH, 6);
    }

    // Every bitmap used at more than one place sees the same texture there.
    matchPlacements(page, Page::Main, {skin::kKnobSmall, skin::kKnobTone}, 10, kFaceplate);
    matchPlacements(page, Page::Main, {skin::kOverLight, skin::kMeterNormal}, 10, kBridge);

    g_keepOut.clear();
    for (const ControlSpec& c : kMainPageControls)
        if (c.bitmap)
            g_keepOut.push_back(c.rect);

    Pen pen(page);
    cairo_t* cr = pen.cr();

    // Bridge edge: recessed into the plate.
    insetFrame(pen, kBridgeX, kBridgeY, kBridgeW, kBridgeH, 6, 1.0);
    {
        // Inner shadow under the top edge.
        cairo_save(cr);
        pen.roundedRect(kBridgeX, kBridgeY, kBridgeW, kBridgeH, 6);
        cairo_clip(cr);
        cairo_pattern_t* p = cairo_pattern_create_linear(0, kBridgeY, 0, kBridgeY + 10);
        cairo_pattern_add_color_stop_rgba(p, 0, 0, 0, 0, 0.5);
        cairo_pattern_add_color_stop_rgba(p, 1, 0, 0, 0, 0);
        cairo_rectangle(cr, kBridgeX, kBridgeY, kBridgeW, 10);
        cairo_set_source(cr, p);
        cairo_fill(cr);
        cairo_pattern_destroy(p);
        cairo_restore(cr);
    }

    // Meter windows: a black bezel with the face behind it.
    for (const char* name : {"MeterLeft", "MeterRight"}) {
        const ControlSpec& m = mainControl(name);
        const CRect& r = m.rect;
        pen.roundedRect(r.left - 5, r.top - 5, r.width() + 10, r.height() + 10, 4);
        pen.source(grey(0.05));
        cairo_fill(cr);
        cairo_save(cr);
        pen.roundedRect(r.left - 5, r.top - 5, r.width() + 10, r.height() + 10, 4);
        cairo_set_line_width(cr, 1.0);
        cairo_pattern_t* p = cairo_pattern_create_linear(0, r.top - 5, 0, r.bottom + 5);
        cairo_pattern_add_color_stop_rgba(p, 0, 1, 1, 1, 0.10);
        cairo_pattern_add_color_stop_rgba(p, 1, 1, 1, 1, 0.28);
        cairo_set_source(cr, p);
        cairo_stroke(cr);
        cairo_pattern_destroy(p);
        cairo_restore(cr);
        drawMeterFace(page, r.left * scale, r.top * scale, meter::Scale::Normal, 2, true);
        drawCaption(pen, m.caption, {r.left, r.top - 5, r.right, r.bottom}, m.captionSide, kBridgeCaption, 3);
    }

    // Captions of the switches and lights in the bridge.
    for (const char* name : {"Meters", "MeterType", "OverLeft", "OverRight"}) {
        const ControlSpec& c = mainControl(name);
        drawCaption(pen, c.caption, c.rect, c.captionSide, kBridgeCaption, 3);
    }

    // Knob scales and captions.
    for (const ControlSpec& c : kMainPageControls) {
        if (c.kind != ControlKind::Knob && c.kind != ControlKind::DriveKnob)
            continue;
        double cx = (c.rect.left + c.rect.right) / 2.0, cy = (c.rect.top + c.rect.bottom) / 2.0;
        double r = knobRadius(c.bitmap);
        bool drive = c.kind == ControlKind::DriveKnob;
        drawKnobScale(pen, cx, cy, r + (drive ? 3.5 : 2.5), drive ? 4.5 : 3.2, scaleFor(c.param), kInk,
                      drive ? 6.4 : 6.0);
        // Outside the rectangle: the knob's strip is cut from the page there.
        drawCaption(pen, c.caption, c.rect, c.captionSide, kCaption, 2.0);
    }

    // Buttons.
    for (const ControlSpec& c : kMainPageControls) {
        if (c.kind != ControlKind::OnOffButton && c.kind != ControlKind::LRUDButton)
            continue;
        if (c.kind == ControlKind::OnOffButton && c.bitmap == skin::kMeterTypeButton)
            continue;
        if (c.fatOnly && !hasFat)
            continue;
        drawCaption(pen, c.caption, c.rect, c.captionSide, kCaption, 2.5);
    }

    // Readout window: dark glass in a bezel; the glyphs fill its middle.
    {
        const ControlSpec& ro = mainControl("Readout");
        double x = ro.rect.left - 5, y = ro.rect.top - 4, w = 6 * kReadoutPitch + 10, h = kReadoutGlyphHeight + 8;
        pen.roundedRect(x - 1.5, y - 1.5, w + 3, h + 3, 3.5);
        pen.source(grey(0.12));
        cairo_fill(cr);
        pen.roundedRect(x, y, w, h, 2.5);
        pen.source(kDisplayGlass);
        cairo_fill(cr);
        insetFrame(pen, x - 1.5, y - 1.5, w + 3, h + 3, 3.5, 0.8);
    }

    // Name plate: the switch to the settings page.
    {
        const ControlSpec& sw = mainControl("ToSettings");
        const CRect& r = sw.rect;
        double x = r.left + 2, y = r.top + 1, w = r.width() - 4, h = r.height() - 2;
        fillPanel(pen, x, y, w, h, 3, rgb(52, 53, 57), rgb(30, 31, 34));
        insetFrame(pen, x, y, w, h, 3, 0.7);
        TextStyle brand{Font::SansBold, 6.2, 1.6, rgb(150, 150, 146)};
        TextStyle name{Font::SansBold, 9.5, 1.2, rgb(236, 230, 214)};
        double base = y + h / 2 + capHeight(name) / 2;
        double bx = x + 8;
        bx += drawText(pen, "NURWERK", bx, base, Align::Left, brand) + 6;
        drawText(pen, hasFat ? "AMBREL 2" : "AMBREL", bx, base, Align::Left, name);
        TextStyle hint{Font::SansBold, 5.6, 0.8, kAmber};
        double hx = x + w - 7;
        arrowHead(pen, hx - 2, y + h / 2, 2.6, 1, kAmber);
        drawText(pen, "SETUP", hx - 6, y + h / 2 + capHeight(hint) / 2, Align::Right, hint);
    }

    // Latency legend.
    {
        const ControlSpec& lc = mainControl("LatencyClick");
        drawCaption(pen, lc.caption, {lc.rect.left, 428, lc.rect.right, 438}, lc.captionSide, kCaption, 4);
        const ControlSpec& ms = mainControl("LatencyMs");
        pen.line(ms.rect.right + 1, 429.5, ms.rect.right + 1, 436.5, 0.6, grey(0.0, 0.35));
    }

    // Edges of the front panel: light catches the top, the sides fall off.
    pen.fillRect(0, 0, W, 1, grey(1.0, 0.35));
    for (int i = 0; i < 3; ++i) {
        pen.fillRect(i, 0, 1, kStripTop - 1, grey(0.0, 0.10 - 0.03 * i));
        pen.fillRect(W - 1 - i, 0, 1, kStripTop - 1, grey(0.0, 0.12 - 0.035 * i));
    }

    // Corner screws.
    drawScrew(pen, 12, 12, 4, 35);
    drawScrew(pen, W - 12, 12, 4, -20);
    drawScrew(pen, 12, kStripTop - 13, 4, 70);
    drawScrew(pen, W - 12, kStripTop - 13, 4, 10);

    // Preset rail along the bottom: black anodized, below a shadow line.
    {
        Image rail = anodized(W, H, scale, kRail, 0.012, 3000);
        cairo_save(cr);
        cairo_rectangle(cr, 0, kStripTop - 1, W, H - kStripTop + 1);
        cairo_clip(cr);
        cairo_scale(cr, 1.0 / scale, 1.0 / scale);
        cairo_set_source_surface(cr, rail.surface(), 0, 0);
        cairo_paint(cr);
        cairo_restore(cr);
        pen.fillRect(0, kStripTop - 1, W, 1, grey(0.06));
        pen.fillRect(0, kStripTop, W, 0.5, grey(1.0, 0.10));

        // Name field: a pale display in a recess.
        for (const StripControlSpec& s : kStripControls) {
            CRect r = stripRect(s);
            if (s.tag == EditorTag::NameField) {
                pen.fillRect(r.left, r.top, r.width(), r.height(), rgb(207, 222, 235));
                cairo_pattern_t* p = cairo_pattern_create_linear(0, r.top, 0, r.bottom);
                cairo_pattern_add_color_stop_rgba(p, 0, 0, 0, 0.05, 0.18);
                cairo_pattern_add_color_stop_rgba(p, 0.3, 0, 0, 0, 0.0);
                cairo_pattern_add_color_stop_rgba(p, 1, 1, 1, 1, 0.10);
                cairo_rectangle(cr, r.left, r.top, r.width(), r.height());
                cairo_set_source(cr, p);
                cairo_fill(cr);
                cairo_pattern_destroy(p);
                cairo_rectangle(cr, r.left - 0.5, r.top - 0.5, r.width() + 1, r.height() + 1);
                cairo_set_line_width(cr, 1);
                pen.source(grey(0.0, 0.8));
                cairo_stroke(cr);
            } else if (s.tag == EditorTag::PresetMenu) {
                // The menu's hot spot: a small down arrow.
                double cx = (r.left + r.right) / 2.0, cy = (r.top + r.bottom) / 2.0;
                cairo_move_to(cr, cx - 3, cy - 1.5);
                cairo_line_to(cr, cx + 3, cy - 1.5);
                cairo_line_to(cr, cx, cy + 2);
                cairo_close_path(cr);
                pen.source(rgb(190, 190, 186));
                cairo_fill(cr);
            }
        }
        TextStyle rail1{Font::SansBold, 6.2, 1.0, rgb(150, 150, 146)};
        auto between = [&](EditorTag a, EditorTag b, const char* text) {
            int l = 0, r = 0;
            for (const StripControlSpec& s : kStripControls) {
                if (s.tag == a)
                    l = s.right;
                if (s.tag == b)
                    r = s.left;
            }
            double cy = (kStripTop + kStripBottom) / 2.0 + capHeight(rail1) / 2;
            drawText(pen, text, (l + r) / 2.0, cy, Align::Center, rail1);
        };
        between(EditorTag::SaveBank, EditorTag::LoadBank, "BANK");
        between(EditorTag::SavePreset, EditorTag::LoadPreset, "PRESET");
        between(EditorTag::StoreA, EditorTag::RecallA, "A");
        between(EditorTag::StoreB, EditorTag::RecallB, "B");
    }
    return page;
}

Image drawSettingsPage(int scale)
{
    const int W = kWindowWidth, H = 445;
    Image page = anodized(W, H, scale, kSettingsPanel, 0.006, 4000);

    // The name plate is brushed like the main faceplate.
    const ControlSpec* back = nullptr;
    for (const ControlSpec& c : kSettingsPageControls)
        if (c.tag == EditorTag::ToMain)
            back = &c;
    const CRect plate = back->rect;
    {
        Image metal = brushedMetal(W, H, scale, kFaceplate, 0.022, 5000);
        fillWithTexture(page, metal, plate.left, plate.top, plate.width(), plate.height(), 5);
    }
    matchPlacements(page, Page::Settings, {skin::kSettingsKnob}, 8, kSettingsPanel);

    g_keepOut.clear();
    for (const SettingsKnobSpec& k : kSettingsKnobs) {
        g_keepOut.push_back(k.knob);
        g_keepOut.push_back(k.display);
    }
    for (const ControlSpec& c : kSettingsPageControls)
        if (c.bitmap)
            g_keepOut.push_back(c.rect);

    Pen pen(page);
    cairo_t* cr = pen.cr();

    // Plate edge and its print.
    {
        cairo_save(cr);
        pen.roundedRect(plate.left + 0.5, plate.top + 0.5, plate.width() - 1, plate.height() - 1, 5);
        cairo_set_line_width(cr, 1);
        cairo_pattern_t* p = cairo_pattern_create_linear(0, plate.top, 0, plate.bottom);
        cairo_pattern_add_color_stop_rgba(p, 0, 1, 1, 1, 0.7);
        cairo_pattern_add_color_stop_rgba(p, 1, 0, 0, 0, 0.35);
        cairo_set_source(cr, p);
        cairo_stroke(cr);
        cairo_pattern_destroy(p);
        cairo_restore(cr);
        // Drop shadow below the plate.
        cairo_save(cr);
        pen.roundedRect(plate.left + 1, plate.bottom, plate.width() - 2, 1.5, 0.7);
        pen.source(grey(0.0, 0.35));
        cairo_fill(cr);
        cairo_restore(cr);
        double cx = (plate.left + plate.right) / 2.0;
        drawText(pen, "NURWERK", cx, plate.top + 27, Align::Center, {Font::SansBold, 7.0, 2.4, rgb(70, 70, 68)});
        drawText(pen, "AMBREL", cx, plate.top + 52, Align::Center, {Font::SansBold, 19.0, 3.0, rgb(34, 34, 34)});
        pen.line(cx - 62, plate.top + 60.5, cx + 62, plate.top + 60.5, 0.7, grey(0.0, 0.45));
        drawText(pen, "SETTINGS", cx, plate.top + 72, Align::Center, {Font::SansBold, 7.0, 2.0, rgb(60, 60, 58)});
        TextStyle back{Font::SansBold, 5.6, 0.8, rgb(150, 95, 30)};
        double bw = textWidth(pen, "BACK TO THE CONTROLS", back);
        drawText(pen, "BACK TO THE CONTROLS", cx + 3, plate.bottom - 8, Align::Center, back);
        arrowHead(pen, cx + 3 - bw / 2 - 5, plate.bottom - 8 - capHeight(back) / 2, 2.4, -1, back.color);
    }

    // Group boxes with their titles.
    TextStyle title{Font::SansBold, 6.8, 1.4, rgb(198, 198, 194)};
    TextStyle caption{Font::SansBold, 6.2, 0.7, rgb(150, 150, 146)};
    auto box = [&](double x, double y, double w, double h, const char* text) {
        pen.roundedRect(x, y, w, h, 4);
        cairo_set_line_width(cr, 1);
        pen.source(grey(0.0, 0.45));
        cairo_stroke(cr);
        pen.roundedRect(x + 1, y + 1, w, h, 4);
        pen.source(grey(1.0, 0.07));
        cairo_stroke(cr);
        double tw = textWidth(pen, text, title);
        pen.fillRect(x + 8, y - 4, tw + 8, 8, kSettingsPanel);
        drawText(pen, text, x + 12, y + capHeight(title) / 2, Align::Left, title);
    };
    box(36.5, 162.5, 180, 84, "BAND SATURATION");
    box(234.5, 162.5, 180, 84, "BAND RELEASE");
    box(36.5, 252.5, 180, 110, "VU METER");
    box(234.5, 252.5, 180, 110, "PPM METER");
    box(36.5, 368.5, 180, 66, "OVER INDICATOR");
    box(234.5, 368.5, 180, 66, "CONTROL");

    for (const SettingsKnobSpec& k : kSettingsKnobs) {
        double cx = (k.knob.left + k.knob.right) / 2.0, cy = (k.knob.top + k.knob.bottom) / 2.0;
        KnobScale ks;
        ks.ticks = 11;
        ks.emphasis = {0.0, 0.5, 1.0};
        drawKnobScale(pen, cx, cy, knobRadius(skin::kSettingsKnob) + 1.6, 2.6, ks, rgb(150, 150, 146), 5);
        drawCaption(pen, k.caption, k.knob, k.captionSide, caption, k.captionSide == CaptionSide::Above ? 2.5 : 6);
        // Value window, centred in the display (neighbouring displays
        // overlap by a few pixels; their windows must not).
        const CRect& d = k.display;
        double ww = d.width() - 1.0;
        for (const SettingsKnobSpec& o : kSettingsKnobs) {
            double dc = std::abs((o.display.left + o.display.right) - (d.left + d.right)) / 2.0;
            if (&o != &k && o.display.top < d.bottom && o.display.bottom > d.top && dc < d.width())
                ww = std::min(ww, dc - 3.0);
        }
        double wx = (d.left + d.right) / 2.0 - ww / 2;
        pen.roundedRect(wx, d.top + 1.5, ww, d.height() - 2, 2);
        pen.source(rgb(25, 26, 28));
        cairo_fill(cr);
        insetFrame(pen, wx, d.top + 1.5, ww, d.height() - 2, 2, 0.6);
    }
    for (const ControlSpec& c : kSettingsPageControls) {
        if (c.kind != ControlKind::VerticalSwitch)
            continue;
        drawCaption(pen, c.caption, c.rect, c.captionSide, caption, 4);
        TextStyle legend{Font::SansBold, 5.4, 0.5, rgb(150, 150, 146)};
        drawText(pen, "CIRCULAR", c.rect.right + 5, c.rect.top + 7 + capHeight(legend) / 2, Align::Left, legend);
        drawText(pen, "LINEAR", c.rect.right + 5, c.rect.bottom - 7 + capHeight(legend) / 2, Align::Left, legend);
    }

    drawScrew(pen, 12, 12, 4, 35);
    drawScrew(pen, W - 12, 12, 4, -20);
    drawScrew(pen, 12, 430, 4, 70);
    drawScrew(pen, W - 12, 430, 4, 10);
    return page;
}

} // namespace gen
