// The display probe where X11 is the display system. The only product file
// that includes X11's headers: Xlib defines macros such as None and Status
// that collide with ordinary names elsewhere.

#include "app/platform.h"

#include <X11/Xlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
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

void startWithLargePages(char** argv)
{
    // The tunable is glibc's from 2.35 on
#if defined(__linux__) && defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 35))
    const char* const given = std::getenv("GLIBC_TUNABLES");
    const bool wasSet = given != nullptr;
    const std::string kept = wasSet ? given : "";
    // Set already: by the user, or by this program before it started again
    if (kept.find("glibc.malloc.hugetlb") != std::string::npos)
        return;
    // "[madvise]" gives them on request; "[always]" gives them unasked
    std::ifstream setting("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string modes;
    if (!std::getline(setting, modes) || modes.find("[madvise]") == std::string::npos)
        return;
    const std::string tunables = kept + (kept.empty() ? "" : ":") + "glibc.malloc.hugetlb=1";
    if (setenv("GLIBC_TUNABLES", tunables.c_str(), 1) != 0)
        return;
    execv("/proc/self/exe", argv);
    // Not restarted (no /proc, or the file has gone): on as it is
    if (wasSet)
        setenv("GLIBC_TUNABLES", kept.c_str(), 1);
    else
        unsetenv("GLIBC_TUNABLES");
#else
    (void)argv;
#endif
}

std::string programPath()
{
    std::error_code error;
    const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

void runInstead(const std::string& path, const std::vector<std::string>& arguments)
{
    std::vector<char*> list;
    for (const std::string& argument : arguments)
        list.push_back(const_cast<char*>(argument.c_str()));
    list.push_back(nullptr);
    execv(path.c_str(), list.data());
}

bool errorIsTerminal()
{
    return isatty(STDERR_FILENO) != 0;
}

} // namespace Platform
