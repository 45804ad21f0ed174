#include "presets/CProgram.h"

#include <cstring>

CProgram::CProgram()
{
    setName("init");
    for (float& v : values_)
        v = 0.0f;
}

CProgram::CProgram(const Variant& variant) : CProgram()
{
    reset(variant);
}

void CProgram::reset(const Variant& variant)
{
    setName("init");
    count_ = variant.numParams;
    for (float& v : values_)
        v = 0.0f;
    for (int i = 0; i < kParamIdCount; ++i) {
        const int index = variant.indexOf[static_cast<size_t>(i)];
        if (index < count_)
            values_[index] = variant.parameters[static_cast<size_t>(i)].defaultValue;
    }
}

void CProgram::setName(const char* name)
{
    // Copy through a local buffer: the name may be this program's own.
    char copy[kNameSize] = {};
    if (name)
        std::memcpy(copy, name, strnlen(name, kMaxNameLength));
    std::memcpy(name_, copy, sizeof(name_));
}

void CProgram::getName(char* out) const
{
    if (out)
        std::memcpy(out, name_, strnlen(name_, kMaxNameLength) + 1);
}

void CProgram::setParameter(int index, float value)
{
    if (static_cast<unsigned>(index) >= static_cast<unsigned>(count_))
        return;
    // NaN is stored as 0 like any value below the range.
    if (!(value >= 0.0f))
        value = 0.0f;
    else if (value > 1.0f)
        value = 1.0f;
    values_[index] = value;
}

float CProgram::getParameter(int index) const
{
    if (static_cast<unsigned>(index) >= static_cast<unsigned>(count_))
        return -1.0f;
    return values_[index];
}
