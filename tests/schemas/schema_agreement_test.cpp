// The program's side of the table in cases.json: each entry is accepted
// (stored by its catalogue with nothing for the check to say of it alone,
// or for config.json read without a line) exactly when the table says. validate_schemas.py holds the schemas to the same
// table, so the schemas and the program agree on every type and range rule.

#include "app/config.h"
#include "assets/music_manager.h"
#include "assets/sprite_manager.h"
#include "assets/texture_manager.h"
#include "base/problems.h"
#include "scenes/show_file.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <fstream>

using nlohmann::json;

namespace {

json readCases()
{
    json cases;
    std::ifstream(ORVALEN_SCHEMA_CASES) >> cases;
    return cases;
}

// Whether the check finds something to say of the entry alone: a name it does
// not know, or a value it takes that will not do what it seems to say
bool saysSomethingOf(const std::vector<Problem>& records)
{
    return std::any_of(records.begin(), records.end(), [](const Problem& record) {
        return record.key == "k" &&
               (record.finding == Finding::UnknownProperty || record.finding == Finding::DoubtfulValue ||
                record.finding == Finding::UnusedProperty);
    });
}

// Whether the program takes the entry; every store starts empty
bool programAccepts(const std::string& catalogue, const json& entry, const TempDir& dir)
{
    resetProgramState();
    CaptureErrors errors;
    std::vector<Problem> records;
    const Problems::Reporting keep([&records](const Problem& record) {
        Problems::write(record);
        records.push_back(record);
    });
    if (catalogue == "config") {
        dir.write("config.json", entry.dump());
        loadConfig();
        return errors.lines().empty();
    }
    const json document{{catalogue, {{"k", entry}}}};
    if (catalogue == "textures") {
        TextureManager::uploads = false;
        TextureManager::loadEntries(document);
        return TextureManager::has("k") && !saysSomethingOf(records);
    }
    if (catalogue == "sprites") {
        TextureManager::uploads = false;
        if (!TextureManager::add("t", "ok.png", false))
            throw std::runtime_error("the texture t did not load");
        SpriteManager::loadEntries(document);
        return SpriteManager::has("k") && !saysSomethingOf(records);
    }
    if (catalogue == "music") {
        MusicManager::loadEntries(document);
        return MusicManager::songs.count("k") == 1 && !saysSomethingOf(records);
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

namespace {

// The schema of one catalogue's entries, with its references followed
json entrySchema(const std::string& catalogue, const char* definition)
{
    json schema;
    std::ifstream(std::string(ORVALEN_SCHEMAS) + "/" + catalogue + ".schema.json") >> schema;
    return schema.at("$defs").at(definition);
}

json resolved(const json& schema, const json& property)
{
    if (!property.contains("$ref"))
        return property;
    json merged = schema.at("$defs").at(property.at("$ref").get<std::string>().substr(std::string("#/$defs/").size()));
    merged.update(property);
    return merged;
}

struct Declared {
    const char* catalogue;
    const char* definition; // the entry's schema in $defs
    std::vector<PropertyInfo> (*properties)();
};

// Each catalogue's one declaration of its properties, against its schema:
// the same names, the same required ones, the same JSON types and defaults,
// and a lower bound where the program refuses negative values
TEST(SchemaAgreement, EachSchemaDescribesTheEntriesAsTheLoaderDeclaresThem)
{
    const Declared catalogues[] = {{"textures", "texture", TextureManager::declaredProperties},
                                   {"sprites", "sprite", SpriteManager::declaredProperties},
                                   {"music", "song", MusicManager::declaredProperties}};
    for (const Declared& declared : catalogues) {
        SCOPED_TRACE(declared.catalogue);
        json file;
        std::ifstream(std::string(ORVALEN_SCHEMAS) + "/" + declared.catalogue + ".schema.json") >> file;
        const json schema = entrySchema(declared.catalogue, declared.definition);
        std::vector<std::string> names, schemaNames, required;
        for (const PropertyInfo& property : declared.properties()) {
            SCOPED_TRACE(property.name);
            names.push_back(property.name);
            if (property.required)
                required.push_back(property.name);
            ASSERT_TRUE(schema.at("properties").contains(property.name));
            const json described = resolved(file, schema.at("properties").at(property.name));
            const json types = described.at("type").is_array() ? described.at("type") : json::array({described.at("type")});
            EXPECT_EQ(types, json(property.jsonTypes));
            if (property.required)
                EXPECT_FALSE(described.contains("default"));
            else
                EXPECT_EQ(described.value("default", json()), property.defaultValue);
            const bool boundedBelowZero = described.value("minimum", json(-1)) == json(0) ||
                                          described.value("exclusiveMinimum", json(-2)) == json(-1);
            if (property.nonNegative)
                EXPECT_TRUE(boundedBelowZero);
            if (!property.oneOf.empty())
                EXPECT_EQ(described.value("enum", json()), json(property.oneOf));
        }
        for (const auto& item : schema.at("properties").items())
            schemaNames.push_back(item.key());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, schemaNames);
        EXPECT_EQ(json(required), schema.at("required"));
        EXPECT_EQ(schema.value("additionalProperties", json(true)), json(false));
    }
}

} // namespace

namespace {

// The show documents of the table: the program reads each without a word
// exactly when the schema takes it
TEST(SchemaAgreement, TheProgramReadsEachShowDocumentWithoutAWordExactlyWhenItIsValid)
{
    const json cases = readCases();
    TempDir dir;
    const ScopedWorkingDir inDir(dir.root());
    std::size_t count = 0;
    for (const json& c : cases.at("documents")) {
        if (c.at("schema") != "show")
            continue;
        SCOPED_TRACE(c.at("name").get<std::string>());
        dir.write("assets/show.json", c.at("document").dump());
        std::vector<Problem> records;
        {
            const Problems::Reporting keep([&records](const Problem& record) { records.push_back(record); });
            loadShowFile();
        }
        EXPECT_EQ(records.empty(), c.at("valid").get<bool>()) << (records.empty() ? "" : records[0].message);
        ++count;
    }
    EXPECT_GT(count, 5u);
    resetProgramState();
}

} // namespace
