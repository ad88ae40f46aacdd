#include "assets/catalogue.h"

#include "base/messages.h"

#include <cmath>
#include <fstream>
#include <limits>
#include <utility>

using nlohmann::json;

namespace {

const char* typeName(const json& value) { return value.type_name(); }

bool wrongType(const json& value, const char* wanted, std::string& why)
{
    why = std::string("must be ") + wanted + ", not " + typeName(value);
    return false;
}

} // namespace

namespace {

// The file whose document is being loaded, as load() was given it; null
// when a document comes without a file, which is then the format's own
const std::string* fileInHand = nullptr;

struct LoadingFile {
    explicit LoadingFile(const std::string& path) : outer(fileInHand) { fileInHand = &path; }
    ~LoadingFile() { fileInHand = outer; }
    const std::string* outer;
};

std::string fileOf(const CatalogueFormat& format)
{
    return fileInHand ? *fileInHand : std::string(format.file);
}

// What the catalogue pass finds beside the entries: only the check speaks of it
void reportBesideTheEntries(const json& document, const CatalogueFormat& format, const std::string& file)
{
    if (document.is_object() && document.contains(format.topKey) && !document.at(format.topKey).is_object())
        Problems::report(Messages::entriesNotAnObject(file, format.topKey, document.at(format.topKey).type_name()));
    if (!document.is_object())
        return;
    for (auto member = document.begin(); member != document.end(); ++member)
        if (member.key() != format.topKey && member.key() != schemaMember)
            Problems::report(Messages::unknownMember(file, member.key(), format.topKey));
}

} // namespace

bool validateJson(const json& document, const std::vector<std::string>& names)
{
    for (const std::string& name : names) {
        if (!document.is_object() || !document.contains(name)) {
            Problems::report(Messages::missingProp(name));
            return false;
        }
    }
    return true;
}

ReadCatalogue readCatalogueFile(const std::string& path)
{
    ReadCatalogue read;
    std::ifstream file;
    if (!openForReading(inIntro(path), file))
        return read;
    read.opened = true;
    // NOTE: on a parse error the document keeps what was parsed before it,
    // so complete entries ahead of the error still load
    try {
        file >> read.document;
    } catch (const json::exception& error) {
        read.parseError = error.what();
    }
    return read;
}

bool loadReadCatalogue(const std::string& path, ReadCatalogue&& read, const CatalogueFormat& format,
                       const std::function<bool(json&&)>& loadEntries)
{
    if (!read.opened) {
        Problems::report(Messages::unableToOpen(format.manager, path));
        return false;
    }
    if (!read.parseError.empty())
        Problems::report(Messages::notJson(format.manager, path, read.parseError));
    const LoadingFile loading(path);
    return loadEntries(std::move(read.document));
}

void notePathTravel(const CatalogueFormat& format, const std::string& key, const json& entry, const char* property)
{
    if (!entry.is_object() || !entry.contains(property) || !entry.at(property).is_string())
        return;
    const std::string& path = entry.at(property).get_ref<const std::string&>();
    const PathTravel travel = howPathTravels(path);
    if (travel.trouble != PathTrouble::None)
        Problems::report(Messages::pathTravelsBadly(format.what, format.file, key, property, path, travel));
}

bool loadCatalogueFile(const std::string& path, const CatalogueFormat& format,
                       const std::function<bool(json&&)>& loadEntries)
{
    return loadReadCatalogue(path, readCatalogueFile(path), format, loadEntries);
}

namespace {

// Handles one entry, or says what it lacks; records made meanwhile are about it
void passEntry(const std::string& file, const std::string& entriesPointer, const std::string& key, const json& entry,
               const CatalogueFormat& format, const EntryHandler& handleEntry)
{
    const Problems::InEntry inEntry(file, entriesPointer, key);
    if (!entry.is_object() || !entry.contains(format.requiredProperty)) {
        Problems::report(Messages::missingRequired(format.manager, format.requiredLabel, key));
        return;
    }
    handleEntry(key, entry);
}

} // namespace

bool passCatalogueEntries(const json& document, const CatalogueFormat& format, const EntryHandler& handleEntry)
{
    const std::string file = fileOf(format);
    if (!validateJson(document, {format.topKey})) {
        Problems::report(Messages::missingEntries(format.manager, format.catalogueName, file));
        reportBesideTheEntries(document, format, file);
        return false;
    }
    reportBesideTheEntries(document, format, file);
    const std::string entriesPointer = Problems::pointerTo(format.topKey);
    const json& entries = document.at(format.topKey);
    for (const auto& item : entries.items())
        passEntry(file, entriesPointer, item.key(), item.value(), format, handleEntry);
    return true;
}

bool passCatalogueEntries(json&& document, const CatalogueFormat& format, const EntryHandler& handleEntry)
{
    // Entries held in anything but an object are walked as the other pass walks them
    if (!document.is_object() || !document.contains(format.topKey) || !document.at(format.topKey).is_object())
        return passCatalogueEntries(static_cast<const json&>(document), format, handleEntry);
    const std::string file = fileOf(format);
    reportBesideTheEntries(document, format, file);
    const std::string entriesPointer = Problems::pointerTo(format.topKey);
    json& entries = document.at(format.topKey);
    for (auto item = entries.begin(); item != entries.end(); item = entries.erase(item))
        passEntry(file, entriesPointer, item.key(), *item, format, handleEntry);
    return true;
}

bool readString(const json& value, std::string& out, std::string& why)
{
    if (!value.is_string())
        return wrongType(value, "a string", why);
    out = value.get_ref<const std::string&>();
    return true;
}

bool readBool(const json& value, bool& out, std::string& why)
{
    if (!value.is_boolean())
        return wrongType(value, "true or false", why);
    out = value.get<bool>();
    return true;
}

bool readInt32(const json& value, std::int32_t& out, std::string& why)
{
    constexpr auto low = std::numeric_limits<std::int32_t>::min();
    constexpr auto high = std::numeric_limits<std::int32_t>::max();
    if (value.is_boolean()) {
        out = value.get<bool>() ? 1 : 0;
        return true;
    }
    if (value.is_number_unsigned()) {
        if (value.get<std::uint64_t>() > static_cast<std::uint64_t>(high)) {
            why = "does not fit a 32-bit integer";
            return false;
        }
        out = static_cast<std::int32_t>(value.get<std::uint64_t>());
        return true;
    }
    if (value.is_number_integer()) {
        const std::int64_t number = value.get<std::int64_t>();
        if (number < low || number > high) {
            why = "does not fit a 32-bit integer";
            return false;
        }
        out = static_cast<std::int32_t>(number);
        return true;
    }
    if (value.is_number_float()) {
        const double number = std::trunc(value.get<double>());
        if (!(number >= low && number <= high)) {
            why = "does not fit a 32-bit integer";
            return false;
        }
        out = static_cast<std::int32_t>(number);
        return true;
    }
    return wrongType(value, "a number", why);
}

bool readFloat(const json& value, float& out, std::string& why)
{
    if (value.is_boolean()) {
        out = value.get<bool>() ? 1.0f : 0.0f;
        return true;
    }
    if (!value.is_number())
        return wrongType(value, "a number", why);
    const double number = value.get<double>();
    if (!std::isfinite(number) || std::fabs(number) > std::numeric_limits<float>::max()) {
        why = "does not fit a 32-bit float";
        return false;
    }
    out = static_cast<float>(number);
    return true;
}

bool readMilliseconds(const json& value, double& out, std::string& why)
{
    if (!value.is_number())
        return wrongType(value, "a number", why);
    const double number = value.get<double>();
    const double whole = std::trunc(number);
    if (!(whole >= std::numeric_limits<std::int32_t>::min() && whole <= std::numeric_limits<std::int32_t>::max())) {
        why = "does not fit a signed 32-bit count of milliseconds";
        return false;
    }
    out = number;
    return true;
}

void reportInvalidProperty(const char* manager, const std::string& property, const std::string& key, const std::string& why)
{
    Problems::report(Messages::invalidProperty(manager, property, key, why));
}

std::vector<std::string> valuesOf(const char* oneOf)
{
    std::vector<std::string> values;
    std::string value;
    for (const char* c = oneOf; *c; ++c) {
        if (*c == '|') {
            values.push_back(value);
            value.clear();
        } else {
            value += *c;
        }
    }
    if (!value.empty())
        values.push_back(value);
    return values;
}

bool isOneOf(const std::string& value, const char* oneOf, std::string& why)
{
    const std::vector<std::string> values = valuesOf(oneOf);
    if (std::find(values.begin(), values.end(), value) != values.end())
        return true;
    why = "must be ";
    for (std::size_t i = 0; i < values.size(); ++i)
        why += values[i] + (i + 2 < values.size() ? ", " : i + 2 == values.size() ? " or " : "");
    why += ", not " + printable(value);
    return false;
}

void reportUnknownProperty(const CatalogueFormat& format, const std::string& key, const std::string& property)
{
    Problems::report(Messages::unknownProperty(format.what, key, property));
}
