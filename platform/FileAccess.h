// Whole-file reads and crash-safe replacement of a file, by full path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// How a whole-file read ended.
enum class FileReadStatus : uint8_t {
    Ok,         // bytes hold the file (or its first maxBytes bytes)
    Missing,    // there is no file at that path
    Unreadable, // it exists but could not be opened or read
    NotRegular, // it is a directory, FIFO, device or socket: never read, and
                // to callers as unreadable as a file they may not open
};

struct FileRead {
    FileReadStatus status = FileReadStatus::Unreadable;
    int error = 0; // the errno value that says why, for Missing and Unreadable
    std::vector<uint8_t> bytes;
};

// Reads a regular file up to maxBytes from its start (all of it when it is
// shorter; callers that must notice a longer file ask for one byte more than
// they accept). The file is opened without blocking and checked on the opened
// handle, so a FIFO or device put in place of a file never stalls the caller
// and never feeds it endless data. Defined per platform.
FileRead readRegularFile(const std::string& path, size_t maxBytes);

// The bytes of readRegularFile, nullopt unless it succeeded.
inline std::optional<std::vector<uint8_t>> readFileBytes(const std::string& path, size_t maxBytes)
{
    FileRead read = readRegularFile(path, maxBytes);
    if (read.status != FileReadStatus::Ok)
        return std::nullopt;
    return std::move(read.bytes);
}

// Writes `bytes` to a new file beside `path` and then moves it over `path`,
// so that the file holds either its old or its new contents, never a part of
// either. Returns false (and leaves any old file as it was) on failure.
// Defined per platform.
bool writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes);
