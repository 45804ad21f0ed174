// Knobs: a black skirt with a spun-aluminium cap, lit from the top left.
// Everything but the pointer is painted once per strip, so the highlights
// stay where the light is while the pointer turns over 270 degrees, from
// lower left (value 0) through the top to lower right (value 1).
#include "Art.h"
#include "Strips.h"

#include <array>

namespace gen {

namespace {

struct KnobLook {
    double radius;
    double capRatio;
    Color index;      // line on the skirt
    double indexWidth;
};

KnobLook lookFor(int id)
{
    KnobLook k{knobRadius(id), 0.70, rgb(246, 242, 232), 1.5};
    if (id == skin::kDriveKnob) {
        k.capRatio = 0.72;
        k.index = rgb(232, 88, 42);
        k.indexWidth = 2.6;
    } else if (id == skin::kSettingsKnob) {
        k.capRatio = 0.66;
        k.indexWidth = 1.3;
    }
    return k;
}

// Fine concentric turning marks of the cap, as a function of the radius.
class RingGrain {
public:
    explicit RingGrain(uint64_t seed)
    {
        Random rnd(seed);
        for (float& v : table_)
            v = static_cast<float>(rnd.gaussian());
    }
    double at(double r) const
    {
        double p = r * 9.0;
        int i = static_cast<int>(p);
        double f = p - i;
        double a = table_[static_cast<size_t>(i) % table_.size()], b = table_[static_cast<size_t>(i + 1) % table_.size()];
        return a + (b - a) * f;
    }

private:
    std::array<float, 4096> table_{};
};

Image staticKnob(int frameW, int frameH, int scale, const KnobLook& look)
{
    const double cx = frameW / 2.0, cy = frameH / 2.0, R = look.radius;
    Image layer(frameW * scale, frameH * scale, scale);

    // Contact shadow (tight, dark) and cast shadow (soft, down to the right).
    {
        Image sh(frameW * scale, frameH * scale, scale);
        Pen pen(sh);
        pen.fillCircle(cx + R * 0.07, cy + R * 0.13, R + 0.2, grey(0.0, 0.55));
        blurImage(sh, R * 0.14 * scale);
        layer.over(sh, 0, 0);
        Image contact(frameW * scale, frameH * scale, scale);
        Pen pc(contact);
        pc.fillCircle(cx + 0.2, cy + 0.6, R + 0.3, grey(0.0, 0.6));
        blurImage(contact, 0.8 * scale);
        layer.over(contact, 0, 0);
    }

    const double phiL = std::atan2(-0.83, -0.56); // light from the top left
    const double Rc = R * look.capRatio;
    const double bevel = std::max(0.9, R * 0.075);
    RingGrain grain(static_cast<uint64_t>(R * 1000));
    shade(layer, 0, 0, layer.width(), layer.height(), 4, [&](double x, double y) -> Color {
        double dx = x - cx, dy = y - cy, d = std::sqrt(dx * dx + dy * dy);
        if (d > R)
            return {0, 0, 0, 0};
        double phi = std::atan2(dy, dx);
        double cosL = std::cos(phi - phiL);
        if (d <= Rc) {
            // Spun aluminium: a bright band through the centre along the
            // light's direction, on both sides of the centre.
            double delta = std::fmod(std::abs(phi - phiL), kPi);
            delta = std::min(delta, kPi - delta);
            double specular = std::exp(-delta * delta / (2 * 0.26 * 0.26));
            double broad = std::exp(-delta * delta / (2 * 0.75 * 0.75));
            double u = d / Rc;
            double l = 0.60 + 0.20 * specular * (0.35 + 0.65 * u) + 0.07 * broad + 0.05 * cosL * u +
                       0.018 * grain.at(d * scale);
            // A slightly darker ring just inside the edge where the cap turns down.
            l -= 0.07 * smoothstep(0.86, 1.0, u);
            return {clamp01(l * 0.985), clamp01(l * 0.99), clamp01(l * 1.02), 1};
        }
        if (d <= Rc + bevel) {
            double l = 0.36 + 0.36 * cosL;
            return {l, l, l * 1.02, 1};
        }
        double u = (d - Rc - bevel) / (R - Rc - bevel);
        double l = 0.105 + 0.045 * cosL * (0.4 + 0.6 * u) - 0.02 * u;
        if (d > R - 1.1)
            l += 0.20 * std::pow(std::max(0.0, cosL), 2.0) * smoothstep(R - 1.1, R - 0.3, d);
        return {l, l, l * 1.04, 1};
    });
    return layer;
}

void drawPointer(Pen& pen, double cx, double cy, const KnobLook& look, double value)
{
    const double R = look.radius, Rc = R * look.capRatio, bevel = std::max(0.9, R * 0.075);
    double a = radians(225.0 - 270.0 * value);
    double dx = std::cos(a), dy = -std::sin(a);
    // Index line on the skirt, then the engraved line on the cap.
    double r0 = Rc + bevel + 0.6, r1 = R - 0.7;
    pen.line(cx + dx * r0, cy + dy * r0, cx + dx * r1, cy + dy * r1, look.indexWidth, look.index, false);
    double c0 = Rc * 0.34, c1 = Rc - 0.9;
    double w = std::max(0.8, R * 0.06);
    pen.line(cx + dx * c0, cy + dy * c0, cx + dx * c1, cy + dy * c1, w, grey(0.10, 0.85), true);
    // The far wall of the groove catches the light.
    double ox = 0.35 * w, oy = 0.35 * w;
    pen.line(cx + dx * c0 + ox, cy + dy * c0 + oy, cx + dx * c1 + ox, cy + dy * c1 + oy, w * 0.45,
             grey(1.0, 0.35), true);
}

} // namespace

Image drawKnobStrip(int id, int scale, const Pages& pages)
{
    const skin::BitmapGeometry& g = *skin::findGeometry(id);
    const std::vector<Placement> places = placementsOf(id);
    const Placement& first = places.front();
    const Image crop = pages.page(first.page).crop(first.rect.left * scale, first.rect.top * scale,
                                                   g.frameWidth * scale, g.frameHeight * scale);
    const KnobLook look = lookFor(id);
    const Image body = staticKnob(g.frameWidth, g.frameHeight, scale, look);
    const double cx = g.frameWidth / 2.0, cy = g.frameHeight / 2.0;

    Image strip(g.width * scale, g.height * scale, scale);
    // Slots of the strip that hold no frame show the plain page.
    int rows = g.height / g.frameHeight, cols = g.width / g.frameWidth;
    for (int c = 0; c < cols; ++c)
        for (int r = 0; r < rows; ++r)
            strip.paste(crop, c * g.frameWidth * scale, r * g.frameHeight * scale);
    for (int k = 0; k < g.frames; ++k) {
        Image frame = crop;
        frame.over(body, 0, 0);
        {
            Pen pen(frame);
            drawPointer(pen, cx, cy, look, g.frames > 1 ? static_cast<double>(k) / (g.frames - 1) : 0.0);
        }
        int ox, oy;
        frameOrigin(g, k, scale, ox, oy);
        strip.paste(frame, ox, oy);
    }
    return strip;
}

} // namespace gen
