#pragma once
// Every problem the program finds is a record, handed to one reporter as it
// is found. A start's reporter writes each record's line on standard error;
// the check collects the very same records, from the very same loaders, and
// says more about them. Nothing reads a file again to learn what a load said.

#include <functional>
#include <string>

enum class Severity {
    Problem, // something the intro asks for that the program cannot do
    Note,    // something that works but may not be what the author meant
};

// What was found, for a reader that sorts records rather than reads them
enum class Finding {
    FileUnreadable,      // a file is missing, unreadable or no regular file
    NotJson,             // a file is not valid JSON
    NotAnObject,         // a file or its entries' member is no JSON object
    MissingMember,       // a file lacks the member that holds its entries
    UnknownMember,       // a file has a member the program does not know
    MissingProperty,     // an entry lacks its required property
    InvalidProperty,     // an entry's property has the wrong type or range
    UnknownProperty,     // an entry has a property the program does not know
    DuplicateKey,        // a key is stored already
    MissingKey,          // a lookup by a key that is not stored
    UnloadablePicture,   // a picture could not be decoded or made a texture
    UnloadableSong,      // a song's file could not be opened
    LoopPointRefused,    // the audio library refuses a song's loop point
    RectangleOutside,    // a sprite's rectangle reaches outside its texture
    DoubtfulValue,       // a value the program takes that will not do what it seems to say
    UnusedProperty,      // a property that another one makes of no effect
    NoAudioDevice,       // the show runs silent
    NoDisplay,           // no window can be opened
    NoIntro,             // the folder holds nothing of an intro
    EntryLeftOut,        // a show entry that cannot play is left out
    NotWritten,          // a file the program was asked to write was not
    PathTravelsBadly,    // a path that works here and breaks on another machine
};

struct Problem {
    Severity severity = Severity::Problem;
    Finding finding = Finding::FileUnreadable;
    std::string file;     // the intro's file it is in, as the program names it ("assets/sprites.json"); empty when none
    std::string key;      // the entry it is about; empty when it is about no one entry
    std::string property; // the entry's property, or the file's member, it is about; empty when none
    std::string pointer;  // JSON pointer to what it is about in `file` ("/sprites/ov2/rectX"); empty when unknown
    int line = 0;         // 1-based line and column in `file`, where known; 0 when not
    int column = 0;
    // The line written for it, exactly as a start has always written it; for
    // a quiet record, the check's own words
    std::string message;
    std::string detail;   // a second line written under the first (a parser's own text); empty when none
    std::string why;      // what the line leaves unsaid (why a picture was refused); the check adds it
    bool quiet = false;   // a start writes nothing for it: only the check speaks of it
};

namespace Problems {

using Reporter = std::function<void(const Problem&)>;

void report(Problem problem);      // Fills in the entry in hand, if any, then hands the record to the reporter
void write(const Problem& problem); // The default reporter: the line, and the detail under it, on standard error; nothing when quiet

// A reporter of the caller's in place of the default while it lives
class Reporting {
public:
    explicit Reporting(Reporter reporter);
    ~Reporting();
    Reporting(const Reporting&) = delete;
    Reporting& operator=(const Reporting&) = delete;

private:
    Reporter previous;
};

// While it lives, a record made without a file of its own is about this
// entry of this file: a lookup made for an entry (a sprite's texture) is
// reported as that entry's problem
class InEntry {
public:
    InEntry(const std::string& file, const std::string& pointerToEntries, const std::string& key);
    ~InEntry();
    InEntry(const InEntry&) = delete;
    InEntry& operator=(const InEntry&) = delete;

private:
    const InEntry* outer;
    const std::string& file;
    const std::string& entries;
    const std::string& key;
    friend void report(Problem);
};

std::string pointerTo(const std::string& name); // A JSON pointer's reference token: "/" + name, with '~' and '/' escaped

} // namespace Problems
