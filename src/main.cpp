#include "program/play.h"
#include "base/files.h"
#include "author/check.h"
#include "author/export.h"
#include "cli/options.h"
#include "app/platform.h"
#include "app/stop_signals.h"
#include "author/preview.h"
#include "scenes/show.h"
#include "scenes/show_file.h"

namespace {

ExportRequest exportRequest(const Options& options, int argc, char** argv)
{
    return {options.output, options.seconds, options.to, options.fps, options.width, options.height,
            std::vector<std::string>(argv, argv + argc)};
}

} // namespace

int main(int argc, char** argv)
{
    Platform::startWithLargePages(argv);
    Platform::returnLargeBlocksWhenFreed();
    Options options;
    if (const std::optional<int> status = parseOptions(argc, argv, options))
        return *status;
    introFolder = options.folder;
    // The video writer reads the show file itself: each of its lines is said once
    if (options.mode == Mode::Export && exportHandsOver)
        return exportVideo(exportRequest(options, argc, argv));
    // The check reads the show file as a start does, among its own lines
    if (options.mode != Mode::Check)
        loadShowFile();
    if (const std::optional<int> status = checkTimesAgainst(options, Show::length(Show::current)))
        return *status;
    // A show ends on a stop signal as on closing its window, an export
    // without its file; the other modes keep the default of ending at once
    if (options.mode == Mode::Show || options.mode == Mode::From || options.mode == Mode::Export)
        StopSignals::catchThem();
    switch (options.mode) {
    case Mode::Check: return runCheck({options.strict, options.json});
    case Mode::Frame: return writeFrame(options.seconds, options.output);
    case Mode::ContactSheet: return writeContactSheet(options.output, options.every);
    case Mode::From: return runApp(options.seconds, options.watch);
    case Mode::Export:
        return exportVideo(exportRequest(options, argc, argv));
    case Mode::Show: break;
    }
    return runApp(0, options.watch);
}
