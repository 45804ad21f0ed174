// Number-to-text conversions shared by the host's parameter displays and the
// editor's value readouts. Each writes a zero-terminated text of at most
// kTextConvertMax characters (terminator included) into `out`.
#pragma once

#include <cstddef>

constexpr size_t kTextConvertMax = 24;

// Fixed-decimal text: rounds by one unit in the last kept decimal when the
// remainder is about a half or more, prints up to eight characters the way
// floatToText does and cuts after `decimals` fraction digits (no point when
// `decimals` is 0). Values beyond -9999999 .. 99999999 give an empty text.
void formatFixed(double x, int decimals, char* out);

// Eight characters of sign, integer digits, point and truncated fraction
// digits ("3.000000", "-12.3400"); an empty text beyond the printable range.
void floatToText(double x, char* out);

void percentText(double fraction, char* out);   // "45%", "12.5%"
void decibelText(double gain, char* out);       // "-0.9dB", "-oo dB"
void decibelFullScaleText(double amplitude, char* out); // "-6.0dBFS", "-oo dBFS"
void integerText(double x, char* out);          // "12"
void multiplierText(double x, char* out);       // "x0.25"
void samplesText(double x, char* out);          // "639smps"
void millisecondsText(double ms, char* out);    // "0ms", "14.50ms", "1.500s"
