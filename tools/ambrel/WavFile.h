// Our own reader and writer of RIFF WAVE files: PCM with 8, 16, 24 or 32 bits
// and IEEE float with 32 or 64 bits (plain or extensible format) in; 32-bit
// float out. Used where no sound-file library is available.
#pragma once

#include "tools/ambrel/AudioFile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ambrel {

// Parses a complete file image. Never reads outside `bytes`.
bool parseWav(const std::vector<uint8_t>& bytes, AudioData& data, std::string& error);

// A complete 32-bit float WAV file image; false when it would not fit the
// format's 4 GiB limit.
bool buildFloatWav(const AudioData& data, std::vector<uint8_t>& bytes, std::string& error);

bool readWavFile(const std::string& path, AudioData& data, std::string& error);
bool writeWavFile(const std::string& path, const AudioData& data, std::string& error);

} // namespace ambrel
