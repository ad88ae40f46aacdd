#pragma once
// Opening the files the program reads, and writing what they name inside a
// line: shared by the catalogues, the pictures and songs they name, and the
// settings.

#include <fstream>
#include <string>

// True for something that is there but is no regular file, nor a link to
// one. Such a thing is never opened: a FIFO or a socket blocks the open, a
// device never ends, a folder is no file. A missing file is not special: its
// open fails the usual way, with the usual lines.
bool isSpecialFile(const std::string& path);

// The intro's folder, which every path in the intro's files is relative to;
// empty for the working folder. Lines name files as the intro names them.
extern std::string introFolder;
std::string inIntro(const std::string& path); // The path to open for one the intro names: the folder's, unless it is absolute

// What makes a path that works on the author's machine break on another
enum class PathTrouble {
    None,
    Absolute,     // "/home/me/title.png", "C:\\Users\\me\\title.png": no other machine has it
    LeavesFolder, // "../photos/title.png": the file does not travel with the intro
    Backslash,    // "img\\title.png": a folder separator on Windows only
    LetterCase,   // "Title.PNG" for title.png: found on case-insensitive file systems only
};
struct PathTravel {
    PathTrouble trouble = PathTrouble::None; // the worst one, when there are several
    std::string fixed; // for a backslash or a letter case, the path as it should be written
};
// How a path the intro names travels to other machines; the letter case is
// compared with the names on disk, in the intro's folder
PathTravel howPathTravels(const std::string& path);

// Opens a file for reading; a special file counts as a file that cannot be opened
bool openForReading(const std::string& path, std::ifstream& stream);

// A key, path or text made safe to write inside one line: control bytes are
// written as escapes, so a key with a line break still gives one line
std::string printable(const std::string& text);
