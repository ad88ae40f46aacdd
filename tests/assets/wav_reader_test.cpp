// The program's WAV reader, asked before the audio library's own readers,
// gives the very samples the library's WAV reader gives, and declines what
// it does not read the same way, which the library then reads as before.
#include "assets/wav_reader.h"
#include "support/test_support.h"

#include <SFML/Audio/InputSoundFile.hpp>
#include <SFML/Audio/SoundFileFactory.hpp>
#include <SFML/System/Err.hpp>
#include <SFML/System/FileInputStream.hpp>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string little(std::uint32_t value, int bytes)
{
    std::string out;
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xff);
    return out;
}

std::string chunk(const std::string& id, const std::string& body)
{
    return id + little(static_cast<std::uint32_t>(body.size()), 4) + body;
}

// A format chunk's body: plain PCM (16 bytes, or 18 with an empty extension)
// or WAVE_FORMAT_EXTENSIBLE with its PCM subformat
std::string formatBody(int channels, int rate, int bits, bool extensible = false, int validBits = 0,
                       bool withExtensionSize = false, int tag = 1)
{
    const int block = channels * bits / 8;
    std::string body = little(extensible ? 0xfffe : static_cast<std::uint32_t>(tag), 2) + little(channels, 2) +
                       little(rate, 4) + little(rate * block, 4) + little(block, 2) + little(bits, 2);
    if (extensible)
        body += little(22, 2) + little(validBits ? validBits : bits, 2) + little(3, 4) +
                std::string("\x01\x00\x00\x00\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71", 16);
    else if (withExtensionSize)
        body += little(0, 2);
    return body;
}

// Samples that cover a whole range: both extremes, zero, and a sweep between
std::string sampleBytes(int bits, int count)
{
    const int bytes = bits / 8;
    std::string out;
    std::uint32_t state = 7;
    for (int i = 0; i < count; ++i) {
        state = state * 1664525u + 1013904223u;
        std::uint32_t value = state;
        if (i % 7 == 0) value = 0;
        if (i % 11 == 0) value = 0xffffffffu;
        if (i % 13 == 0) value = bits == 8 ? 0x80u : 1u << (bits - 1);      // the most negative, or 8-bit silence
        if (i % 17 == 0) value = bits == 8 ? 0x7fu : (1u << (bits - 1)) - 1; // the most positive, or just below silence
        out += little(value, bytes);
    }
    return out;
}

std::string riff(const std::string& chunks)
{
    return "RIFF" + little(static_cast<std::uint32_t>(4 + chunks.size()), 4) + "WAVE" + chunks;
}

// What a reading of a sound file gives, in the words the helper writes
std::string readingOf(sf::InputSoundFile& file)
{
    std::ostringstream out;
    out << file.getChannelCount() << " " << file.getSampleRate() << " " << file.getSampleCount() << "\n";
    std::vector<sf::Int16> block(1001);
    for (sf::Uint64 got; (got = file.read(block.data(), block.size())) > 0;)
        for (sf::Uint64 i = 0; i < got; ++i)
            out << block[i] << " ";
    out << "\n";
    file.seek(file.getSampleCount() / 3 / file.getChannelCount() * file.getChannelCount());
    const sf::Uint64 got = file.read(block.data(), 300);
    for (sf::Uint64 i = 0; i < got; ++i)
        out << block[i] << " ";
    out << "\n";
    return out.str();
}

// In this process: the program's reader is registered first
std::string programReading(const std::string& path)
{
    std::ostringstream quiet;
    std::streambuf* previous = sf::err().rdbuf(quiet.rdbuf());
    sf::InputSoundFile file;
    const std::string result = file.openFromFile(path) ? readingOf(file) : "unopenable\n";
    sf::err().rdbuf(previous);
    return result;
}

// In a process of the audio library alone
std::string mediaLibraryReading(const std::string& path, const TempDir& dir)
{
    const std::string out = dir.path("reading.txt");
    const std::string command = std::string("\"") + ORVALEN_MEDIA_LIBRARY_SAMPLES + "\" \"" + path + "\" \"" + out + "\"";
    if (std::system(command.c_str()) != 0)
        return "helper failed";
    std::ifstream in(out);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// True when the program's reader claims the file, asked as the audio library asks it
bool claimedByTheReader(const std::string& path)
{
    sf::FileInputStream stream;
    return stream.open(path) && WavReader::check(stream);
}

// True when the audio library hands the file to the program's reader
bool readByTheProgram(const std::string& path)
{
    std::unique_ptr<sf::SoundFileReader> reader(sf::SoundFileFactory::createReaderFromFilename(path));
    return dynamic_cast<WavReader*>(reader.get()) != nullptr;
}

TEST(WavReader, GivesTheAudioLibrarysSamplesAndDeclinesWhatItDoesNotReadTheSameWay)
{
    struct Case {
        const char* name;
        std::string bytes;
        bool taken; // the program's reader reads it
    };
    const int frames = 2500;
    const Case cases[] = {
        {"8-bit mono", riff(chunk("fmt ", formatBody(1, 8000, 8)) + chunk("data", sampleBytes(8, frames))), true},
        {"8-bit stereo", riff(chunk("fmt ", formatBody(2, 11025, 8)) + chunk("data", sampleBytes(8, 2 * frames))), true},
        {"16-bit mono", riff(chunk("fmt ", formatBody(1, 44100, 16)) + chunk("data", sampleBytes(16, frames))), true},
        {"16-bit stereo", riff(chunk("fmt ", formatBody(2, 48000, 16)) + chunk("data", sampleBytes(16, 2 * frames))), true},
        {"24-bit mono", riff(chunk("fmt ", formatBody(1, 96000, 24)) + chunk("data", sampleBytes(24, frames))), true},
        {"24-bit stereo", riff(chunk("fmt ", formatBody(2, 44100, 24)) + chunk("data", sampleBytes(24, 2 * frames))), true},
        {"32-bit mono", riff(chunk("fmt ", formatBody(1, 22050, 32)) + chunk("data", sampleBytes(32, frames))), true},
        {"32-bit stereo", riff(chunk("fmt ", formatBody(2, 44100, 32)) + chunk("data", sampleBytes(32, 2 * frames))), true},
        {"extensible 16-bit stereo",
         riff(chunk("fmt ", formatBody(2, 44100, 16, true)) + chunk("data", sampleBytes(16, 2 * frames))), true},
        {"extensible 24-bit mono",
         riff(chunk("fmt ", formatBody(1, 48000, 24, true)) + chunk("data", sampleBytes(24, frames))), true},
        {"format chunk with an empty extension",
         riff(chunk("fmt ", formatBody(2, 44100, 16, false, 0, true)) + chunk("data", sampleBytes(16, 2 * frames))), true},
        {"LIST chunk before the format, fact after it",
         riff(chunk("LIST", std::string(26, 'x')) + chunk("fmt ", formatBody(2, 44100, 16)) + chunk("fact", little(frames, 4)) +
              chunk("data", sampleBytes(16, 2 * frames))), true},
        {"a chunk after the samples",
         riff(chunk("fmt ", formatBody(1, 44100, 16)) + chunk("data", sampleBytes(16, frames)) + chunk("LIST", "abcd")), true},
        {"a byte beyond the last whole sample",
         riff(chunk("fmt ", formatBody(1, 44100, 16)) + chunk("data", sampleBytes(16, frames) + "z")), true},
        {"24-bit data ending inside a sample",
         riff(chunk("fmt ", formatBody(2, 44100, 24)) + chunk("data", sampleBytes(24, 2 * frames) + "zz")), true},
        {"one sample", riff(chunk("fmt ", formatBody(1, 44100, 16)) + chunk("data", sampleBytes(16, 1))), true},
        // Left to the audio library
        {"float samples", riff(chunk("fmt ", formatBody(1, 44100, 32, false, 0, false, 3)) + chunk("data", sampleBytes(32, frames))), false},
        {"12-bit samples", riff(chunk("fmt ", formatBody(1, 44100, 12)) + chunk("data", sampleBytes(16, frames))), false},
        {"extensible with 20 valid bits of 24",
         riff(chunk("fmt ", formatBody(1, 44100, 24, true, 20)) + chunk("data", sampleBytes(24, frames))), false},
        {"odd-sized chunk before the samples",
         riff(chunk("fmt ", formatBody(1, 44100, 16)) + chunk("odd ", "abc") + chunk("data", sampleBytes(16, frames))), false},
        {"data chunk longer than the file",
         riff(chunk("fmt ", formatBody(1, 44100, 16)) + "data" + little(1000000, 4) + sampleBytes(16, frames)), false},
        {"no data chunk", riff(chunk("fmt ", formatBody(1, 44100, 16)) + chunk("LIST", "abcd")), false},
        {"cut inside the header", riff(chunk("fmt ", formatBody(1, 44100, 16))).substr(0, 30), false},
        {"RIFF of another kind", "RIFF" + little(4, 4) + "AVI " + chunk("data", "abcd"), false},
        {"not RIFF at all", "OggS and then nothing of the kind", false},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.write("case.wav", c.bytes);
        EXPECT_EQ(claimedByTheReader(path), c.taken);
        EXPECT_EQ(readByTheProgram(path), c.taken);
        const std::string expected = mediaLibraryReading(path, dir);
        if (c.taken)
            ASSERT_NE(expected, "unopenable\n") << "the audio library cannot read it at all";
        EXPECT_EQ(programReading(path), expected);
    }
}

// The audio library's own WAV reader divides by zero on samples that come
// before their format; the program's reader claims such files and refuses them
TEST(WavReader, SamplesBeforeTheirFormatAreRefusedNotHandedToTheAudioLibrary)
{
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"data then format", riff(chunk("data", sampleBytes(16, 100)) + chunk("fmt ", formatBody(1, 44100, 16)))},
        {"data alone", riff(chunk("data", sampleBytes(16, 100)))},
        {"data longer than the file", riff("data" + little(1000000, 4) + sampleBytes(16, 100))},
        {"odd chunk, data, then format",
         riff(chunk("odd ", "abc") + chunk("data", sampleBytes(16, 100)) + chunk("fmt ", formatBody(1, 44100, 16)))},
        {"format of float samples after the data",
         riff(chunk("data", sampleBytes(32, 100)) + chunk("fmt ", formatBody(1, 44100, 32, false, 0, false, 3)))},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.write("first.wav", c.bytes);
        EXPECT_TRUE(claimedByTheReader(path));
        EXPECT_TRUE(readByTheProgram(path));
        sf::InputSoundFile file;
        EXPECT_FALSE(file.openFromFile(path));
    }
}

TEST(WavReader, ReadsAWavSongOfTheProgramsOwnWritingBeforeAnyOtherReaderIsAsked)
{
    TempDir dir;
    ASSERT_TRUE(writeTone(dir.path("tone.wav"), 0.5f, 440.f));
    EXPECT_TRUE(readByTheProgram(dir.path("tone.wav")));
    EXPECT_EQ(programReading(dir.path("tone.wav")), mediaLibraryReading(dir.path("tone.wav"), dir));
    // Other kinds of sound file are still the audio library's
    ASSERT_TRUE(writeTone(dir.path("tone.ogg"), 0.5f, 440.f));
    EXPECT_FALSE(readByTheProgram(dir.path("tone.ogg")));
}

} // namespace
