// Sound files through our own WAV reader and writer (the Windows build).
#include "tools/ambrel/AudioFile.h"
#include "tools/ambrel/WavFile.h"

namespace ambrel {

bool readAudioFile(const std::string& path, AudioData& data, std::string& error)
{
    return readWavFile(path, data, error);
}

bool writeAudioFile(const std::string& path, const AudioData& data, std::string& error)
{
    return writeWavFile(path, data, error);
}

const char* audioReaderDescription()
{
    return "WAV files (PCM 8/16/24/32-bit, float 32/64-bit)";
}

} // namespace ambrel
