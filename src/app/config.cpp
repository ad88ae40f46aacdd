#include "app/config.h"

#include "base/files.h"

#include <nlohmann/json.hpp>

#include <iostream>

namespace Config {

bool fullscreen = false;
bool vsync = true;

} // namespace Config

const char* const configFile = "config.json";

namespace {

// Sets `field` from a boolean member; any other value keeps the default
void readSetting(const nlohmann::json& document, const char* member, bool* field)
{
    if (!document.contains(member))
        return;
    const nlohmann::json& value = document.at(member);
    if (!value.is_boolean()) {
        std::cerr << "config.json: Invalid " << member << " property: must be true or false, not "
                  << value.type_name() << "." << std::endl;
        return;
    }
    if (field)
        *field = value.get<bool>();
}

} // namespace

void loadConfig()
{
    std::ifstream file;
    if (!openForReading(configFile, file)) {
        std::cerr << "Config.json missing." << std::endl;
        return;
    }
    nlohmann::json document;
    try {
        file >> document;
    } catch (const nlohmann::json::exception& error) {
        std::cerr << "config.json: Error while parsing JSON." << std::endl;
        std::cerr << printable(error.what()) << std::endl;
        return;
    }
    file.close();
    if (!document.is_object())
        return;
    readSetting(document, "fullscreen", &Config::fullscreen);
    readSetting(document, "vsync", &Config::vsync);
    readSetting(document, "show_fps", nullptr); // accepted and without effect
}
