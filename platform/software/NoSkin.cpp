// A build without the skin library: no images, no glyphs. Bitmaps then load
// as 0 x 0 and draw nothing, and text takes no room.
#include "platform/software/SoftwareRaster.h"

namespace softraster {
namespace {

class NoSkin final : public SkinSource {
public:
    bool decodeImage(int, int, skin::DecodedImage&) const override { return false; }
    const skin::GlyphAtlas* glyphAtlas(int, int, int) const override { return nullptr; }
};

} // namespace

const SkinSource& embeddedSkin()
{
    static const NoSkin instance;
    return instance;
}

} // namespace softraster
