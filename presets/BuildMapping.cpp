#include "presets/BuildMapping.h"

namespace {

constexpr Variant kWithFat = variants::kAmbrel2;
constexpr Variant kWithoutFat = variants::kAmbrel;

} // namespace

const std::array<const Variant*, 2>& knownBuilds()
{
    static const std::array<const Variant*, 2> builds = {&kWithFat, &kWithoutFat};
    return builds;
}

const Variant* buildNamed(std::string_view effectName)
{
    for (const Variant* v : knownBuilds())
        if (effectName == v->effectName)
            return v;
    return nullptr;
}

int sourceIndexOf(const Variant& source, int sourceCount, const Variant& target, int targetIndex)
{
    if (targetIndex < 0 || targetIndex >= target.numParams)
        return -1;
    if (sameBuild(source, target))
        return targetIndex < sourceCount ? targetIndex : -1;
    const ParamId id = target.paramAt(targetIndex);
    if (id == ParamId::None)
        return -1;
    // A build without FAT holds 0 at the FAT position; it says nothing about
    // the FAT setting of a build that has it, and vice versa.
    if (id == ParamId::Fat && !(source.hasFat && target.hasFat))
        return -1;
    const int index = source.index(id);
    return index >= 0 && index < sourceCount ? index : -1;
}
