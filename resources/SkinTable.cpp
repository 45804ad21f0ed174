// The table of skin bitmaps every platform layer reads: ids, 1x sizes, bit
// depths and frame counts, straight from the geometry in SkinIds.h.
#include "resources/Skin.h"
#include "resources/SkinIds.h"

namespace skin {

const std::vector<BitmapInfo>& bitmapTable()
{
    static const std::vector<BitmapInfo> table = [] {
        std::vector<BitmapInfo> t;
        t.reserve(kBitmapGeometry.size());
        for (const BitmapGeometry& g : kBitmapGeometry)
            t.push_back({g.id, g.width, g.height, g.bitsPerPixel, g.frames});
        return t;
    }();
    return table;
}

const BitmapInfo* findBitmapInfo(int id)
{
    for (const BitmapInfo& info : bitmapTable())
        if (info.id == id)
            return &info;
    return nullptr;
}

} // namespace skin
