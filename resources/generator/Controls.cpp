// Buttons, switches, lights, the readout glyphs and the preset strip: every
// strip that is not a knob or a meter.
#include "Strips.h"

#include <algorithm>
#include <cstring>

namespace gen {

Image pageUnder(int id, int scale, const Pages& pages)
{
    const skin::BitmapGeometry& g = *skin::findGeometry(id);
    const Placement first = placementsOf(id).front();
    return pages.page(first.page).crop(first.rect.left * scale, first.rect.top * scale, g.frameWidth * scale,
                                       g.frameHeight * scale);
}

Image paintFrames(int id, int scale, const Pages& pages, const std::function<void(Image&, int)>& paint)
{
    const skin::BitmapGeometry& g = *skin::findGeometry(id);
    const Image crop = pageUnder(id, scale, pages);
    Image strip(g.width * scale, g.height * scale, scale);
    for (int k = 0; k < g.frames; ++k) {
        Image frame = crop;
        paint(frame, k);
        int ox, oy;
        frameOrigin(g, k, scale, ox, oy);
        strip.paste(frame, ox, oy);
    }
    return strip;
}

namespace {

// Paints with `draw` into a clear layer, blurs it and lays it over `img`:
// soft shadows and the light a lamp throws around itself. The halo fades out
// over the last pixels of the frame, so a frame meets the page without a
// seam however bright its lamp.
void halo(Image& img, double sigma, double alpha, const std::function<void(Pen&)>& draw)
{
    Image layer(img.width(), img.height(), img.scale());
    {
        Pen pen(layer);
        draw(pen);
    }
    blurImage(layer, sigma * img.scale());
    const double fade = 3.0 * img.scale();
    layer.beginPixels();
    for (int y = 0; y < layer.height(); ++y)
        for (int x = 0; x < layer.width(); ++x) {
            double d = std::min({x + 0.5, y + 0.5, layer.width() - x - 0.5, layer.height() - y - 0.5});
            double w = smoothstep(0.0, fade, d - 0.5 * img.scale());
            if (w >= 1)
                continue;
            uint32_t p = layer.at(x, y), q = 0;
            for (int k = 0; k < 4; ++k)
                q |= static_cast<uint32_t>(std::lround(((p >> (8 * k)) & 0xFF) * w)) << (8 * k);
            layer.set(x, y, q);
        }
    layer.endPixels();
    img.over(layer, 0, 0, alpha);
}

void linearFill(Pen& pen, double y0, double y1, const Color& top, const Color& bottom)
{
    cairo_pattern_t* p = cairo_pattern_create_linear(0, y0, 0, y1);
    cairo_pattern_add_color_stop_rgba(p, 0, top.r, top.g, top.b, top.a);
    cairo_pattern_add_color_stop_rgba(p, 1, bottom.r, bottom.g, bottom.b, bottom.a);
    cairo_set_source(pen.cr(), p);
    cairo_fill_preserve(pen.cr());
    cairo_pattern_destroy(p);
    cairo_new_path(pen.cr());
}

void radialFill(Pen& pen, double cx, double cy, double r, const Color& inner, const Color& outer)
{
    cairo_pattern_t* p = cairo_pattern_create_radial(cx, cy, 0, cx, cy, r);
    cairo_pattern_add_color_stop_rgba(p, 0, inner.r, inner.g, inner.b, inner.a);
    cairo_pattern_add_color_stop_rgba(p, 1, outer.r, outer.g, outer.b, outer.a);
    cairo_set_source(pen.cr(), p);
    cairo_fill_preserve(pen.cr());
    cairo_pattern_destroy(p);
    cairo_new_path(pen.cr());
}

// --- Lit push buttons ------------------------------------------------------------

// A back-lit push button: a milky cap in a black collar; the on frame glows
// amber and throws a little light on the collar and the plate.
void litButton(Image& img, double w, double h, bool round, bool on)
{
    const double cx = w / 2, cy = h / 2;
    const double cap = round ? 13.0 : std::min(w, h) - 14.0;
    const double capW = round ? cap : w - 14.0, capH = cap;
    const double collar = 2.4;
    const double x = cx - capW / 2, y = cy - capH / 2;
    const double rr = round ? capW / 2 : 3.0;

    // Shadow of the collar on the plate.
    halo(img, 1.3, 0.55, [&](Pen& pen) {
        pen.roundedRect(x - collar + 0.6, y - collar + 1.4, capW + 2 * collar, capH + 2 * collar, rr + collar);
        pen.source(grey(0.0, 0.7));
        cairo_fill(pen);
    });
    if (on)
        halo(img, 3.2, 0.45, [&](Pen& pen) {
            pen.roundedRect(x - 1, y - 1, capW + 2, capH + 2, rr + 1);
            pen.source(kAmber);
            cairo_fill(pen);
        });
    Pen pen(img);
    cairo_t* cr = pen.cr();
    // Collar.
    pen.roundedRect(x - collar, y - collar, capW + 2 * collar, capH + 2 * collar, rr + collar);
    linearFill(pen, y - collar, y + capH + collar, grey(0.22), grey(0.06));
    pen.roundedRect(x - collar + 0.5, y - collar + 0.5, capW + 2 * collar - 1, capH + 2 * collar - 1, rr + collar - 0.5);
    cairo_set_line_width(cr, 0.6);
    pen.source(grey(1.0, 0.12));
    cairo_stroke(cr);
    // Cap.
    pen.roundedRect(x, y, capW, capH, rr);
    if (on) {
        radialFill(pen, cx - capW * 0.06, cy - capH * 0.10, std::max(capW, capH) * 0.75, rgb(255, 250, 232),
                   rgb(255, 172, 64));
    } else {
        linearFill(pen, y, y + capH, rgb(204, 202, 196), rgb(160, 158, 152));
    }
    // Inner edge of the cap: a darker rim, a highlight along the top.
    pen.roundedRect(x + 0.4, y + 0.4, capW - 0.8, capH - 0.8, std::max(rr - 0.4, 0.5));
    cairo_set_line_width(cr, 0.8);
    pen.source(on ? rgb(200, 90, 20, 0.55) : grey(0.0, 0.30));
    cairo_stroke(cr);
    cairo_save(cr);
    pen.roundedRect(x, y, capW, capH, rr);
    cairo_clip(cr);
    cairo_pattern_t* p = cairo_pattern_create_linear(0, y, 0, y + capH * 0.55);
    cairo_pattern_add_color_stop_rgba(p, 0, 1, 1, 1, on ? 0.35 : 0.45);
    cairo_pattern_add_color_stop_rgba(p, 1, 1, 1, 1, 0);
    pen.roundedRect(x + 1.2, y + 1.0, capW - 2.4, capH * 0.5, std::max(rr - 1, 0.5));
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
    cairo_restore(cr);
}

// --- Selector panels (Meters, MeterType, channel mode) ---------------------------

struct Legend {
    const char* text;
    double x, y; // centre of the legend (1x, in the frame)
    double ledX, ledY; // lamp position, or < 0 for a legend that lights itself
};

void selectorPanel(Image& img, double px, double py, double pw, double ph, const std::vector<Legend>& legends,
                   int lit, double textSize)
{
    {
        Pen pen(img);
        pen.roundedRect(px, py, pw, ph, 3);
        linearFill(pen, py, py + ph, rgb(20, 20, 22), rgb(12, 12, 13));
        pen.roundedRect(px + 0.5, py + 0.5, pw - 1, ph - 1, 2.5);
        cairo_set_line_width(pen, 1);
        cairo_pattern_t* p = cairo_pattern_create_linear(0, py, 0, py + ph);
        cairo_pattern_add_color_stop_rgba(p, 0, 0, 0, 0, 0.5);
        cairo_pattern_add_color_stop_rgba(p, 1, 1, 1, 1, 0.18);
        cairo_set_source(pen, p);
        cairo_stroke(pen);
        cairo_pattern_destroy(p);
    }
    for (size_t i = 0; i < legends.size(); ++i) {
        const Legend& l = legends[i];
        bool on = static_cast<int>(i) == lit;
        TextStyle st{Font::SansBold, textSize, 0.5, on ? rgb(255, 214, 150) : rgb(112, 112, 110)};
        if (on) {
            halo(img, 2.0, 0.55, [&](Pen& pen) {
                if (l.ledX >= 0)
                    pen.fillCircle(l.ledX, l.ledY, 2.6, kAmber);
                drawText(pen, l.text, l.x, l.y + capHeight(st) / 2, Align::Center,
                         {st.font, st.size, st.tracking, kAmber});
            });
        }
        Pen pen(img);
        if (l.ledX >= 0) {
            pen.fillCircle(l.ledX, l.ledY, 1.9, on ? rgb(255, 232, 170) : rgb(58, 40, 24));
            if (!on) {
                cairo_arc(pen, l.ledX, l.ledY, 1.9, 0, 2 * kPi);
                cairo_set_line_width(pen, 0.5);
                pen.source(grey(0.0, 0.6));
                cairo_stroke(pen);
            }
        }
        drawText(pen, l.text, l.x, l.y + capHeight(st) / 2, Align::Center, st);
    }
}

} // namespace

Image drawButtonStrip(int id, int scale, const Pages& pages)
{
    const skin::BitmapGeometry& g = *skin::findGeometry(id);
    bool round = id == skin::kLongButton || id == skin::kAutoButton || id == skin::kBrickwallButton;
    return paintFrames(id, scale, pages, [&](Image& img, int k) {
        litButton(img, g.frameWidth, g.frameHeight, round, k == 1);
    });
}

Image drawSelectorStrip(int id, int scale, const Pages& pages)
{
    const skin::BitmapGeometry& g = *skin::findGeometry(id);
    const double w = g.frameWidth, h = g.frameHeight;
    if (id == skin::kMetersSwitch) {
        // Three lit rows in the order of the switch's bands: input, gain
        // reduction, output.
        std::vector<Legend> rows;
        const char* names[] = {"IN", "GR", "OUT"};
        for (int i = 0; i < 3; ++i) {
            double cy = h * (i + 0.5) / 3.0;
            rows.push_back({names[i], w / 2 + 4, cy, 8.5, cy});
        }
        return paintFrames(id, scale, pages,
                           [&](Image& img, int k) { selectorPanel(img, 1, 1, w - 2, h - 2, rows, k, 6.6); });
    }
    if (id == skin::kMeterTypeButton) {
        std::vector<Legend> rows{{"VU", w / 2 + 4, h * 0.3, 8.5, h * 0.3}, {"PPM", w / 2 + 4, h * 0.7, 8.5, h * 0.7}};
        return paintFrames(id, scale, pages,
                           [&](Image& img, int k) { selectorPanel(img, 1, 1, w - 2, h - 2, rows, k, 6.6); });
    }
    // Channel mode: up mono, left L, right R, down stereo, after the
    // button's click zones; frames 0-3 are mono, L, R, stereo. The right
    // edge lies under the Link button, so the panel keeps clear of it.
    const double pw = 44, ph = h - 2, px = 0.5, py = 1;
    const double cx = px + pw / 2, cy = py + ph / 2;
    std::vector<Legend> cross{
        {"MONO", cx, py + 8.5, -1, -1},
        {"L", px + 7, cy, -1, -1},
        {"R", px + pw - 7, cy, -1, -1},
        {"STEREO", cx, py + ph - 8.5, -1, -1},
    };
    return paintFrames(id, scale, pages, [&](Image& img, int k) {
        selectorPanel(img, px, py, pw, ph, cross, k, 5.8);
        Pen pen(img);
        // A small cross in the middle points at the four zones.
        Color c = rgb(90, 90, 88);
        pen.line(cx - 4, cy, cx + 4, cy, 0.7, c);
        pen.line(cx, cy - 4, cx, cy + 4, 0.7, c);
        double ax = 0, ay = 0;
        if (k == 0)
            ay = -1;
        else if (k == 1)
            ax = -1;
        else if (k == 2)
            ax = 1;
        else
            ay = 1;
        pen.fillCircle(cx + ax * 4, cy + ay * 4, 1.4, kAmber);
    });
}

Image drawOverLightStrip(int scale, const Pages& pages)
{
    const skin::BitmapGeometry& g = *skin::findGeometry(skin::kOverLight);
    const double cx = g.frameWidth / 2.0, cy = g.frameHeight / 2.0;
    return paintFrames(skin::kOverLight, scale, pages, [&](Image& img, int k) {
        double level = k / 5.0;
        {
            Pen pen(img);
            // Chrome bezel.
            cairo_arc(pen, cx, cy, 7.6, 0, 2 * kPi);
            cairo_pattern_t* p = cairo_pattern_create_linear(cx - 7, cy - 7, cx + 7, cy + 7);
            cairo_pattern_add_color_stop_rgb(p, 0, 0.86, 0.86, 0.85);
            cairo_pattern_add_color_stop_rgb(p, 0.5, 0.45, 0.45, 0.46);
            cairo_pattern_add_color_stop_rgb(p, 1, 0.25, 0.25, 0.26);
            cairo_set_source(pen, p);
            cairo_fill(pen);
            cairo_pattern_destroy(p);
            cairo_arc(pen, cx, cy, 6.0, 0, 2 * kPi);
            pen.source(grey(0.05));
            cairo_fill(pen);
            // Lens: dark red glass that lights up with the level.
            cairo_arc(pen, cx, cy, 5.3, 0, 2 * kPi);
            Color dark = rgb(70, 10, 8), lit = rgb(255, 60, 36);
            Color body = mix(dark, lit, level);
            Color core = mix(rgb(120, 26, 20), rgb(255, 236, 220), level);
            radialFill(pen, cx - 0.8, cy - 0.9, 5.6, core, body);
        }
        if (k > 0)
            halo(img, 1.8 + 1.4 * level, 0.35 + 0.55 * level, [&](Pen& pen) {
                pen.fillCircle(cx, cy, 4.5 + 2.5 * level, rgb(255, 50, 30));
            });
        if (k == 5)
            halo(img, 0.8, 0.9, [&](Pen& pen) {
                // Flare: a short bright star across the lens.
                pen.line(cx - 8.5, cy, cx + 8.5, cy, 0.7, rgb(255, 210, 190, 0.8), true);
                pen.line(cx, cy - 8.5, cx, cy + 8.5, 0.7, rgb(255, 210, 190, 0.8), true);
            });
        Pen pen(img);
        // Specular spot of the glass.
        cairo_arc(pen, cx - 1.9, cy - 2.0, 1.5, 0, 2 * kPi);
        pen.source(grey(1.0, 0.35 + 0.35 * level));
        cairo_fill(pen);
    });
}

// --- Readout glyphs ----------------------------------------------------------------

namespace {

// Seven-segment digit in a cell of 9 x 17: segments a (top) to g (middle).
void segments(Pen& pen, unsigned mask, const Color& c)
{
    const double x0 = 1.6, x1 = 7.0, y0 = 2.2, y1 = 8.5, y2 = 14.8, t = 1.45, slant = 0.11;
    auto sx = [&](double x, double y) { return x + (y2 - y) * slant; };
    auto bar = [&](double ax, double ay, double bx, double by) {
        // A bar with pointed ends between two points.
        double dx = bx - ax, dy = by - ay, len = std::sqrt(dx * dx + dy * dy);
        double ux = dx / len, uy = dy / len, nx = -uy * t / 2, ny = ux * t / 2;
        double inset = 0.35;
        ax += ux * inset;
        ay += uy * inset;
        bx -= ux * inset;
        by -= uy * inset;
        cairo_move_to(pen, ax, ay);
        cairo_line_to(pen, ax + ux * t / 2 + nx, ay + uy * t / 2 + ny);
        cairo_line_to(pen, bx - ux * t / 2 + nx, by - uy * t / 2 + ny);
        cairo_line_to(pen, bx, by);
        cairo_line_to(pen, bx - ux * t / 2 - nx, by - uy * t / 2 - ny);
        cairo_line_to(pen, ax + ux * t / 2 - nx, ay + uy * t / 2 - ny);
        cairo_close_path(pen);
    };
    struct Seg {
        double ax, ay, bx, by;
    };
    const Seg seg[7] = {
        {x0, y0, x1, y0}, {x1, y0, x1, y1}, {x1, y1, x1, y2}, {x0, y2, x1, y2},
        {x0, y1, x0, y2}, {x0, y0, x0, y1}, {x0, y1, x1, y1},
    };
    for (int i = 0; i < 7; ++i)
        if (mask & (1u << i))
            bar(sx(seg[i].ax, seg[i].ay), seg[i].ay, sx(seg[i].bx, seg[i].by), seg[i].by);
    pen.source(c);
    cairo_fill(pen);
}

void glyph(Pen& pen, int index, const Color& c)
{
    static const unsigned digits[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
    if (index >= 0 && index <= 9) {
        segments(pen, digits[index], c);
        return;
    }
    TextStyle st{Font::SansBold, 7.6, 0.0, c};
    switch (index) {
    case skin::kGlyphPoint:
        pen.fillCircle(1.4, 14.6, 1.05, c);
        break;
    case skin::kGlyphMinus:
        segments(pen, 0x40, c);
        break;
    case skin::kGlyphPlus:
        segments(pen, 0x40, c);
        pen.line(4.6, 5.6, 4.0, 11.4, 1.45, c);
        break;
    case skin::kGlyphKilo:
        drawText(pen, "k", 4.6, 14.8, Align::Center, {Font::SansBold, 9.5, 0, c});
        break;
    case skin::kGlyphPercent:
        drawText(pen, "%", 4.6, 14.8, Align::Center, {Font::SansBold, 8.2, 0, c});
        break;
    case skin::kGlyphDecibel:
        drawText(pen, "dB", 4.5, 14.8, Align::Center, {Font::SansBold, 6.3, -0.2, c});
        break;
    case skin::kGlyphHertz:
        drawText(pen, "Hz", 4.5, 14.8, Align::Center, {Font::SansBold, 6.3, -0.3, c});
        break;
    default:
        break;
    }
    (void)st;
}

} // namespace

Image drawReadoutGlyphs(int scale)
{
    const skin::BitmapGeometry& g = *skin::findGeometry(skin::kReadoutGlyphs);
    Image strip(g.width * scale, g.height * scale, scale);
    for (int k = 0; k < g.frames; ++k) {
        Image cell(g.frameWidth * scale, g.frameHeight * scale, scale);
        cell.fill(kDisplayGlass);
        halo(cell, 1.1, 0.55, [&](Pen& pen) { glyph(pen, k, rgb(255, 120, 20)); });
        {
            Pen pen(cell);
            glyph(pen, k, rgb(255, 176, 64));
        }
        int ox, oy;
        frameOrigin(g, k, scale, ox, oy);
        strip.paste(cell, ox, oy);
    }
    return strip;
}

// --- Preset strip --------------------------------------------------------------------

namespace {

enum class Icon { Save, Load, Store, Recall };

Icon iconFor(int id)
{
    switch (id) {
    case skin::kSaveBank:
    case skin::kSavePreset:
        return Icon::Save;
    case skin::kLoadBank:
    case skin::kLoadPreset:
        return Icon::Load;
    case skin::kStoreA:
    case skin::kStoreB:
        return Icon::Store;
    default:
        return Icon::Recall;
    }
}

// A small key of the rail: dark cap, light symbol. States: 0 normal, 1 under
// the mouse, 2 pressed, 3 disabled.
void railKey(Image& img, double x, double y, double w, double h, int state)
{
    bool pressed = state == 2;
    Pen pen(img);
    pen.roundedRect(x, y, w, h, 2);
    pen.source(grey(0.02));
    cairo_fill(pen);
    double inset = pressed ? 0.9 : 0.6;
    pen.roundedRect(x + inset, y + inset, w - 2 * inset, h - 2 * inset, 1.6);
    if (pressed)
        linearFill(pen, y, y + h, grey(0.13), grey(0.19));
    else if (state == 3)
        linearFill(pen, y, y + h, grey(0.20), grey(0.15));
    else
        linearFill(pen, y, y + h, grey(state == 1 ? 0.33 : 0.29), grey(state == 1 ? 0.21 : 0.18));
    if (!pressed) {
        pen.line(x + 1.6, y + inset + 0.3, x + w - 1.6, y + inset + 0.3, 0.5, grey(1.0, 0.22));
    }
}

Color symbolColor(int state)
{
    switch (state) {
    case 1:
        return rgb(255, 196, 110);
    case 2:
        return kAmber;
    case 3:
        return rgb(88, 88, 86);
    default:
        return rgb(206, 206, 200);
    }
}

void drawIcon(Pen& pen, Icon icon, double cx, double cy, const Color& c)
{
    // Arrows into and out of a tray (files), or a dot into and out of a
    // bracket (memories).
    cairo_t* cr = pen.cr();
    pen.source(c);
    bool down = icon == Icon::Save || icon == Icon::Store;
    if (icon == Icon::Save || icon == Icon::Load) {
        pen.line(cx - 3.2, cy + 3.6, cx + 3.2, cy + 3.6, 1.0, c);
        double tip = down ? cy + 2.3 : cy - 3.8, tail = down ? cy - 3.6 : cy + 2.2;
        pen.line(cx, tail, cx, tip + (down ? -1.5 : 1.5), 1.1, c);
        double dir = down ? 1 : -1;
        cairo_move_to(cr, cx - 2.4, tip - dir * 2.4);
        cairo_line_to(cr, cx + 2.4, tip - dir * 2.4);
        cairo_line_to(cr, cx, tip + dir * 0.2);
        cairo_close_path(cr);
        cairo_fill(cr);
    } else {
        // Memory slot: a bracket with a dot going in (store) or out (recall).
        pen.line(cx - 3.3, cy + 1.0, cx - 3.3, cy + 3.8, 1.0, c);
        pen.line(cx + 3.3, cy + 1.0, cx + 3.3, cy + 3.8, 1.0, c);
        pen.line(cx - 3.3, cy + 3.8, cx + 3.3, cy + 3.8, 1.0, c);
        double dir = down ? 1 : -1;
        double tip = down ? cy + 2.4 : cy - 4.2;
        cairo_move_to(cr, cx - 2.2, tip - dir * 2.2);
        cairo_line_to(cr, cx + 2.2, tip - dir * 2.2);
        cairo_line_to(cr, cx, tip + dir * 0.2);
        cairo_close_path(cr);
        cairo_fill(cr);
        if (!down)
            pen.fillCircle(cx, cy + 1.6, 1.0, c);
        else
            pen.line(cx, cy - 3.6, cx, cy - 0.2, 1.0, c);
    }
}

} // namespace

Image drawPresetStrip(int id, int scale, const Pages& pages)
{
    const skin::BitmapGeometry& g = *skin::findGeometry(id);
    const double w = g.frameWidth, h = g.frameHeight;
    if (id == skin::kPresetRocker) {
        // Previous | next. Images: normal, left lit, right lit, left pressed,
        // right pressed.
        return paintFrames(id, scale, pages, [&](Image& img, int k) {
            double half = std::floor(w / 2);
            int left = k == 1 ? 1 : k == 3 ? 2 : 0;
            int right = k == 2 ? 1 : k == 4 ? 2 : 0;
            railKey(img, 0.5, 0.5, half - 0.5, h - 1, left);
            railKey(img, half + 0.5, 0.5, w - half - 1, h - 1, right);
            Pen pen(img);
            auto arrow = [&](double cx, double dir, int state) {
                double cy = h / 2 + (state == 2 ? 0.4 : 0);
                cairo_move_to(pen, cx + dir * 2.6, cy);
                cairo_line_to(pen, cx - dir * 2.0, cy - 3.2);
                cairo_line_to(pen, cx - dir * 2.0, cy + 3.2);
                cairo_close_path(pen);
                pen.source(symbolColor(state));
                cairo_fill(pen);
            };
            arrow(half / 2 + 0.5, -1, left);
            arrow(half + (w - half) / 2, 1, right);
        });
    }
    Icon icon = iconFor(id);
    return paintFrames(id, scale, pages, [&](Image& img, int k) {
        railKey(img, 0.5, 0.5, w - 1, h - 1, k);
        Pen pen(img);
        drawIcon(pen, icon, w / 2, h / 2 - 0.3 + (k == 2 ? 0.4 : 0), symbolColor(k));
    });
}

Image drawKnobModeSwitch(int scale, const Pages& pages)
{
    const skin::BitmapGeometry& g = *skin::findGeometry(skin::kKnobModeSwitch);
    const double w = g.frameWidth, h = g.frameHeight;
    return paintFrames(skin::kKnobModeSwitch, scale, pages, [&](Image& img, int k) {
        {
            Pen pen(img);
            // Slot.
            pen.roundedRect(w / 2 - 3, 2, 6, h - 4, 3);
            linearFill(pen, 2, h - 2, grey(0.03), grey(0.10));
            pen.roundedRect(w / 2 - 3.5, 1.5, 7, h - 3, 3.5);
            cairo_set_line_width(pen, 0.6);
            pen.source(grey(1.0, 0.10));
            cairo_stroke(pen);
        }
        // Lever: a small aluminium block at the top (circular) or the bottom
        // (linear).
        double ly = k == 0 ? 3.5 : h - 3.5 - 9;
        halo(img, 0.9, 0.7, [&](Pen& p) {
            p.roundedRect(w / 2 - 5.5 + 0.4, ly + 1.0, 11, 9, 2);
            p.source(grey(0.0, 0.9));
            cairo_fill(p);
        });
        Pen pen2(img);
        pen2.roundedRect(w / 2 - 5.5, ly, 11, 9, 2);
        linearFill(pen2, ly, ly + 9, grey(0.88), grey(0.52));
        for (int i = 0; i < 3; ++i)
            pen2.line(w / 2 - 3.5, ly + 2.8 + i * 1.7, w / 2 + 3.5, ly + 2.8 + i * 1.7, 0.5, grey(0.3, 0.6));
    });
}

Image drawBitmap(int id, int scale, const Pages& pages)
{
    switch (id) {
    case skin::kBackground:
        return pages.main;
    case skin::kBackgroundNoFat:
        return pages.mainNoFat;
    case skin::kSettingsBackground:
        return pages.settings;
    case skin::kMeterNormal:
    case skin::kMeterAlternate:
        return drawMeterStrip(id, scale);
    case skin::kKnobSmall:
    case skin::kDriveKnob:
    case skin::kHighFreqKnob:
    case skin::kLowFreqKnob:
    case skin::kKnobTone:
    case skin::kReleaseKnob:
    case skin::kSettingsKnob:
        return drawKnobStrip(id, scale, pages);
    case skin::kProcessButton:
    case skin::kProcessButtonNoFat:
    case skin::kModeButton:
    case skin::kLinkButton:
    case skin::kFatButton:
    case skin::kLongButton:
    case skin::kAutoButton:
    case skin::kBrickwallButton:
        return drawButtonStrip(id, scale, pages);
    case skin::kMetersSwitch:
    case skin::kMeterTypeButton:
    case skin::kChannelModeButton:
        return drawSelectorStrip(id, scale, pages);
    case skin::kOverLight:
        return drawOverLightStrip(scale, pages);
    case skin::kReadoutGlyphs:
        return drawReadoutGlyphs(scale);
    case skin::kKnobModeSwitch:
        return drawKnobModeSwitch(scale, pages);
    default:
        return drawPresetStrip(id, scale, pages);
    }
}

} // namespace gen
