// Reduction of a true-colour strip to a palette of 256 colours.
#pragma once

#include "Common.h"

#include <cstdint>
#include <vector>

namespace gen {

struct Indexed {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> palette; // 0xRRGGBB, at most 256
    std::vector<uint8_t> index;    // one per pixel, rows from the top
    uint32_t colorAt(size_t i) const { return palette[index[i]]; }
};

// Chooses the palette by median cut refined with k-means, and maps every
// pixel with a light ordered dither: the same colour at the same place of
// two frames gets the same index, so nothing shimmers from frame to frame
// (the dither pattern starts afresh in every frame of frameW x frameH).
Indexed quantize(const Image& image, int frameW, int frameH, double ditherLevels = 2.0);

// Mean and largest error per channel, for the log.
void quantizationError(const Image& image, const Indexed& indexed, double& mean, int& worst);

// Back to an image (for previews and checks).
Image expand(const Indexed& indexed, int scale);

} // namespace gen
