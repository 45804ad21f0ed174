// Renders through the effect's processing entry points for both builds,
// every kernel, FAT off and on, both sample precisions and a handful of
// control scenes at three host rates, each reduced to a 64-bit checksum of
// its output samples, meter values and over flags. The checksums of a known
// good state are kept in tests/effect/render-checksums.txt; any change to
// the signal path that moves one bit of one render shows up as a mismatch.
//
// Regenerate the list (only when a change of sound is intended):
//   AMBREL_WRITE_RENDER_CHECKSUMS=$PWD/tests/effect/render-checksums.txt
//       build/linux/tests/ambrel_tests --gtest_filter='*RenderChecksums*'
// (one command line, from the top of the tree).
#pragma once

#include <string>
#include <vector>

namespace renderChecksums {

// One line per render: "<build> kernel=K fat=F <float|double> scene=S rate=R <16 hex digits>".
std::vector<std::string> render();

// The lines of a checksum file, without comments and blank lines; empty when
// the file cannot be read.
std::vector<std::string> readFile(const std::string& path);
bool writeFile(const std::string& path, const std::vector<std::string>& lines);

// "" when the renders match the list, else the first few differences.
std::string compare(const std::vector<std::string>& expected, const std::vector<std::string>& actual);

} // namespace renderChecksums
