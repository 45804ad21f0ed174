#include "platform/software/SoftwareRaster.h"

namespace softraster {
namespace {

class EmbeddedSkin final : public SkinSource {
public:
    bool decodeImage(int id, int scale, skin::DecodedImage& out) const override
    {
        return skin::decodeEmbeddedImage(id, scale, out);
    }
    const skin::GlyphAtlas* glyphAtlas(int fontId, int face, int scale) const override
    {
        return skin::findGlyphAtlas(fontId, face, scale);
    }
};

} // namespace

const SkinSource& embeddedSkin()
{
    static const EmbeddedSkin instance;
    return instance;
}

} // namespace softraster
