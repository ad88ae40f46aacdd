#include "author/check.h"

#include "app/app.h"
#include "app/config.h"
#include "scenes/screen_fade.h"
#include "assets/catalogue.h"
#include "assets/music_manager.h"
#include "assets/sprite_manager.h"
#include "assets/texture_manager.h"
#include "pictures/decode.h"
#include "pictures/limits.h"
#include "scenes/intro_slideshow.h"

#include <SFML/Audio/InputSoundFile.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <vector>

using nlohmann::json;

namespace {

// A file as the loader read it, read again without a word
struct Document {
    bool opened = false;   // the file could be opened
    bool complete = false; // its first value parsed without an error
    json value;            // what was parsed; after an error, what the parser had built by then
};

Document readQuietly(const char* path)
{
    Document document;
    std::ifstream file;
    if (!openForReading(path, file))
        return document;
    document.opened = true;
    try {
        file >> document.value;
        document.complete = true;
    } catch (const json::exception&) {
    }
    return document;
}

// One catalogue file and what the check says of it
struct Catalogue {
    const char* path;                     // "assets/textures.json"
    const char* topKey;                   // "textures"
    const char* what;                     // "Texture", as a line names one entry
    const char* gives;                    // "pictures", what the file gives
    std::vector<const char*> properties;  // every property the program reads from an entry
    Document document;

    // The entries, as the catalogue's pass walks them; null when it has none
    const json* entries() const
    {
        const json& value = document.value;
        if (!value.is_object() || !value.contains(topKey))
            return nullptr;
        return &value.at(topKey);
    }
};

// A sprite key of the show, with when the show uses it
struct ShowKey {
    std::string key;
    std::string use; // "for entries 1 and 2 (0:00 to 0:14)"
};

// Where each sprite key first comes, in showing order, then the overlay.
// NOTE: the entries of a repeated key follow one another in this show
std::vector<ShowKey> showSpriteKeys()
{
    std::vector<ShowKey> keys;
    const auto& slides = IntroSlideshow::slideKeys;
    for (std::size_t first = 0; first < slides.size(); ++first) {
        const std::string key = slides[first];
        if (std::find_if(keys.begin(), keys.end(), [&](const ShowKey& k) { return k.key == key; }) != keys.end())
            continue;
        std::size_t last = first;
        while (last + 1 < slides.size() && key == slides[last + 1])
            ++last;
        std::ostringstream use;
        if (first == last)
            use << "for entry " << first + 1;
        else if (last == first + 1)
            use << "for entries " << first + 1 << " and " << last + 1;
        else
            use << "for entries " << first + 1 << " to " << last + 1;
        use << " (" << clockTime(first * IntroSlideshow::secondsPerEntry) << " to "
            << clockTime((last + 1) * IntroSlideshow::secondsPerEntry) << ")";
        keys.push_back({key, use.str()});
    }
    keys.push_back({ScreenFade::overlayKey, "as the fade overlay over every frame"});
    return keys;
}

bool isShowSprite(const std::string& key)
{
    for (const char* slide : IntroSlideshow::slideKeys)
        if (key == slide)
            return true;
    return key == ScreenFade::overlayKey;
}

// What opening a song's file found
struct SongFile {
    bool opened = false;
    sf::Uint64 sampleCount = 0;   // all channels together
    unsigned int channels = 0;
    unsigned int sampleRate = 0;  // per second and channel
    std::string refusal;          // the audio library's line when it refuses the loop point
};

SongFile openSong(const std::string& key)
{
    SongFile song;
    sf::InputSoundFile file;
    song.opened = MusicManager::openFile(key, file);
    if (song.opened) {
        song.sampleCount = file.getSampleCount();
        song.channels = file.getChannelCount();
        song.sampleRate = file.getSampleRate();
        song.refusal = MusicManager::loopPointRefusal(MusicManager::songs.at(key), file);
    }
    return song;
}

// The findings, in the order they are written
struct Findings {
    std::vector<std::string> problems;
    std::vector<std::string> notes;

    void problem(const std::string& text) { problems.push_back(text); }
    void note(const std::string& text) { notes.push_back(text); }
};

std::string plural(std::size_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string pixels(sf::Vector2u size)
{
    return std::to_string(size.x) + " by " + std::to_string(size.y) + " pixels";
}

bool isKnown(const std::vector<const char*>& names, const std::string& name)
{
    return std::find_if(names.begin(), names.end(), [&](const char* known) { return name == known; }) != names.end();
}

// Where an editor finds the file's schema; the program ignores it, rightly
const char* const schemaMember = "$schema";

void checkConfig(const Document& config, Findings& findings)
{
    const std::vector<const char*> settings = {"fullscreen", "vsync", "show_fps", schemaMember};
    if (!config.opened) {
        findings.note(std::string("No ") + configFile +
                      ": the window settings keep their defaults (a window, vertical sync on).");
        return;
    }
    if (!config.complete) {
        findings.problem(std::string(configFile) +
                         " is not valid JSON, so the window settings keep their defaults (see above).");
        return;
    }
    if (!config.value.is_object()) {
        findings.problem(std::string(configFile) +
                         " is not a JSON object, so the window settings keep their defaults.");
        return;
    }
    for (const auto& member : config.value.items()) {
        if (!isKnown(settings, member.key()))
            findings.note(std::string(configFile) + " has a member " + printable(member.key()) +
                          " that the program does not know; it is ignored.");
        else if (member.key() != schemaMember && !member.value().is_boolean())
            findings.problem(std::string(configFile) + "'s " + member.key() +
                             " is not true or false, so it keeps its default (see above).");
    }
}

// Problems with the file as a whole, and members beside the entries
void checkCatalogueFile(const Catalogue& catalogue, Findings& findings)
{
    const Document& document = catalogue.document;
    const std::string path = catalogue.path;
    if (!document.opened) {
        findings.problem("No " + path + " in the working folder, so there are no " + catalogue.gives + ".");
        return;
    }
    if (!document.complete)
        findings.problem(path + " is not valid JSON: only what came before the error was read (see above).");
    const json* entries = catalogue.entries();
    if (!entries)
        findings.problem(path + " has no member " + catalogue.topKey + ", so it gives no " + catalogue.gives +
                         " (see above).");
    else if (!entries->is_object())
        findings.problem(path + "'s " + catalogue.topKey + " is " + entries->type_name() +
                         ", not an object of entries by key.");
    if (!document.value.is_object())
        return;
    for (const auto& member : document.value.items())
        if (member.key() != catalogue.topKey && member.key() != schemaMember)
            findings.note(path + " has a member " + printable(member.key()) + " beside " + catalogue.topKey +
                          " that the program ignores.");
}

// Entries that the program does not know a property of
void noteUnknownProperties(const Catalogue& catalogue, const std::string& key, const json& entry, Findings& findings)
{
    if (!entry.is_object())
        return;
    for (const auto& property : entry.items())
        if (!isKnown(catalogue.properties, property.key()))
            findings.note(std::string(catalogue.what) + " " + printable(key) + " has a property " +
                          printable(property.key()) + " that the program does not know; it is ignored.");
}

// The texture key of a sprite entry, when it names one
std::string textureOf(const json& sprite)
{
    if (sprite.is_object() && sprite.contains("texture") && sprite.at("texture").is_string())
        return sprite.at("texture").get<std::string>();
    return "";
}

void checkTextures(const Catalogue& textures, const Catalogue& sprites, Findings& findings)
{
    const json* entries = textures.entries();
    if (!entries)
        return;
    std::set<std::string> used;
    if (const json* spriteEntries = sprites.entries())
        for (const auto& sprite : spriteEntries->items())
            used.insert(textureOf(sprite.value()));
    for (const auto& item : entries->items()) {
        const std::string& key = item.key();
        const json& entry = item.value();
        if (!TextureManager::has(key)) {
            // A picture refused from its size alone has only a short line above
            const std::string file = entry.is_object() && entry.contains("file") && entry.at("file").is_string()
                                         ? entry.at("file").get<std::string>()
                                         : std::string();
            const ImageSize size = file.empty() ? ImageSize() : readImageSize(file);
            const unsigned int largest = pictureLimits.assumedMaximumSize;
            if (size.known && (size.width > largest || size.height > largest))
                findings.problem("Texture " + printable(key) + " in " + textures.path + " was not loaded: its picture is " +
                                 pixels({size.width, size.height}) + ", more than the " + std::to_string(largest) +
                                 " a side that the check takes a graphics card to accept.");
            else
                findings.problem("Texture " + printable(key) + " in " + textures.path + " was not loaded (see above).");
            continue;
        }
        noteUnknownProperties(textures, key, entry, findings);
        const sf::Vector2u size = TextureManager::picture(key)->size;
        if (size.x > pictureLimits.checkNotedSize || size.y > pictureLimits.checkNotedSize)
            findings.note("Texture " + printable(key) + " is " + pixels(size) + ": graphics cards that take at most " +
                          std::to_string(pictureLimits.checkNotedSize) + " a side refuse it.");
        if (used.count(key) == 0)
            findings.note("Texture " + printable(key) + " is used by no sprite.");
    }
}

void checkShowKeys(const Catalogue& sprites, const Catalogue& music, Findings& findings)
{
    const json* spriteEntries = sprites.entries();
    for (const ShowKey& show : showSpriteKeys()) {
        if (SpriteManager::has(show.key))
            continue;
        if (spriteEntries && spriteEntries->is_object() && spriteEntries->contains(show.key))
            findings.problem("The show needs sprite " + show.key + " " + show.use + "; its entry in " + sprites.path +
                             " was not loaded (see above).");
        else
            findings.problem("The show needs sprite " + show.key + " " + show.use + ", and " + sprites.path +
                             " gives none.");
    }
    const std::string song = IntroSlideshow::songKey;
    if (MusicManager::songs.count(song) == 0) {
        const json* songEntries = music.entries();
        if (songEntries && songEntries->is_object() && songEntries->contains(song))
            findings.problem("The show needs song " + song + " to play from the start; its entry in " + music.path +
                             " was not loaded (see above).");
        else
            findings.problem("The show needs song " + song + " to play from the start, and " + music.path +
                             " gives none.");
    }
}

// The rectangle's columns or rows, from..to, whichever way it is cut
bool outside(int start, int length, unsigned int size)
{
    const long long from = std::min<long long>(start, static_cast<long long>(start) + length);
    const long long to = std::max<long long>(start, static_cast<long long>(start) + length);
    return from < 0 || to > static_cast<long long>(size);
}

bool isRepeated(const Catalogue& textures, const std::string& key)
{
    const json* entries = textures.entries();
    if (!entries || !entries->is_object() || !entries->contains(key))
        return false;
    const json& entry = entries->at(key);
    return entry.is_object() && entry.value("repeated", json(false)) == json(true);
}

void checkSprites(const Catalogue& sprites, const Catalogue& textures, Findings& findings)
{
    const json* entries = sprites.entries();
    if (!entries)
        return;
    for (const auto& item : entries->items()) {
        const std::string& key = item.key();
        const json& entry = item.value();
        const bool inShow = isShowSprite(key);
        if (!SpriteManager::has(key)) {
            if (!inShow) // the show's own keys are reported with what they are for
                findings.problem("Sprite " + printable(key) + " in " + sprites.path + " was not loaded (see above).");
            continue;
        }
        noteUnknownProperties(sprites, key, entry, findings);
        if (!inShow)
            findings.note("Sprite " + printable(key) + " is not in the show.");
        const std::string texture = textureOf(entry);
        if (!TextureManager::has(texture) || isRepeated(textures, texture))
            continue;
        const std::optional<TextureManager::Picture> picture = TextureManager::picture(texture);
        const sf::IntRect rect = SpriteManager::spriteStore.at(key)->getTextureRect();
        if (outside(rect.left, rect.width, picture->size.x) || outside(rect.top, rect.height, picture->size.y)) {
            std::ostringstream text;
            text << "Sprite " << printable(key) << "'s rectangle (x " << rect.left << ", y " << rect.top << ", "
                 << rect.width << " by " << rect.height << ") reaches outside its texture " << printable(texture)
                 << " (" << pixels(picture->size) << "), which is not repeated.";
            findings.problem(text.str());
        }
    }
}

// A loop point that the audio library refuses leaves the loop on the whole song
void checkLoopPoint(const std::string& key, const SongFile& file, Findings& findings)
{
    const MusicManager::Song& song = MusicManager::songs.at(key);
    if (file.refusal.empty())
        return;
    if (file.sampleCount == 0 || file.channels == 0 || file.sampleRate == 0) {
        findings.problem("Song " + printable(key) + "'s file " + printable(song.file) + " holds no sound (see above).");
        return;
    }
    const std::string at = std::to_string(song.loopSpan().offset.asMilliseconds()) + " ms";
    if (song.loopSpan().offset < sf::Time::Zero) {
        findings.problem("Song " + printable(key) + " loops back to " + at +
                         ", before its beginning, so it loops from its beginning instead (see above).");
        return;
    }
    const sf::Uint64 lengthMs = file.sampleCount / file.channels * 1000 / file.sampleRate;
    findings.problem("Song " + printable(key) + " loops back to " + at + ", at or past its end at " +
                     std::to_string(lengthMs) + " ms, so it loops from its beginning instead (see above).");
}

void checkSongs(const Catalogue& music, const std::map<std::string, SongFile>& files, Findings& findings)
{
    const json* entries = music.entries();
    if (!entries)
        return;
    for (const auto& item : entries->items()) {
        const std::string& key = item.key();
        const bool inShow = key == IntroSlideshow::songKey;
        const auto song = MusicManager::songs.find(key);
        if (song == MusicManager::songs.end()) {
            if (!inShow)
                findings.problem("Song " + printable(key) + " in " + music.path + " was not loaded (see above).");
            continue;
        }
        noteUnknownProperties(music, key, item.value(), findings);
        if (!inShow)
            findings.note("Song " + printable(key) + " is never played: the show plays " + IntroSlideshow::songKey +
                          " only.");
        const SongFile& file = files.at(key);
        if (!file.opened)
            findings.problem("Song " + printable(key) + "'s file " + printable(song->second.file) +
                             " cannot be opened (see above).");
        else
            checkLoopPoint(key, file, findings);
    }
}

} // namespace

std::string clockTime(double seconds)
{
    const long whole = static_cast<long>(std::floor(seconds));
    std::ostringstream text;
    text << whole / 60 << ":" << (whole % 60 < 10 ? "0" : "") << whole % 60;
    return text.str();
}

std::string showOrderText()
{
    std::string text;
    std::string line = "  ";
    const auto& slides = IntroSlideshow::slideKeys;
    for (std::size_t i = 0; i < slides.size(); ++i) {
        std::string cell = clockTime(i * IntroSlideshow::secondsPerEntry) + " " + slides[i];
        line += cell;
        if (i % 5 == 4) {
            text += line + "\n";
            line = "  ";
        } else {
            line += std::string(cell.size() < 12 ? 12 - cell.size() : 1, ' ');
        }
    }
    if (line != "  ")
        text += line + "\n";
    return text + "  " + clockTime(slides.size() * IntroSlideshow::secondsPerEntry) + " the show ends\n";
}

int runCheck()
{
    // The start, as the show makes it, without a window: settings, the
    // catalogues with every picture read in full, the overlay, then what the
    // show's first frame asks for, its song and then its slides
    loadConfig();
    TextureManager::uploads = false;
    loadCatalogues();
    SpriteManager::get(ScreenFade::overlayKey);
    std::map<std::string, SongFile> songFiles;
    songFiles[IntroSlideshow::songKey] = openSong(IntroSlideshow::songKey);
    for (const char* key : IntroSlideshow::slideKeys)
        SpriteManager::get(key);

    // Every other song is opened too
    Catalogue textures{texturesFile, "textures", "Texture", "pictures", {"file", "repeated"}, readQuietly(texturesFile)};
    Catalogue sprites{spritesFile, "sprites", "Sprite", "sprites",
                      {"texture", "rectX", "rectY", "rectW", "rectH", "originX", "originY", "autocenter",
                       "autocenter_place"},
                      readQuietly(spritesFile)};
    Catalogue music{musicFile, "music", "Song", "songs", {"file", "volume", "loopTo"}, readQuietly(musicFile)};
    if (const json* entries = music.entries())
        for (const auto& item : entries->items())
            if (MusicManager::songs.count(item.key()) && songFiles.count(item.key()) == 0)
                songFiles[item.key()] = openSong(item.key());

    Findings findings;
    checkConfig(readQuietly(configFile), findings);
    for (const Catalogue* catalogue : {&textures, &sprites, &music})
        checkCatalogueFile(*catalogue, findings);
    checkTextures(textures, sprites, findings);
    checkShowKeys(sprites, music, findings);
    checkSprites(sprites, textures, findings);
    checkSongs(music, songFiles, findings);
    if (!textures.document.opened || !sprites.document.opened || !music.document.opened) {
        std::error_code error;
        findings.note("Every file is read from the working folder, " +
                      printable(std::filesystem::current_path(error).string()) +
                      ": run the program from your intro's folder, the one that holds " + configFile + " and assets/.");
    }

    for (const std::string& problem : findings.problems)
        std::cerr << "Check: Problem: " << problem << std::endl;
    for (const std::string& note : findings.notes)
        std::cerr << "Check: Note: " << note << std::endl;
    std::cerr << "Check: " << plural(findings.problems.size(), "problem", "problems") << ", "
              << plural(findings.notes.size(), "note", "notes") << "." << std::endl;
    return findings.problems.empty() ? 0 : 1;
}
