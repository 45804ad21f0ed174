// Sound files for the command-line host: interleaved samples in double
// precision, read from any format the platform's reader knows and written as
// 32-bit float WAV.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace ambrel {

struct AudioData {
    double sampleRate = 0.0;
    int channels = 0;
    std::vector<double> samples; // interleaved, channels per frame

    size_t frames() const { return channels > 0 ? samples.size() / static_cast<size_t>(channels) : 0; }
};

// Reads the whole file. On failure returns false with a message in `error`.
bool readAudioFile(const std::string& path, AudioData& data, std::string& error);

// Writes a 32-bit float WAV file.
bool writeAudioFile(const std::string& path, const AudioData& data, std::string& error);

// What the reader accepts, for the help text.
const char* audioReaderDescription();

} // namespace ambrel
