// Which files changed, as --watch asks: saves in place, saves by rename,
// files deleted and put back, and a file still being written, which is not
// reported until it holds still.

#include "app/file_watch.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

namespace fs = std::filesystem;

namespace {

struct WatchCase {
    const char* name;
    std::function<void(const TempDir&)> change;
    std::vector<std::string> reported; // by the second look after the change
};

void PrintTo(const WatchCase& c, std::ostream* out) { *out << c.name; }

// A time of change that differs from the first, whatever the clock's grain
void touchLater(const std::string& path)
{
    fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(2));
}

const WatchCase watchCases[] = {
    {"Nothing", [](const TempDir&) {}, {}},
    {"SavedInPlace", [](const TempDir& d) { d.write("a.json", "{\"x\": 2}"); touchLater(d.path("a.json")); }, {"a.json"}},
    {"SavedByRename",
     [](const TempDir& d) {
         d.write("a.json.tmp", "{\"x\": 22}");
         touchLater(d.path("a.json.tmp"));
         fs::rename(d.path("a.json.tmp"), d.path("a.json"));
     },
     {"a.json"}},
    {"Deleted", [](const TempDir& d) { fs::remove(d.path("b.png")); }, {"b.png"}},
    {"Appeared", [](const TempDir& d) { d.write("c.wav", "RIFF"); }, {"c.wav"}},
    {"Two", [](const TempDir& d) { fs::remove(d.path("a.json")); d.write("c.wav", "RIFF"); }, {"a.json", "c.wav"}},
    // Written with the same size and time as before: nothing to see
    {"TouchedToTheSameState",
     [](const TempDir& d) {
         const auto before = fs::last_write_time(d.path("b.png"));
         d.write("b.png", "PNG!");
         fs::last_write_time(d.path("b.png"), before);
     },
     {}},
};

class Watch : public ::testing::TestWithParam<WatchCase> {};

TEST_P(Watch, ReportsEachChangedFileOnceItHoldsStill)
{
    TempDir dir;
    dir.write("a.json", "{\"x\": 1}");
    dir.write("b.png", "PNG!");
    FileWatch::watch({dir.path("a.json"), dir.path("b.png"), dir.path("c.wav")});
    EXPECT_TRUE(FileWatch::settled().empty());
    GetParam().change(dir);
    // The first look sees the change, the second sees it held
    EXPECT_TRUE(FileWatch::settled().empty());
    std::vector<std::string> expected;
    for (const std::string& name : GetParam().reported)
        expected.push_back(dir.path(name));
    EXPECT_EQ(FileWatch::settled(), expected);
    // Once only
    EXPECT_TRUE(FileWatch::settled().empty());
}

INSTANTIATE_TEST_SUITE_P(Files, Watch, ::testing::ValuesIn(watchCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A file that grows at every look is never reported half written
TEST(Watch, AFileBeingWrittenIsReportedOnlyWhenItStops)
{
    TempDir dir;
    dir.write("big.png", "");
    FileWatch::watch({dir.path("big.png")});
    std::string text;
    for (int i = 0; i < 5; ++i) {
        text += "more";
        dir.write("big.png", text);
        EXPECT_TRUE(FileWatch::settled().empty()) << "after write " << i;
    }
    EXPECT_EQ(FileWatch::settled(), std::vector<std::string>{dir.path("big.png")});
}

} // namespace
