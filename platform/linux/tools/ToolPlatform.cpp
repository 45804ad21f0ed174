#include "platform/ToolPlatform.h"

#include <dlfcn.h>
#include <unistd.h>

namespace toolplatform {

LibraryHandle openLibrary(const std::string& path, std::string& error)
{
    // A plug-in is loaded with its symbols kept local, as hosts do, so two
    // plug-ins in one process never bind to each other's functions.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = dlerror();
        error = reason ? reason : "unknown error";
    }
    return handle;
}

void* findSymbol(LibraryHandle library, const char* name)
{
    return library ? dlsym(library, name) : nullptr;
}

void closeLibrary(LibraryHandle library)
{
    if (library)
        dlclose(library);
}

bool isTerminal(std::FILE* stream)
{
    return stream && isatty(fileno(stream)) == 1;
}

void useBinaryOutput(std::FILE*) {}

} // namespace toolplatform
