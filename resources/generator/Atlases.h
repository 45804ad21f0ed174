// Glyph atlases of the eight toolkit fonts, rendered with FreeType.
#pragma once

#include "resources/Skin.h"

#include <string>
#include <vector>

namespace gen {

struct AtlasOut {
    int fontId = 0;
    int face = 0; // bold 1 | italic 2
    int scale = 1;
    int ascent = 0;
    int descent = 0;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> coverage;
    std::vector<skin::Glyph> glyphs; // characters 32-255
};

inline constexpr int kFirstChar = 32;
inline constexpr int kNumChars = 224;

// All font ids 0-7 x faces 0-3 x scales 1, 2. A font's listed height is its
// em size in pixels (Windows: the negative lfHeight).
std::vector<AtlasOut> renderAtlases();

// Unicode code point drawn for an 8-bit character: Latin-1, with the
// Windows-1252 punctuation in 0x80-0x9F as the Windows builds show it;
// 0 where that code page has no character.
unsigned codePointOf(unsigned char c);

} // namespace gen
