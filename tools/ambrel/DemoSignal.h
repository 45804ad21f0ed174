// The built-in demo: a few bars of program-like stereo music made here, so the
// demo needs no sound file: kick, snare, hi-hat, bass and chords, mixed to a
// peak just below full scale. The same samples on every run and platform
// (within the last bits of the maths library).
#pragma once

#include "tools/ambrel/AudioFile.h"

namespace ambrel {

constexpr double kDemoPeak = 0.977; // -0.2 dBFS

AudioData synthesizeDemo(double sampleRate, double seconds = 8.0);

} // namespace ambrel
