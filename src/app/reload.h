#pragma once
// --watch: the intro read anew while its author edits it, the show going on
// from the same moment. A save that leaves a file broken (not there, not
// valid JSON, a picture that cannot be read) keeps what was playing, after
// the usual lines for what is wrong, until the next save mends it.

#include <string>
#include <vector>

namespace Reload {

std::vector<std::string> introFiles(); // The files the intro read or looked for: settings, catalogues, pictures and songs, as opened
// Reads the intro anew and runs the show to `moment` seconds, the song
// started again there when a changed file is one of the songs' or the music
// catalogue; false, with the old intro kept, when the new one is broken
bool reloadAt(double moment, const std::vector<std::string>& changed);

} // namespace Reload
