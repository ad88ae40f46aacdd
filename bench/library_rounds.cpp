// A game's use of the library, measured in one process: resident memory
// before the intro loads, at its peak while it plays, and after it is
// dropped; the time from the start of the load to the first frame shown.
// The window is opened first, as a game's is, so the load has it to itself.
//
//   library-rounds INTRO_FOLDER [SECONDS_OF_PLAY] [ROUNDS]
//
// Prints one line per round: "round=N before_mb=.. play_peak_mb=.. after_drop_mb=.. load_to_first_frame_ms=.."

#include "program_window.h"

#include <orvalen/intro.h>

#include <SFML/System/Clock.hpp>
#include <SFML/Window/Event.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

double residentMegabytes()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: library-rounds INTRO_FOLDER [SECONDS_OF_PLAY] [ROUNDS]\n");
        return 2;
    }
#ifdef __GLIBC__
    // As the header advises a game that wants freed pictures handed back
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
    const std::string folder = argv[1];
    const float seconds = argc > 2 ? std::strtof(argv[2], nullptr) : 10.f;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 1;

    sf::RenderWindow window;
    openProgramWindow(window);
    window.clear();
    window.display();

    for (int round = 1; round <= rounds; ++round) {
        const double before = residentMegabytes();
        sf::Clock sinceLoad;
        double firstFrameMs = 0, peak = before;
        {
            orvalen::Intro intro(folder);
            intro.play();
            sf::Clock frameClock, played;
            bool first = true;
            while (!intro.finished() && played.getElapsedTime().asSeconds() < seconds) {
                for (sf::Event event; window.pollEvent(event);)
                    intro.handleEvent(event);
                intro.update(frameClock.restart().asSeconds());
                intro.draw(window);
                window.display();
                if (first) {
                    firstFrameMs = sinceLoad.getElapsedTime().asSeconds() * 1000.0;
                    first = false;
                }
                peak = std::max(peak, residentMegabytes());
            }
        }
        const double after = residentMegabytes();
        std::printf("round=%d before_mb=%.1f play_peak_mb=%.1f after_drop_mb=%.1f load_to_first_frame_ms=%.1f\n", round,
                    before, peak, after, firstFrameMs);
        std::fflush(stdout);
    }
    return 0;
}
