#include "gui/Platform.h"

#include <atomic>

namespace VSTGUI {

namespace {
std::atomic<Platform*> replacementPlatform{nullptr};
}

Platform& platform()
{
    Platform* replacement = replacementPlatform.load(std::memory_order_relaxed);
    return replacement ? *replacement : defaultPlatform();
}

void setPlatformForTesting(Platform* replacement)
{
    replacementPlatform.store(replacement, std::memory_order_relaxed);
}

} // namespace VSTGUI
