#pragma once
// Helpers shared by the unit tests: capturing the error stream, temporary
// folders, fixture images and sounds, and resetting the program's records.

#include <SFML/Graphics/Color.hpp>

#include <cstdio>
#include <string>
#include <vector>

// Captures everything the process writes to its standard error while it
// lives: the program's lines, the media library's and those of the libraries
// below it, in the order they were written. A test that counts lines sees
// them all. Sanitizer reports still reach the real standard error.
class CaptureErrors {
public:
    CaptureErrors();
    ~CaptureErrors();
    CaptureErrors(const CaptureErrors&) = delete;
    CaptureErrors& operator=(const CaptureErrors&) = delete;
    std::vector<std::string> lines() const; // Every line written so far, without line ends
    std::string text() const;

private:
    std::FILE* file;      // Where the standard error goes meanwhile
    int realStandardError; // The standard error as it was, put back at the end
};

// A fresh temporary folder, removed with everything in it at the end
class TempDir {
public:
    TempDir();
    ~TempDir();
    std::string path(const std::string& name) const; // The folder's path joined with name
    std::string write(const std::string& name, const std::string& text) const; // Writes a file, making folders; returns its path
    const std::string& root() const { return dir; }

private:
    std::string dir;
};

// Changes the working directory while it lives
class ScopedWorkingDir {
public:
    explicit ScopedWorkingDir(const std::string& path);
    ~ScopedWorkingDir();

private:
    std::string previous;
};

// Writes a PNG of one colour; returns false when it could not be saved
bool writeImage(const std::string& path, unsigned width, unsigned height, sf::Color colour);

// Writes a 16-bit mono WAV or OGG (by extension) holding a sine tone
bool writeTone(const std::string& path, float seconds, float frequency, unsigned sampleRate = 44100);

// Empties every store and puts every record of the program back to its start
void resetProgramState();

// Checks lines against expected ones; an expected line ending in '*' only
// has to begin with the text before the '*'
void expectLines(const std::vector<std::string>& actual, const std::vector<std::string>& expected);
