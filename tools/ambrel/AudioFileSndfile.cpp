// Sound files through libsndfile: every format it reads, written as 32-bit
// float WAV.
#include "tools/ambrel/AudioFile.h"

#include <cmath>
#include <cstdio>
#include <sndfile.h>

namespace ambrel {

bool readAudioFile(const std::string& path, AudioData& data, std::string& error)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        error = "cannot read " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    // A header can claim any length; refuse what cannot be a real recording
    // (over 2^31 samples, a few hours of multichannel audio) before allocating.
    if (info.channels > 0 && info.frames > (sf_count_t{1} << 31) / info.channels) {
        sf_close(file);
        error = path + ": too long (" + std::to_string(info.frames) + " frames)";
        return false;
    }
    if (info.channels < 1 || info.samplerate < 1 || info.frames < 0) {
        sf_close(file);
        error = path + ": no audio in this file";
        return false;
    }
    // Full-scale integer sources come in as +-1.0 without clipping.
    sf_command(file, SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);
    data.sampleRate = info.samplerate;
    data.channels = info.channels;
    data.samples.assign(static_cast<size_t>(info.frames) * static_cast<size_t>(info.channels), 0.0);
    const sf_count_t got = sf_readf_double(file, data.samples.data(), info.frames);
    sf_close(file);
    if (got != info.frames) {
        error = path + ": read " + std::to_string(got) + " of " + std::to_string(info.frames) +
                " frames (truncated file?)";
        return false;
    }
    return true;
}

bool writeAudioFile(const std::string& path, const AudioData& data, std::string& error)
{
    SF_INFO info{};
    info.samplerate = static_cast<int>(std::lround(data.sampleRate));
    info.channels = data.channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    if (!sf_format_check(&info)) {
        error = "cannot write a WAV file with " + std::to_string(data.channels) + " channels at this sample rate";
        return false;
    }
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) {
        error = "cannot create " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    // Keep values above full scale as they are: a float file holds them.
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_FALSE);
    const sf_count_t frames = static_cast<sf_count_t>(data.frames());
    const sf_count_t written = sf_writef_double(file, data.samples.data(), frames);
    const int closed = sf_close(file);
    if (written != frames || closed != 0) {
        error = "cannot write " + path + " (disk full?)";
        std::remove(path.c_str());
        return false;
    }
    return true;
}

const char* audioReaderDescription()
{
    return "any format libsndfile reads (WAV, AIFF, FLAC, Ogg, ...)";
}

} // namespace ambrel
