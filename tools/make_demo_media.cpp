// Paints the demo intro's pictures and synthesizes its song, so that the
// program runs out of the box without any media in the repository.
//
//   make-demo-media <dir>     writes into <dir> (made if missing) the files
//                             that assets/textures.json and assets/music.json name
//
// Everything is computed from fixed tables, so every run gives the same
// pictures and the same tune. The pictures are painted pixel by pixel on the
// CPU: no window or graphics context is needed. The media library writes
// the files (PNG, and OGG for the song).
//
// The pictures are painted in demo_painting.cpp and demo_lettering.cpp, the
// song in demo_synthesis.cpp; this file says what is made, into which files.

#include "demo_painting.h"
#include "demo_synthesis.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <iostream>
#include <iterator>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// The files are written from several threads: one whole line at a time
bool reportUnwritable(const std::string& path)
{
    static std::mutex mutex;
    std::lock_guard<std::mutex> lock(mutex);
    std::cerr << "make-demo-media: Unable to write " << path << "." << std::endl;
    return false;
}

bool writePicture(const Canvas& canvas, const std::string& dir, const std::string& name)
{
    const std::string path = dir + "/" + name;
    return savePicture(canvas, path) || reportUnwritable(path);
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::cerr << "usage: make-demo-media <output folder>" << std::endl;
        return 2;
    }
    const std::string dir = argv[1];
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
        std::cerr << "make-demo-media: Unable to create folder " << dir << "." << std::endl;
        return 1;
    }

    // Which slides are full-screen pictures, centred cards or cut from the
    // panel sheet is fixed by the demo's catalogues in tools/demo/assets/
    static const int cards[] = {2, 5, 8, 13};
    static const Panel panels[] = {{3, 0, 0, 640, 400}, {10, 680, 0, 600, 380}};

    std::vector<std::function<bool()>> jobs;
    jobs.push_back([&] {
        Canvas black = makeCanvas(8, 8);
        for (std::size_t i = 0; i < black.pixels.size(); ++i)
            black.pixels[i] = i % 4 == 3 ? 1.f : 0.f;
        return writePicture(black, dir, "black.png");
    });
    jobs.push_back([&] { return writePicture(paintTitle(), dir, "title.png"); });
    jobs.push_back([&] { return writePicture(paintEnd(), dir, "end.png"); });
    jobs.push_back([&] { return writePicture(paintPanelSheet(panels, 2, 1280, 400), dir, "panels.png"); });
    for (int number = 1; number <= slideCount; ++number) {
        const std::string name = "ov" + std::to_string(number) + ".png";
        if (std::find(std::begin(cards), std::end(cards), number) != std::end(cards))
            jobs.push_back([&, number, name] { return writePicture(paintCard(number, 1200, 700), dir, name); });
        else if (number != panels[0].number && number != panels[1].number)
            jobs.push_back([&, number, name] { return writePicture(paintFullSlide(number), dir, name); });
    }
    jobs.push_back([&] {
        const std::string path = dir + "/song.ogg";
        return saveSong(composeSong(), path) || reportUnwritable(path);
    });

    // NOTE: compressing the big PNGs takes most of the time, so share the
    // pictures out over the cores; each job paints and writes its own file
    std::atomic<std::size_t> nextJob{0};
    std::atomic<bool> ok{true};
    auto worker = [&] {
        for (std::size_t i = nextJob++; i < jobs.size(); i = nextJob++)
            if (!jobs[i]())
                ok = false;
    };
    const unsigned threadCount = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
    std::vector<std::thread> threads;
    for (unsigned i = 1; i < threadCount; ++i)
        threads.emplace_back(worker);
    worker();
    for (std::thread& thread : threads)
        thread.join();
    return ok ? 0 : 1;
}
