// Synthesises the demo intro's song and saves it through the media library

#include "demo_synthesis.h"

#include <SFML/Audio/OutputSoundFile.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {

const double pi = 3.14159265358979323846;
const unsigned sampleRate = 44100;
const double beat = 0.6;              // 100 beats a minute
const double barLength = 4 * beat;    // 2.4 s
const int introBars = 2;              // played once; the loop starts after them
const int loopBars = 8;

enum class Voice { Pluck, Pad, Bass, Lead, Kick, Hat };

double midiToHz(int note)
{
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

// How long a voice keeps sounding after its note's length
double releaseOf(Voice voice)
{
    switch (voice) {
    case Voice::Pluck: return 1.2;
    case Voice::Pad: return 0.8;
    case Voice::Bass: return 0.15;
    case Voice::Lead: return 0.3;
    case Voice::Kick: return 0.4;
    case Voice::Hat: return 0.08;
    }
    return 0.0;
}

double voiceSample(Voice voice, double t, double hz, double length, std::uint32_t& noise)
{
    const double w = 2 * pi * hz;
    switch (voice) {
    case Voice::Pluck: {
        const double env = std::min(1.0, t / 0.005) * std::exp(-t * 3.2);
        return env * (std::sin(w * t) + 0.5 * std::exp(-4 * t) * std::sin(2 * w * t) +
                      0.25 * std::exp(-8 * t) * std::sin(3 * w * t));
    }
    case Voice::Pad: {
        const double attack = std::min(1.0, t / 0.5);
        const double release = t < length ? 1.0 : std::max(0.0, 1.0 - (t - length) / 0.8);
        return attack * release *
               (0.5 * (std::sin(w * t) + std::sin(w * 1.004 * t)) + 0.2 * std::sin(2 * w * t) +
                0.08 * std::sin(3 * w * t));
    }
    case Voice::Bass: {
        const double release = t < length ? 1.0 : std::max(0.0, 1.0 - (t - length) / 0.15);
        const double env = std::min(1.0, t / 0.01) * std::exp(-t * 1.2) * release;
        return env * (std::sin(w * t) + 0.25 * std::sin(2 * w * t));
    }
    case Voice::Lead: {
        const double release = t < length ? 1.0 : std::max(0.0, 1.0 - (t - length) / 0.3);
        const double env = std::min(1.0, t / 0.04) * (0.8 + 0.2 * std::exp(-t * 3)) * release;
        // Gentle vibrato that sets in after the attack
        const double depth = 0.004 * std::min(1.0, t / 0.4);
        const double phase = w * t + depth * hz * std::sin(2 * pi * 5 * t) / 5;
        return env * (std::sin(phase) + 0.3 * std::sin(2 * phase) + 0.12 * std::sin(3 * phase));
    }
    case Voice::Kick: {
        const double phase = 2 * pi * (45 * t + (65.0 / 25.0) * (1 - std::exp(-25 * t)));
        return std::exp(-t * 7) * std::sin(phase);
    }
    case Voice::Hat: {
        noise = noise * 1664525u + 1013904223u;
        const double white = (noise >> 8) / 8388608.0 - 1.0;
        return std::exp(-t * 45) * white;
    }
    }
    return 0.0;
}

// Adds one note; pan runs from -1 (left) to 1 (right)
void addNote(Mix& mix, double start, double length, double hz, double amp, double pan, Voice voice)
{
    const std::size_t total = mix.left.size();
    const std::size_t first = static_cast<std::size_t>(start * sampleRate + 0.5);
    const std::size_t count = static_cast<std::size_t>((length + releaseOf(voice)) * sampleRate);
    const double leftGain = amp * std::cos((pan + 1) * pi / 4);
    const double rightGain = amp * std::sin((pan + 1) * pi / 4);
    std::uint32_t noise = 12345u + static_cast<std::uint32_t>(first);
    for (std::size_t i = 0; i < count; ++i) {
        const double s = voiceSample(voice, static_cast<double>(i) / sampleRate, hz, length, noise);
        std::size_t at = first + i;
        while (at >= total)
            at -= total - mix.loopStart;
        mix.left[at] += static_cast<float>(s * leftGain);
        mix.right[at] += static_cast<float>(s * rightGain);
    }
}

struct Bar {
    int bass;      // MIDI note, sounds on beats 1 and 3
    int chord[4];  // MIDI notes of the pad and the arpeggio
};

// Two bars of intro (F major 7, G) that lead into an eight-bar loop in C
const Bar bars[introBars + loopBars] = {
    {41, {53, 57, 60, 64}}, // Fmaj7
    {43, {55, 59, 62, 67}}, // G
    {36, {60, 64, 67, 71}}, // Cmaj7
    {45, {57, 60, 64, 67}}, // Am7
    {41, {53, 57, 60, 64}}, // Fmaj7
    {43, {55, 59, 62, 67}}, // G
    {36, {60, 64, 67, 72}}, // C
    {40, {52, 55, 59, 62}}, // Em7
    {41, {53, 57, 60, 64}}, // Fmaj7
    {43, {55, 60, 62, 67}}, // Gsus4
};

struct MelodyNote {
    int bar;       // counted from the first loop bar
    double beat;   // beat within the bar
    double beats;  // length
    int note;      // MIDI note
};

const MelodyNote melody[] = {
    {0, 0, 2, 76}, {0, 2, 1, 74}, {0, 3, 1, 72},
    {1, 0, 2, 72}, {1, 2, 2, 69},
    {2, 0, 1, 69}, {2, 1, 1, 72}, {2, 2, 2, 77},
    {3, 0, 1, 76}, {3, 1, 1, 74}, {3, 2, 2, 71},
    {4, 0, 2, 76}, {4, 2, 1, 79}, {4, 3, 1, 76},
    {5, 0, 2, 74}, {5, 2, 2, 71},
    {6, 0, 1, 72}, {6, 1, 1, 74}, {6, 2, 1, 76}, {6, 3, 1, 77},
    {7, 0, 3, 74},
};

// Up and down through the chord, an octave at the top
const int arpeggio[8] = {0, 1, 2, 3, 4, 3, 2, 1};

} // namespace

Mix composeSong()
{
    Mix mix;
    const std::size_t total = static_cast<std::size_t>((introBars + loopBars) * barLength * sampleRate + 0.5);
    mix.left.assign(total, 0.f);
    mix.right.assign(total, 0.f);
    mix.loopStart = static_cast<std::size_t>(introBars * barLength * sampleRate + 0.5);

    for (int b = 0; b < introBars + loopBars; ++b) {
        const Bar& bar = bars[b];
        const double at = b * barLength;
        const bool intro = b < introBars;
        for (int note : bar.chord)
            addNote(mix, at, barLength - 0.3, midiToHz(note), 0.05, 0.0, Voice::Pad);
        // The intro opens with the pad alone, then the arpeggio comes in
        if (b > 0)
            for (int step = 0; step < 8; ++step) {
                const int index = arpeggio[step];
                const int note = index < 4 ? bar.chord[index] + 12 : bar.chord[0] + 24;
                addNote(mix, at + step * beat / 2, beat / 2, midiToHz(note), intro ? 0.06 + 0.01 * step : 0.13,
                        step % 2 ? 0.35 : -0.35, Voice::Pluck);
            }
        if (intro)
            continue;
        for (int half = 0; half < 2; ++half) {
            addNote(mix, at + half * 2 * beat, 2 * beat - 0.1, midiToHz(bar.bass), 0.3, 0.0, Voice::Bass);
            addNote(mix, at + half * 2 * beat, 0.1, 0.0, 0.45, 0.0, Voice::Kick);
        }
        for (int step = 0; step < 4; ++step)
            addNote(mix, at + (step + 0.5) * beat, 0.02, 0.0, 0.05, 0.25, Voice::Hat);
    }
    for (const MelodyNote& note : melody)
        addNote(mix, (introBars + note.bar + note.beat / 4) * barLength, note.beats * beat - 0.05, midiToHz(note.note),
                0.11, -0.1, Voice::Lead);
    return mix;
}

bool saveSong(const Mix& mix, const std::string& path)
{
    float peak = 0.f;
    for (std::size_t i = 0; i < mix.left.size(); ++i)
        peak = std::max({peak, std::fabs(mix.left[i]), std::fabs(mix.right[i])});
    const float gain = peak > 0.f ? 0.8f / peak : 1.f;
    std::vector<sf::Int16> samples(mix.left.size() * 2);
    for (std::size_t i = 0; i < mix.left.size(); ++i) {
        samples[2 * i] = static_cast<sf::Int16>(std::lround(mix.left[i] * gain * 32767.f));
        samples[2 * i + 1] = static_cast<sf::Int16>(std::lround(mix.right[i] * gain * 32767.f));
    }
    {
        sf::OutputSoundFile file;
        if (!file.openFromFile(path, sampleRate, 2))
            return false;
        file.write(samples.data(), samples.size());
    }
    // The writer has no result of its own: check that something arrived
    std::error_code error;
    return std::filesystem::file_size(path, error) > 0 && !error;
}
