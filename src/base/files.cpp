#include "base/files.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <map>
#include <mutex>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

std::string introFolder;

std::string inIntro(const std::string& path)
{
    if (introFolder.empty() || path.empty() || std::filesystem::path(path).is_absolute())
        return path;
    return (std::filesystem::path(introFolder) / path).string();
}

bool isSpecialFile(const std::string& path)
{
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    return std::filesystem::exists(status) && !std::filesystem::is_regular_file(status);
}

namespace {

bool isSeparator(char c)
{
    return c == '/' || c == '\\';
}

// "C:", "c:\\..." or "\\\\server\\...": absolute on Windows, whatever this system says
bool isAbsoluteAnywhere(const std::string& path)
{
    if (!path.empty() && isSeparator(path[0]))
        return true;
    return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

// The path's parts, split at either separator, empty ones and "." left out
std::vector<std::string> partsOf(const std::string& path)
{
    std::vector<std::string> parts;
    std::string part;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || isSeparator(path[i])) {
            if (!part.empty() && part != ".")
                parts.push_back(part);
            part.clear();
        } else {
            part += path[i];
        }
    }
    return parts;
}

bool leavesFolder(const std::vector<std::string>& parts)
{
    int depth = 0;
    for (const std::string& part : parts) {
        depth += part == ".." ? -1 : 1;
        if (depth < 0)
            return true;
    }
    return false;
}

bool sameIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

// The names in a folder, sorted. A catalogue names hundreds of pictures in
// one folder, and reading it whole for each of them made a load grow with
// the square of their number: a listing is kept while the folder's time of
// change stays the same. That time moves in steps of a few milliseconds, so
// a folder changed in the last two seconds is read again each time.
const std::vector<std::string>& namesIn(const std::filesystem::path& folder)
{
    struct Listing {
        std::filesystem::file_time_type changed;
        std::vector<std::string> names;
    };
    static std::map<std::string, Listing> listings;
    std::error_code error;
    // Kept by the folder's whole path: the working folder may change
    const std::filesystem::path where = std::filesystem::absolute(folder.empty() ? "." : folder, error);
    const std::filesystem::file_time_type changed = std::filesystem::last_write_time(where, error);
    Listing& listing = listings[where.string()];
    const bool recent = error || std::filesystem::file_time_type::clock::now() - changed < std::chrono::seconds(2);
    if (!recent && listing.changed == changed)
        return listing.names;
    listing.changed = error ? std::filesystem::file_time_type() : changed;
    listing.names.clear();
    for (std::filesystem::directory_iterator it(where, error), end; !error && it != end; it.increment(error))
        listing.names.push_back(it->path().filename().string());
    std::sort(listing.names.begin(), listing.names.end());
    return listing.names;
}

// The name in `folder` that `name` means: itself when it is there, else the
// one that differs only in letter case (the first, in name order); empty when none
std::string nameOnDisk(const std::filesystem::path& folder, const std::string& name)
{
    // NOTE: a game may load its intro on a thread of its own
    static std::mutex listingsInUse;
    const std::lock_guard<std::mutex> lock(listingsInUse);
    const std::vector<std::string>& names = namesIn(folder);
    if (std::binary_search(names.begin(), names.end(), name))
        return name;
    for (const std::string& entry : names)
        if (sameIgnoringCase(entry, name))
            return entry;
    return "";
}

} // namespace

PathTravel howPathTravels(const std::string& path)
{
    PathTravel travel;
    if (isAbsoluteAnywhere(path)) {
        travel.trouble = PathTrouble::Absolute;
        return travel;
    }
    const std::vector<std::string> parts = partsOf(path);
    if (leavesFolder(parts)) {
        travel.trouble = PathTrouble::LeavesFolder;
        return travel;
    }
    if (path.find('\\') != std::string::npos) {
        travel.trouble = PathTrouble::Backslash;
        travel.fixed = path;
        std::replace(travel.fixed.begin(), travel.fixed.end(), '\\', '/');
        return travel;
    }
    // Each part against the names in the folder that holds it; a path that
    // climbs and comes back down is left to its loader
    if (std::find(parts.begin(), parts.end(), "..") != parts.end())
        return travel;
    std::filesystem::path folder = introFolder;
    std::string fixed = path;
    std::size_t searchFrom = 0;
    bool differs = false;
    for (const std::string& part : parts) {
        const std::string onDisk = nameOnDisk(folder, part);
        if (onDisk.empty())
            return travel; // not there at all: its loader says so
        // The part's place in the path as written
        const std::size_t at = fixed.find(part, searchFrom);
        if (onDisk != part) {
            fixed.replace(at, part.size(), onDisk);
            differs = true;
        }
        searchFrom = at + onDisk.size();
        folder /= onDisk;
    }
    if (differs) {
        travel.trouble = PathTrouble::LetterCase;
        travel.fixed = fixed;
    }
    return travel;
}

bool openForReading(const std::string& path, std::ifstream& stream)
{
    if (isSpecialFile(path))
        return false;
    stream.open(path);
    return stream.is_open();
}

std::string printable(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (c < 0x20 || c == 0x7f) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02x", c);
            out += escape;
        } else
            out += static_cast<char>(c);
    }
    return out;
}
