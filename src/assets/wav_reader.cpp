#include "assets/wav_reader.h"

#include <SFML/Audio/SoundFileFactory.hpp>
#include <SFML/System/InputStream.hpp>

#include <algorithm>
#include <cstring>

namespace {

// Where a WAV file's samples lie and how they are stored
struct Layout {
    unsigned int channels = 0;
    unsigned int sampleRate = 0;
    unsigned int bytesPerSample = 0;
    sf::Uint64 dataStart = 0;   // byte offset
    sf::Uint64 sampleCount = 0; // whole samples in the data chunk, over every channel
};

const std::uint16_t formatPcm = 1;
const std::uint16_t formatExtensible = 0xfffe;
// The PCM subformat of WAVE_FORMAT_EXTENSIBLE
const unsigned char subformatPcm[16] = {1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xaa, 0, 0x38, 0x9b, 0x71};

std::uint32_t little32(const unsigned char* b)
{
    return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24;
}

std::uint16_t little16(const unsigned char* b)
{
    return static_cast<std::uint16_t>(b[0] | b[1] << 8);
}

bool readExactly(sf::InputStream& stream, void* data, sf::Int64 size)
{
    return stream.read(data, size) == size;
}

// What the chunks up to the samples say of a file
enum class Reading {
    Plain,         // one format chunk of PCM before the data, every chunk whole, of even size and inside the file
    Elsewhere,     // not RIFF/WAVE, or a layout the audio library's reader may read in its own way: left to it
    SamplesFirst,  // samples before any format chunk: no reader can play them, and the library's divides by zero
};

Reading readLayout(sf::InputStream& stream, Layout& layout)
{
    const sf::Int64 fileSize = stream.getSize();
    unsigned char riff[12];
    if (fileSize < 12 || stream.seek(0) != 0 || !readExactly(stream, riff, 12) || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0)
        return Reading::Elsewhere;
    sf::Uint64 position = 12;
    bool haveFormat = false;
    bool plain = true; // every chunk so far is one this reader reads
    for (;;) {
        unsigned char header[8];
        if (!readExactly(stream, header, 8))
            return Reading::Elsewhere;
        const std::uint32_t size = little32(header + 4);
        const sf::Uint64 start = position + 8;
        if (std::memcmp(header, "data", 4) == 0) {
            if (!haveFormat)
                return Reading::SamplesFirst;
            if (!plain || start + size > static_cast<sf::Uint64>(fileSize))
                return Reading::Elsewhere;
            layout.dataStart = start;
            layout.sampleCount = size / layout.bytesPerSample;
            return Reading::Plain;
        }
        // The library skips chunks as they say, so the search for the data
        // chunk goes on past ones this reader leaves to it
        if (start + size > static_cast<sf::Uint64>(fileSize) || size % 2 != 0)
            plain = false;
        if (std::memcmp(header, "fmt ", 4) == 0) {
            // The library gives up at a format it does not take, before any data
            unsigned char format[40];
            if (haveFormat || size < 16 || !readExactly(stream, format, 16))
                return Reading::Elsewhere;
            const std::uint16_t tag = little16(format);
            const std::uint16_t bits = little16(format + 14);
            layout.channels = little16(format + 2);
            layout.sampleRate = little32(format + 4);
            if ((tag != formatPcm && tag != formatExtensible) || layout.channels == 0 || layout.sampleRate == 0 ||
                (bits != 8 && bits != 16 && bits != 24 && bits != 32))
                return Reading::Elsewhere;
            if (tag == formatExtensible) {
                if (size < 40 || !readExactly(stream, format + 16, 24) || little16(format + 18) != bits ||
                    std::memcmp(format + 24, subformatPcm, 16) != 0)
                    return Reading::Elsewhere;
            }
            layout.bytesPerSample = bits / 8u;
            haveFormat = true;
        }
        position = start + size;
        if (position > static_cast<sf::Uint64>(fileSize) ||
            stream.seek(static_cast<sf::Int64>(position)) != static_cast<sf::Int64>(position))
            return Reading::Elsewhere;
    }
}

} // namespace

bool WavReader::check(sf::InputStream& stream)
{
    // Samples before their format are claimed only to be refused in open():
    // the library's own reader would divide by zero on them
    Layout layout;
    return readLayout(stream, layout) != Reading::Elsewhere;
}

bool WavReader::open(sf::InputStream& file, Info& info)
{
    Layout layout;
    if (readLayout(file, layout) != Reading::Plain)
        return false;
    stream = &file;
    bytesPerSample = layout.bytesPerSample;
    dataStart = layout.dataStart;
    dataEnd = layout.dataStart + layout.sampleCount * layout.bytesPerSample;
    info.channelCount = layout.channels;
    info.sampleRate = layout.sampleRate;
    info.sampleCount = layout.sampleCount;
    return file.seek(static_cast<sf::Int64>(dataStart)) == static_cast<sf::Int64>(dataStart);
}

void WavReader::seek(sf::Uint64 sampleOffset)
{
    stream->seek(static_cast<sf::Int64>(dataStart + sampleOffset * bytesPerSample));
}

sf::Uint64 WavReader::read(sf::Int16* samples, sf::Uint64 maxCount)
{
    const sf::Int64 at = stream->tell();
    if (at < 0 || static_cast<sf::Uint64>(at) >= dataEnd)
        return 0;
    const sf::Uint64 wanted = std::min<sf::Uint64>(maxCount, (dataEnd - static_cast<sf::Uint64>(at)) / bytesPerSample);
    sf::Uint64 count = 0;
    const sf::Uint64 perBlock = 16384;
    while (count < wanted) {
        const sf::Uint64 chunk = std::min(perBlock, wanted - count);
        block.resize(static_cast<std::size_t>(chunk * bytesPerSample));
        const sf::Int64 got = stream->read(block.data(), static_cast<sf::Int64>(block.size()));
        const sf::Uint64 whole = got > 0 ? static_cast<sf::Uint64>(got) / bytesPerSample : 0;
        const unsigned char* in = block.data();
        // NOTE: the library's own conversions: 8-bit samples are unsigned and
        // move to the top byte; wider ones keep their two top bytes
        for (sf::Uint64 i = 0; i < whole; ++i, in += bytesPerSample) {
            switch (bytesPerSample) {
            case 1: samples[count + i] = static_cast<sf::Int16>((in[0] - 128) * 256); break;
            case 2: samples[count + i] = static_cast<sf::Int16>(little16(in)); break;
            case 3: samples[count + i] = static_cast<sf::Int16>(little16(in + 1)); break;
            default: samples[count + i] = static_cast<sf::Int16>(little16(in + 2)); break;
            }
        }
        count += whole;
        if (whole < chunk)
            break; // the file got shorter since it was opened
    }
    return count;
}

void WavReader::registerFirst()
{
    sf::SoundFileFactory::registerReader<WavReader>();
}
