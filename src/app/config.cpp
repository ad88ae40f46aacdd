#include "app/config.h"

#include "base/files.h"
#include "base/messages.h"

#include <nlohmann/json.hpp>

#include <array>

namespace Config {

bool fullscreen = false;
bool vsync = true;

void reset()
{
    fullscreen = false;
    vsync = true;
}

} // namespace Config

const char* const configFile = "config.json";

namespace {

// Every member the settings file may have, in the order they are read, with
// the field each sets; show_fps is accepted and without effect
struct Setting {
    const char* name;
    bool* field; // null: read, then ignored
};
const std::array<Setting, 3> settings = {{
    {"fullscreen", &Config::fullscreen},
    {"vsync", &Config::vsync},
    {"show_fps", nullptr},
}};

// Where an editor finds the file's schema; the program ignores it, rightly
const char* const schemaMember = "$schema";

bool isSetting(const std::string& name)
{
    for (const Setting& setting : settings)
        if (name == setting.name)
            return true;
    return name == schemaMember;
}

// Sets the field from a boolean member; any other value keeps the default
void readSetting(const nlohmann::json& document, const Setting& setting)
{
    if (!document.contains(setting.name))
        return;
    const nlohmann::json& value = document.at(setting.name);
    if (!value.is_boolean())
        return Problems::report(Messages::invalidSetting(setting.name, value.type_name()));
    if (setting.field)
        *setting.field = value.get<bool>();
}

} // namespace

void loadConfig()
{
    std::ifstream file;
    if (!openForReading(inIntro(configFile), file))
        return Problems::report(Messages::configMissing());
    nlohmann::json document;
    try {
        file >> document;
    } catch (const nlohmann::json::exception& error) {
        return Problems::report(Messages::notJson(configFile, configFile, error.what()));
    }
    file.close();
    if (!document.is_object())
        return Problems::report(Messages::configNotAnObject());
    for (auto member = document.begin(); member != document.end(); ++member)
        if (!isSetting(member.key()))
            Problems::report(Messages::unknownSetting(member.key()));
    for (const Setting& setting : settings)
        readSetting(document, setting);
}
