// The platform functions for desktops whose media library opens its window
// without a display connection to check first (Windows, macOS): there is
// nothing that can fail before the window, so the probe always succeeds.

#include "app/platform.h"

namespace Platform {

bool openDisplayProbe()
{
    return true;
}

void closeDisplayProbe()
{
}

std::string displayName()
{
    return "of this desktop";
}

void returnLargeBlocksWhenFreed()
{
}

} // namespace Platform
