#pragma once
// What differs between desktops, behind one set of functions. The build picks
// the implementation: platform_x11.cpp where X11 is the display system,
// platform_portable.cpp everywhere else.

#include <string>
#include <vector>

namespace Platform {

// NOTE: a successful probe keeps its connection to the display open until
// closeDisplayProbe: some X servers refuse a connection made right after
// another one closed, and the window's own connection comes next
bool openDisplayProbe();   // True when the display can be opened; always true where there is nothing to check
void closeDisplayProbe();  // Ends the probe's connection, if one is open; call once the window exists
std::string displayName(); // The display the probe asks for, as the user named it, for messages

// NOTE: once it has seen a block of a few megabytes freed, glibc's allocator
// keeps such blocks for reuse in the heap of the thread that made them, so
// each decoding thread would keep pictures' worth of memory resident to the
// end. Called first thing, this has blocks of a megabyte or more handed back
// to the system when freed; nothing where the allocator does not do that.
void returnLargeBlocksWhenFreed(); // Sets the allocator so; call before any thread starts

// NOTE: the first write to fresh memory costs a page fault every 4 KB: a
// full-HD picture is two thousand of them where it is decoded and as many
// again in the renderer's texture, most of a texture's upload on a software
// renderer. glibc asks the kernel for 2 MB pages for its large blocks when a
// tunable says so, and reads tunables only as a program starts; so the
// program starts itself again, once, with it set, where the kernel gives
// such pages on request. A tunable the user set is kept. Nothing elsewhere,
// or when the restart cannot be made.
void startWithLargePages(char** argv); // Call first thing in main, before any thread or output

bool errorIsTerminal(); // Standard error goes to a terminal, where a line can be redrawn in place

std::string programPath(); // The running program's file; empty where it cannot be known
// Runs the program at `path` in this process instead, with these arguments
// (the first is its name); returns only when it could not, with errno set
void runInstead(const std::string& path, const std::vector<std::string>& arguments);

} // namespace Platform
