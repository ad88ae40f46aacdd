// The program's side of the table in cases.json: each entry is accepted
// (stored by its catalogue, or for config.json read without a line) exactly
// when the table says. validate_schemas.py holds the schemas to the same
// table, so the schemas and the program agree on every type and range rule.

#include "app/config.h"
#include "assets/music_manager.h"
#include "assets/sprite_manager.h"
#include "assets/texture_manager.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>

using nlohmann::json;

namespace {

json readCases()
{
    json cases;
    std::ifstream(ORVALEN_SCHEMA_CASES) >> cases;
    return cases;
}

// Whether the program takes the entry; every store starts empty
bool programAccepts(const std::string& catalogue, const json& entry, const TempDir& dir)
{
    resetProgramState();
    CaptureErrors errors;
    if (catalogue == "config") {
        dir.write("config.json", entry.dump());
        loadConfig();
        return errors.lines().empty();
    }
    const json document{{catalogue, {{"k", entry}}}};
    if (catalogue == "textures") {
        TextureManager::uploads = false;
        TextureManager::loadEntries(document);
        return TextureManager::has("k");
    }
    if (catalogue == "sprites") {
        TextureManager::uploads = false;
        if (!TextureManager::add("t", "ok.png", false))
            throw std::runtime_error("the texture t did not load");
        SpriteManager::loadEntries(document);
        return SpriteManager::has("k");
    }
    if (catalogue == "music") {
        MusicManager::loadEntries(document);
        return MusicManager::songs.count("k") == 1;
    }
    throw std::runtime_error("no catalogue " + catalogue);
}

TEST(SchemaAgreement, TheProgramAcceptsEachEntryOfTheTableExactlyWhenItSays)
{
    const json cases = readCases();
    ASSERT_TRUE(cases.contains("entries")) << "cannot read " << ORVALEN_SCHEMA_CASES;
    TempDir dir;
    ASSERT_TRUE(writeImage(dir.path("ok.png"), 4, 2, sf::Color::Green));
    const ScopedWorkingDir inDir(dir.root());
    std::size_t count = 0;
    for (const json& c : cases.at("entries")) {
        const std::string catalogue = c.at("catalogue");
        SCOPED_TRACE(catalogue + " entry '" + c.at("name").get<std::string>() + "': " + c.at("entry").dump());
        EXPECT_EQ(programAccepts(catalogue, c.at("entry"), dir), c.at("accepted").get<bool>());
        ++count;
    }
    EXPECT_GT(count, 50u);
    resetProgramState();
}

} // namespace
