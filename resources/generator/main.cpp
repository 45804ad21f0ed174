// ambrel-skin-generator: draws every bitmap of the editor skin at 1x and 2x
// and the glyph atlases, and writes what the builds embed.
//
//   ambrel-skin-generator --out DIR [--fonts DIR] [--preview DIR]
//
// DIR receives bmp/<id>.bmp (the 1x art), skin2x.pack (the 2x art),
// skin.rc.in, skin.bin, SkinData.cpp.in and manifest.txt. --preview writes
// contact sheets: the assembled pages at both scales and every strip.
#include "Art.h"
#include "Atlases.h"
#include "Output.h"
#include "Quantize.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>

namespace fs = std::filesystem;
using namespace gen;

namespace {

struct Options {
    std::string out;
    std::string preview;
};

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Largest difference, on the outer ring of a bitmap's rectangle, between the
// page under its first place and the page under each other place: a seam
// would show where the strip meets the page.
void checkSeams(const Pages& pages, int scale, int& worst, std::string& where)
{
    for (const skin::BitmapGeometry& g : skin::kBitmapGeometry) {
        std::vector<Placement> places = placementsOf(g.id);
        if (places.size() < 2)
            continue;
        const Image& p0 = pages.page(places[0].page);
        p0.beginPixels();
        for (size_t i = 1; i < places.size(); ++i) {
            const Image& p1 = pages.page(places[i].page);
            p1.beginPixels();
            int w = g.frameWidth * scale, h = g.frameHeight * scale;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    if (x > 1 && y > 1 && x < w - 2 && y < h - 2)
                        continue;
                    uint32_t a = p0.at(places[0].rect.left * scale + x, places[0].rect.top * scale + y);
                    uint32_t b = p1.at(places[i].rect.left * scale + x, places[i].rect.top * scale + y);
                    for (int k = 0; k < 3; ++k) {
                        int d = std::abs(static_cast<int>((a >> (8 * k)) & 0xFF) -
                                         static_cast<int>((b >> (8 * k)) & 0xFF));
                        if (d > worst) {
                            worst = d;
                            where = std::to_string(g.id) + " at " + std::to_string(places[i].rect.left) + "," +
                                    std::to_string(places[i].rect.top);
                        }
                    }
                }
        }
    }
}

// --- Previews -------------------------------------------------------------------------

const BuiltImage& find(const std::vector<BuiltImage>& images, int id, int scale)
{
    for (const BuiltImage& b : images)
        if (b.id() == id && b.scale == scale)
            return b;
    throw std::runtime_error("no image " + std::to_string(id));
}

Image shipped(const BuiltImage& b) { return b.eightBit() ? expand(b.indexed, b.scale) : b.rgb; }

void putFrame(Image& target, const Image& strip, const skin::BitmapGeometry& g, int frame, int x, int y)
{
    const int s = target.scale();
    int ox, oy;
    frameOrigin(g, frame, s, ox, oy);
    target.paste(strip.crop(ox, oy, g.frameWidth * s, g.frameHeight * s), x * s, y * s);
}

int knobFrame(double v) { return static_cast<int>(v * 100 + 0.5); }

void putReadout(Image& target, const Image& glyphs, const std::vector<int>& cells)
{
    const skin::BitmapGeometry& g = *skin::findGeometry(skin::kReadoutGlyphs);
    for (size_t i = 0; i < cells.size(); ++i)
        putFrame(target, glyphs, g, cells[i], layout::kReadoutX + static_cast<int>(i) * layout::kReadoutPitch,
                 layout::kReadoutY);
}

void putStrip(Image& target, const std::vector<BuiltImage>& images, int scale)
{
    int hover = 0;
    for (const layout::StripControlSpec& s : layout::kStripControls) {
        if (!s.bitmap)
            continue;
        const BuiltImage& b = find(images, s.bitmap, scale);
        int frame = (hover++ == 2) ? 1 : 0;
        putFrame(target, shipped(b), *b.geometry, frame, s.left, layout::kStripTop);
    }
}

Image previewMain(const std::vector<BuiltImage>& images, int scale, bool fat)
{
    Image page = find(images, fat ? skin::kBackground : skin::kBackgroundNoFat, scale).rgb;
    std::map<int, Image> strips;
    auto strip = [&](int id) -> const Image& {
        auto it = strips.find(id);
        if (it == strips.end())
            it = strips.emplace(id, shipped(find(images, id, scale))).first;
        return it->second;
    };
    const double knobValues[] = {0.35, 0.62, 0.5, 0.8, 0.25, 0.7, 0.45, 1.0, 0.55, 0.5, 0.3};
    int knob = 0, button = 0, meterIndex = 0;
    for (const layout::ControlSpec& c : layout::kMainPageControls) {
        if (!c.bitmap || (c.fatOnly && !fat))
            continue;
        int id = c.bitmap;
        if (!fat && id == skin::kProcessButton)
            id = skin::kProcessButtonNoFat;
        const skin::BitmapGeometry& g = *skin::findGeometry(id);
        int frame = 0;
        switch (c.kind) {
        case layout::ControlKind::Knob:
        case layout::ControlKind::DriveKnob:
            frame = knobFrame(knobValues[knob++ % 11]);
            break;
        case layout::ControlKind::OnOffButton:
            frame = (button++ % 2 == 0) ? 1 : 0;
            break;
        case layout::ControlKind::VerticalSwitch:
            frame = 1;
            break;
        case layout::ControlKind::LRUDButton:
            frame = 3;
            break;
        case layout::ControlKind::Meter:
            frame = meter::needleFrame(meter::levelToValue(meterIndex++ == 0 ? -3.0 : 1.0), meter::Scale::Normal);
            break;
        case layout::ControlKind::OverLight:
            frame = c.rect.left < 200 ? 2 : 5;
            break;
        default:
            continue;
        }
        if (c.kind == layout::ControlKind::Readout)
            continue;
        putFrame(page, strip(id), g, frame, c.rect.left, c.rect.top);
    }
    putReadout(page, strip(skin::kReadoutGlyphs), {skin::kGlyphPlus, 1, 2, skin::kGlyphPoint, 3, skin::kGlyphDecibel});
    putStrip(page, images, scale);
    return page;
}

Image previewSettings(const std::vector<BuiltImage>& images, int scale)
{
    Image page = find(images, skin::kBackground, scale).rgb;
    page.paste(find(images, skin::kSettingsBackground, scale).rgb.crop(0, 0, 450 * scale, 443 * scale), 0, 0);
    const BuiltImage& knob = find(images, skin::kSettingsKnob, scale);
    Image ks = shipped(knob);
    int i = 0;
    for (const layout::SettingsKnobSpec& k : layout::kSettingsKnobs)
        putFrame(page, ks, *knob.geometry, (i++ * 7 + 12) % 51, k.knob.left, k.knob.top);
    const BuiltImage& sw = find(images, skin::kKnobModeSwitch, scale);
    for (const layout::ControlSpec& c : layout::kSettingsPageControls)
        if (c.bitmap)
            putFrame(page, shipped(sw), *sw.geometry, 1, c.rect.left, c.rect.top);
    putStrip(page, images, scale);
    return page;
}

// All frames of a strip in a grid.
Image sheet(const BuiltImage& b)
{
    const skin::BitmapGeometry& g = *b.geometry;
    const int s = b.scale;
    if (g.frames == 1)
        return b.rgb;
    int cols = g.frames > 20 ? 11 : g.frames;
    int rows = (g.frames + cols - 1) / cols;
    Image out((cols * (g.frameWidth + 4) + 4) * s, (rows * (g.frameHeight + 4) + 4) * s, s);
    out.fill(rgb(90, 90, 96));
    Image strip = shipped(b);
    for (int k = 0; k < g.frames; ++k)
        putFrame(out, strip, g, k, 4 + (k % cols) * (g.frameWidth + 4), 4 + (k / cols) * (g.frameHeight + 4));
    return out;
}

// A piece of a 1x picture blown up pixel for pixel, to judge the small art.
Image zoom(const Image& src, int x0, int y0, int w, int h, int factor)
{
    Image out(w * factor, h * factor, 1);
    src.beginPixels();
    out.beginPixels();
    for (int y = 0; y < h * factor; ++y)
        for (int x = 0; x < w * factor; ++x)
            out.set(x, y, src.at(x0 + x / factor, y0 + y / factor));
    out.endPixels();
    return out;
}

void writePreviews(const std::string& dir, const std::vector<BuiltImage>& images)
{
    fs::create_directories(dir);
    {
        Image main1 = previewMain(images, 1, true);
        zoom(main1, 0, 0, 225, 150, 4).writePng(dir + "/zoom-main-1x-a.png");
        zoom(main1, 225, 0, 225, 150, 4).writePng(dir + "/zoom-main-1x-b.png");
        zoom(main1, 0, 150, 225, 150, 4).writePng(dir + "/zoom-main-1x-c.png");
        zoom(main1, 225, 150, 225, 150, 4).writePng(dir + "/zoom-main-1x-d.png");
        zoom(main1, 0, 300, 225, 160, 4).writePng(dir + "/zoom-main-1x-e.png");
        zoom(main1, 225, 300, 225, 160, 4).writePng(dir + "/zoom-main-1x-f.png");
        Image main2 = previewMain(images, 2, true);
        zoom(main2, 0, 0, 450, 300, 2).writePng(dir + "/zoom-main-2x-a.png");
        zoom(main2, 450, 300, 450, 300, 2).writePng(dir + "/zoom-main-2x-d.png");
        zoom(main2, 0, 600, 450, 320, 2).writePng(dir + "/zoom-main-2x-e.png");
        zoom(main2, 450, 600, 450, 320, 2).writePng(dir + "/zoom-main-2x-f.png");
        Image set1 = previewSettings(images, 1);
        zoom(set1, 0, 150, 225, 150, 4).writePng(dir + "/zoom-settings-1x-c.png");
        zoom(set1, 225, 300, 225, 160, 4).writePng(dir + "/zoom-settings-1x-f.png");
    }
    for (int s = 1; s <= 2; ++s) {
        std::string suffix = std::string("-") + char('0' + s) + "x.png";
        previewMain(images, s, true).writePng(dir + "/page-main" + suffix);
        previewMain(images, s, false).writePng(dir + "/page-main-nofat" + suffix);
        previewSettings(images, s).writePng(dir + "/page-settings" + suffix);
    }
    for (const BuiltImage& b : images)
        if (b.geometry->frames > 1)
            sheet(b).writePng(dir + "/strip-" + std::to_string(b.id()) + "-" + std::to_string(b.scale) + "x.png");
}

Options parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                throw std::runtime_error("missing value after " + a);
            return argv[++i];
        };
        if (a == "--out")
            o.out = value();
        else if (a == "--fonts")
            setFontDirectory(value());
        else if (a == "--preview")
            o.preview = value();
        else
            throw std::runtime_error("unknown argument " + a);
    }
    if (o.out.empty() && o.preview.empty())
        throw std::runtime_error("usage: ambrel-skin-generator --out DIR [--fonts DIR] [--preview DIR]");
    return o;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        const Options opt = parse(argc, argv);
        auto started = std::chrono::steady_clock::now();
        std::vector<BuiltImage> images;
        for (int scale = 1; scale <= 2; ++scale) {
            Pages pages{drawMainPage(scale, true), drawMainPage(scale, false), drawSettingsPage(scale)};
            int worst = 0;
            std::string where;
            checkSeams(pages, scale, worst, where);
            std::printf("scale %d: pages drawn (%.1f s); largest seam %d levels%s%s\n", scale, seconds(started), worst,
                        worst ? " at " : "", where.c_str());
            for (const skin::BitmapGeometry& g : skin::kBitmapGeometry) {
                BuiltImage b;
                b.geometry = &g;
                b.scale = scale;
                b.rgb = drawBitmap(g.id, scale, pages);
                if (b.rgb.width() != g.width * scale || b.rgb.height() != g.height * scale)
                    throw std::runtime_error("bitmap " + std::to_string(g.id) + " has the wrong size");
                if (b.eightBit()) {
                    b.indexed = quantize(b.rgb, g.frameWidth * scale, g.frameHeight * scale);
                    double mean;
                    int worstError;
                    quantizationError(b.rgb, b.indexed, mean, worstError);
                    std::printf("  %d @%dx: %zu colours, mean error %.2f, largest %d\n", g.id, scale,
                                b.indexed.palette.size(), mean, worstError);
                }
                b.finish();
                images.push_back(std::move(b));
            }
            std::printf("scale %d done (%.1f s)\n", scale, seconds(started));
        }
        std::vector<AtlasOut> atlases = renderAtlases();
        std::printf("atlases done (%.1f s)\n", seconds(started));

        if (!opt.out.empty()) {
            fs::create_directories(opt.out + "/bmp");
            for (const BuiltImage& b : images)
                if (b.scale == 1 && !writeBmp(opt.out + "/bmp/" + std::to_string(b.id()) + ".bmp", b))
                    throw std::runtime_error("cannot write the bitmaps");
            std::printf("bitmaps written (%.1f s)\n", seconds(started));
            std::vector<uint8_t> blob;
            const std::vector<skin::embedded::ImageRecord> records = encodeImages(images, blob);
            writePack(opt.out + "/skin2x.pack", records, blob, 2);
            writeEmbedded(opt.out + "/skin.bin", opt.out + "/SkinData.cpp.in", records, std::move(blob), atlases);
            std::printf("embedded data written (%.1f s)\n", seconds(started));
            std::string key;
            {
                std::vector<uint32_t> all;
                for (const BuiltImage& b : images) {
                    all.push_back(static_cast<uint32_t>(b.hash));
                    all.push_back(static_cast<uint32_t>(b.hash >> 32));
                }
                char buf[17];
                std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(pixelHash(all)));
                key = buf;
            }
            writeResourceScript(opt.out + "/skin.rc.in", images, key);
            writeManifest(opt.out + "/manifest.txt", images, atlases);
        }
        if (!opt.preview.empty())
            writePreviews(opt.preview, images);
        std::printf("skin written (%.1f s)\n", seconds(started));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ambrel-skin-generator: %s\n", e.what());
        return 1;
    }
}
