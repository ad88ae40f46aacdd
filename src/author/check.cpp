#include "author/check.h"

#include "app/app.h"
#include "app/config.h"
#include "scenes/screen_fade.h"
#include "assets/catalogue.h"
#include "base/messages.h"
#include "assets/music_manager.h"
#include "assets/sprite_manager.h"
#include "assets/texture_manager.h"
#include "pictures/limits.h"
#include "scenes/intro_slideshow.h"
#include "scenes/show.h"
#include "scenes/show_file.h"

#include <SFML/Audio/InputSoundFile.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <map>
#include <set>
#include <unordered_set>
#include <sstream>
#include <vector>

namespace {

// Where each sprite key first comes, in showing order, then the overlay
std::vector<ShowSpriteUse> showSpriteKeys()
{
    std::vector<ShowSpriteUse> keys = Show::spriteUses(Show::current);
    keys.push_back({ScreenFade::overlayKey, "as the fade overlay over every frame"});
    return keys;
}

bool isShowSprite(const std::string& key)
{
    return Show::usesSprite(Show::current, key) || key == ScreenFade::overlayKey;
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

// Where a finding goes among the others: the settings, each catalogue as a
// file, the pictures, what the show asks for, the sprites, the songs, and
// last the folder; within the entries of one catalogue, by key
enum Section { Settings, ShowFile, TexturesFile, SpritesFile, MusicFile, Textures, Show, Sprites, Songs, Folder };

bool isEntries(Section section)
{
    return section == Textures || section == Sprites || section == Songs;
}

// One catalogue file and how the check speaks of it
struct Catalogue {
    const char* path;    // "assets/textures.json"
    const char* topKey;  // "textures"
    const char* what;    // "Texture", as a line names one entry
    const char* gives;   // "pictures", what the file gives
    Section file;        // where what is said of the file goes
    Section entries;     // where what is said of its entries goes
};

const Catalogue textures{texturesFile, "textures", "Texture", "pictures", TexturesFile, Textures};
const Catalogue sprites{spritesFile, "sprites", "Sprite", "sprites", SpritesFile, Sprites};
const Catalogue music{musicFile, "music", "Song", "songs", MusicFile, Songs};

// A finding is a record too: what it says, where it is, and its section
struct Remark {
    Section section;
    Problem said;
};

// The findings, gathered from the records and the stores in any order, then
// written in the order of their sections
struct Findings {
    std::vector<Remark> list;

    // A catalogue that could not be read, as a whole or past a point: the
    // findings that only follow from it are counted under it, not listed
    std::map<const Catalogue*, std::size_t> unread;  // each such catalogue, with where its finding stands in `list`
    std::map<const Catalogue*, std::size_t> hidden;  // the findings that follow from each
    std::set<std::string> spritesWithoutTexture;     // sprite entries whose texture an unread texture catalogue lacks

    // The finding that a catalogue could not be read; those that follow are hidden under it
    void unreadable(const Catalogue& catalogue, const std::string& text, const Problem& where)
    {
        unread[&catalogue] = list.size();
        problem(catalogue.file, text, where);
    }
    // True, and counted, when a finding only follows from `root` being unread
    bool hides(const Catalogue& root)
    {
        if (unread.count(&root) == 0)
            return false;
        ++hidden[&root];
        return true;
    }
    // Each count joins its root's finding
    void countHidden()
    {
        for (const auto& [root, count] : hidden) {
            Problem& said = list[unread.at(root)].said;
            said.message += " " + std::to_string(count) + (count == 1 ? " finding that follows" : " findings that follow") +
                            " from it " + (count == 1 ? "is" : "are") + " not listed.";
        }
    }

    // `where` gives the file, key, property, pointer, line and column it is about
    void add(Severity severity, Section section, const std::string& text, Problem where)
    {
        where.severity = severity;
        where.message = text;
        where.detail.clear();
        where.why.clear();
        where.quiet = false;
        list.push_back({section, std::move(where)});
    }
    void problem(Section section, const std::string& text, const Problem& where = Problem())
    {
        add(Severity::Problem, section, text, where);
    }
    void note(Section section, const std::string& text, const Problem& where = Problem())
    {
        add(Severity::Note, section, text, where);
    }
    // Every finding in the order they are written: by section, the entries
    // of a catalogue by key, problems before notes
    std::vector<Problem> inOrder() const
    {
        std::vector<Remark> sorted = list;
        std::stable_sort(sorted.begin(), sorted.end(), [](const Remark& a, const Remark& b) {
            if (a.said.severity != b.said.severity)
                return a.said.severity == Severity::Problem;
            if (a.section != b.section)
                return a.section < b.section;
            return isEntries(a.section) && a.said.key < b.said.key;
        });
        std::vector<Problem> said;
        for (const Remark& remark : sorted)
            said.push_back(remark.said);
        return said;
    }
};

// Where a finding about one entry of a catalogue is
Problem at(const Catalogue& catalogue, const std::string& key)
{
    Problem where;
    where.file = catalogue.path;
    where.key = key;
    where.pointer = Problems::pointerTo(catalogue.topKey) + Problems::pointerTo(key);
    return where;
}

bool isStored(const Catalogue& catalogue, const std::string& key)
{
    if (&catalogue == &textures)
        return TextureManager::has(key);
    if (&catalogue == &sprites)
        return SpriteManager::has(key);
    return MusicManager::songs.count(key) > 0;
}

// The show's own keys are reported with what they are for
bool isShowKey(const Catalogue& catalogue, const std::string& key)
{
    if (&catalogue == &sprites)
        return isShowSprite(key);
    return &catalogue == &music && key == Show::current.songKey;
}

bool hasRecord(const std::vector<Problem>& records, const std::string& file, Finding finding)
{
    return std::any_of(records.begin(), records.end(),
                       [&](const Problem& record) { return record.file == file && record.finding == finding; });
}

// Some record speaks of this entry of this file: the file has the entry
bool hasEntry(const std::vector<Problem>& records, const std::string& file, const std::string& key)
{
    return std::any_of(records.begin(), records.end(),
                       [&](const Problem& record) { return record.file == file && record.key == key; });
}

bool startsWith(const std::string& text, const char* start)
{
    return text.rfind(start, 0) == 0;
}

// A lookup that fails because the catalogue it looks in, or the one behind
// that, could not be read: the show's sprites without sprites.json, a
// sprite's texture without textures.json, the song without music.json
bool followsFromUnread(const Problem& record, const std::set<const Catalogue*>& unread,
                       std::set<std::string>& spritesWithoutTexture)
{
    if (record.finding != Finding::MissingKey)
        return false;
    if (startsWith(record.message, "TextureManager: ") && record.file == sprites.path && unread.count(&textures)) {
        spritesWithoutTexture.insert(record.key);
        return true;
    }
    if (startsWith(record.message, "SpriteManager: ") && record.file.empty())
        return unread.count(&sprites) || spritesWithoutTexture.count(record.key);
    if (startsWith(record.message, "MusicManager: ") && record.file.empty())
        return unread.count(&music) > 0;
    return false;
}

// " (line 3, column 14)", where a record knows it
std::string where(const Problem& record)
{
    if (record.line == 0)
        return "";
    return " (line " + std::to_string(record.line) + ", column " + std::to_string(record.column) + ")";
}

void checkSettings(const std::vector<Problem>& records, Findings& findings)
{
    const std::string file = configFile;
    for (const Problem& record : records) {
        if (record.file != file)
            continue;
        switch (record.finding) {
        case Finding::FileUnreadable:
            findings.note(Settings, "No " + file + ": the window settings keep their defaults (a window, vertical sync on).",
                          record);
            break;
        case Finding::NotJson:
            findings.problem(Settings, file + " is not valid JSON" + where(record) +
                                           ", so the window settings keep their defaults (see above).",
                             record);
            break;
        case Finding::InvalidProperty:
            findings.problem(Settings, file + "'s " + record.property +
                                           " is not true or false, so it keeps its default (see above).",
                             record);
            break;
        default:
            if (record.quiet)
                findings.add(record.severity, Settings, record.message, record);
        }
    }
}

// What the show file's lines say, said again among the findings
void checkShowFile(const std::vector<Problem>& records, Findings& findings)
{
    const std::string prefix = "Show: ";
    for (const Problem& record : records)
        if (record.file == showFile)
            findings.add(record.severity, ShowFile,
                         record.quiet ? record.message : record.message.substr(prefix.size()), record);
}

// What the records say of a catalogue: of the file as a whole, and of the
// entries that were not loaded or were loaded with something to say
void checkCatalogue(const Catalogue& catalogue, const std::vector<Problem>& records, Findings& findings)
{
    const std::string path = catalogue.path;
    std::map<std::string, std::string> notLoaded; // key -> why, where a record says
    for (const Problem& record : records) {
        if (record.file != path)
            continue;
        if (record.key.empty()) {
            if (record.finding == Finding::FileUnreadable)
                findings.unreadable(catalogue, "No " + path + " in the working folder, so there are no " + catalogue.gives + ".",
                                    record);
            else if (record.finding == Finding::NotJson)
                findings.unreadable(catalogue, path + " is not valid JSON" + where(record) +
                                                   ": only what came before the error was read (see above).",
                                    record);
            else if (record.finding == Finding::MissingMember)
                findings.problem(catalogue.file, path + " has no member " + catalogue.topKey + ", so it gives no " +
                                                     catalogue.gives + " (see above).",
                                 record);
            else if (record.quiet)
                findings.add(record.severity, catalogue.file, record.message, record);
            continue;
        }
        // A path that breaks elsewhere is said whether or not it loads here
        if (record.finding == Finding::PathTravelsBadly) {
            findings.add(record.severity, catalogue.entries, record.message, record);
            continue;
        }
        if (!isStored(catalogue, record.key)) {
            std::string& why = notLoaded[record.key];
            if (why.empty())
                why = record.why;
        } else if (record.quiet) {
            findings.add(record.severity, catalogue.entries, record.message, record);
        }
    }
    for (const auto& [key, why] : notLoaded) {
        if (isShowKey(catalogue, key))
            continue;
        if (&catalogue == &sprites && findings.spritesWithoutTexture.count(key) && findings.hides(textures))
            continue;
        findings.problem(catalogue.entries, std::string(catalogue.what) + " " + printable(key) + " in " + path +
                                                " was not loaded" + (why.empty() ? " (see above)." : ": " + why + "."),
                         at(catalogue, key));
    }
}

template <typename Map>
std::vector<std::string> sortedKeys(const Map& map)
{
    std::vector<std::string> keys;
    for (const auto& item : map)
        keys.push_back(item.first);
    std::sort(keys.begin(), keys.end());
    return keys;
}

void checkTextures(Findings& findings)
{
    std::vector<std::string> keys = sortedKeys(TextureManager::pictureSizes);
    const std::vector<std::string> uploaded = sortedKeys(TextureManager::textureStore);
    keys.insert(keys.end(), uploaded.begin(), uploaded.end());
    for (const std::string& key : keys) {
        const sf::Vector2u size = TextureManager::picture(key)->size;
        if (size.x > pictureLimits.checkNotedSize || size.y > pictureLimits.checkNotedSize)
            findings.note(Textures, "Texture " + printable(key) + " is " + Messages::pixels(size.x, size.y) +
                                        ": graphics cards that take at most " + std::to_string(pictureLimits.checkNotedSize) +
                                        " a side refuse it.",
                          at(textures, key));
        if (SpriteManager::texturesNamed.count(key) == 0 && !findings.hides(sprites))
            findings.note(Textures, "Texture " + printable(key) + " is used by no sprite.", at(textures, key));
    }
}

void checkShowKeys(const std::vector<Problem>& records, Findings& findings)
{
    for (const ShowSpriteUse& show : showSpriteKeys()) {
        if (SpriteManager::has(show.key) || findings.hides(sprites))
            continue;
        if (findings.spritesWithoutTexture.count(show.key) && findings.hides(textures))
            continue;
        if (hasEntry(records, sprites.path, show.key))
            findings.problem(Show, "The show needs sprite " + printable(show.key) + " " + show.use + "; its entry in " + sprites.path +
                                       " was not loaded (see above).",
                             at(sprites, show.key));
        else
            findings.problem(Show, "The show needs sprite " + printable(show.key) + " " + show.use + ", and " + sprites.path +
                                       " gives none.",
                             at(sprites, show.key));
    }
    const std::string song = Show::current.songKey;
    if (MusicManager::songs.count(song) == 0 && !findings.hides(music)) {
        if (hasEntry(records, music.path, song))
            findings.problem(Show, "The show needs song " + printable(song) + " to play from the start; its entry in " + music.path +
                                       " was not loaded (see above).",
                             at(music, song));
        else
            findings.problem(Show, "The show needs song " + printable(song) + " to play from the start, and " + music.path +
                                       " gives none.",
                             at(music, song));
    }
}

void checkSprites(Findings& findings)
{
    for (const std::string& key : sortedKeys(SpriteManager::spriteStore))
        if (!isShowSprite(key))
            findings.note(Sprites, "Sprite " + printable(key) + " is not in the show.", at(sprites, key));
}

// The findings as one JSON document, each with what is known of where it is
nlohmann::ordered_json findingsAsJson(const std::vector<Problem>& said, std::size_t problems, std::size_t notes)
{
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const Problem& finding : said) {
        nlohmann::ordered_json item;
        item["severity"] = finding.severity == Severity::Problem ? "problem" : "note";
        if (!finding.file.empty())
            item["file"] = finding.file;
        if (!finding.key.empty())
            item["key"] = finding.key;
        if (!finding.property.empty())
            item["property"] = finding.property;
        if (!finding.pointer.empty())
            item["pointer"] = finding.pointer;
        if (finding.line > 0) {
            item["line"] = finding.line;
            item["column"] = finding.column;
        }
        item["message"] = finding.message;
        list.push_back(std::move(item));
    }
    // NOTE: keys and paths are the author's bytes; what is not UTF-8 is
    // replaced rather than refused, so the document is always valid JSON
    return {{"findings", std::move(list)}, {"problems", problems}, {"notes", notes}};
}

std::string plural(std::size_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// A loop point that the audio library refuses leaves the loop on the whole song
void checkLoopPoint(const std::string& key, const SongFile& file, Findings& findings)
{
    const MusicManager::Song& song = MusicManager::songs.at(key);
    if (file.refusal.empty())
        return;
    if (file.sampleCount == 0 || file.channels == 0 || file.sampleRate == 0) {
        findings.problem(Songs, "Song " + printable(key) + "'s file " + printable(song.file) + " holds no sound (see above).", at(music, key));
        return;
    }
    // A loop point before the beginning: its catalogue entry has said so
    if (song.loopSpan().offset < sf::Time::Zero)
        return;
    const std::string loopsTo = std::to_string(song.loopSpan().offset.asMilliseconds()) + " ms";
    const sf::Uint64 lengthMs = file.sampleCount / file.channels * 1000 / file.sampleRate;
    findings.problem(Songs, "Song " + printable(key) + " loops back to " + loopsTo + ", at or past its end at " +
                     std::to_string(lengthMs) + " ms, so it loops from its beginning instead (see above).", at(music, key));
}

void checkSongs(const std::map<std::string, SongFile>& files, Findings& findings)
{
    for (const std::string& key : sortedKeys(MusicManager::songs)) {
        if (key != Show::current.songKey)
            findings.note(Songs, "Song " + printable(key) + " is never played: the show plays " + printable(Show::current.songKey) +
                                     " only.",
                          at(music, key));
        const SongFile& file = files.at(key);
        if (!file.opened)
            findings.problem(Songs, "Song " + printable(key) + "'s file " + printable(MusicManager::songs.at(key).file) +
                                        " cannot be opened (see above).",
                             at(music, key));
        else
            checkLoopPoint(key, file, findings);
    }
}

} // namespace

int runCheck(const CheckOptions& options)
{
    // The start, as the show makes it, without a window: settings, the
    // catalogues with every picture read in full, the overlay, then what the
    // show's first frame asks for, its song and then its slides; then every
    // other song is opened too. What the loaders find is written as a start
    // writes it, and kept
    std::vector<Problem> records;
    std::map<std::string, SongFile> songFiles;
    Findings findings;
    {
        // A lookup that fails only because its catalogue could not be read
        // is not written: the catalogue's finding counts it
        std::set<const Catalogue*> unread;
        const Problems::Reporting keep([&](const Problem& record) {
            for (const Catalogue* catalogue : {&textures, &sprites, &music})
                if (record.file == catalogue->path &&
                    (record.finding == Finding::FileUnreadable || record.finding == Finding::NotJson))
                    unread.insert(catalogue);
            if (!followsFromUnread(record, unread, findings.spritesWithoutTexture))
                Problems::write(record);
            records.push_back(record);
        });
        loadShowFile();
        loadConfig();
        TextureManager::uploads = false;
        loadCatalogues();
        SpriteManager::get(ScreenFade::overlayKey);
        songFiles[Show::current.songKey] = openSong(Show::current.songKey);
        for (const ShowEntry& entry : Show::current.entries)
            SpriteManager::get(entry.spriteKey);
        for (const std::string& key : sortedKeys(MusicManager::songs))
            if (songFiles.count(key) == 0)
                songFiles[key] = openSong(key);
    }

    checkSettings(records, findings);
    checkShowFile(records, findings);
    for (const Catalogue* catalogue : {&textures, &sprites, &music})
        checkCatalogue(*catalogue, records, findings);
    checkTextures(findings);
    checkShowKeys(records, findings);
    checkSprites(findings);
    checkSongs(songFiles, findings);
    for (const Catalogue* catalogue : {&textures, &sprites, &music}) {
        if (hasRecord(records, catalogue->path, Finding::FileUnreadable)) {
            findings.note(Folder, "Every file is read from the intro's folder, " + printable(introFolderName()) +
                                      ": name the folder that holds " + configFile +
                                      " and assets/ (orvalen-intro --check FOLDER), or run the program in it.");
            break;
        }
    }

    findings.countHidden();
    std::vector<Problem> said = findings.inOrder();
    if (options.strict)
        for (Problem& finding : said)
            finding.severity = Severity::Problem;
    const auto count = [&said](Severity severity) {
        return static_cast<std::size_t>(std::count_if(said.begin(), said.end(),
                                                      [severity](const Problem& p) { return p.severity == severity; }));
    };
    const std::size_t problems = count(Severity::Problem);
    const std::size_t notes = count(Severity::Note);
    if (options.json) {
        std::cout << findingsAsJson(said, problems, notes).dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << std::endl;
    } else {
        for (const Problem& finding : said)
            std::cerr << (finding.severity == Severity::Problem ? "Check: Problem: " : "Check: Note: ") << finding.message
                      << std::endl;
        std::cerr << "Check: " << plural(problems, "problem", "problems") << ", " << plural(notes, "note", "notes") << "."
                  << std::endl;
    }
    return problems == 0 ? 0 : 1;
}
