// `ambrel validate`: the checks a strict host makes, run on any VST 2.4
// plug-in. Each check loads the plug-in afresh and drives it only through its
// effect record, as a host does, with guard bytes after every buffer it hands
// over; it then prints one line: PASS, FAIL or SKIP, its name and what it did
// or found.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace ambrel {

struct ValidateOptions {
    bool editor = true;    // open the editor where there is one and a window system
    int loadCycles = 100;  // load/unload cycles of the last check
    uint32_t seed = 1;     // of the random parameter values
    int hangSeconds = 300; // a check that takes longer is taken to hang
};

// Runs every check on the plug-in at `path`, printing to `out`. Returns 0 when
// none failed (skipped checks do not fail), else 1.
int runValidate(const std::string& path, const ValidateOptions& options, std::FILE* out);

} // namespace ambrel
