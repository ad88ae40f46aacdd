#include "app/config.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

struct ConfigCase {
    const char* name;
    std::optional<std::string> file; // config.json's text; nullopt: no file
    std::vector<std::string> lines;
    bool fullscreen;
    bool vsync;
};

// Rows read by name in the test list
void PrintTo(const ConfigCase& c, std::ostream* out) { *out << c.name; }

const ConfigCase configCases[] = {
    {"no file", std::nullopt, {"Config.json missing."}, false, true},
    {"empty file", "", {"config.json: Error while parsing JSON.", "[json.exception.parse_error.101]*"}, false, true},
    {"syntax error keeps every default", "{\"fullscreen\": true, \"vsync\": fals",
     {"config.json: Error while parsing JSON.", "[json.exception.parse_error*"}, false, true},
    {"all defaults spelled out", R"({"fullscreen": false, "vsync": true, "show_fps": false})", {}, false, true},
    {"only vsync off", R"({"vsync": false})", {}, false, false},
    {"only fullscreen on", R"({"fullscreen": true})", {}, true, true},
    {"name in other case is ignored", R"({"FullScreen": true, "VSync": false})", {}, false, true},
    {"array top level", "[true]", {}, false, true},
    {"string top level", "\"fullscreen\"", {}, false, true},
    {"stray text after the object", "{\"fullscreen\": true}\nthis is not json", {}, true, true},
    {"last of a repeated member counts", R"({"vsync": false, "vsync": true})", {}, false, true},
    {"number is not a boolean, the rest still read", R"({"fullscreen": 1, "vsync": false})",
     {"config.json: Invalid fullscreen property*"}, false, false},
    {"every member of the wrong type", R"({"fullscreen": "yes", "vsync": null, "show_fps": [true]})",
     {"config.json: Invalid fullscreen property*", "config.json: Invalid vsync property*",
      "config.json: Invalid show_fps property*"},
     false, true},
    {"bad vsync after good fullscreen", R"({"fullscreen": true, "vsync": {"on": false}})",
     {"config.json: Invalid vsync property*"}, true, true},
};

class ConfigFile : public ::testing::TestWithParam<ConfigCase> {
protected:
    void SetUp() override { resetProgramState(); }
};

TEST_P(ConfigFile, GivesSettingsAndLines)
{
    const ConfigCase& c = GetParam();
    TempDir dir;
    if (c.file)
        dir.write("config.json", *c.file);
    ScopedWorkingDir inside(dir.root());
    CaptureErrors errors;
    loadConfig();
    expectLines(errors.lines(), c.lines);
    EXPECT_EQ(Config::fullscreen, c.fullscreen);
    EXPECT_EQ(Config::vsync, c.vsync);
}

INSTANTIATE_TEST_SUITE_P(Cases, ConfigFile, ::testing::ValuesIn(configCases),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return name;
                         });

TEST(ConfigFileSystem, AFolderNamedConfigJsonCountsAsMissing)
{
    resetProgramState();
    TempDir dir;
    dir.write("config.json/inside", "{}");
    ScopedWorkingDir inside(dir.root());
    CaptureErrors errors;
    loadConfig();
    expectLines(errors.lines(), {"Config.json missing."});
    EXPECT_TRUE(Config::vsync);
}

} // namespace
