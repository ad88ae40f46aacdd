#include "assets/music_manager.h"

#include "assets/catalogue.h"

// The include form that works with every OpenAL layout: the build finds the folder
#include "alc.h"

#include <cmath>
#include <iostream>

namespace MusicManager {

std::unordered_map<std::string, Song> songs;
std::unique_ptr<sf::Music> player;
bool silent = false;

namespace {

const CatalogueFormat format{"MusicManager", "music", "file", "FILE", "music"};

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
    return sf::Music::Span<sf::Time>(sf::milliseconds(static_cast<sf::Int32>(std::trunc(loopTo))),
                                     sf::milliseconds(static_cast<sf::Int32>(std::trunc(loopLength))));
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
    if (found == songs.end()) {
        std::cerr << "MusicManager: Song with key " << printable(key) << " does not exist." << std::endl;
        return;
    }
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
    const bool opened = !isSpecialFile(song.file) && player->openFromFile(song.file);
    if (!opened) {
        player->stop(); // a failed open leaves the player silent, whatever played before
        std::cerr << "MusicManager: Unable to load music file " << printable(song.file) << "." << std::endl;
        return;
    }
    player->setVolume(static_cast<float>(song.volume));
    player->setLoop(loop);
    player->setLoopPoints(song.loopSpan());
    // NOTE: set while stopped, the offset is where playing starts
    if (from > sf::Time::Zero)
        player->setPlayingOffset(positionAfter(from, player->getDuration(), song, loop));
    player->play();
}

} // namespace MusicManager
