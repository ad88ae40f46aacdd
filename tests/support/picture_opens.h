#pragma once
// Watches the files the process opens with the C library's fopen, through a
// stand-in for it: which files, on which thread, and an open that throws, as
// a decode throws when an allocation fails. The thread that starts watching
// is taken for the main thread.

#include <exception>
#include <string>
#include <vector>

namespace PictureOpens {

// One file opened while watching
struct Open {
    std::string file;
    bool mainThread = false; // opened by the thread that started watching
};

void watch();                 // Forgets what was opened and records every open from now on
void stopWatching();          // Stops recording and throwing
std::vector<Open> opened();   // Every open since watch(), in order
std::vector<std::string> openedOffMainThread(); // The files opened by other threads, each once, in the order first opened
// The open of `file` that comes after `skipped` others of it, off the main
// thread, throws `error` instead (the main thread's opens never throw)
void throwOnOpen(const std::string& file, int skipped, std::exception_ptr error);

} // namespace PictureOpens
