#pragma once
// Reads the WAV file that OpenAL Soft's wave writer makes of what the program
// plays, and measures it.

#include <SFML/Config.hpp>

#include <cstddef>
#include <string>
#include <vector>

struct Recording {
    unsigned channels = 0;
    unsigned rate = 0;
    std::vector<sf::Int16> samples; // interleaved
    bool headerComplete = false;    // the data size in the header matches the file: the writer closed it

    std::size_t frames() const { return channels ? samples.size() / channels : 0; }
    double seconds() const { return rate ? static_cast<double>(frames()) / rate : 0; }
};

// Reads a 16-bit PCM WAV, also one still being written (its sizes not yet
// filled in): then everything after the header counts. False if unreadable.
bool readRecording(const std::string& path, Recording& out);

// The first frame at which `channel` reaches `threshold` in magnitude; frames() if never
std::size_t onsetFrame(const Recording& recording, unsigned channel, int threshold);

// Measures over [from, to) seconds of one channel, counted from `origin` (a frame index)
double rmsLevel(const Recording& recording, unsigned channel, std::size_t origin, double from, double to);
int peakLevel(const Recording& recording, unsigned channel, std::size_t origin, double from, double to);
// The frequency of a steady tone, from the rate of sign changes
double toneFrequency(const Recording& recording, unsigned channel, std::size_t origin, double from, double to);
