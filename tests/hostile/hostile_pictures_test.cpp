// Pictures that once crashed a decoder: each input the picture fuzzer found
// is kept in fuzz/regressions/pictures and loaded here as a start and as the
// check load it. Each is refused with exactly the usual line, and nothing
// else happens: no abort, no sanitizer report, no memory taken on trust.
#include "assets/texture_manager.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <sys/resource.h>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

std::vector<fs::path> regressions()
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(ORVALEN_PICTURE_REGRESSIONS))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// The most memory the process has held at once so far, in megabytes
long peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

TEST(HostilePictures, EachFoundByTheFuzzerIsRefusedInItsOneLine)
{
    const std::vector<fs::path> files = regressions();
    ASSERT_FALSE(files.empty()) << "no inputs in " << ORVALEN_PICTURE_REGRESSIONS;
    const long peakBefore = peakMegabytes();
    for (bool uploads : {true, false}) {
        for (const fs::path& file : files) {
            SCOPED_TRACE(file.filename().string() + (uploads ? "" : ", decoded only"));
            resetProgramState();
            TextureManager::uploads = uploads;
            TempDir dir;
            // Named as a catalogue names a picture, beside a good one that
            // must still load after it
            fs::copy_file(file, dir.path(file.filename().string()));
            ASSERT_TRUE(writeImage(dir.path("good.png"), 3, 2, sf::Color::Green));
            ScopedWorkingDir here(dir.root());
            CaptureErrors errors;
            TextureManager::loadEntries(json{{"textures",
                                              {{"a", {{"file", file.filename().string()}}},
                                               {"b", {{"file", "good.png"}}}}}});
            EXPECT_FALSE(TextureManager::has("a"));
            EXPECT_TRUE(TextureManager::has("b"));
            expectLines(errors.lines(), {"TextureManager: Unable to load file " + file.filename().string() + "."});
        }
    }
    resetProgramState();
    // Each input is a few hundred bytes; some claim gigabytes
    EXPECT_LT(peakMegabytes() - peakBefore, 100);
}

} // namespace
