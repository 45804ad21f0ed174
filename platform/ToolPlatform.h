// What the command-line host needs from the operating system: loading a
// plug-in library and finding its entry point, and knowing whether a stream
// is an interactive terminal. One implementation per platform, compiled into
// the tools only (never into the plug-ins).
#pragma once

#include <cstdio>
#include <string>

namespace toolplatform {

// An opaque handle to a loaded library; null when loading failed.
using LibraryHandle = void*;

// Loads the library at `path`. On failure returns null and puts the system's
// reason into `error`.
LibraryHandle openLibrary(const std::string& path, std::string& error);

// Address of an exported function, or null when the library does not export it.
void* findSymbol(LibraryHandle library, const char* name);

void closeLibrary(LibraryHandle library);

// True when `stream` writes to an interactive terminal (console).
bool isTerminal(std::FILE* stream);

// Writes "\n" as it is on every platform (no "\r\n" translation), so the
// tool's output is byte-identical wherever it runs.
void useBinaryOutput(std::FILE* stream);

} // namespace toolplatform
