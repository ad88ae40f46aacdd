// The display probe where X11 is the display system. The only product file
// that includes X11's headers: Xlib defines macros such as None and Status
// that collide with ordinary names elsewhere.

#include "app/platform.h"

#include <X11/Xlib.h>

#include <cstdlib>
#ifdef __GLIBC__
#include <malloc.h>
#include <unistd.h>
#endif

namespace Platform {

namespace {

Display* probe = nullptr; // the probe's connection, held from openDisplayProbe to closeDisplayProbe

} // namespace

bool openDisplayProbe()
{
    // NOTE: the media library aborts the whole process when it cannot open
    // the display, so ask the X server first
    if (!probe)
        probe = XOpenDisplay(nullptr);
    return probe != nullptr;
}

void closeDisplayProbe()
{
    if (probe)
        XCloseDisplay(probe);
    probe = nullptr;
}

std::string displayName()
{
    const char* name = std::getenv("DISPLAY");
    return name && *name ? name : "(DISPLAY is not set)";
}

void returnLargeBlocksWhenFreed()
{
    // X11 desktops run glibc on Linux and other C libraries on the BSDs
#ifdef __GLIBC__
    // A fixed threshold also ends glibc's raising of it
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
#endif
}

bool errorIsTerminal()
{
    return isatty(STDERR_FILENO) != 0;
}

} // namespace Platform
