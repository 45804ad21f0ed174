#include "Common.h"

#include <cairo-ft.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cstring>
#include <map>
#include <stdexcept>

namespace gen {

Color mix(const Color& x, const Color& y, double t)
{
    return {x.r + (y.r - x.r) * t, x.g + (y.g - x.g) * t, x.b + (y.b - x.b) * t, x.a + (y.a - x.a) * t};
}

Color scaled(const Color& c, double k)
{
    return {clamp01(c.r * k), clamp01(c.g * k), clamp01(c.b * k), c.a};
}

// --- Image ------------------------------------------------------------------

Image::Image(int width, int height, int scale) : width_(width), height_(height), scale_(scale)
{
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error("cannot create an image surface");
}

Image::Image(const Image& other) : Image(other.width_, other.height_, other.scale_)
{
    paste(other, 0, 0);
}

Image& Image::operator=(const Image& other)
{
    if (this != &other) {
        Image copy(other);
        *this = std::move(copy);
    }
    return *this;
}

Image::Image(Image&& other) noexcept
    : surface_(other.surface_), width_(other.width_), height_(other.height_), scale_(other.scale_)
{
    other.surface_ = nullptr;
}

Image& Image::operator=(Image&& other) noexcept
{
    if (this != &other) {
        release();
        surface_ = other.surface_;
        width_ = other.width_;
        height_ = other.height_;
        scale_ = other.scale_;
        other.surface_ = nullptr;
    }
    return *this;
}

Image::~Image() { release(); }

void Image::release()
{
    if (surface_)
        cairo_surface_destroy(surface_);
    surface_ = nullptr;
}

uint32_t* Image::row(int y)
{
    return reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(surface_) +
                                       static_cast<size_t>(y) * cairo_image_surface_get_stride(surface_));
}

const uint32_t* Image::row(int y) const
{
    return reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(surface_) +
                                             static_cast<size_t>(y) * cairo_image_surface_get_stride(surface_));
}

void Image::beginPixels() const { cairo_surface_flush(surface_); }
void Image::endPixels() { cairo_surface_mark_dirty(surface_); }

Image Image::crop(int x, int y, int w, int h) const
{
    Image out(w, h, scale_);
    cairo_t* cr = cairo_create(out.surface_);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, surface_, -x, -y);
    cairo_paint(cr);
    cairo_destroy(cr);
    return out;
}

void Image::paste(const Image& src, int x, int y)
{
    cairo_t* cr = cairo_create(surface_);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_rectangle(cr, x, y, src.width_, src.height_);
    cairo_clip(cr);
    cairo_set_source_surface(cr, src.surface_, x, y);
    cairo_paint(cr);
    cairo_destroy(cr);
}

void Image::over(const Image& src, int x, int y, double alpha)
{
    cairo_t* cr = cairo_create(surface_);
    cairo_set_source_surface(cr, src.surface_, x, y);
    cairo_paint_with_alpha(cr, alpha);
    cairo_destroy(cr);
}

void Image::fill(const Color& c)
{
    cairo_t* cr = cairo_create(surface_);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
    cairo_paint(cr);
    cairo_destroy(cr);
}

bool Image::writePng(const std::string& path) const
{
    return cairo_surface_write_to_png(surface_, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

// --- Pen --------------------------------------------------------------------

Pen::Pen(Image& image) : cr_(cairo_create(image.surface())), scale_(image.scale())
{
    cairo_scale(cr_, scale_, scale_);
    cairo_set_antialias(cr_, CAIRO_ANTIALIAS_GRAY);
}

Pen::~Pen() { cairo_destroy(cr_); }

void Pen::source(const Color& c) { cairo_set_source_rgba(cr_, c.r, c.g, c.b, c.a); }

void Pen::roundedRect(double x, double y, double w, double h, double r)
{
    r = std::min({r, w / 2, h / 2});
    cairo_new_sub_path(cr_);
    cairo_arc(cr_, x + w - r, y + r, r, -kPi / 2, 0);
    cairo_arc(cr_, x + w - r, y + h - r, r, 0, kPi / 2);
    cairo_arc(cr_, x + r, y + h - r, r, kPi / 2, kPi);
    cairo_arc(cr_, x + r, y + r, r, kPi, 3 * kPi / 2);
    cairo_close_path(cr_);
}

void Pen::fillRect(double x, double y, double w, double h, const Color& c)
{
    cairo_rectangle(cr_, x, y, w, h);
    source(c);
    cairo_fill(cr_);
}

void Pen::fillCircle(double cx, double cy, double r, const Color& c)
{
    cairo_new_sub_path(cr_);
    cairo_arc(cr_, cx, cy, r, 0, 2 * kPi);
    source(c);
    cairo_fill(cr_);
}

void Pen::line(double x0, double y0, double x1, double y1, double width, const Color& c, bool roundCap)
{
    cairo_move_to(cr_, x0, y0);
    cairo_line_to(cr_, x1, y1);
    cairo_set_line_width(cr_, width);
    cairo_set_line_cap(cr_, roundCap ? CAIRO_LINE_CAP_ROUND : CAIRO_LINE_CAP_BUTT);
    source(c);
    cairo_stroke(cr_);
}

// --- Random and planes ------------------------------------------------------

uint64_t Random::next()
{
    // splitmix64
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double Random::gaussian()
{
    double u = std::max(uniform(), 1e-12);
    double v = uniform();
    return std::sqrt(-2.0 * std::log(u)) * std::cos(2 * kPi * v);
}

void Plane::normalize()
{
    double sum = 0, sq = 0;
    for (float f : v)
        sum += f;
    double mean = sum / std::max<size_t>(v.size(), 1);
    for (float f : v)
        sq += (f - mean) * (f - mean);
    double sd = std::sqrt(sq / std::max<size_t>(v.size(), 1));
    if (sd <= 0)
        sd = 1;
    for (float& f : v)
        f = static_cast<float>((f - mean) / sd);
}

static void boxLine(const float* in, float* out, int n, int stride, int radius, bool wrap)
{
    // Running sum over a window of 2 * radius + 1 samples, edges clamped or wrapped.
    double sum = 0;
    auto sample = [&](int i) {
        if (wrap)
            i = ((i % n) + n) % n;
        else
            i = std::clamp(i, 0, n - 1);
        return static_cast<double>(in[static_cast<size_t>(i) * stride]);
    };
    for (int i = -radius; i <= radius; ++i)
        sum += sample(i);
    double k = 1.0 / (2 * radius + 1);
    for (int i = 0; i < n; ++i) {
        out[static_cast<size_t>(i) * stride] = static_cast<float>(sum * k);
        sum += sample(i + radius + 1) - sample(i - radius);
    }
}

void blurHorizontal(Plane& p, int radius, int passes, bool wrap)
{
    if (radius <= 0)
        return;
    std::vector<float> tmp(static_cast<size_t>(p.width));
    for (int pass = 0; pass < passes; ++pass)
        for (int y = 0; y < p.height; ++y) {
            float* rowp = &p.v[static_cast<size_t>(y) * p.width];
            boxLine(rowp, tmp.data(), p.width, 1, radius, wrap);
            std::copy(tmp.begin(), tmp.end(), rowp);
        }
}

void blurVertical(Plane& p, int radius, int passes)
{
    if (radius <= 0)
        return;
    std::vector<float> col(static_cast<size_t>(p.height)), tmp(static_cast<size_t>(p.height));
    for (int pass = 0; pass < passes; ++pass)
        for (int x = 0; x < p.width; ++x) {
            for (int y = 0; y < p.height; ++y)
                col[static_cast<size_t>(y)] = p.at(x, y);
            boxLine(col.data(), tmp.data(), p.height, 1, radius, false);
            for (int y = 0; y < p.height; ++y)
                p.at(x, y) = tmp[static_cast<size_t>(y)];
        }
}

Plane whiteNoise(int w, int h, uint64_t seed)
{
    Plane p(w, h);
    Random rnd(seed);
    for (float& f : p.v)
        f = static_cast<float>(rnd.uniform() * 2 - 1);
    return p;
}

void blurImage(Image& image, double sigma)
{
    if (sigma <= 0)
        return;
    // Three box passes of this radius have about the given deviation.
    int radius = std::max(1, static_cast<int>(std::lround(std::sqrt(12.0 * sigma * sigma / 3 + 1) / 2 - 0.5)));
    image.beginPixels();
    Plane ch[4];
    for (auto& c : ch)
        c = Plane(image.width(), image.height());
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            uint32_t p = image.at(x, y);
            for (int k = 0; k < 4; ++k)
                ch[k].at(x, y) = static_cast<float>((p >> (8 * k)) & 0xFF);
        }
    for (auto& c : ch) {
        blurHorizontal(c, radius);
        blurVertical(c, radius);
    }
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            uint32_t p = 0;
            uint32_t a = static_cast<uint32_t>(std::clamp(std::lround(ch[3].at(x, y)), 0L, 255L));
            for (int k = 0; k < 4; ++k) {
                uint32_t v = static_cast<uint32_t>(std::clamp(std::lround(ch[k].at(x, y)), 0L, 255L));
                if (k < 3)
                    v = std::min(v, a);
                p |= v << (8 * k);
            }
            image.set(x, y, p);
        }
    image.endPixels();
}

void shade(Image& image, int dx0, int dy0, int dx1, int dy1, int samples, const Shader& f)
{
    dx0 = std::max(dx0, 0);
    dy0 = std::max(dy0, 0);
    dx1 = std::min(dx1, image.width());
    dy1 = std::min(dy1, image.height());
    const double s = image.scale();
    const double inv = 1.0 / (samples * samples);
    image.beginPixels();
    for (int py = dy0; py < dy1; ++py) {
        uint32_t* rowp = image.row(py);
        for (int px = dx0; px < dx1; ++px) {
            double r = 0, g = 0, b = 0, a = 0;
            for (int j = 0; j < samples; ++j)
                for (int i = 0; i < samples; ++i) {
                    Color c = f((px + (i + 0.5) / samples) / s, (py + (j + 0.5) / samples) / s);
                    r += c.r * c.a;
                    g += c.g * c.a;
                    b += c.b * c.a;
                    a += c.a;
                }
            r *= inv;
            g *= inv;
            b *= inv;
            a *= inv;
            if (a <= 0)
                continue;
            uint32_t d = rowp[px];
            double da = ((d >> 24) & 0xFF) / 255.0, dr = ((d >> 16) & 0xFF) / 255.0,
                   dg = ((d >> 8) & 0xFF) / 255.0, db = (d & 0xFF) / 255.0;
            double oa = a + da * (1 - a);
            double orr = r + dr * (1 - a), og = g + dg * (1 - a), ob = b + db * (1 - a);
            auto q = [](double v) { return static_cast<uint32_t>(std::clamp(std::lround(v * 255.0), 0L, 255L)); };
            rowp[px] = (q(oa) << 24) | (q(orr) << 16) | (q(og) << 8) | q(ob);
        }
    }
    image.endPixels();
}

// --- Text -------------------------------------------------------------------

namespace {

std::string g_fontDir = "/usr/share/fonts/truetype/liberation2";

struct LoadedFont {
    FT_Face face = nullptr;
    cairo_font_face_t* cairoFace = nullptr;
};

FT_Library library()
{
    static FT_Library lib = [] {
        FT_Library l = nullptr;
        if (FT_Init_FreeType(&l))
            throw std::runtime_error("FreeType does not start");
        return l;
    }();
    return lib;
}

LoadedFont& loaded(Font font)
{
    static std::map<Font, LoadedFont> fonts;
    auto it = fonts.find(font);
    if (it != fonts.end())
        return it->second;
    LoadedFont f;
    std::string path = fontFile(font);
    if (FT_New_Face(library(), path.c_str(), 0, &f.face))
        throw std::runtime_error("cannot open font " + path);
    f.cairoFace = cairo_ft_font_face_create_for_ft_face(f.face, 0);
    return fonts.emplace(font, f).first->second;
}

void selectFont(Pen& pen, const TextStyle& style)
{
    cairo_t* cr = pen.cr();
    cairo_set_font_face(cr, loaded(style.font).cairoFace);
    cairo_set_font_size(cr, style.size);
    cairo_font_options_t* opt = cairo_font_options_create();
    cairo_font_options_set_antialias(opt, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(opt, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(opt, CAIRO_HINT_METRICS_ON);
    cairo_set_font_options(cr, opt);
    cairo_font_options_destroy(opt);
}

// Glyphs of the text laid out from (0, 0) with tracking; answers the width.
double layout(Pen& pen, const std::string& text, const TextStyle& style, std::vector<cairo_glyph_t>& out)
{
    selectFont(pen, style);
    cairo_scaled_font_t* sf = cairo_get_scaled_font(pen.cr());
    cairo_glyph_t* glyphs = nullptr;
    int count = 0;
    if (cairo_scaled_font_text_to_glyphs(sf, 0, 0, text.c_str(), static_cast<int>(text.size()), &glyphs, &count,
                                         nullptr, nullptr, nullptr) != CAIRO_STATUS_SUCCESS)
        return 0;
    out.assign(glyphs, glyphs + count);
    cairo_glyph_free(glyphs);
    // Whole device pixels of tracking, so that hinted advances stay even.
    const double s = pen.scale();
    const double tracking = std::round(style.tracking * s) / s;
    for (int i = 0; i < count; ++i)
        out[static_cast<size_t>(i)].x += tracking * i;
    if (count == 0)
        return 0;
    cairo_text_extents_t ext;
    cairo_scaled_font_glyph_extents(sf, &out.back(), 1, &ext);
    return out.back().x + ext.x_advance;
}

} // namespace

void setFontDirectory(const std::string& dir) { g_fontDir = dir; }

std::string fontFile(Font font)
{
    static const char* const names[] = {
        "LiberationSans-Regular.ttf",  "LiberationSans-Bold.ttf",  "LiberationSans-Italic.ttf",
        "LiberationSans-BoldItalic.ttf", "LiberationSerif-Regular.ttf", "LiberationSerif-Bold.ttf",
        "LiberationSerif-Italic.ttf", "LiberationSerif-BoldItalic.ttf",
    };
    return g_fontDir + "/" + names[static_cast<int>(font)];
}

double textWidth(Pen& pen, const std::string& text, const TextStyle& style)
{
    std::vector<cairo_glyph_t> glyphs;
    return layout(pen, text, style, glyphs);
}

double drawText(Pen& pen, const std::string& text, double x, double y, Align align, const TextStyle& style)
{
    std::vector<cairo_glyph_t> glyphs;
    double w = layout(pen, text, style, glyphs);
    double x0 = align == Align::Left ? x : align == Align::Center ? x - w / 2 : x - w;
    // Start and baseline on the device pixel grid: crisp, evenly spaced type.
    const double s = pen.scale();
    x0 = std::round(x0 * s) / s;
    y = std::round(y * s) / s;
    for (auto& g : glyphs) {
        g.x += x0;
        g.y += y;
    }
    pen.source(style.color);
    cairo_show_glyphs(pen.cr(), glyphs.data(), static_cast<int>(glyphs.size()));
    return w;
}

double capHeight(const TextStyle& style)
{
    FT_Face face = loaded(style.font).face;
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    double units = os2 && os2->sCapHeight > 0 ? os2->sCapHeight : face->units_per_EM * 0.7;
    return style.size * units / face->units_per_EM;
}

} // namespace gen
