// The factory presets: 31 named programs that fill the program slots when an
// instance starts. Row 0 ("Current") is the working program, row 1 the
// defaults; the rest are the presets the editor's menu offers.
#pragma once

#include "variants/Variant.h"

#include <array>
#include <string_view>

constexpr int kFactoryPresetCount = 31;

struct FactoryPreset {
    const char* name;
    // Normalized values by the build's parameter index, each the nearest
    // 32-bit float to the table's decimal; indices without a parameter in the
    // build, and those from the build's count on, are 0.
    std::array<float, kMaxParams> values;
};

using FactoryPresetTable = std::array<FactoryPreset, kFactoryPresetCount>;

// The factory table as the given build numbers its parameters.
FactoryPresetTable factoryPresets(const Variant& variant);

// Slot of the factory preset with this name (exact match first, then ignoring
// letter case), or -1.
int findFactoryPreset(std::string_view name);
