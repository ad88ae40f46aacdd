#include "base/files.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

std::string introFolder;

std::string inIntro(const std::string& path)
{
    if (introFolder.empty() || path.empty() || std::filesystem::path(path).is_absolute())
        return path;
    return (std::filesystem::path(introFolder) / path).string();
}

bool isSpecialFile(const std::string& path)
{
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    return std::filesystem::exists(status) && !std::filesystem::is_regular_file(status);
}

bool openForReading(const std::string& path, std::ifstream& stream)
{
    if (isSpecialFile(path))
        return false;
    stream.open(path);
    return stream.is_open();
}

std::string printable(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (c < 0x20 || c == 0x7f) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02x", c);
            out += escape;
        } else
            out += static_cast<char>(c);
    }
    return out;
}
