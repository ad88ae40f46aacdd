// --export in the program that plays. Video files are written by a program
// of its own, orvalen-intro-export: FFmpeg's libraries bring more than a
// hundred others with them, and loading them all took about 50 ms of every
// start, show or not. This hands the whole command line over to it, in the
// same process, so signals, the exit status and the terminal stay the same.

#include "author/export.h"

#include "app/platform.h"
#include "author/export_program.h"
#include "base/messages.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

const bool exportHandsOver = true;

int exportVideo(const ExportRequest& request)
{
    const std::string self = Platform::programPath();
    std::vector<std::filesystem::path> places;
    if (!self.empty()) {
        const std::filesystem::path here = std::filesystem::path(self).parent_path();
        // Beside this program in a build
        places.push_back(here / "orvalen-intro-export");
        // Where an install puts it
        places.push_back(here / ORVALEN_INSTALLED_EXPORT_PROGRAM);
    }
    for (const std::filesystem::path& place : places) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(place, error))
            continue;
        const std::string writer = place.lexically_normal().string();
        Platform::runInstead(writer, request.commandLine);
        Problems::report(Messages::exportFailed(request.output, "starting " + writer + ": " + std::strerror(errno)));
        return 1;
    }
    Problems::report(Messages::exportFailed(
        request.output, "the video writer, orvalen-intro-export, is not installed with this program"));
    return 1;
}
