#include "Quantize.h"

#include <algorithm>
#include <array>
#include <limits>
#include <tuple>
#include <unordered_map>

namespace gen {

namespace {

struct Bin {
    double r = 0, g = 0, b = 0; // sums
    double n = 0;
    double mr() const { return r / n; }
    double mg() const { return g / n; }
    double mb() const { return b / n; }
};

// Squared distance with more weight on green, the eye's most sensitive channel.
inline double dist(double r0, double g0, double b0, double r1, double g1, double b1)
{
    double dr = r0 - r1, dg = g0 - g1, db = b0 - b1;
    return 2 * dr * dr + 4 * dg * dg + 3 * db * db;
}

uint32_t opaque(uint32_t argb)
{
    // Our art is opaque; un-premultiply anyway so a stray alpha does no harm.
    uint32_t a = argb >> 24;
    if (a == 255 || a == 0)
        return argb & 0xFFFFFF;
    auto un = [&](uint32_t v) { return std::min<uint32_t>(255, (v * 255 + a / 2) / a); };
    return (un((argb >> 16) & 0xFF) << 16) | (un((argb >> 8) & 0xFF) << 8) | un(argb & 0xFF);
}

std::vector<std::array<double, 3>> medianCut(std::vector<Bin>& bins, size_t colours)
{
    struct Box {
        size_t begin, end;
        double sse;
    };
    auto boxSse = [&](size_t b, size_t e) {
        double n = 0, r = 0, g = 0, bl = 0;
        for (size_t i = b; i < e; ++i) {
            n += bins[i].n;
            r += bins[i].r;
            g += bins[i].g;
            bl += bins[i].b;
        }
        double mr = r / n, mg = g / n, mb = bl / n, s = 0;
        for (size_t i = b; i < e; ++i)
            s += bins[i].n * dist(bins[i].mr(), bins[i].mg(), bins[i].mb(), mr, mg, mb);
        return s;
    };
    std::vector<Box> boxes{{0, bins.size(), boxSse(0, bins.size())}};
    while (boxes.size() < colours) {
        auto it = std::max_element(boxes.begin(), boxes.end(), [](const Box& a, const Box& b) { return a.sse < b.sse; });
        if (it->sse <= 0 || it->end - it->begin < 2)
            break;
        Box box = *it;
        // Split along the channel of widest weighted spread, at the weighted median.
        double lo[3] = {1e9, 1e9, 1e9}, hi[3] = {-1e9, -1e9, -1e9};
        for (size_t i = box.begin; i < box.end; ++i) {
            double c[3] = {bins[i].mr(), bins[i].mg(), bins[i].mb()};
            for (int k = 0; k < 3; ++k) {
                lo[k] = std::min(lo[k], c[k]);
                hi[k] = std::max(hi[k], c[k]);
            }
        }
        const double w[3] = {2, 4, 3};
        int axis = 0;
        for (int k = 1; k < 3; ++k)
            if ((hi[k] - lo[k]) * w[k] > (hi[axis] - lo[axis]) * w[axis])
                axis = k;
        std::sort(bins.begin() + static_cast<long>(box.begin), bins.begin() + static_cast<long>(box.end),
                  [axis](const Bin& a, const Bin& b) {
                      double va = axis == 0 ? a.mr() : axis == 1 ? a.mg() : a.mb();
                      double vb = axis == 0 ? b.mr() : axis == 1 ? b.mg() : b.mb();
                      return va < vb;
                  });
        double total = 0, acc = 0;
        for (size_t i = box.begin; i < box.end; ++i)
            total += bins[i].n;
        size_t split = box.begin + 1;
        for (size_t i = box.begin; i < box.end - 1; ++i) {
            acc += bins[i].n;
            split = i + 1;
            if (acc >= total / 2)
                break;
        }
        *it = {box.begin, split, boxSse(box.begin, split)};
        boxes.push_back({split, box.end, boxSse(split, box.end)});
    }
    std::vector<std::array<double, 3>> centres;
    for (const Box& b : boxes) {
        double n = 0, r = 0, g = 0, bl = 0;
        for (size_t i = b.begin; i < b.end; ++i) {
            n += bins[i].n;
            r += bins[i].r;
            g += bins[i].g;
            bl += bins[i].b;
        }
        centres.push_back({r / n, g / n, bl / n});
    }
    return centres;
}

} // namespace

Indexed quantize(const Image& image, int frameW, int frameH, double ditherLevels)
{
    Indexed out;
    out.width = image.width();
    out.height = image.height();
    const size_t n = static_cast<size_t>(out.width) * out.height;
    out.index.resize(n);
    image.beginPixels();

    // Exact colours first: few enough, and nothing needs to change.
    std::unordered_map<uint32_t, uint32_t> exact;
    for (int y = 0; y < out.height && exact.size() <= 256; ++y)
        for (int x = 0; x < out.width; ++x) {
            exact.emplace(opaque(image.at(x, y)), 0);
            if (exact.size() > 256)
                break;
        }
    if (exact.size() <= 256) {
        for (auto& [c, i] : exact) {
            i = static_cast<uint32_t>(out.palette.size());
            out.palette.push_back(c);
        }
        for (int y = 0; y < out.height; ++y)
            for (int x = 0; x < out.width; ++x)
                out.index[static_cast<size_t>(y) * out.width + x] = static_cast<uint8_t>(exact[opaque(image.at(x, y))]);
        return out;
    }

    // Histogram in bins of 6 bits per channel, each keeping its mean colour.
    std::unordered_map<uint32_t, Bin> hist;
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            uint32_t c = opaque(image.at(x, y));
            double r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
            uint32_t key = ((c >> 18) & 0x3F) << 12 | ((c >> 10) & 0x3F) << 6 | ((c >> 2) & 0x3F);
            Bin& bin = hist[key];
            bin.r += r;
            bin.g += g;
            bin.b += b;
            bin.n += 1;
        }
    std::vector<Bin> bins;
    bins.reserve(hist.size());
    for (auto& [k, b] : hist)
        bins.push_back(b);
    std::sort(bins.begin(), bins.end(), [](const Bin& a, const Bin& b) {
        return std::make_tuple(a.r / a.n, a.g / a.n, a.b / a.n) < std::make_tuple(b.r / b.n, b.g / b.n, b.b / b.n);
    });
    std::vector<std::array<double, 3>> centres = medianCut(bins, 256);

    // k-means over the bins.
    for (int iter = 0; iter < 12; ++iter) {
        std::vector<std::array<double, 4>> acc(centres.size(), {0, 0, 0, 0});
        for (const Bin& b : bins) {
            double best = std::numeric_limits<double>::max();
            size_t bi = 0;
            for (size_t i = 0; i < centres.size(); ++i) {
                double d = dist(b.mr(), b.mg(), b.mb(), centres[i][0], centres[i][1], centres[i][2]);
                if (d < best) {
                    best = d;
                    bi = i;
                }
            }
            acc[bi][0] += b.r;
            acc[bi][1] += b.g;
            acc[bi][2] += b.b;
            acc[bi][3] += b.n;
        }
        for (size_t i = 0; i < centres.size(); ++i)
            if (acc[i][3] > 0)
                centres[i] = {acc[i][0] / acc[i][3], acc[i][1] / acc[i][3], acc[i][2] / acc[i][3]};
    }
    for (const auto& c : centres) {
        auto q = [](double v) { return static_cast<uint32_t>(std::clamp(std::lround(v), 0L, 255L)); };
        out.palette.push_back(q(c[0]) << 16 | q(c[1]) << 8 | q(c[2]));
    }

    // Map with a 4 x 4 ordered dither of the brightness.
    static const int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    std::unordered_map<uint32_t, uint8_t> memo;
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            uint32_t c = opaque(image.at(x, y));
            int fx = x % frameW, fy = y % frameH;
            int t = static_cast<int>(std::lround(((bayer[fy & 3][fx & 3] + 0.5) / 16.0 - 0.5) * 2 * ditherLevels));
            auto add = [&](uint32_t v) { return static_cast<uint32_t>(std::clamp(static_cast<int>(v) + t, 0, 255)); };
            uint32_t d = add((c >> 16) & 0xFF) << 16 | add((c >> 8) & 0xFF) << 8 | add(c & 0xFF);
            auto it = memo.find(d);
            uint8_t idx;
            if (it != memo.end()) {
                idx = it->second;
            } else {
                double best = std::numeric_limits<double>::max();
                size_t bi = 0;
                for (size_t i = 0; i < out.palette.size(); ++i) {
                    uint32_t p = out.palette[i];
                    double dd = dist((d >> 16) & 0xFF, (d >> 8) & 0xFF, d & 0xFF, (p >> 16) & 0xFF, (p >> 8) & 0xFF,
                                     p & 0xFF);
                    if (dd < best) {
                        best = dd;
                        bi = i;
                    }
                }
                idx = static_cast<uint8_t>(bi);
                memo.emplace(d, idx);
            }
            out.index[static_cast<size_t>(y) * out.width + x] = idx;
        }
    return out;
}

void quantizationError(const Image& image, const Indexed& indexed, double& mean, int& worst)
{
    double sum = 0;
    worst = 0;
    image.beginPixels();
    for (int y = 0; y < indexed.height; ++y)
        for (int x = 0; x < indexed.width; ++x) {
            uint32_t a = opaque(image.at(x, y)), b = indexed.colorAt(static_cast<size_t>(y) * indexed.width + x);
            for (int k = 0; k < 3; ++k) {
                int d = std::abs(static_cast<int>((a >> (8 * k)) & 0xFF) - static_cast<int>((b >> (8 * k)) & 0xFF));
                sum += d;
                worst = std::max(worst, d);
            }
        }
    mean = sum / (3.0 * indexed.width * indexed.height);
}

Image expand(const Indexed& indexed, int scale)
{
    Image img(indexed.width, indexed.height, scale);
    img.beginPixels();
    for (int y = 0; y < indexed.height; ++y)
        for (int x = 0; x < indexed.width; ++x)
            img.set(x, y, 0xFF000000u | indexed.colorAt(static_cast<size_t>(y) * indexed.width + x));
    img.endPixels();
    return img;
}

} // namespace gen
