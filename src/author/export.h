#pragma once
// The show as a video file: every frame as --frame gives it at that moment,
// over the song as a viewer hears it, encoded while the next frame draws.
// The file appears only when complete; a stop signal or a failed write
// leaves no part of it and any earlier file of that name as it was.

#include <string>
#include <vector>

struct ExportRequest {
    std::string output;        // FILE.mp4 or FILE.webm, relative to the working folder
    double from = 0;           // seconds from the show's first frame where the video begins
    double to = -1;            // where it ends; negative for the show's end
    int fps = 30;              // 30 or 60
    unsigned int width = 1920; // the file's pictures: the canvas or a smaller 16:9 size
    unsigned int height = 1080;
    std::vector<std::string> commandLine; // as given, for the program that writes video files
};

int exportVideo(const ExportRequest& request); // Writes the file; the exit status, 0 or 1 after one line saying why

// True in the program whose exportVideo runs the video writer in its place:
// the writer reads the intro itself, so nothing is read before handing over
extern const bool exportHandsOver;
