#include "effect/TextConvert.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string fixed(double x, int decimals)
{
    char text[kTextConvertMax];
    formatFixed(x, decimals, text);
    return text;
}

template <typename F>
std::string convert(F f, double x)
{
    char text[kTextConvertMax];
    f(x, text);
    return text;
}

} // namespace

TEST(FixedDecimal, RoundsHalvesAwayAndCutsAfterTheDecimals)
{
    EXPECT_EQ(fixed(16000.0, 0), "16000");
    EXPECT_EQ(fixed(12.5, 0), "13");
    EXPECT_EQ(fixed(-3.456, 2), "-3.46");
    EXPECT_EQ(fixed(100.0, 1), "100.0");
    EXPECT_EQ(fixed(0.0, 2), "0.00");
    EXPECT_EQ(fixed(-12.0, 2), "-12.00");
    // A float value just under a round number still shows the round number.
    EXPECT_EQ(fixed(0.7f * 100.0, 1), "70.0");
    EXPECT_EQ(fixed(0.3f * 100.0, 1), "30.0");
}

TEST(FixedDecimal, ValuesBeyondEightCharactersGiveNoText)
{
    EXPECT_EQ(fixed(123456789.0, 0), "");
    EXPECT_EQ(fixed(-12345678.0, 0), "");
    EXPECT_EQ(fixed(99999990.0, 0), "99999990");
    EXPECT_EQ(fixed(std::numeric_limits<double>::quiet_NaN(), 2), "");
    EXPECT_EQ(fixed(std::numeric_limits<double>::infinity(), 2), "");
}

TEST(FloatText, PrintsEightCharactersWithoutRounding)
{
    EXPECT_EQ(convert(floatToText, 3.0), "3.000000");
    EXPECT_EQ(convert(floatToText, -2.5), "-2.50000");
    EXPECT_EQ(convert(floatToText, 0.1234567891), "0.123456");
    EXPECT_EQ(convert(floatToText, 1234567.0), "1234567.");
}

TEST(Converters, DecibelKeepsTheMinusBetweenMinusOneAndZero)
{
    EXPECT_EQ(convert(decibelText, 0.9), "-0.9dB");
    EXPECT_EQ(convert(decibelText, 0.0), "-oo dB");
    EXPECT_EQ(convert(decibelText, -1.0), "-oo dB");
    EXPECT_EQ(convert(decibelText, 2.0), "6.0dB");
    EXPECT_EQ(convert(decibelText, 0.5), "-6.0dB");
    EXPECT_EQ(convert(decibelFullScaleText, 0.5), "-6.0dBFS");
    EXPECT_EQ(convert(decibelFullScaleText, 0.95), "-0.4dBFS");
    EXPECT_EQ(convert(decibelFullScaleText, 1e-9), "-oo dBFS");
}

TEST(Converters, PercentMultiplierSamplesInteger)
{
    EXPECT_EQ(convert(percentText, 0.45), "45%");
    EXPECT_EQ(convert(percentText, 0.125), "12.5%");
    EXPECT_EQ(convert(multiplierText, 0.25), "x0.25");
    EXPECT_EQ(convert(multiplierText, 4.0), "x4.00");
    EXPECT_EQ(convert(samplesText, 639.0), "639smps");
    EXPECT_EQ(convert(samplesText, 0.5), "0smps");
    EXPECT_EQ(convert(integerText, 12.7), "12");
}

TEST(Converters, MillisecondsChooseTheirDecimalsByMagnitude)
{
    EXPECT_EQ(convert(millisecondsText, 0.00005), "0ms");
    EXPECT_EQ(convert(millisecondsText, 0.5), "0.500ms");
    EXPECT_EQ(convert(millisecondsText, 9.05), "9.05ms");
    EXPECT_EQ(convert(millisecondsText, 14.49), "14.5ms");
    EXPECT_EQ(convert(millisecondsText, 300.0), "300ms");
    EXPECT_EQ(convert(millisecondsText, 1500.0), "1.500s");
    EXPECT_EQ(convert(millisecondsText, 14.490023), "14.5ms");
}

TEST(Converters, HugeAndNonFiniteInputsGiveDefinedText)
{
    const double huge = 1e300;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (auto f : {percentText, decibelText, decibelFullScaleText, integerText, multiplierText, samplesText,
                   millisecondsText}) {
        char text[kTextConvertMax];
        f(huge, text);
        EXPECT_LT(std::string(text).size(), kTextConvertMax);
        f(nan, text);
        EXPECT_LT(std::string(text).size(), kTextConvertMax);
    }
}
