#include "presets/FileAccess.h"

#include <algorithm>
#include <cstdio>

std::optional<std::vector<uint8_t>> readFileBytes(const std::string& path, size_t maxBytes)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return std::nullopt;
    std::vector<uint8_t> bytes;
    uint8_t buffer[4096];
    bool ok = true;
    for (;;) {
        const size_t want = std::min(sizeof(buffer), maxBytes - bytes.size());
        const size_t n = want ? std::fread(buffer, 1, want, f) : 0;
        bytes.insert(bytes.end(), buffer, buffer + n);
        if (n < want || bytes.size() == maxBytes) {
            ok = !std::ferror(f);
            break;
        }
    }
    std::fclose(f);
    if (!ok)
        return std::nullopt;
    return bytes;
}
