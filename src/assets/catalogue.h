#pragma once
// The procedure that all three catalogue files share: open, parse, check the
// top-level member, then hand each entry to the catalogue that owns it.
// Every failure is one line on standard error; nothing here throws.

#include "base/files.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What differs between the catalogues, besides what they do with a good entry
struct CatalogueFormat {
    const char* manager;          // "TextureManager", used as the prefix of every line
    const char* topKey;           // member of the document that holds the entries
    const char* requiredProperty; // member every entry must have
    const char* requiredLabel;    // the same name as it appears in the missing-property line
    const char* catalogueName;    // "textures" in "Missing properties in texturesfile."
};

using EntryHandler = std::function<void(const std::string& key, const nlohmann::json& entry)>;

bool validateJson(const nlohmann::json& document, const std::vector<std::string>& names); // True when the document has every name; else one line for the first missing one
bool loadCatalogueFile(const std::string& path, const CatalogueFormat& format,
                       const std::function<bool(nlohmann::json&&)>& loadEntries); // Opens and parses a catalogue, then hands the document over to its entry pass

// A catalogue file opened and parsed, with what went wrong not yet said:
// loadCatalogueFile in two steps, so that a file can be read ahead of its load
struct ReadCatalogue {
    bool opened = false;      // false when the file could not be opened
    std::string parseError;   // the parser's message; empty when the whole file parsed
    nlohmann::json document;  // what was parsed, up to any error
};
ReadCatalogue readCatalogueFile(const std::string& path); // Opens and parses; writes nothing
bool loadReadCatalogue(const std::string& path, ReadCatalogue&& read, const CatalogueFormat& format,
                       const std::function<bool(nlohmann::json&&)>& loadEntries); // Writes what reading found, as loadCatalogueFile would have, then runs the entry pass
bool passCatalogueEntries(const nlohmann::json& document, const CatalogueFormat& format,
                          const EntryHandler& handleEntry); // Checks the top-level member and walks the entries in key order
// NOTE: the same pass over a document the caller gives up: each entry's
// members are freed right after it is handled, while they are still in the
// cache, which costs far less than freeing the whole document at the end
bool passCatalogueEntries(nlohmann::json&& document, const CatalogueFormat& format, const EntryHandler& handleEntry);

// Typed reads of one entry property. Each gives false, with the reason in
// `why`, when the value has the wrong JSON type or does not fit its type.
// NOTE: numbers are range-checked before converting; a float out of an int's
// range is undefined behaviour in C++.
bool readString(const nlohmann::json& value, std::string& out, std::string& why);
bool readBool(const nlohmann::json& value, bool& out, std::string& why);
bool readInt32(const nlohmann::json& value, std::int32_t& out, std::string& why);   // Numbers truncate toward zero; true and false count as 1 and 0
bool readFloat(const nlohmann::json& value, float& out, std::string& why);          // Any finite number that fits a float; true and false count as 1 and 0
bool readMilliseconds(const nlohmann::json& value, double& out, std::string& why);  // Numbers only, whose truncated value fits a signed 32-bit integer

// Writes manager + ": Invalid " + property + " property for [" + key + "]: " + why
void reportInvalidProperty(const char* manager, const std::string& property, const std::string& key, const std::string& why);
