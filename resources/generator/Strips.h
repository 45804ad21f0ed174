// Painters of the individual film strips; drawBitmap picks one by id.
#pragma once

#include "Art.h"

namespace gen {

Image drawKnobStrip(int id, int scale, const Pages& pages);
Image drawButtonStrip(int id, int scale, const Pages& pages);
Image drawSelectorStrip(int id, int scale, const Pages& pages);
Image drawOverLightStrip(int scale, const Pages& pages);
Image drawReadoutGlyphs(int scale);
Image drawPresetStrip(int id, int scale, const Pages& pages);
Image drawKnobModeSwitch(int scale, const Pages& pages);

// The piece of page under the first place of a bitmap, one frame in size.
Image pageUnder(int id, int scale, const Pages& pages);
// A strip with every frame painted by `paint`, on the piece of page.
Image paintFrames(int id, int scale, const Pages& pages, const std::function<void(Image&, int)>& paint);

} // namespace gen
