#include "Output.h"

#include "Art.h"

#include "resources/EmbeddedSkin.h"

#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

namespace gen {

void BuiltImage::finish()
{
    std::vector<uint32_t>& out = shipped;
    out.clear();
    if (eightBit()) {
        out.resize(indexed.index.size());
        for (size_t i = 0; i < out.size(); ++i)
            out[i] = 0xFF000000u | indexed.colorAt(i);
    } else {
        rgb.beginPixels();
        out.reserve(static_cast<size_t>(rgb.width()) * rgb.height());
        for (int y = 0; y < rgb.height(); ++y)
            for (int x = 0; x < rgb.width(); ++x)
                out.push_back(0xFF000000u | (rgb.at(x, y) & 0xFFFFFF));
    }
    hash = pixelHash(out);
}

uint64_t pixelHash(const std::vector<uint32_t>& pixels)
{
    uint64_t h = 1469598103934665603ull;
    for (uint32_t p : pixels) {
        h ^= p;
        h *= 1099511628211ull;
    }
    return h;
}

namespace {

void put16(std::vector<uint8_t>& b, uint32_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& b, uint32_t v)
{
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& data)
{
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(f);
}

std::vector<uint8_t> deflateBytes(const std::vector<uint8_t>& in)
{
    z_stream z{};
    if (deflateInit2(&z, 6, Z_DEFLATED, 15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("zlib does not start");
    std::vector<uint8_t> out(deflateBound(&z, in.size()));
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END)
        throw std::runtime_error("zlib cannot compress");
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// (G, R - G, B - G) per pixel, three bytes.
std::vector<uint8_t> colourPlanes(const std::vector<uint32_t>& px)
{
    std::vector<uint8_t> t(px.size() * 3);
    for (size_t i = 0; i < px.size(); ++i) {
        uint8_t r = static_cast<uint8_t>(px[i] >> 16), g = static_cast<uint8_t>(px[i] >> 8),
                b = static_cast<uint8_t>(px[i]);
        t[3 * i] = g;
        t[3 * i + 1] = static_cast<uint8_t>(r - g);
        t[3 * i + 2] = static_cast<uint8_t>(b - g);
    }
    return t;
}

uint8_t paeth(int a, int b, int c)
{
    int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc)
        return static_cast<uint8_t>(a);
    return static_cast<uint8_t>(pb <= pc ? b : c);
}

// PNG row filters, the filter of each row chosen by the smallest sum of
// absolute (signed) residuals.
std::vector<uint8_t> filterRows(const std::vector<uint8_t>& t, int width, int height)
{
    const size_t stride = static_cast<size_t>(width) * 3;
    std::vector<uint8_t> out;
    out.reserve((stride + 1) * height);
    std::vector<uint8_t> zero(stride, 0), cand(stride), best(stride);
    for (int y = 0; y < height; ++y) {
        const uint8_t* cur = &t[y * stride];
        const uint8_t* up = y > 0 ? &t[(y - 1) * stride] : zero.data();
        long bestCost = -1;
        uint8_t bestType = 0;
        for (uint8_t type = 0; type < 5; ++type) {
            long cost = 0;
            for (size_t i = 0; i < stride; ++i) {
                int a = i >= 3 ? cur[i - 3] : 0, b = up[i], c = i >= 3 ? up[i - 3] : 0;
                int pred = type == 0 ? 0 : type == 1 ? a : type == 2 ? b : type == 3 ? (a + b) / 2 : paeth(a, b, c);
                cand[i] = static_cast<uint8_t>(cur[i] - pred);
                cost += std::abs(static_cast<int8_t>(cand[i]));
            }
            if (bestCost < 0 || cost < bestCost) {
                bestCost = cost;
                bestType = type;
                best = cand;
            }
        }
        out.push_back(bestType);
        out.insert(out.end(), best.begin(), best.end());
    }
    return out;
}

struct Encoded {
    skin::embedded::Encoding encoding;
    int base = -1;
    std::vector<uint8_t> palette; // 768 bytes
    std::vector<uint8_t> data;
};

Encoded encodeIndexed(const BuiltImage& img)
{
    const skin::BitmapGeometry& g = *img.geometry;
    const int s = img.scale, w = g.width * s, fw = g.frameWidth * s, fh = g.frameHeight * s;
    std::vector<uint8_t> idx = img.indexed.index;
    // Each frame after the first as the difference from the frame before;
    // from the last frame down so every subtraction sees plain values.
    for (int k = g.frames - 1; k >= 1; --k) {
        int x1, y1, x0, y0;
        frameOrigin(g, k, s, x1, y1);
        frameOrigin(g, k - 1, s, x0, y0);
        for (int y = 0; y < fh; ++y)
            for (int x = 0; x < fw; ++x)
                idx[static_cast<size_t>(y1 + y) * w + x1 + x] -= idx[static_cast<size_t>(y0 + y) * w + x0 + x];
    }
    Encoded e;
    e.encoding = skin::embedded::Encoding::Indexed;
    e.palette.assign(768, 0);
    for (size_t i = 0; i < img.indexed.palette.size(); ++i) {
        uint32_t c = img.indexed.palette[i];
        e.palette[3 * i] = static_cast<uint8_t>(c >> 16);
        e.palette[3 * i + 1] = static_cast<uint8_t>(c >> 8);
        e.palette[3 * i + 2] = static_cast<uint8_t>(c);
    }
    e.data = deflateBytes(idx);
    return e;
}

Encoded encodeRgb(const BuiltImage& img, const BuiltImage* base, int baseRecord)
{
    std::vector<uint8_t> t = colourPlanes(img.pixels());
    if (base) {
        std::vector<uint8_t> b = colourPlanes(base->pixels());
        for (size_t i = 0; i < t.size(); ++i)
            t[i] = static_cast<uint8_t>(t[i] - b[i]);
    }
    Encoded e;
    e.encoding = skin::embedded::Encoding::Rgb;
    e.base = base ? baseRecord : -1;
    e.data = deflateBytes(filterRows(t, img.rgb.width(), img.rgb.height()));
    return e;
}

uint32_t appendAligned(std::vector<uint8_t>& blob, const std::vector<uint8_t>& bytes)
{
    while (blob.size() % 4)
        blob.push_back(0);
    const uint32_t at = static_cast<uint32_t>(blob.size());
    blob.insert(blob.end(), bytes.begin(), bytes.end());
    return at;
}

std::string hex64(uint64_t v)
{
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
    return buf;
}

} // namespace

bool writeBmp(const std::string& path, const BuiltImage& img)
{
    const int w = img.eightBit() ? img.indexed.width : img.rgb.width();
    const int h = img.eightBit() ? img.indexed.height : img.rgb.height();
    const int bpp = img.eightBit() ? 8 : 24;
    const uint32_t rowBytes = static_cast<uint32_t>((w * bpp / 8 + 3) & ~3);
    const uint32_t paletteBytes = img.eightBit() ? 256 * 4 : 0;
    const uint32_t offset = 14 + 40 + paletteBytes;
    std::vector<uint8_t> b;
    b.reserve(offset + rowBytes * h);
    b.push_back('B');
    b.push_back('M');
    put32(b, offset + rowBytes * h);
    put32(b, 0);
    put32(b, offset);
    put32(b, 40);
    put32(b, static_cast<uint32_t>(w));
    put32(b, static_cast<uint32_t>(h)); // bottom-up
    put16(b, 1);
    put16(b, static_cast<uint32_t>(bpp));
    put32(b, 0); // BI_RGB
    put32(b, rowBytes * h);
    put32(b, 2835); // 72 dpi
    put32(b, 2835);
    put32(b, img.eightBit() ? 256 : 0);
    put32(b, 0);
    if (img.eightBit())
        for (int i = 0; i < 256; ++i) {
            uint32_t c = i < static_cast<int>(img.indexed.palette.size()) ? img.indexed.palette[static_cast<size_t>(i)] : 0;
            b.push_back(static_cast<uint8_t>(c));
            b.push_back(static_cast<uint8_t>(c >> 8));
            b.push_back(static_cast<uint8_t>(c >> 16));
            b.push_back(0);
        }
    const std::vector<uint32_t>& px = img.pixels();
    for (int y = h - 1; y >= 0; --y) {
        size_t start = b.size();
        for (int x = 0; x < w; ++x) {
            size_t i = static_cast<size_t>(y) * w + x;
            if (img.eightBit()) {
                b.push_back(img.indexed.index[i]);
            } else {
                b.push_back(static_cast<uint8_t>(px[i]));
                b.push_back(static_cast<uint8_t>(px[i] >> 8));
                b.push_back(static_cast<uint8_t>(px[i] >> 16));
            }
        }
        while (b.size() - start < rowBytes)
            b.push_back(0);
    }
    return writeFile(path, b);
}

void writeResourceScript(const std::string& path, const std::vector<BuiltImage>& images, const std::string& key)
{
    std::ostringstream rc;
    rc << "// Editor skin: the 1x art as BITMAP resources under the bitmaps' ids, the 2x\n"
          "// art compressed in one RCDATA resource.\n"
          "// Drawn by ambrel-skin-generator; content "
       << key << ".\n";
    for (const BuiltImage& img : images)
        if (img.scale == 1)
            rc << img.id() << " BITMAP \"@AMBREL_SKIN_BMP_DIR@/" << img.id() << ".bmp\"\n";
    rc << skin::kDoubleSizePackName << " RCDATA \"@AMBREL_SKIN_PACK@\"\n";
    std::ofstream f(path);
    f << rc.str();
    if (!f)
        throw std::runtime_error("cannot write " + path);
}

void writePack(const std::string& path, const std::vector<skin::embedded::ImageRecord>& records,
               const std::vector<uint8_t>& blob, int scale)
{
    using namespace skin::embedded;
    // The records of that scale, their data copied into a blob of their own.
    std::vector<ImageRecord> chosen;
    std::vector<int> newIndex(records.size(), -1);
    for (size_t i = 0; i < records.size(); ++i)
        if (records[i].scale == scale) {
            newIndex[i] = static_cast<int>(chosen.size());
            chosen.push_back(records[i]);
        }
    std::vector<uint8_t> own;
    for (ImageRecord& r : chosen) {
        if (r.base >= 0) {
            if (static_cast<size_t>(r.base) >= records.size() || newIndex[static_cast<size_t>(r.base)] < 0)
                throw std::runtime_error("image " + std::to_string(r.id) + " refers to an image of another scale");
            r.base = newIndex[static_cast<size_t>(r.base)];
        }
        auto copy = [&](uint32_t offset, uint32_t size) {
            if (offset > blob.size() || size > blob.size() - offset)
                throw std::runtime_error("image " + std::to_string(r.id) + " lies outside the blob");
            return appendAligned(own, std::vector<uint8_t>(blob.begin() + offset, blob.begin() + offset + size));
        };
        if (r.encoding == Encoding::Indexed)
            r.paletteOffset = copy(r.paletteOffset, 768);
        if (r.dataSize > 0)
            r.dataOffset = copy(r.dataOffset, r.dataSize);
    }
    std::vector<uint8_t> pack(std::begin(kPackMagic), std::end(kPackMagic));
    const size_t recordsEnd = kPackHeaderSize + chosen.size() * kPackRecordSize;
    const uint32_t blobOffset = static_cast<uint32_t>((recordsEnd + 3) & ~size_t(3));
    put32(pack, static_cast<uint32_t>(chosen.size()));
    put32(pack, blobOffset);
    put32(pack, static_cast<uint32_t>(own.size()));
    for (const ImageRecord& r : chosen)
        for (uint32_t v : {static_cast<uint32_t>(r.id), static_cast<uint32_t>(r.scale), static_cast<uint32_t>(r.width),
                           static_cast<uint32_t>(r.height), static_cast<uint32_t>(r.frames),
                           static_cast<uint32_t>(r.frameWidth), static_cast<uint32_t>(r.frameHeight),
                           static_cast<uint32_t>(r.encoding), static_cast<uint32_t>(r.base), r.paletteOffset,
                           r.dataOffset, r.dataSize})
            put32(pack, v);
    pack.resize(blobOffset, 0);
    pack.insert(pack.end(), own.begin(), own.end());
    if (!writeFile(path, pack))
        throw std::runtime_error("cannot write " + path);
}

std::vector<skin::embedded::ImageRecord> encodeImages(const std::vector<BuiltImage>& images, std::vector<uint8_t>& blob)
{
    using namespace skin::embedded;
    std::vector<ImageRecord> records;
    for (size_t i = 0; i < images.size(); ++i) {
        const BuiltImage& img = images[i];
        const skin::BitmapGeometry& g = *img.geometry;
        Encoded e;
        int alias = -1;
        for (size_t j = 0; j < i; ++j)
            if (images[j].scale == img.scale && images[j].geometry->width == g.width &&
                images[j].geometry->height == g.height && images[j].hash == img.hash &&
                images[j].pixels() == img.pixels()) {
                alias = static_cast<int>(j);
                break;
            }
        uint32_t paletteOffset = 0, dataOffset = 0, dataSize = 0;
        if (alias >= 0) {
            e.encoding = Encoding::Alias;
            e.base = alias;
        } else if (img.eightBit()) {
            e = encodeIndexed(img);
        } else {
            e = encodeRgb(img, nullptr, -1);
            // A 24-bit image of the same size already stored may serve as base.
            for (size_t j = 0; j < i; ++j)
                if (!images[j].eightBit() && images[j].scale == img.scale &&
                    images[j].geometry->width == g.width && images[j].geometry->height == g.height) {
                    Encoded d = encodeRgb(img, &images[j], static_cast<int>(j));
                    if (d.data.size() < e.data.size())
                        e = std::move(d);
                }
        }
        if (!e.palette.empty())
            paletteOffset = appendAligned(blob, e.palette);
        if (!e.data.empty()) {
            dataOffset = appendAligned(blob, e.data);
            dataSize = static_cast<uint32_t>(e.data.size());
        }
        const int s = img.scale;
        records.push_back({g.id, s, g.width * s, g.height * s, g.frames, g.frameWidth * s, g.frameHeight * s,
                           e.encoding, e.base, paletteOffset, dataOffset, dataSize});
    }
    return records;
}

void writeEmbedded(const std::string& blobPath, const std::string& sourcePath,
                   const std::vector<skin::embedded::ImageRecord>& records, std::vector<uint8_t> blob,
                   const std::vector<AtlasOut>& atlases)
{
    using namespace skin::embedded;
    auto append = [&](const std::vector<uint8_t>& bytes) { return appendAligned(blob, bytes); };
    std::ostringstream images_src;
    for (const ImageRecord& r : records)
        images_src << "    {" << r.id << ", " << r.scale << ", " << r.width << ", " << r.height << ", " << r.frames
                   << ", " << r.frameWidth << ", " << r.frameHeight << ", Encoding::"
                   << (r.encoding == Encoding::Indexed ? "Indexed" : r.encoding == Encoding::Rgb ? "Rgb" : "Alias")
                   << ", " << r.base << ", " << r.paletteOffset << "u, " << r.dataOffset << "u, " << r.dataSize
                   << "u},\n";
    std::ostringstream atlas_src, glyph_src;
    size_t glyphCount = 0;
    struct Stored {
        size_t glyphs;
        uint32_t offset, size;
    };
    std::vector<Stored> stored;
    auto sameGlyphs = [](const AtlasOut& a, const AtlasOut& b) {
        if (a.glyphs.size() != b.glyphs.size())
            return false;
        for (size_t i = 0; i < a.glyphs.size(); ++i) {
            const skin::Glyph &x = a.glyphs[i], &y = b.glyphs[i];
            if (x.x != y.x || x.y != y.y || x.width != y.width || x.height != y.height || x.left != y.left ||
                x.top != y.top || x.advance != y.advance)
                return false;
        }
        return true;
    };
    for (size_t i = 0; i < atlases.size(); ++i) {
        const AtlasOut& a = atlases[i];
        // Font 0 is always bold: its plain and bold faces are one atlas.
        Stored st{};
        bool shared = false;
        for (size_t j = 0; j < i && !shared; ++j) {
            const AtlasOut& b = atlases[j];
            if (b.width == a.width && b.height == a.height && b.ascent == a.ascent && b.descent == a.descent &&
                b.coverage == a.coverage && sameGlyphs(a, b)) {
                st = stored[j];
                shared = true;
            }
        }
        if (!shared) {
            std::vector<uint8_t> z = deflateBytes(a.coverage);
            st = {glyphCount, append(z), static_cast<uint32_t>(z.size())};
            for (const skin::Glyph& g : a.glyphs)
                glyph_src << "    {" << g.x << ", " << g.y << ", " << g.width << ", " << g.height << ", " << g.left
                          << ", " << g.top << ", " << g.advance << "},\n";
            glyphCount += a.glyphs.size();
        }
        stored.push_back(st);
        atlas_src << "    {" << a.fontId << ", " << a.face << ", " << a.scale << ", " << a.ascent << ", " << a.descent
                  << ", " << kFirstChar << ", " << kNumChars << ", " << st.glyphs << "u, " << a.width << ", "
                  << a.height << ", " << st.offset << "u, " << st.size << "u},\n";
    }
    if (!writeFile(blobPath, blob))
        throw std::runtime_error("cannot write " + blobPath);
    uint64_t key = 1469598103934665603ull;
    for (uint8_t c : blob) {
        key ^= c;
        key *= 1099511628211ull;
    }

    std::ofstream src(sourcePath);
    src << "// The editor skin as stored in the Linux binaries (see resources/EmbeddedSkin.h).\n"
           "// Drawn by ambrel-skin-generator; blob content "
        << hex64(key) << ", " << blob.size()
        << " bytes.\n"
           "#include \"resources/EmbeddedSkin.h\"\n\n"
           "extern \"C\" __attribute__((visibility(\"hidden\"))) const unsigned char ambrel_skin_blob[];\n"
           "extern \"C\" __attribute__((visibility(\"hidden\"))) const unsigned char ambrel_skin_blob_end[];\n"
           "asm(\".pushsection .rodata.ambrel_skin_blob, \\\"a\\\", %progbits\\n\"\n"
           "    \"# blob content "
        << hex64(key)
        << "\\n\"\n"
           "    \".balign 16\\n\"\n"
           "    \".globl ambrel_skin_blob\\n.hidden ambrel_skin_blob\\n.type ambrel_skin_blob, %object\\n\"\n"
           "    \"ambrel_skin_blob:\\n\"\n"
           "    \".incbin \\\"@AMBREL_SKIN_BLOB@\\\"\\n\"\n"
           "    \".globl ambrel_skin_blob_end\\n.hidden ambrel_skin_blob_end\\n\"\n"
           "    \"ambrel_skin_blob_end:\\n\"\n"
           "    \".byte 0\\n\"\n"
           "    \".size ambrel_skin_blob, ambrel_skin_blob_end - ambrel_skin_blob\\n\"\n"
           "    \".popsection\\n\");\n\n"
           "namespace skin::embedded {\n\n"
           "const unsigned char* blobData() { return ambrel_skin_blob; }\n"
           "size_t blobSize() { return static_cast<size_t>(ambrel_skin_blob_end - ambrel_skin_blob); }\n\n"
           "const ImageRecord kImages[] = {\n"
        << images_src.str() << "};\nconst int kImageCount = " << records.size()
        << ";\n\nconst AtlasRecord kAtlases[] = {\n"
        << atlas_src.str() << "};\nconst int kAtlasCount = " << atlases.size() << ";\n\nconst Glyph kGlyphs[] = {\n"
        << glyph_src.str() << "};\nconst int kGlyphCount = " << glyphCount << ";\n\n} // namespace skin::embedded\n";
    if (!src)
        throw std::runtime_error("cannot write " + sourcePath);
}

void writeManifest(const std::string& path, const std::vector<BuiltImage>& images, const std::vector<AtlasOut>& atlases)
{
    std::ofstream f(path);
    f << "# ambrel-skin-generator manifest: images, meter marks, atlases\n";
    for (const BuiltImage& img : images) {
        const skin::BitmapGeometry& g = *img.geometry;
        f << "image " << g.id << ' ' << img.scale << ' ' << g.width * img.scale << ' ' << g.height * img.scale << ' '
          << g.bitsPerPixel << ' ' << g.frames << ' ' << hex64(img.hash) << '\n';
    }
    char buf[256];
    std::snprintf(buf, sizeof buf, "needle %.6f %.6f %.6f %.6f %.6f %.6f %.6f\n", kMeter.pivotX, kMeter.pivotY,
                  kMeter.angle0, kMeter.sweep, kMeter.arcRadius, kMeter.needleInner, kMeter.needleTip);
    f << buf;
    for (meter::Scale s : {meter::Scale::Normal, meter::Scale::Alternate})
        for (const MeterMark& m : meterMarks(s)) {
            std::snprintf(buf, sizeof buf, "mark %d %.1f %d %.9f\n", static_cast<int>(s), m.db, m.frame, m.angle);
            f << buf;
        }
    for (const AtlasOut& a : atlases)
        f << "atlas " << a.fontId << ' ' << a.face << ' ' << a.scale << ' ' << a.ascent << ' ' << a.descent << ' '
          << a.width << ' ' << a.height << '\n';
    if (!f)
        throw std::runtime_error("cannot write " + path);
}

} // namespace gen
