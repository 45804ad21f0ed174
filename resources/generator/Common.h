// Shared pieces of the skin generator: images on cairo surfaces, colours,
// a seeded noise source, blur, and text set in Liberation Sans through
// FreeType. All drawing coordinates are the editor's 1x pixels; an Image
// knows its device scale (1 or 2) and every painter multiplies by it.
#pragma once

#include <cairo.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace gen {

struct Color {
    double r = 0, g = 0, b = 0, a = 1;
};
constexpr Color rgb(int r, int g, int b, double a = 1.0) { return {r / 255.0, g / 255.0, b / 255.0, a}; }
constexpr Color grey(double v, double a = 1.0) { return {v, v, v, a}; }
Color mix(const Color& x, const Color& y, double t);
Color scaled(const Color& c, double k); // brightness, alpha kept
inline double clamp01(double v) { return v < 0 ? 0 : v > 1 ? 1 : v; }
inline double smoothstep(double e0, double e1, double x)
{
    double t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}
constexpr double kPi = 3.14159265358979323846;
inline double radians(double deg) { return deg * kPi / 180.0; }

// An ARGB32 (premultiplied) picture in device pixels.
class Image {
public:
    Image() = default;
    Image(int width, int height, int scale);
    Image(const Image& other);
    Image& operator=(const Image& other);
    Image(Image&& other) noexcept;
    Image& operator=(Image&& other) noexcept;
    ~Image();

    int width() const { return width_; }   // device pixels
    int height() const { return height_; }
    int scale() const { return scale_; }
    cairo_surface_t* surface() const { return surface_; }

    uint32_t* row(int y);
    const uint32_t* row(int y) const;
    uint32_t at(int x, int y) const { return row(y)[x]; }
    void set(int x, int y, uint32_t argb) { row(y)[x] = argb; }

    // Call around direct pixel access.
    void beginPixels() const;
    void endPixels();

    // A copy of a device-pixel rectangle.
    Image crop(int x, int y, int w, int h) const;
    // Copies src over this image at a device position, replacing the pixels.
    void paste(const Image& src, int x, int y);
    // Composites src over this image.
    void over(const Image& src, int x, int y, double alpha = 1.0);

    void fill(const Color& c);
    bool writePng(const std::string& path) const;

private:
    void release();
    cairo_surface_t* surface_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    int scale_ = 1;
};

// A cairo context on an image, scaled so that user units are 1x pixels.
class Pen {
public:
    explicit Pen(Image& image);
    ~Pen();
    Pen(const Pen&) = delete;
    Pen& operator=(const Pen&) = delete;
    cairo_t* cr() const { return cr_; }
    operator cairo_t*() const { return cr_; }
    int scale() const { return scale_; }
    // Device-pixel size of one user unit, for hairlines.
    double px() const { return 1.0 / scale_; }

    void source(const Color& c);
    void roundedRect(double x, double y, double w, double h, double r);
    void fillRect(double x, double y, double w, double h, const Color& c);
    void fillCircle(double cx, double cy, double r, const Color& c);
    void line(double x0, double y0, double x1, double y1, double width, const Color& c, bool roundCap = false);

private:
    cairo_t* cr_;
    int scale_;
};

// Deterministic noise: the same seed gives the same picture on every run.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
    uint64_t next();
    double uniform() { return (next() >> 11) * (1.0 / 9007199254740992.0); } // [0, 1)
    double gaussian();

private:
    uint64_t state_;
};

// A float plane for textures.
struct Plane {
    int width = 0;
    int height = 0;
    std::vector<float> v;
    Plane() = default;
    Plane(int w, int h, float fill = 0) : width(w), height(h), v(static_cast<size_t>(w) * h, fill) {}
    float& at(int x, int y) { return v[static_cast<size_t>(y) * width + x]; }
    float at(int x, int y) const { return v[static_cast<size_t>(y) * width + x]; }
    void normalize(); // zero mean, unit deviation
};
// Box blurs (three passes approximate a Gaussian); radius in samples.
void blurHorizontal(Plane& p, int radius, int passes = 3, bool wrap = false);
void blurVertical(Plane& p, int radius, int passes = 3);
Plane whiteNoise(int w, int h, uint64_t seed);

// Gaussian blur of an image's alpha-premultiplied pixels, radius in device pixels.
void blurImage(Image& image, double sigma);

// Per-pixel painting with supersampling: f(x, y) in 1x units answers the
// colour there (with alpha as coverage); the result is composited over the
// image inside the device rectangle.
using Shader = std::function<Color(double x, double y)>;
void shade(Image& image, int dx0, int dy0, int dx1, int dy1, int samples, const Shader& f);

// --- Text -------------------------------------------------------------------

enum class Font { Sans, SansBold, SansItalic, SansBoldItalic, Serif, SerifBold, SerifItalic, SerifBoldItalic };
// Path of the TrueType file of a font (Liberation, from the font folder).
std::string fontFile(Font font);
void setFontDirectory(const std::string& dir);

enum class Align { Left, Center, Right };
struct TextStyle {
    Font font = Font::SansBold;
    double size = 7.0;     // em size in 1x pixels
    double tracking = 0.0; // extra space between letters, 1x pixels
    Color color = rgb(40, 40, 40);
};
// Draws UTF-8 text with its baseline at y; x is the left, centre or right
// end by `align`. Answers the drawn width.
double drawText(Pen& pen, const std::string& text, double x, double y, Align align, const TextStyle& style);
double textWidth(Pen& pen, const std::string& text, const TextStyle& style);
// Cap height of the font at the style's size (for vertical centring).
double capHeight(const TextStyle& style);

} // namespace gen
