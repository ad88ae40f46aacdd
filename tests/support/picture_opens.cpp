#include "support/picture_opens.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <thread>

namespace {

// NOTE: the C library's fopen runs before this file's records are made and
// after they are gone; they are touched only while `watching`, which is set
// by a test and is a plain flag, ready before any constructor runs
bool watching = false;
std::mutex lock;
std::thread::id mainThread;
std::vector<PictureOpens::Open> opens;
std::string throwingFile;
int opensBeforeThrow = 0;
std::exception_ptr thrown;

} // namespace

namespace PictureOpens {

void watch()
{
    std::lock_guard<std::mutex> guard(lock);
    opens.clear();
    throwingFile.clear();
    thrown = nullptr;
    mainThread = std::this_thread::get_id();
    watching = true;
}

void stopWatching()
{
    std::lock_guard<std::mutex> guard(lock);
    watching = false;
    throwingFile.clear();
    thrown = nullptr;
}

std::vector<Open> opened()
{
    std::lock_guard<std::mutex> guard(lock);
    return opens;
}

std::vector<std::string> openedOffMainThread()
{
    std::vector<std::string> files;
    for (const Open& open : opened())
        if (!open.mainThread && std::find(files.begin(), files.end(), open.file) == files.end())
            files.push_back(open.file);
    return files;
}

void throwOnOpen(const std::string& file, int skipped, std::exception_ptr error)
{
    std::lock_guard<std::mutex> guard(lock);
    throwingFile = file;
    opensBeforeThrow = skipped;
    thrown = error;
}

} // namespace PictureOpens

// Stands in for the C library's: the decoders open their files here
extern "C" std::FILE* fopen(const char* path, const char* mode)
{
    using Open = std::FILE* (*)(const char*, const char*);
    static const Open next = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "fopen"));
    if (watching && path) {
        std::unique_lock<std::mutex> guard(lock);
        const bool onMain = std::this_thread::get_id() == mainThread;
        opens.push_back({path, onMain});
        if (!onMain && thrown && throwingFile == path && opensBeforeThrow-- == 0) {
            const std::exception_ptr error = thrown;
            guard.unlock();
            std::rethrow_exception(error);
        }
    }
    return next(path, mode);
}
