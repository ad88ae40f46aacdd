#pragma once
// A reader of plain PCM WAV files for the audio library. The library asks its
// readers in turn whether a file is theirs, and asks its FLAC reader first,
// which reads a whole non-FLAC file looking for a frame: seconds for a long
// WAV song, spent inside the first frame. Asked before that one, this reader
// takes the WAV files that it reads exactly as the library's own WAV reader
// does, with the same samples; it declines every other file, which then goes
// through the library's readers as it always has. One layout it claims only
// to refuse: samples before their format, on which the library's own reader
// divides by zero.

#include <SFML/Audio/SoundFileReader.hpp>
#include <SFML/Config.hpp>

#include <vector>

class WavReader : public sf::SoundFileReader {
public:
    static bool check(sf::InputStream& stream);                // True for a WAV it takes (RIFF/WAVE, PCM of 8, 16, 24 or 32 bits, a plain chunk layout) or refuses
    bool open(sf::InputStream& stream, Info& info) override;   // Reads the layout that check() accepted; false for one it refuses
    void seek(sf::Uint64 sampleOffset) override;               // To a sample, counted over every channel
    sf::Uint64 read(sf::Int16* samples, sf::Uint64 maxCount) override; // As 16-bit samples, converted as the library's own reader converts them

    // NOTE: registered while the program starts (in music_manager.cpp), before
    // any sound file is opened, so that the library asks it first
    static void registerFirst(); // Puts the reader in the audio library's list

private:
    sf::InputStream* stream = nullptr; // the file, owned by the library
    unsigned int bytesPerSample = 0;   // 1, 2, 3 or 4
    sf::Uint64 dataStart = 0;          // byte offset of the first sample
    sf::Uint64 dataEnd = 0;            // byte offset past the last whole sample
    std::vector<unsigned char> block;  // raw bytes of the samples being converted
};
