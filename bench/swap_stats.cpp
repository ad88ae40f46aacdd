// Reads a log of the swap clock and prints one line of figures:
//   first_frame_ms  time from process start to frame N (default 2: the first
//                   after the black frame shown while loading)
//   frames          frames from frame N to the last
//   median_fps      median count of frames in the whole seconds after frame N
//   min_window_fps  fewest frames in any one-second window after frame N
//   longest_ms      longest time between two frames after frame N
//   peak_mb         peak resident memory of the process
//   song_ms         when a sound first started playing, from frame N (negative:
//                   before that frame was shown); "none" when none did
//
//   swap-stats LOG [N]

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << "usage: swap-stats LOG [N]" << std::endl;
        return 2;
    }
    const std::size_t first = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 2;
    std::ifstream in(argv[1]);
    long long start = -1;
    long peakKb = -1;
    long long play = -1;
    std::vector<long long> swaps;
    for (std::string word; in >> word;) {
        long long value = 0;
        in >> value;
        if (word == "start") start = value;
        else if (word == "swap") swaps.push_back(value);
        else if (word == "play" && play < 0) play = value;
        else if (word == "peak_kb") peakKb = static_cast<long>(value);
    }
    if (start < 0 || swaps.size() < first || first == 0) {
        std::cerr << "swap-stats: " << argv[1] << " holds " << swaps.size() << " frames, not " << first << std::endl;
        return 1;
    }
    const std::vector<long long> show(swaps.begin() + static_cast<long>(first - 1), swaps.end());
    const long long second = 1000000000LL;

    // Frames in each whole second after the first frame of the show
    std::vector<int> perSecond;
    for (long long from = show.front(); from + second <= show.back(); from += second)
        perSecond.push_back(static_cast<int>(std::count_if(show.begin(), show.end(),
                                                           [&](long long t) { return t > from && t <= from + second; })));
    double median = 0;
    if (!perSecond.empty()) {
        std::vector<int> sorted = perSecond;
        std::sort(sorted.begin(), sorted.end());
        const std::size_t n = sorted.size();
        median = n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2.0;
    }
    // The worst one-second window, starting at any frame
    int fewest = -1;
    long long longest = 0;
    std::size_t end = 0;
    for (std::size_t i = 0; i < show.size(); ++i) {
        if (i > 0)
            longest = std::max(longest, show[i] - show[i - 1]);
        if (show[i] + second > show.back())
            break;
        end = std::max(end, i);
        while (end + 1 < show.size() && show[end + 1] <= show[i] + second)
            ++end;
        const int count = static_cast<int>(end - i);
        fewest = fewest < 0 ? count : std::min(fewest, count);
    }
    char song[32] = "none";
    if (play >= 0)
        std::snprintf(song, sizeof song, "%.1f", (play - show.front()) / 1e6);
    std::printf("first_frame_ms=%.1f frames=%zu median_fps=%.1f min_window_fps=%d longest_ms=%.1f peak_mb=%.1f song_ms=%s\n",
                (show.front() - start) / 1e6, show.size(), median, fewest, longest / 1e6, peakKb / 1024.0, song);
    return 0;
}
