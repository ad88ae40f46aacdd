#pragma once
// The music catalogue and its one player. The store keeps only where each
// song's file lies and how to play it; the file is opened, then streamed from
// disk, when its song is played. There is one player, so one song at a time.

#include <SFML/Audio/InputSoundFile.hpp>
#include <SFML/Audio/Music.hpp>
#include "assets/catalogue.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

namespace MusicManager {

// One catalogue entry
struct Song {
    std::string file;         // audio file, relative to the working dir
    std::int32_t volume = 100; // percent on the player's scale, unclamped above 100
    double loopTo = 0;        // ms: where a looping song goes on after its end

    sf::Music::Span<sf::Time> loopSpan() const; // Loop points for the player, in whole milliseconds: from loopTo to the song's end
};

bool load(const std::string& path);                // Reads a catalogue file (relative to the working dir!); touches no audio file
std::vector<PropertyInfo> declaredProperties();      // Every property an entry may have, as the loader reads it
bool loadEntries(const nlohmann::json& document);  // The same from a parsed document
void play(const std::string& key, bool loop, sf::Time from = sf::Time::Zero); // Starts the song on the one player, as if it had played for `from` already, or writes why not
sf::Time positionAfter(sf::Time played, sf::Time duration, const Song& song, bool loop); // Where a song is after playing that long: looping from loopTo after each end
bool openFile(const std::string& key, sf::InputSoundFile& file); // Opens the song's file as play() does, writing the lines play() would, the loop point's refusal included; needs no audio device
std::string loopPointRefusal(const Song& song, const sf::InputSoundFile& file); // The audio library's line when it would refuse the song's loop points in this file; empty when it takes them

// NOTE: the player is declared after the store so that it is destroyed
// first, ending any song before the records go
extern std::unordered_map<std::string, Song> songs; // Key -> song, filled at start-up
// When set, play() only looks the key up: no device is opened and nothing
// sounds, for pictures of the show made without watching it
extern bool silent;
// Streams the playing song on the audio library's own thread. Made by the
// first play that finds an audio device: without one, a player would fill
// the error stream from that thread; null until then
extern std::unique_ptr<sf::Music> player;
extern bool askedForDevice; // play() has looked for an audio device, found or not: it looks once

void reset(); // No songs, no player and no device asked for, as at start

} // namespace MusicManager
