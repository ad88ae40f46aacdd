#include "assets/music_manager.h"

#include "assets/catalogue.h"
#include "assets/wav_reader.h"

// The include form that works with every OpenAL layout: the build finds the folder
#include "alc.h"
#include <SFML/System/Err.hpp>

#include <cmath>
#include <iostream>

namespace MusicManager {

std::unordered_map<std::string, Song> songs;
std::unique_ptr<sf::Music> player;
bool silent = false;

namespace {

const CatalogueFormat format{"MusicManager", "music", "file", "FILE", "music"};

// NOTE: while the program starts, before any sound file is opened: the audio
// library registers its own readers at the first open, after this one, and
// asks them in order, so a WAV song is never scanned by its FLAC reader
[[maybe_unused]] const bool wavReaderFirst = (WavReader::registerFirst(), true);

void addEntry(const std::string& key, const nlohmann::json& entry)
{
    Song song;
    std::string why;
    if (entry.contains("volume")) {
        if (!readInt32(entry.at("volume"), song.volume, why))
            return reportInvalidProperty(format.manager, "volume", key, why);
        // NOTE: the audio library refuses a negative gain and keeps the last
        // one, usually full volume, so a negative volume is an error here
        if (song.volume < 0)
            return reportInvalidProperty(format.manager, "volume", key, "must not be negative");
    }
    if (entry.contains("loopTo") && !readMilliseconds(entry.at("loopTo"), song.loopTo, why))
        return reportInvalidProperty(format.manager, "loopTo", key, why);
    if (!readString(entry.at("file"), song.file, why))
        return reportInvalidProperty(format.manager, "file", key, why);
    songs[key] = std::move(song);
}

void reportMissingSong(const std::string& key)
{
    std::cerr << "MusicManager: Song with key " << printable(key) << " does not exist." << std::endl;
}

void reportUnloadableSong(const std::string& file)
{
    std::cerr << "MusicManager: Unable to load music file " << printable(file) << "." << std::endl;
}

// Makes the player when an audio device can be opened; asks only once
bool makePlayer()
{
    static bool asked = false;
    if (!asked) {
        asked = true;
        // Probe with a device of our own: the audio library, given none,
        // writes a screenful for every sound object and keeps going
        if (ALCdevice* device = alcOpenDevice(nullptr)) {
            alcCloseDevice(device);
            player = std::make_unique<sf::Music>();
        }
    }
    return player != nullptr;
}

} // namespace

sf::Music::Span<sf::Time> Song::loopSpan() const
{
    // A length of -1 ms is the audio library's "to the end of the song"
    return sf::Music::Span<sf::Time>(sf::milliseconds(static_cast<sf::Int32>(std::trunc(loopTo))),
                                     sf::milliseconds(-1));
}

bool load(const std::string& path)
{
    return loadCatalogueFile(path, format, loadEntries);
}

bool loadEntries(const nlohmann::json& document)
{
    return passCatalogueEntries(document, format, addEntry);
}

sf::Time positionAfter(sf::Time played, sf::Time duration, const Song& song, bool loop)
{
    if (played < duration)
        return played;
    if (!loop)
        return duration;
    // The player keeps loop points only inside the song; else the whole song loops
    const sf::Music::Span<sf::Time> span = song.loopSpan();
    const sf::Time loopStart = span.offset >= sf::Time::Zero && span.offset < duration ? span.offset : sf::Time::Zero;
    const sf::Int64 loopLength = (duration - loopStart).asMicroseconds();
    if (loopLength <= 0)
        return sf::Time::Zero;
    return loopStart + sf::microseconds((played - loopStart).asMicroseconds() % loopLength);
}

void play(const std::string& key, bool loop, sf::Time from)
{
    auto found = songs.find(key);
    if (found == songs.end())
        return reportMissingSong(key);
    if (silent)
        return;
    const Song& song = found->second;
    if (!makePlayer()) {
        std::cerr << "MusicManager: No audio device could be opened; " << printable(key)
                  << " will not play and the show runs silent." << std::endl;
        return;
    }
    // NOTE: the audio library would stream a directory forever, and block on
    // a FIFO; neither is opened
    if (isSpecialFile(song.file) || !player->openFromFile(song.file)) {
        player->stop(); // a failed open leaves the player silent, whatever played before
        return reportUnloadableSong(song.file);
    }
    player->setVolume(static_cast<float>(song.volume));
    player->setLoop(loop);
    player->setLoopPoints(song.loopSpan());
    // NOTE: set while stopped, the offset is where playing starts
    if (from > sf::Time::Zero)
        player->setPlayingOffset(positionAfter(from, player->getDuration(), song, loop));
    player->play();
}

bool openFile(const std::string& key, sf::InputSoundFile& file)
{
    auto found = songs.find(key);
    if (found == songs.end()) {
        reportMissingSong(key);
        return false;
    }
    const std::string& path = found->second.file;
    if (isSpecialFile(path) || !file.openFromFile(path)) {
        reportUnloadableSong(path);
        return false;
    }
    const std::string refusal = loopPointRefusal(found->second, file);
    if (!refusal.empty())
        sf::err() << refusal << std::endl;
    return true;
}

// NOTE: the audio library's own reckoning, with its types and its words, so
// that what is said without a player is what a player would say
std::string loopPointRefusal(const Song& song, const sf::InputSoundFile& file)
{
    const unsigned int channels = file.getChannelCount();
    const unsigned int rate = file.getSampleRate();
    if (channels == 0 || file.getSampleCount() == 0)
        return "Music is not in a valid state to assign Loop Points.";
    auto toSamples = [&](sf::Time time) -> sf::Uint64 {
        return ((time.asMicroseconds() * rate * channels) + 500000) / 1000000;
    };
    const sf::Music::Span<sf::Time> span = song.loopSpan();
    sf::Uint64 offset = toSamples(span.offset);
    sf::Uint64 length = toSamples(span.length);
    offset += channels - 1;
    offset -= offset % channels;
    length += channels - 1;
    length -= length % channels;
    if (offset >= file.getSampleCount())
        return "LoopPoints offset val must be in range [0, Duration).";
    if (length == 0)
        return "LoopPoints length val must be nonzero.";
    return "";
}

} // namespace MusicManager
