// `ambrel demo`: the built-in demo rendered through a few settings of the
// effect, with latency compensation, and the level figures of each result.
#pragma once

#include <cstdio>
#include <string>

namespace ambrel {

// Returns the process exit code.
int runDemo(const std::string& pluginPath, const std::string& outDir, std::FILE* out);

} // namespace ambrel
