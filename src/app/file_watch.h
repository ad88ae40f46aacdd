#pragma once
// Which of a set of files have changed, asked a few times a second: for
// --watch, which reloads an intro while its author edits it. A file counts
// as changed when it appears, goes, or its size or time of change differs,
// so a save by rename (a new file under the old name) counts too; it is
// reported only once it has stayed the same for one more look, so a file
// being written is not read half done.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace FileWatch {

// What a look at a file saw
struct Seen {
    bool exists = false;
    std::uintmax_t size = 0;
    std::int64_t changedAt = 0; // the file system's time of last change, in its own units

    bool operator==(const Seen& other) const
    {
        return exists == other.exists && size == other.size && changedAt == other.changedAt;
    }
    bool operator!=(const Seen& other) const { return !(*this == other); }
};

Seen look(const std::string& path); // A file as it is now; a missing or unreadable one does not exist

// The files watched, each with what was last reported of it and what the
// last look saw
struct Watched {
    Seen reported; // as it was when the intro last read it
    Seen last;     // at the last look
};
extern std::map<std::string, Watched> files;

void watch(const std::vector<std::string>& paths); // Watches these files from now on, as they are now; forgets the others
std::vector<std::string> settled();                // Looks at every file: those that changed since they were reported and have stayed so since the last look; each is reported once

} // namespace FileWatch
