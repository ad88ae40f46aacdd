#pragma once
// What the show is: its entries in showing order, each a sprite key with its
// seconds, the song that plays under them and how long the picture takes to
// come up out of black; and the answers every part of the program asks of it
// (when an entry begins, how long the show lasts, how --help and the check
// describe it).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One entry: a sprite that fades in over its seconds, then the next begins
struct ShowEntry {
    std::string spriteKey;
    float seconds = 7.f;
};

// The built-in show is the default value: a title card for 14 seconds,
// thirteen numbered slides ("ov11" after "ov13") and an end card for 35,
// seven seconds an entry, over the song "song", clear of black after 2 seconds
struct ShowRecord {
    std::vector<ShowEntry> entries = {
        {"title"}, {"title"}, {"ov1"},  {"ov2"},  {"ov3"},  {"ov4"}, {"ov5"}, {"ov6"}, {"ov7"}, {"ov8"},
        {"ov9"},   {"ov10"},  {"ov12"}, {"ov13"}, {"ov11"}, {"end"}, {"end"}, {"end"}, {"end"}, {"end"}};
    std::string songKey = "song"; // played, looping, from the first frame
    float fadeSeconds = 2.f;      // the picture comes up out of black over this time
    bool fromFile = false;        // an author's show file gave it
};

// A sprite key of the show, with when the show uses it
struct ShowSpriteUse {
    std::string key;
    std::string use; // "for entries 1 and 2 (0:00 to 0:14)"
};

namespace Show {

extern ShowRecord current; // the show that plays
void reset();              // The built-in show plays, as at start

double entryBegins(const ShowRecord& show, std::size_t entry); // Seconds from the first frame to the entry's start; the show's length for the index past the last
double length(const ShowRecord& show);                        // Seconds from the first frame to the end of the last entry
std::size_t entryAt(const ShowRecord& show, double seconds);  // The entry fading in at that moment; the number of entries once the show is over
bool usesSprite(const ShowRecord& show, const std::string& key); // Some entry shows this sprite
std::vector<ShowSpriteUse> spriteUses(const ShowRecord& show);   // Each sprite key once, where it first comes, with the run of entries it begins
std::string pacingText(const ShowRecord& show); // "one sprite key every 7 seconds", for --help
std::string orderText(const ShowRecord& show);  // The entries with the time each begins, five a line, and the end, for --help
std::string secondsText(float seconds);         // "7", "2", "0.5"
std::string clockTime(double seconds);          // "1:45": minutes and whole seconds
std::string momentText(double seconds);         // "1:45", "0:03.5", "2:20.25": minutes and seconds, to a hundredth where there is one
float fadeSpeed(const ShowRecord& show);        // Change of the overlay's darkness per second, from black to clear in fadeSeconds

// Seeking to a moment: how many frames of frameSeconds the state is run to
// reach it. The nearest whole number, one at the least (the first frame);
// a huge moment is capped, being past the end of any show anyway
std::int64_t framesToReach(double seconds, float frameSeconds);

} // namespace Show
