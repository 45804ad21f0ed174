// Decoded skin bitmaps shared by the whole process. Every CBitmap of every
// open editor draws the same art, so a platform layer hands out one bitmap
// object per resource id while anything holds it, and the last holder to let
// go frees it: a second editor opens without decoding the skin again, and
// closing the last editor gives all of it back. Safe from any thread (two
// hosts' user-interface threads may open editors at once); the bitmaps it
// hands out must be safe to draw from several threads.
#pragma once

#include "gui/Platform.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace VSTGUI {

class SharedBitmaps {
public:
    using Loader = std::shared_ptr<PlatformBitmap> (*)(int32_t resourceId);
    explicit SharedBitmaps(Loader loader) : loader_(loader) {}

    // The live bitmap of `resourceId`, else a newly loaded one; null when
    // there is no such image.
    std::shared_ptr<PlatformBitmap> load(int32_t resourceId)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (std::shared_ptr<PlatformBitmap> live = live_[resourceId].lock())
            return live;
        // Loaded under the lock: a thread asking for the same image meanwhile
        // waits for this decode rather than repeating it.
        std::shared_ptr<PlatformBitmap> bitmap = loader_(resourceId);
        std::erase_if(live_, [](const auto& entry) { return entry.second.expired(); });
        if (bitmap)
            live_[resourceId] = bitmap;
        return bitmap;
    }

private:
    Loader loader_;
    std::mutex mutex_;
    std::map<int32_t, std::weak_ptr<PlatformBitmap>> live_;
};

} // namespace VSTGUI
