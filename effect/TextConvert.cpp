#include "effect/TextConvert.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kFloatTextWidth = 8; // sign, digits and point together

} // namespace

void floatToText(double x, char* out)
{
    if (!out)
        return;
    out[0] = 0;
    // NaN and values beyond what eight characters can show give no text.
    if (std::isnan(x) || (x < 0.0 && -x > 9999999.0) || x > 99999999.0)
        return;
    char text[kTextConvertMax];
    int used = 0;
    const bool negative = x < 0.0;
    const double magnitude = negative ? -x : x;
    if (negative)
        text[used++] = '-';
    const double integral = std::floor(magnitude);
    char digits[16];
    const int count = std::snprintf(digits, sizeof(digits), "%.0f", integral);
    std::memcpy(text + used, digits, static_cast<size_t>(count));
    used += count;
    text[used++] = '.';
    // Truncated fraction digits fill the text up to eight characters.
    if (used < kFloatTextWidth) {
        double fraction = magnitude - integral;
        for (; used < kFloatTextWidth; ++used) {
            fraction *= 10.0;
            int digit = static_cast<int>(fraction);
            if (digit > 9)
                digit = 9;
            text[used] = static_cast<char>('0' + digit);
            fraction -= digit;
        }
    }
    text[used] = 0;
    std::memcpy(out, text, static_cast<size_t>(used) + 1);
}

void formatFixed(double x, int decimals, char* out)
{
    if (!out)
        return;
    out[0] = 0;
    const double scale = std::pow(10.0, decimals);
    const double f = x * scale;
    const double r = f - std::trunc(f);
    // Adding one unit before truncating the printed digits rounds halves up
    // (away from zero) and absorbs binary representation error.
    if (r >= 0.49999)
        x = (f + 1.0) / scale;
    else if (r <= -0.49999)
        x = (f - 1.0) / scale;
    if ((x < 0.0 && -x > 9999999.0) || x > 99999999.0 || std::isnan(x))
        return;
    char text[kTextConvertMax];
    floatToText(x, text);
    char* point = std::strchr(text, '.');
    if (point) {
        if (decimals <= 0) {
            *point = 0;
        } else {
            const size_t kept = strnlen(point + 1, static_cast<size_t>(decimals));
            point[1 + kept] = 0;
        }
    }
    std::memcpy(out, text, strnlen(text, kTextConvertMax - 1) + 1);
}

namespace {

// "%d.%d<unit>" with a minus sign kept for values between -1 and 0.
void tenthsText(double a, const char* unit, char* out)
{
    const int whole = static_cast<int>(a);
    const int tenth = static_cast<int>(std::fabs((a - whole) * 10.0));
    if (a > -1.0 && a < 0.0)
        std::snprintf(out, kTextConvertMax, "-%d.%d%s", whole, tenth, unit);
    else
        std::snprintf(out, kTextConvertMax, "%d.%d%s", whole, tenth, unit);
}

// Clamp before converting to int so huge or NaN inputs give defined text.
int toInt(double x)
{
    if (!(x == x))
        return 0;
    if (x > 2147483647.0)
        return 2147483647;
    if (x < -2147483647.0)
        return -2147483647;
    return static_cast<int>(x);
}

} // namespace

void percentText(double fraction, char* out)
{
    if (!out)
        return;
    if (fraction >= 0.2)
        std::snprintf(out, kTextConvertMax, "%d%%", toInt(fraction * 100.0));
    else
        std::snprintf(out, kTextConvertMax, "%d.%d%%", toInt(fraction * 100.0), toInt(fraction * 1000.0) % 10);
}

void decibelText(double gain, char* out)
{
    if (!out)
        return;
    if (gain > 1e-8 && std::isfinite(gain))
        tenthsText(20.0 * std::log10(gain), "dB", out);
    else
        std::snprintf(out, kTextConvertMax, "-oo dB");
}

void decibelFullScaleText(double amplitude, char* out)
{
    if (!out)
        return;
    if (amplitude > 1e-8 && std::isfinite(amplitude))
        tenthsText(6.0 * std::log10(amplitude) / std::log10(2.0), "dBFS", out);
    else
        std::snprintf(out, kTextConvertMax, "-oo dBFS");
}

void integerText(double x, char* out)
{
    if (out)
        std::snprintf(out, kTextConvertMax, "%d", toInt(x));
}

void multiplierText(double x, char* out)
{
    if (!out)
        return;
    std::snprintf(out, kTextConvertMax, "x%d.%d%d", toInt(x), toInt(x * 10.0) % 10, toInt(x * 100.0) % 10);
}

void samplesText(double x, char* out)
{
    if (!out)
        return;
    if (x >= 1.0)
        std::snprintf(out, kTextConvertMax, "%dsmps", toInt(x));
    else
        std::snprintf(out, kTextConvertMax, "0smps");
}

void millisecondsText(double ms, char* out)
{
    if (!out)
        return;
    if (!(ms >= 0.0001)) {
        std::snprintf(out, kTextConvertMax, "0ms");
        return;
    }
    char number[kTextConvertMax];
    const char* unit = "ms";
    if (ms < 1.0)
        formatFixed(ms, 3, number);
    else if (ms < 10.0)
        formatFixed(ms, 2, number);
    else if (ms < 100.0)
        formatFixed(ms, 1, number);
    else if (ms < 1000.0)
        formatFixed(ms, 0, number);
    else {
        formatFixed(ms * 0.001, 3, number);
        unit = "s";
    }
    const size_t n = strnlen(number, kTextConvertMax - 3);
    std::memcpy(out, number, n);
    std::memcpy(out + n, unit, std::strlen(unit) + 1);
}
