#pragma once
// Every line the program writes for a problem, word for word, each made into
// its record here and nowhere else.
// NOTE: these texts are what the program promises, odd as some of them are
// ("Config.json missing.", "validateJson: Missing prop: ", "Missing
// properties in texturesfile.", a missing-property line without a full
// stop): authors' scripts and editors match them as they are. Do not tidy
// them. A quiet record's text is the check's own, free to improve.

#include "base/files.h"
#include "base/problems.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <string>

namespace Messages {

// The settings file
Problem configMissing();                                                      // "Config.json missing."
Problem notJson(const char* who, const std::string& file, const std::string& parserText); // who + ": Error while parsing JSON.", then the parser's text
Problem invalidSetting(const std::string& member, const char* typeName);     // "config.json: Invalid vsync property: must be true or false, not string."
Problem configNotAnObject();                                                  // quiet
Problem unknownSetting(const std::string& member);                            // quiet note

// The show file; `file` is as the intro names it
Problem showUnreadable(const std::string& file);
Problem showNotJson(const std::string& file, const std::string& parserText);
Problem showNotAnObject(const std::string& file, const char* typeName);
Problem showWithoutEntries(const std::string& file, const char* entriesType); // null: none at all, or none left
Problem showInvalid(const std::string& file, const char* member, const char* wanted, const nlohmann::json& value,
                    const std::string& kept);
Problem showEntryLeftOut(const std::string& file, std::size_t index, const std::string& why);
Problem showUnknownMember(const std::string& file, const std::string& member, const std::string& pointerToEntry); // quiet note

// Any catalogue; `manager` is "TextureManager", "SpriteManager" or "MusicManager"
Problem unableToOpen(const char* manager, const std::string& path);
Problem missingProp(const std::string& name);                                 // validateJson's line
Problem missingEntries(const char* manager, const char* catalogueName, const std::string& file);
Problem entriesNotAnObject(const std::string& file, const char* topKey, const char* typeName); // quiet
Problem unknownMember(const std::string& file, const std::string& member, const char* topKey); // quiet note
Problem missingRequired(const char* manager, const char* label, const std::string& key);
Problem invalidProperty(const char* manager, const std::string& property, const std::string& key, const std::string& why);
Problem unknownProperty(const char* what, const std::string& key, const std::string& property); // quiet note: what is "Texture", "Sprite" or "Song"
// quiet note: an entry's path that breaks on another machine, with the fix
Problem pathTravelsBadly(const char* what, const std::string& catalogueFile, const std::string& key, const char* property,
                         const std::string& path, const PathTravel& travel);
Problem duplicateKey(const char* manager, const char* what, const std::string& key);
Problem missingKey(const char* manager, const char* what, const std::string& key);

// Pictures, sprites and songs
Problem unloadablePicture(const std::string& file);
Problem rectangleOutside(const std::string& sprite, int x, int y, int width, int height, const std::string& texture,
                         unsigned int textureWidth, unsigned int textureHeight); // quiet
Problem loopsBeforeItsBeginning(const std::string& key, long long milliseconds); // quiet
Problem volumeAboveFull(const std::string& key, int volume);                    // quiet note
Problem unusedByFit(const std::string& sprite, const char* property, const std::string& fit); // quiet note
Problem unloadableSong(const std::string& file);
Problem noAudioDevice(const std::string& key);
Problem loopPointRefused(const std::string& libraryText);                    // the audio library's own words

// The window and the files the author tools write
Problem noDisplay(const std::string& displayName);
Problem noIntro(const std::string& folder);                                    // after the lines of the files it lacks
Problem noPicture(unsigned int width, unsigned int height);                   // "Preview: Unable to make a picture of 1920 by 1080."
Problem notWritten(const std::string& path);
Problem exportFailed(const std::string& path, const std::string& why); // "Export: Unable to write intro.mp4 (writing: No space left on device); nothing was written."
Problem exportStopped(const std::string& path, const std::string& signal); // "Export: Stopped by SIGTERM; intro.mp4 was not written."

std::string pixels(unsigned int width, unsigned int height);                  // "4 by 4 pixels"

} // namespace Messages
