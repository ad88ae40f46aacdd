#include "scenes/show.h"

#include "base/files.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace Show {

ShowRecord current;

void reset()
{
    current = ShowRecord();
}

double entryBegins(const ShowRecord& show, std::size_t entry)
{
    // Each entry's own seconds, added in entry order: whole seconds, as the
    // built-in show has, add up exactly
    double begins = 0;
    for (std::size_t i = 0; i < entry && i < show.entries.size(); ++i)
        begins += show.entries[i].seconds;
    return begins;
}

double length(const ShowRecord& show)
{
    return entryBegins(show, show.entries.size());
}

std::size_t entryAt(const ShowRecord& show, double seconds)
{
    double ends = 0;
    for (std::size_t i = 0; i < show.entries.size(); ++i) {
        ends += show.entries[i].seconds;
        if (seconds < ends)
            return i;
    }
    return show.entries.size();
}

bool usesSprite(const ShowRecord& show, const std::string& key)
{
    return std::any_of(show.entries.begin(), show.entries.end(),
                       [&](const ShowEntry& entry) { return entry.spriteKey == key; });
}

// NOTE: the run is the entries of the key that follow its first one without
// a break; in the built-in show every repeated key comes in one run
std::vector<ShowSpriteUse> spriteUses(const ShowRecord& show)
{
    std::vector<ShowSpriteUse> uses;
    const std::vector<ShowEntry>& entries = show.entries;
    for (std::size_t first = 0; first < entries.size(); ++first) {
        const std::string& key = entries[first].spriteKey;
        if (std::any_of(uses.begin(), uses.end(), [&](const ShowSpriteUse& u) { return u.key == key; }))
            continue;
        std::size_t last = first;
        while (last + 1 < entries.size() && key == entries[last + 1].spriteKey)
            ++last;
        std::ostringstream use;
        if (first == last)
            use << "for entry " << first + 1;
        else if (last == first + 1)
            use << "for entries " << first + 1 << " and " << last + 1;
        else
            use << "for entries " << first + 1 << " to " << last + 1;
        use << " (" << clockTime(entryBegins(show, first)) << " to " << clockTime(entryBegins(show, last + 1)) << ")";
        uses.push_back({key, use.str()});
    }
    return uses;
}

std::string pacingText(const ShowRecord& show)
{
    const bool even = std::all_of(show.entries.begin(), show.entries.end(), [&](const ShowEntry& entry) {
        return entry.seconds == show.entries.front().seconds;
    });
    if (show.entries.empty() || !even)
        return "one sprite key after another, each for its own seconds";
    return "one sprite key every " + secondsText(show.entries.front().seconds) + " seconds";
}

std::string orderText(const ShowRecord& show)
{
    std::string text;
    std::string line = "  ";
    for (std::size_t i = 0; i < show.entries.size(); ++i) {
        std::string cell = clockTime(entryBegins(show, i)) + " " + printable(show.entries[i].spriteKey);
        line += cell;
        if (i % 5 == 4) {
            text += line + "\n";
            line = "  ";
        } else {
            line += std::string(cell.size() < 12 ? 12 - cell.size() : 1, ' ');
        }
    }
    // A last line of fewer than five has no padding after its last entry
    if (line != "  ")
        text += line.substr(0, line.find_last_not_of(' ') + 1) + "\n";
    return text + "  " + clockTime(length(show)) + " the show ends\n";
}

std::string secondsText(float seconds)
{
    std::ostringstream text;
    text << seconds;
    return text.str();
}

// NOTE: minutes stay a double: a show file's seconds may add up to far more
// than any integer holds
std::string clockTime(double seconds)
{
    const double whole = std::floor(seconds);
    const int rest = static_cast<int>(std::fmod(whole, 60.0));
    char text[400];
    std::snprintf(text, sizeof text, "%.0f:%02d", (whole - rest) / 60, rest);
    return text;
}

std::string momentText(double seconds)
{
    const double rest = std::fmod(seconds, 60.0);
    char text[400];
    std::snprintf(text, sizeof text, "%.0f:%05.2f", (seconds - rest) / 60, rest);
    std::string moment = text;
    while (moment.back() == '0')
        moment.pop_back();
    if (moment.back() == '.')
        moment.pop_back();
    return moment;
}

float fadeSpeed(const ShowRecord& show)
{
    return 1.f / show.fadeSeconds;
}

std::int64_t framesToReach(double seconds, float frameSeconds)
{
    // A trillion frames is over five centuries at 60 a second
    const double mostFrames = 1e12;
    return std::max<std::int64_t>(1, std::llround(std::min(seconds / frameSeconds, mostFrames)));
}

} // namespace Show
