// One program: a name of at most 24 characters and one normalized value per
// parameter of the build.
#pragma once

#include "variants/Variant.h"

class CProgram {
public:
    static constexpr int kNameSize = 25; // 24 characters and a terminator
    static constexpr int kMaxNameLength = kNameSize - 1;

    // An empty program named "init" that holds no values until reset.
    CProgram();
    // A program named "init" holding the build's default values.
    explicit CProgram(const Variant& variant);
    virtual ~CProgram() = default;

    // Makes this a program of the build: "init" and the default values.
    void reset(const Variant& variant);

    // Keeps the first 24 characters of `name`; a null name gives an empty one.
    virtual void setName(const char* name);
    // Copies the name with its terminator (at most 25 bytes) to `out`.
    virtual void getName(char* out) const;
    // Indices outside 0 .. count-1 are ignored; values are clamped to [0, 1].
    virtual void setParameter(int index, float value);
    // The stored value, or -1 for an index outside 0 .. count-1.
    virtual float getParameter(int index) const;

    int count() const { return count_; }
    const char* name() const { return name_; }

private:
    char name_[kNameSize];
    float values_[kMaxParams];
    int count_ = 0;
};
