#include "scenes/show_file.h"

#include "base/files.h"
#include "base/messages.h"
#include "scenes/show.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <filesystem>
#include <limits>

const char* const showFile = "assets/show.json";
bool showFileRead = false;

namespace {

using nlohmann::json;

// A number of seconds that fits a float: more than 0, or 0 as well when `zero` may be
bool readSeconds(const json& value, bool zero, float& out)
{
    if (!value.is_number())
        return false;
    const double seconds = value.get<double>();
    if (!std::isfinite(seconds) || seconds > std::numeric_limits<float>::max() || seconds < 0 ||
        (seconds == 0 && !zero))
        return false;
    out = static_cast<float>(seconds);
    return out > 0 || zero;
}

// The members of the file and of an entry the program reads; any other is
// noted by the check
bool isShowMember(const std::string& name)
{
    return name == "entries" || name == "secondsPerEntry" || name == "song" || name == "fadeFromBlackSeconds" ||
           name == "$schema";
}

} // namespace

bool loadShowFile(const std::string& path)
{
    Show::reset();
    showFileRead = true;
    const std::string opened = inIntro(path);
    std::error_code error;
    if (!std::filesystem::exists(opened, error))
        return false;
    std::ifstream stream;
    if (!openForReading(opened, stream)) {
        Problems::report(Messages::showUnreadable(path));
        return false;
    }
    json document;
    try {
        stream >> document;
    } catch (const json::exception& parseError) {
        Problems::report(Messages::showNotJson(path, parseError.what()));
        return false;
    }
    if (!document.is_object()) {
        Problems::report(Messages::showNotAnObject(path, document.type_name()));
        return false;
    }
    for (auto member = document.begin(); member != document.end(); ++member)
        if (!isShowMember(member.key()))
            Problems::report(Messages::showUnknownMember(path, member.key(), ""));

    ShowRecord show;
    float secondsPerEntry = 7.f;
    if (document.contains("secondsPerEntry") && !readSeconds(document.at("secondsPerEntry"), false, secondsPerEntry)) {
        Problems::report(Messages::showInvalid(path, "secondsPerEntry", "a number of seconds greater than 0",
                                               document.at("secondsPerEntry"), "7"));
        secondsPerEntry = 7.f;
    }
    if (document.contains("song")) {
        if (document.at("song").is_string())
            show.songKey = document.at("song").get<std::string>();
        else
            Problems::report(Messages::showInvalid(path, "song", "a music key, a string", document.at("song"), show.songKey));
    }
    if (document.contains("fadeFromBlackSeconds") &&
        !readSeconds(document.at("fadeFromBlackSeconds"), true, show.fadeSeconds)) {
        Problems::report(Messages::showInvalid(path, "fadeFromBlackSeconds", "a number of seconds, 0 or more",
                                               document.at("fadeFromBlackSeconds"), "2"));
        show.fadeSeconds = 2.f;
    }

    show.entries.clear();
    const json* entries = document.contains("entries") ? &document.at("entries") : nullptr;
    if (!entries || !entries->is_array()) {
        Problems::report(Messages::showWithoutEntries(path, entries ? entries->type_name() : nullptr));
        return false;
    }
    for (std::size_t i = 0; i < entries->size(); ++i) {
        const json& entry = entries->at(i);
        if (!entry.is_object()) {
            Problems::report(Messages::showEntryLeftOut(path, i, "it is " + std::string(entry.type_name()) + ", not an object"));
            continue;
        }
        for (auto member = entry.begin(); member != entry.end(); ++member)
            if (member.key() != "sprite" && member.key() != "seconds")
                Problems::report(Messages::showUnknownMember(path, member.key(), "/entries/" + std::to_string(i)));
        ShowEntry wanted;
        wanted.seconds = secondsPerEntry;
        if (!entry.contains("sprite") || !entry.at("sprite").is_string()) {
            Problems::report(Messages::showEntryLeftOut(
                path, i, entry.contains("sprite") ? "its sprite must be a sprite key, a string, not " +
                                                         std::string(entry.at("sprite").type_name())
                                                   : "it has no sprite"));
            continue;
        }
        wanted.spriteKey = entry.at("sprite").get<std::string>();
        if (entry.contains("seconds") && !readSeconds(entry.at("seconds"), false, wanted.seconds)) {
            Problems::report(Messages::showEntryLeftOut(
                path, i, "its seconds must be a number greater than 0, not " + entry.at("seconds").dump()));
            continue;
        }
        show.entries.push_back(std::move(wanted));
    }
    if (show.entries.empty()) {
        Problems::report(Messages::showWithoutEntries(path, nullptr));
        return false;
    }
    show.fromFile = true;
    Show::current = std::move(show);
    return true;
}
