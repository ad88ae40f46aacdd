// The platform functions for desktops whose media library opens its window
// without a display connection to check first (Windows, macOS): there is
// nothing that can fail before the window, so the probe always succeeds.

#include "app/platform.h"

#include <cerrno>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif
#include <cstdio>

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

void startWithLargePages(char**)
{
}

std::string programPath()
{
    return "";
}

void runInstead(const std::string&, const std::vector<std::string>&)
{
    errno = ENOSYS;
}

bool errorIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

} // namespace Platform
