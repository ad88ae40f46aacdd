#pragma once
// The procedure that all three catalogue files share: open, parse, check the
// top-level member, then hand each entry to the catalogue that owns it.
// Every failure is a record for the reporter (base/problems.h), each one line
// of a start; nothing here throws.

#include "base/files.h"
#include "base/problems.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

// What differs between the catalogues, besides what they do with a good entry
struct CatalogueFormat {
    const char* manager;          // "TextureManager", used as the prefix of every line
    const char* topKey;           // member of the document that holds the entries
    const char* requiredProperty; // member every entry must have
    const char* requiredLabel;    // the same name as it appears in the missing-property line
    const char* catalogueName;    // "textures" in "Missing properties in texturesfile."
    const char* file = "";        // "assets/textures.json": the file its records name when a document comes without one
    const char* what = "";        // "Texture": one entry, as the check names it
};

// Where an editor finds a file's schema; the program ignores it, rightly
constexpr const char* schemaMember = "$schema";

// One property an entry may have: its name, the field of the entry it sets
// (whose type says what JSON it takes, and whose initial value is its
// default), and its rules. A catalogue lists its properties once, in the
// order they are checked: only the first bad one of an entry is reported.
// That list drives the loader, the check's notes on unknown properties and
// the schemas' agreement test.
template <typename Entry>
struct Property {
    const char* name;
    // std::string: a string; bool: true or false; std::int32_t: a number,
    // truncated, or true and false as 1 and 0; float: a number, or true and
    // false; double: a number of milliseconds that fits a signed 32-bit count
    std::variant<std::string Entry::*, bool Entry::*, std::int32_t Entry::*, float Entry::*, double Entry::*> field;
    bool required = false;    // the entry is skipped without it
    bool nonNegative = false; // a value below 0 is refused
    const char* oneOf = "";   // for a string: the values it may take, between bars ("none|contain|cover"); empty: any
};

// The values a string property may take, in the declared order
std::vector<std::string> valuesOf(const char* oneOf);
bool isOneOf(const std::string& value, const char* oneOf, std::string& why); // False, with why, for a value not listed

// A quiet note for an entry's path (the property `property`, when it is a
// string) that will break on another machine; nothing for one that travels
void notePathTravel(const CatalogueFormat& format, const std::string& key, const nlohmann::json& entry,
                    const char* property);

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

// Reports manager + ": Invalid " + property + " property for [" + key + "]: " + why
void reportInvalidProperty(const char* manager, const std::string& property, const std::string& key, const std::string& why);

// A catalogue's properties, in the order they are checked, and by name
template <typename Entry, std::size_t Count>
struct PropertyList {
    std::array<Property<Entry>, Count> inOrder;
    std::array<std::pair<std::string_view, std::size_t>, Count> byName; // names in byte order, with where each stands in inOrder

    explicit PropertyList(const std::array<Property<Entry>, Count>& properties) : inOrder(properties)
    {
        for (std::size_t i = 0; i < Count; ++i)
            byName[i] = {properties[i].name, i};
        std::sort(byName.begin(), byName.end());
    }
};

// A property as readers other than the loader see it: the schemas' test
struct PropertyInfo {
    std::string name;
    std::vector<std::string> jsonTypes; // the JSON types it takes: "string", "boolean", "number"
    bool required = false;
    bool nonNegative = false;
    std::vector<std::string> oneOf;     // the values a string may take; empty: any
    nlohmann::json defaultValue;        // null for a required property
};

template <typename Entry, std::size_t Count>
std::vector<PropertyInfo> describe(const PropertyList<Entry, Count>& properties)
{
    const Entry defaults{};
    std::vector<PropertyInfo> described;
    for (const Property<Entry>& property : properties.inOrder) {
        PropertyInfo info{property.name, {}, property.required, property.nonNegative, valuesOf(property.oneOf), nullptr};
        std::visit(
            [&](auto field) {
                using Value = std::decay_t<decltype(defaults.*field)>;
                if constexpr (std::is_same_v<Value, std::string>)
                    info.jsonTypes = {"string"};
                else if constexpr (std::is_same_v<Value, bool>)
                    info.jsonTypes = {"boolean"};
                else if constexpr (std::is_same_v<Value, double>)
                    info.jsonTypes = {"number"};
                else
                    info.jsonTypes = {"number", "boolean"};
                if (!property.required)
                    info.defaultValue = defaults.*field;
            },
            property.field);
        described.push_back(info);
    }
    return described;
}

// Reads every declared property an entry has into `out`, in the declared
// order; false, after reporting the first bad one, when one cannot be read.
// Members the declaration lacks are reported as quiet notes for the check.
// NOTE: a parsed entry keeps its members in byte order, so one walk over
// the entry finds them all; a large catalogue spent most of its pass
// searching for each property in turn
template <typename Entry, std::size_t Count>
bool readProperties(const PropertyList<Entry, Count>& properties, const CatalogueFormat& format, const std::string& key,
                    const nlohmann::json& entry, Entry& out);

// How each type of field is read
inline bool readValue(const nlohmann::json& value, std::string& out, std::string& why) { return readString(value, out, why); }
inline bool readValue(const nlohmann::json& value, bool& out, std::string& why) { return readBool(value, out, why); }
inline bool readValue(const nlohmann::json& value, std::int32_t& out, std::string& why) { return readInt32(value, out, why); }
inline bool readValue(const nlohmann::json& value, float& out, std::string& why) { return readFloat(value, out, why); }
inline bool readValue(const nlohmann::json& value, double& out, std::string& why) { return readMilliseconds(value, out, why); }

void reportUnknownProperty(const CatalogueFormat& format, const std::string& key, const std::string& property);

template <typename Entry, std::size_t Count>
bool readProperties(const PropertyList<Entry, Count>& properties, const CatalogueFormat& format, const std::string& key,
                    const nlohmann::json& entry, Entry& out)
{
    static_assert(std::is_same_v<nlohmann::json::object_comparator_t, std::less<>>,
                  "the walk below needs members kept in byte order");
    const auto& sorted = properties.byName;
    std::array<const nlohmann::json*, Count> found{};
    std::size_t next = 0;
    for (auto member = entry.begin(); member != entry.end(); ++member) {
        const std::string& name = member.key();
        while (next < Count && sorted[next].first < name)
            ++next;
        if (next < Count && sorted[next].first == name)
            found[sorted[next++].second] = &member.value();
        else
            reportUnknownProperty(format, key, name);
    }
    std::string why;
    for (std::size_t i = 0; i < Count; ++i) {
        if (!found[i])
            continue;
        const Property<Entry>& property = properties.inOrder[i];
        const bool read = std::visit(
            [&](auto field) {
                auto& value = out.*field;
                if (!readValue(*found[i], value, why))
                    return false;
                using Value = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<Value, std::string>) {
                    if (*property.oneOf && !isOneOf(value, property.oneOf, why))
                        return false;
                }
                if constexpr (std::is_arithmetic_v<Value> && !std::is_same_v<Value, bool>) {
                    // NOTE: the audio library refuses a negative gain and keeps
                    // the last one, usually full volume: such a value is an error
                    if (property.nonNegative && value < 0) {
                        why = "must not be negative";
                        return false;
                    }
                }
                return true;
            },
            property.field);
        if (!read) {
            reportInvalidProperty(format.manager, property.name, key, why);
            return false;
        }
    }
    return true;
}
