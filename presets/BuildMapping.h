// Carrying parameter values between the two builds' numberings. Files and
// memories written by one build hold values by that build's indices; the
// other build takes each parameter it knows from where the writer put it.
#pragma once

#include "variants/Variant.h"

#include <array>
#include <string_view>

// Both build descriptions.
const std::array<const Variant*, 2>& knownBuilds();

// The build with this effect name, or null.
const Variant* buildNamed(std::string_view effectName);

inline bool sameBuild(const Variant& a, const Variant& b)
{
    return a.uniqueId == b.uniqueId;
}

// Index in the source's values of the parameter that `target` numbers
// `targetIndex`, or -1 when the source does not carry it. `sourceCount` is
// how many values the source holds (fewer than its build's count in the old
// 30-value layouts). Within one build the index maps to itself; across
// builds, only named parameters both builds have are carried.
int sourceIndexOf(const Variant& source, int sourceCount, const Variant& target, int targetIndex);
