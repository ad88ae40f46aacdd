#include "base/messages.h"

#include "base/files.h"

#include <cstdio>
#include <sstream>

namespace Messages {

namespace {

Problem make(Finding finding, std::string message, Severity severity = Severity::Problem)
{
    Problem problem;
    problem.severity = severity;
    problem.finding = finding;
    problem.message = std::move(message);
    return problem;
}

Problem quiet(Problem problem)
{
    problem.quiet = true;
    return problem;
}

const char* const configFile = "config.json";

} // namespace

std::string pixels(unsigned int width, unsigned int height)
{
    return std::to_string(width) + " by " + std::to_string(height) + " pixels";
}

Problem configMissing()
{
    Problem problem = make(Finding::FileUnreadable, "Config.json missing.");
    problem.file = configFile;
    return problem;
}

Problem notJson(const char* who, const std::string& file, const std::string& parserText)
{
    Problem problem = make(Finding::NotJson, std::string(who) + ": Error while parsing JSON.");
    problem.file = file;
    problem.detail = printable(parserText);
    // The JSON library says where, in its own words: "... at line 3, column 14: ..."
    const std::size_t at = parserText.find(" at line ");
    if (at != std::string::npos)
        std::sscanf(parserText.c_str() + at, " at line %d, column %d", &problem.line, &problem.column);
    return problem;
}

Problem invalidSetting(const std::string& member, const char* typeName)
{
    Problem problem = make(Finding::InvalidProperty, std::string(configFile) + ": Invalid " + member +
                                                         " property: must be true or false, not " + typeName + ".");
    problem.file = configFile;
    problem.property = member;
    problem.pointer = "/" + member;
    return problem;
}

Problem configNotAnObject()
{
    Problem problem = quiet(make(Finding::NotAnObject, std::string(configFile) +
                                                           " is not a JSON object, so the window settings keep their defaults."));
    problem.file = configFile;
    return problem;
}

Problem unknownSetting(const std::string& member)
{
    Problem problem = quiet(make(Finding::UnknownMember, std::string(configFile) + " has a member " + printable(member) +
                                                             " that the program does not know; it is ignored.",
                                 Severity::Note));
    problem.file = configFile;
    problem.property = member;
    return problem;
}

namespace {

Problem aboutShow(Finding finding, const std::string& file, std::string message)
{
    Problem problem = make(finding, "Show: " + std::move(message));
    problem.file = file;
    return problem;
}

// Where the JSON library says its parse stopped, in its own words
void parsePosition(const std::string& parserText, Problem& problem)
{
    const std::size_t at = parserText.find(" at line ");
    if (at != std::string::npos)
        std::sscanf(parserText.c_str() + at, " at line %d, column %d", &problem.line, &problem.column);
}

} // namespace

Problem showUnreadable(const std::string& file)
{
    return aboutShow(Finding::FileUnreadable, file, "Unable to open file " + printable(file) + "; the built-in show plays.");
}

Problem showNotJson(const std::string& file, const std::string& parserText)
{
    Problem problem = aboutShow(Finding::NotJson, file, "");
    parsePosition(parserText, problem);
    problem.message += printable(file) + " is not valid JSON" +
                       (problem.line ? " (line " + std::to_string(problem.line) + ", column " +
                                           std::to_string(problem.column) + ")"
                                     : std::string()) +
                       "; the built-in show plays.";
    return problem;
}

Problem showNotAnObject(const std::string& file, const char* typeName)
{
    return aboutShow(Finding::NotAnObject, file,
                     printable(file) + " is " + typeName + ", not an object; the built-in show plays.");
}

Problem showWithoutEntries(const std::string& file, const char* entriesType)
{
    Problem problem = aboutShow(Finding::MissingMember, file,
                                printable(file) + (entriesType ? "'s entries are " + std::string(entriesType) +
                                                                     ", not an array of entries"
                                                               : " gives no entry that can play") +
                                    "; the built-in show plays.");
    problem.property = "entries";
    problem.pointer = "/entries";
    return problem;
}

Problem showInvalid(const std::string& file, const char* member, const char* wanted, const nlohmann::json& value,
                    const std::string& kept)
{
    Problem problem = aboutShow(Finding::InvalidProperty, file,
                                "Invalid " + std::string(member) + " in " + printable(file) + ": must be " + wanted +
                                    ", not " + printable(value.dump()) + "; it stays " + printable(kept) + ".");
    problem.property = member;
    problem.pointer = "/" + std::string(member);
    return problem;
}

Problem showEntryLeftOut(const std::string& file, std::size_t index, const std::string& why)
{
    Problem problem = aboutShow(Finding::EntryLeftOut, file,
                                "Entry " + std::to_string(index + 1) + " of " + printable(file) + " is left out: " +
                                    printable(why) + ".");
    problem.pointer = "/entries/" + std::to_string(index);
    return problem;
}

Problem showUnknownMember(const std::string& file, const std::string& member, const std::string& pointerToEntry)
{
    Problem problem = quiet(make(Finding::UnknownMember,
                                 printable(file) + (pointerToEntry.empty() ? "" : " at " + pointerToEntry) +
                                     " has a member " + printable(member) + " that the program does not know; it is ignored.",
                                 Severity::Note));
    problem.file = file;
    problem.property = member;
    problem.pointer = pointerToEntry + Problems::pointerTo(member);
    return problem;
}

Problem unableToOpen(const char* manager, const std::string& path)
{
    Problem problem = make(Finding::FileUnreadable, std::string(manager) + ": Unable to open file " + printable(path) + ".");
    problem.file = path;
    return problem;
}

Problem missingProp(const std::string& name)
{
    Problem problem = make(Finding::MissingMember, "validateJson: Missing prop: " + printable(name) + ".");
    problem.property = name;
    return problem;
}

Problem missingEntries(const char* manager, const char* catalogueName, const std::string& file)
{
    Problem problem = make(Finding::MissingMember, std::string(manager) + ": Missing properties in " + catalogueName + "file.");
    problem.file = file;
    return problem;
}

Problem entriesNotAnObject(const std::string& file, const char* topKey, const char* typeName)
{
    Problem problem = quiet(make(Finding::NotAnObject, file + "'s " + topKey + " is " + typeName +
                                                           ", not an object of entries by key."));
    problem.file = file;
    problem.property = topKey;
    return problem;
}

Problem unknownMember(const std::string& file, const std::string& member, const char* topKey)
{
    Problem problem = quiet(make(Finding::UnknownMember, file + " has a member " + printable(member) + " beside " +
                                                             topKey + " that the program ignores.",
                                 Severity::Note));
    problem.file = file;
    problem.property = member;
    return problem;
}

Problem missingRequired(const char* manager, const char* label, const std::string& key)
{
    // NOTE: no full stop, as ever
    Problem problem = make(Finding::MissingProperty, std::string(manager) + ": Missing " + label + " property for [" +
                                                         printable(key) + "]");
    problem.key = key;
    return problem;
}

Problem invalidProperty(const char* manager, const std::string& property, const std::string& key, const std::string& why)
{
    Problem problem = make(Finding::InvalidProperty, std::string(manager) + ": Invalid " + property + " property for [" +
                                                         printable(key) + "]: " + why + ".");
    problem.key = key;
    problem.property = property;
    return problem;
}

Problem unknownProperty(const char* what, const std::string& key, const std::string& property)
{
    Problem problem = quiet(make(Finding::UnknownProperty, std::string(what) + " " + printable(key) + " has a property " +
                                                               printable(property) +
                                                               " that the program does not know; it is ignored.",
                                 Severity::Note));
    problem.key = key;
    problem.property = property;
    return problem;
}

Problem pathTravelsBadly(const char* what, const std::string& catalogueFile, const std::string& key, const char* property,
                         const std::string& path, const PathTravel& travel)
{
    const std::string named = std::string(what) + " " + printable(key) + " in " + catalogueFile + " names its " + property +
                              " " + printable(path);
    std::string said;
    switch (travel.trouble) {
    case PathTrouble::Absolute:
        said = named + " by an absolute path, which other machines lack: put the file in the intro's folder and give its "
                       "path from there.";
        break;
    case PathTrouble::LeavesFolder:
        said = named + ", outside the intro's folder, so it does not travel with the intro: put the file in the intro's "
                       "folder and give its path from there.";
        break;
    case PathTrouble::Backslash:
        said = named + " with a backslash, a folder separator on Windows only: write " + printable(travel.fixed) + ".";
        break;
    case PathTrouble::LetterCase:
        said = named + ", but the file on disk is " + printable(travel.fixed) +
               ": the letter case matters on Linux, so the file is not found there: write " + printable(travel.fixed) + ".";
        break;
    case PathTrouble::None:
        break;
    }
    Problem problem = quiet(make(Finding::PathTravelsBadly, said, Severity::Note));
    problem.key = key;
    problem.property = property;
    return problem;
}

Problem duplicateKey(const char* manager, const char* what, const std::string& key)
{
    Problem problem = make(Finding::DuplicateKey, std::string(manager) + ": " + what + " with key " + printable(key) +
                                                      " already exists.");
    problem.key = key;
    return problem;
}

Problem missingKey(const char* manager, const char* what, const std::string& key)
{
    Problem problem = make(Finding::MissingKey, std::string(manager) + ": " + what + " with key " + printable(key) +
                                                    " does not exist.");
    problem.key = key;
    return problem;
}

Problem unloadablePicture(const std::string& file)
{
    return make(Finding::UnloadablePicture, "TextureManager: Unable to load file " + printable(file) + ".");
}

Problem rectangleOutside(const std::string& sprite, int x, int y, int width, int height, const std::string& texture,
                         unsigned int textureWidth, unsigned int textureHeight)
{
    std::ostringstream text;
    text << "Sprite " << printable(sprite) << "'s rectangle (x " << x << ", y " << y << ", " << width << " by " << height
         << ") reaches outside its texture " << printable(texture) << " (" << pixels(textureWidth, textureHeight)
         << "), which is not repeated.";
    Problem problem = quiet(make(Finding::RectangleOutside, text.str()));
    problem.key = sprite;
    return problem;
}

Problem loopsBeforeItsBeginning(const std::string& key, long long milliseconds)
{
    Problem problem = quiet(make(Finding::DoubtfulValue, "Song " + printable(key) + " loops back to " +
                                                             std::to_string(milliseconds) +
                                                             " ms, before its beginning, so it loops from its beginning instead."));
    problem.key = key;
    problem.property = "loopTo";
    return problem;
}

Problem volumeAboveFull(const std::string& key, int volume)
{
    Problem problem = quiet(make(Finding::DoubtfulValue, "Song " + printable(key) + "'s volume is " + std::to_string(volume) +
                                                             ": the player plays nothing louder than 100.",
                                 Severity::Note));
    problem.key = key;
    problem.property = "volume";
    return problem;
}

Problem unusedByFit(const std::string& sprite, const char* property, const std::string& fit)
{
    Problem problem = quiet(make(Finding::UnusedProperty, "Sprite " + printable(sprite) + " is fitted (" + fit + "), so its " +
                                                              property + " is not used.",
                                 Severity::Note));
    problem.key = sprite;
    problem.property = property;
    return problem;
}

Problem unloadableSong(const std::string& file)
{
    return make(Finding::UnloadableSong, "MusicManager: Unable to load music file " + printable(file) + ".");
}

Problem noAudioDevice(const std::string& key)
{
    return make(Finding::NoAudioDevice, "MusicManager: No audio device could be opened; " + printable(key) +
                                            " will not play and the show runs silent.");
}

Problem loopPointRefused(const std::string& libraryText)
{
    return make(Finding::LoopPointRefused, libraryText);
}

Problem noDisplay(const std::string& displayName)
{
    return make(Finding::NoDisplay, "Window: Unable to open the display " + displayName +
                                        "; the intro needs a graphical desktop.");
}

Problem noIntro(const std::string& folder)
{
    return make(Finding::NoIntro, "Intro: No intro in " + printable(folder) +
                                      ": an intro's folder holds config.json, assets/textures.json, "
                                      "assets/sprites.json and assets/music.json.");
}

Problem noPicture(unsigned int width, unsigned int height)
{
    return make(Finding::NotWritten, "Preview: Unable to make a picture of " + std::to_string(width) + " by " +
                                         std::to_string(height) + ".");
}

Problem notWritten(const std::string& path)
{
    return make(Finding::NotWritten, "Preview: Unable to write " + printable(path) + ".");
}

Problem exportFailed(const std::string& path, const std::string& why)
{
    return make(Finding::NotWritten, "Export: Unable to write " + printable(path) + " (" + why + "); nothing was written.");
}

Problem exportStopped(const std::string& path, const std::string& signal)
{
    return make(Finding::NotWritten, "Export: Stopped by " + signal + "; " + printable(path) + " was not written.");
}

} // namespace Messages
