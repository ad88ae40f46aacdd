#include "recording.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

std::uint32_t read32(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24); }
std::uint16_t read16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

// Frame range of [from, to) seconds after `origin`, clipped to the recording
void range(const Recording& recording, std::size_t origin, double from, double to, std::size_t& begin, std::size_t& end)
{
    begin = std::min(recording.frames(), origin + static_cast<std::size_t>(from * recording.rate));
    end = std::min(recording.frames(), origin + static_cast<std::size_t>(to * recording.rate));
}

} // namespace

bool readRecording(const std::string& path, Recording& out)
{
    std::ifstream file(path, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
        return false;
    out = Recording();
    bool haveFormat = false;
    std::size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const unsigned char* chunk = bytes.data() + at;
        const std::uint32_t size = read32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0 && at + 8 + 16 <= bytes.size()) {
            const std::uint16_t format = read16(chunk + 8);
            out.channels = read16(chunk + 10);
            out.rate = read32(chunk + 12);
            const std::uint16_t bits = read16(chunk + 22);
            // 1 is plain PCM; 0xFFFE is the extensible header, which the
            // wave writer uses with its own channel mask
            if ((format != 1 && format != 0xFFFE) || bits != 16 || out.channels == 0)
                return false;
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat)
                return false;
            const std::size_t available = bytes.size() - (at + 8);
            out.headerComplete = size == available;
            const std::size_t count = std::min<std::size_t>(available, size ? size : available) / 2;
            out.samples.resize(count);
            for (std::size_t i = 0; i < count; ++i)
                out.samples[i] = static_cast<sf::Int16>(read16(chunk + 8 + 2 * i));
            // Whole frames only
            out.samples.resize(out.frames() * out.channels);
            return true;
        }
        at += 8 + size + (size & 1);
    }
    return false;
}

std::size_t onsetFrame(const Recording& recording, unsigned channel, int threshold)
{
    for (std::size_t frame = 0; frame < recording.frames(); ++frame)
        if (std::abs(recording.samples[frame * recording.channels + channel]) >= threshold)
            return frame;
    return recording.frames();
}

double rmsLevel(const Recording& recording, unsigned channel, std::size_t origin, double from, double to)
{
    std::size_t begin = 0, end = 0;
    range(recording, origin, from, to, begin, end);
    if (end <= begin)
        return 0;
    double sum = 0;
    for (std::size_t frame = begin; frame < end; ++frame) {
        const double value = recording.samples[frame * recording.channels + channel];
        sum += value * value;
    }
    return std::sqrt(sum / static_cast<double>(end - begin));
}

int peakLevel(const Recording& recording, unsigned channel, std::size_t origin, double from, double to)
{
    std::size_t begin = 0, end = 0;
    range(recording, origin, from, to, begin, end);
    int peak = 0;
    for (std::size_t frame = begin; frame < end; ++frame)
        peak = std::max(peak, std::abs(int(recording.samples[frame * recording.channels + channel])));
    return peak;
}

double toneFrequency(const Recording& recording, unsigned channel, std::size_t origin, double from, double to)
{
    std::size_t begin = 0, end = 0;
    range(recording, origin, from, to, begin, end);
    if (end <= begin + 1)
        return 0;
    std::size_t changes = 0;
    bool positive = recording.samples[begin * recording.channels + channel] >= 0;
    for (std::size_t frame = begin + 1; frame < end; ++frame) {
        const bool now = recording.samples[frame * recording.channels + channel] >= 0;
        changes += now != positive;
        positive = now;
    }
    // Two sign changes per period
    return changes / 2.0 / (static_cast<double>(end - begin) / recording.rate);
}
