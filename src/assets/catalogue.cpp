#include "assets/catalogue.h"

#include <cmath>
#include <fstream>
#include <iostream>
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

bool validateJson(const json& document, const std::vector<std::string>& names)
{
    for (const std::string& name : names) {
        if (!document.is_object() || !document.contains(name)) {
            std::cerr << "validateJson: Missing prop: " << printable(name) << "." << std::endl;
            return false;
        }
    }
    return true;
}

ReadCatalogue readCatalogueFile(const std::string& path)
{
    ReadCatalogue read;
    std::ifstream file;
    if (!openForReading(path, file))
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
        std::cerr << format.manager << ": Unable to open file " << printable(path) << "." << std::endl;
        return false;
    }
    if (!read.parseError.empty()) {
        std::cerr << format.manager << ": Error while parsing JSON." << std::endl;
        std::cerr << printable(read.parseError) << std::endl;
    }
    return loadEntries(std::move(read.document));
}

bool loadCatalogueFile(const std::string& path, const CatalogueFormat& format,
                       const std::function<bool(json&&)>& loadEntries)
{
    return loadReadCatalogue(path, readCatalogueFile(path), format, loadEntries);
}

namespace {

void reportMissingRequired(const CatalogueFormat& format, const std::string& key)
{
    std::cerr << format.manager << ": Missing " << format.requiredLabel << " property for [" << printable(key) << "]"
              << std::endl;
}

} // namespace

bool passCatalogueEntries(const json& document, const CatalogueFormat& format, const EntryHandler& handleEntry)
{
    if (!validateJson(document, {format.topKey})) {
        std::cerr << format.manager << ": Missing properties in " << format.catalogueName << "file." << std::endl;
        return false;
    }
    const json& entries = document.at(format.topKey);
    for (const auto& item : entries.items()) {
        const std::string& key = item.key();
        const json& entry = item.value();
        if (!entry.is_object() || !entry.contains(format.requiredProperty)) {
            reportMissingRequired(format, key);
            continue;
        }
        handleEntry(key, entry);
    }
    return true;
}

bool passCatalogueEntries(json&& document, const CatalogueFormat& format, const EntryHandler& handleEntry)
{
    // Entries held in anything but an object are walked as the other pass walks them
    if (!document.is_object() || !document.contains(format.topKey) || !document.at(format.topKey).is_object())
        return passCatalogueEntries(static_cast<const json&>(document), format, handleEntry);
    json& entries = document.at(format.topKey);
    for (auto item = entries.begin(); item != entries.end(); item = entries.erase(item)) {
        if (!item->is_object() || !item->contains(format.requiredProperty)) {
            reportMissingRequired(format, item.key());
            continue;
        }
        handleEntry(item.key(), *item);
    }
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
    std::cerr << manager << ": Invalid " << property << " property for [" << printable(key) << "]: " << why << "."
              << std::endl;
}
