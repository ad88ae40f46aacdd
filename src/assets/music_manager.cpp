#include "assets/music_manager.h"

#include "assets/catalogue.h"
#include "assets/wav_reader.h"
#include "base/messages.h"

// The include form that works with every OpenAL layout: the build finds the folder
#include "alc.h"

#include <cmath>

namespace MusicManager {

std::unordered_map<std::string, Song> songs;
std::unique_ptr<sf::Music> player;
bool silent = false;
bool askedForDevice = false;

namespace {

const CatalogueFormat format{"MusicManager", "music", "file", "FILE", "music", "assets/music.json", "Song"};

// Every property a song entry may have, in the order they are checked
const PropertyList<Song, 3> entryProperties({{
    {"volume", &Song::volume, false, true},
    {"loopTo", &Song::loopTo},
    {"file", &Song::file, true},
}});

// NOTE: while the program starts, before any sound file is opened: the audio
// library registers its own readers at the first open, after this one, and
// asks them in order, so a WAV song is never scanned by its FLAC reader
[[maybe_unused]] const bool wavReaderFirst = (WavReader::registerFirst(), true);

void addEntry(const std::string& key, const nlohmann::json& entry)
{
    Song song;
    notePathTravel(format, key, entry, "file");
    if (!readProperties(entryProperties, format, key, entry, song))
        return;
    // Taken as they are, but not what an author means: the check says so
    const sf::Int32 loopsTo = song.loopSpan().offset.asMilliseconds();
    if (loopsTo < 0)
        Problems::report(Messages::loopsBeforeItsBeginning(key, loopsTo));
    if (song.volume > 100)
        Problems::report(Messages::volumeAboveFull(key, song.volume));
    songs[key] = std::move(song);
}

void reportMissingSong(const std::string& key)
{
    Problems::report(Messages::missingKey(format.manager, format.what, key));
}

void reportUnloadableSong(const std::string& file)
{
    Problems::report(Messages::unloadableSong(file));
}

// Makes the player when an audio device can be opened; asks only once
bool makePlayer()
{
    if (!askedForDevice) {
        askedForDevice = true;
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

void reset()
{
    player.reset();
    askedForDevice = false;
    songs.clear();
    silent = false;
}

std::vector<PropertyInfo> declaredProperties()
{
    return describe(entryProperties);
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
        Problems::report(Messages::noAudioDevice(key));
        return;
    }
    // NOTE: the audio library would stream a directory forever, and block on
    // a FIFO; neither is opened
    const std::string path = inIntro(song.file);
    if (isSpecialFile(path) || !player->openFromFile(path)) {
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
    const std::string& named = found->second.file;
    const std::string path = inIntro(named);
    if (isSpecialFile(path) || !file.openFromFile(path)) {
        reportUnloadableSong(named);
        return false;
    }
    const std::string refusal = loopPointRefusal(found->second, file);
    if (!refusal.empty())
        Problems::report(Messages::loopPointRefused(refusal));
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
