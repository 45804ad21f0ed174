// Whole-file reads and crash-safe replacement of a file, by full path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Reads the file, opened read-only, up to maxBytes from its start (all of it
// when it is shorter; callers that must notice a longer file ask for one byte
// more than they accept). nullopt when it cannot be opened or read.
std::optional<std::vector<uint8_t>> readFileBytes(const std::string& path, size_t maxBytes);

// Writes `bytes` to a new file beside `path` and then moves it over `path`,
// so that the file holds either its old or its new contents, never a part of
// either. Returns false (and leaves any old file as it was) on failure.
// Defined per platform.
bool writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes);
