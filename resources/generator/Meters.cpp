// The needle meters: a back-lit cream face with the dB scale, a red zone
// from 0 dB up, and a black needle. Every tick lies on the needle of the
// frame that the meter shows for that level, so the meter reads true.
#include "Art.h"

#include <map>
#include <mutex>

namespace gen {

namespace {

struct MarkSpec {
    double db;
    bool labelled;
};

const std::vector<MarkSpec>& markSpecs(meter::Scale scale)
{
    static const std::vector<MarkSpec> normal{
        {-20, true}, {-10, true}, {-7, true}, {-6, false}, {-5, true}, {-4, false}, {-3, true},
        {-2, true},  {-1, true},  {0, true},  {1, true},   {2, true},  {3, true},
    };
    static const std::vector<MarkSpec> alternate{
        {-40, true}, {-30, false}, {-20, true}, {-15, true}, {-10, true}, {-8, false}, {-6, true},
        {-4, false}, {-3, true},   {-2, false}, {0, true},   {3, true},   {6, true},
    };
    return scale == meter::Scale::Normal ? normal : alternate;
}

// Point at radius r along the needle of angle `deg` (clockwise from up).
void along(double deg, double r, double& x, double& y)
{
    double a = radians(deg);
    x = kMeter.pivotX + r * std::sin(a);
    y = kMeter.pivotY - r * std::cos(a);
}

constexpr int kFaceW = 136, kFaceH = 70;

Image paintFace(int scale, meter::Scale which)
{
    Image face(kFaceW * scale, kFaceH * scale, scale);
    // Back light: warm cream, brightest behind the middle of the scale.
    shade(face, 0, 0, face.width(), face.height(), 1, [](double x, double y) -> Color {
        double dx = (x - 68) / 78.0, dy = (y - 30) / 52.0;
        double fall = std::exp(-(dx * dx + dy * dy) * 0.9);
        Color centre = rgb(252, 244, 214), edge = rgb(214, 194, 148);
        return mix(edge, centre, fall);
    });
    Pen pen(face);
    cairo_t* cr = pen.cr();
    const std::vector<MarkSpec>& specs = markSpecs(which);
    std::vector<MeterMark> marks = meterMarks(which);
    const double Ra = kMeter.arcRadius;
    const Color ink = rgb(26, 24, 22), red = rgb(198, 34, 26);
    auto arc = [&](double fromDeg, double toDeg, double r, double width, const Color& c) {
        cairo_new_path(cr);
        cairo_arc(cr, kMeter.pivotX, kMeter.pivotY, r, radians(fromDeg - 90), radians(toDeg - 90));
        cairo_set_line_width(cr, width);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
        pen.source(c);
        cairo_stroke(cr);
    };
    double zeroAngle = 0, lowAngle = marks.front().angle, highAngle = marks.back().angle;
    for (const MeterMark& m : marks)
        if (m.db == 0)
            zeroAngle = m.angle;
    // Baseline, and the red zone as a heavier band above it.
    arc(lowAngle, zeroAngle, Ra, 0.8, ink);
    arc(zeroAngle, highAngle, Ra, 0.8, red);
    arc(zeroAngle, highAngle, Ra + 1.6, 2.6, red);
    // A fine inner arc of the whole scale.
    arc(lowAngle, highAngle, Ra - 3.2, 0.45, mix(ink, rgb(252, 244, 214), 0.45));

    TextStyle num{Font::Sans, 7.4, 0.0, ink};
    TextStyle numBold{Font::SansBold, 7.4, 0.0, ink};
    for (size_t i = 0; i < marks.size(); ++i) {
        const MeterMark& m = marks[i];
        bool hot = m.db > 0;
        double len = m.major ? 5.2 : 3.2;
        double x0, y0, x1, y1;
        along(m.angle, Ra - (m.major ? 1.0 : 0.4), x0, y0);
        along(m.angle, Ra + len, x1, y1);
        pen.line(x0, y0, x1, y1, m.major ? 0.95 : 0.7, hot ? red : ink);
        if (specs[i].labelled) {
            double lx, ly;
            along(m.angle, Ra + 11.5, lx, ly);
            char text[16];
            std::snprintf(text, sizeof text, "%d", static_cast<int>(std::abs(m.db)));
            TextStyle st = m.db == 0 ? numBold : num;
            st.color = hot ? red : ink;
            drawText(pen, text, lx, ly + capHeight(st) / 2, Align::Center, st);
        }
    }
    // Signs at the ends of the scale.
    {
        double x, y;
        along(lowAngle - 6.5, Ra + 4.5, x, y);
        drawText(pen, "\u2212", x, y + 2.5, Align::Center, {Font::SansBold, 8.5, 0, ink});
        along(highAngle + 6.5, Ra + 4.5, x, y);
        drawText(pen, "+", x, y + 2.5, Align::Center, {Font::SansBold, 8.5, 0, red});
    }
    drawText(pen, "dB", 68, 47, Align::Center, {Font::SansBold, 8.5, 0.4, ink});
    drawText(pen, which == meter::Scale::Normal ? "\u221220 \u2026 +3" : "\u221240 \u2026 +6", 20, 63, Align::Left,
             {Font::Sans, 5.0, 0.2, mix(ink, rgb(252, 244, 214), 0.35)});
    drawText(pen, "NURWERK", 116, 63, Align::Right, {Font::SansBold, 4.6, 1.0, mix(ink, rgb(252, 244, 214), 0.35)});
    return face;
}

// The parts in front of the needle: shroud over the pivot, shadows of the
// window edge, and a faint reflection of the glass.
Image paintFront(int scale)
{
    Image front(kFaceW * scale, kFaceH * scale, scale);
    Pen pen(front);
    cairo_t* cr = pen.cr();
    // Shroud.
    {
        double r = kMeter.needleInner + 0.5;
        cairo_pattern_t* p = cairo_pattern_create_linear(0, kMeter.pivotY - r, 0, kFaceH);
        cairo_pattern_add_color_stop_rgb(p, 0, 0.20, 0.20, 0.21);
        cairo_pattern_add_color_stop_rgb(p, 1, 0.06, 0.06, 0.07);
        cairo_arc(cr, kMeter.pivotX, kMeter.pivotY, r, 0, 2 * kPi);
        cairo_set_source(cr, p);
        cairo_fill(cr);
        cairo_pattern_destroy(p);
        cairo_arc(cr, kMeter.pivotX, kMeter.pivotY, r - 0.4, radians(-150), radians(-30));
        cairo_set_line_width(cr, 0.7);
        pen.source(grey(1.0, 0.22));
        cairo_stroke(cr);
    }
    // Shadow of the bezel on the face: deep at the top, light at the sides.
    auto edge = [&](double x0, double y0, double x1, double y1, double alpha, double w, double h) {
        cairo_pattern_t* p = cairo_pattern_create_linear(x0, y0, x1, y1);
        cairo_pattern_add_color_stop_rgba(p, 0, 0.12, 0.08, 0.02, alpha);
        cairo_pattern_add_color_stop_rgba(p, 1, 0.12, 0.08, 0.02, 0);
        cairo_rectangle(cr, std::min(x0, x1 - w), std::min(y0, y1 - h), w, h);
        cairo_set_source(cr, p);
        cairo_fill(cr);
        cairo_pattern_destroy(p);
    };
    edge(0, 0, 0, 9, 0.55, kFaceW, 9);
    edge(0, 0, 6, 0, 0.30, 6, kFaceH);
    edge(kFaceW, 0, kFaceW - 6, 0, 0.30, 6, kFaceH);
    edge(0, kFaceH, 0, kFaceH - 3, 0.25, kFaceW, 3);
    // Glass: a soft diagonal sheen over the upper left.
    {
        cairo_pattern_t* p = cairo_pattern_create_linear(10, 0, 60, 45);
        cairo_pattern_add_color_stop_rgba(p, 0, 1, 1, 1, 0.0);
        cairo_pattern_add_color_stop_rgba(p, 0.45, 1, 1, 1, 0.10);
        cairo_pattern_add_color_stop_rgba(p, 0.8, 1, 1, 1, 0.0);
        cairo_rectangle(cr, 0, 0, kFaceW, kFaceH);
        cairo_set_source(cr, p);
        cairo_fill(cr);
        cairo_pattern_destroy(p);
    }
    return front;
}

struct MeterParts {
    Image face, front;
};

const MeterParts& parts(int scale, meter::Scale which)
{
    static std::mutex m;
    static std::map<std::pair<int, int>, MeterParts> cache;
    std::lock_guard<std::mutex> lock(m);
    auto key = std::make_pair(scale, static_cast<int>(which));
    auto it = cache.find(key);
    if (it == cache.end())
        it = cache.emplace(key, MeterParts{paintFace(scale, which), paintFront(scale)}).first;
    return it->second;
}

void paintNeedle(Image& img, int frame)
{
    const int s = img.scale();
    double angle = kMeter.needleAngle(frame);
    double x0, y0, x1, y1;
    along(angle, kMeter.needleInner - 2, x0, y0);
    along(angle, kMeter.needleTip, x1, y1);
    // Shadow cast on the face by the front light, then the needle.
    Image shadow(img.width(), img.height(), s);
    {
        Pen pen(shadow);
        pen.line(x0 + 1.2, y0 + 1.7, x1 + 1.2, y1 + 1.7, 1.1, grey(0.0, 0.28));
    }
    blurImage(shadow, 0.9 * s);
    img.over(shadow, 0, 0);
    Pen pen(img);
    pen.line(x0, y0, x1, y1, 0.95, rgb(12, 12, 12));
}

} // namespace

std::vector<MeterMark> meterMarks(meter::Scale scale)
{
    std::vector<MeterMark> out;
    for (const MarkSpec& s : markSpecs(scale)) {
        int frame = meter::needleFrame(meter::levelToValue(s.db), scale);
        out.push_back({s.db, frame, kMeter.needleAngle(frame), s.labelled, s.labelled});
    }
    return out;
}

void drawMeterFace(Image& target, int dx, int dy, meter::Scale which, int frame, bool withNeedle)
{
    const int s = target.scale();
    const MeterParts& p = parts(s, which);
    Image img = p.face;
    if (withNeedle)
        paintNeedle(img, frame);
    img.over(p.front, 0, 0);
    target.paste(img, dx, dy);
}

Image drawMeterStrip(int id, int scale)
{
    const skin::BitmapGeometry& g = *skin::findGeometry(id);
    meter::Scale which = id == skin::kMeterAlternate ? meter::Scale::Alternate : meter::Scale::Normal;
    Image strip(g.width * scale, g.height * scale, scale);
    for (int k = 0; k < g.frames; ++k) {
        int ox, oy;
        frameOrigin(g, k, scale, ox, oy);
        drawMeterFace(strip, ox, oy, which, k, true);
    }
    return strip;
}

} // namespace gen
