// The Windows builds carry the skin as BITMAP resources of the DLL (1x under
// each id, 2x under id + kDoubleSizeIdOffset), which the Win32 layer loads
// itself, and draw text with the system's fonts: no image or glyph atlas is
// embedded as data.
#include "resources/Skin.h"

namespace skin {

bool decodeEmbeddedImage(int, int, DecodedImage& out)
{
    out = DecodedImage{};
    return false;
}

const GlyphAtlas* findGlyphAtlas(int, int, int) { return nullptr; }

} // namespace skin
