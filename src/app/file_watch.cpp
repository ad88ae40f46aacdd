#include "app/file_watch.h"

#include <filesystem>
#include <system_error>

namespace FileWatch {

std::map<std::string, Watched> files;

Seen look(const std::string& path)
{
    Seen seen;
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (error || !std::filesystem::exists(status))
        return seen;
    seen.exists = true;
    if (std::filesystem::is_regular_file(status)) {
        seen.size = std::filesystem::file_size(path, error);
        if (error)
            seen.size = 0;
    }
    const auto changedAt = std::filesystem::last_write_time(path, error);
    if (!error)
        seen.changedAt = static_cast<std::int64_t>(changedAt.time_since_epoch().count());
    return seen;
}

void watch(const std::vector<std::string>& paths)
{
    std::map<std::string, Watched> watched;
    for (const std::string& path : paths) {
        const Seen now = look(path);
        watched[path] = {now, now};
    }
    files = std::move(watched);
}

std::vector<std::string> settled()
{
    std::vector<std::string> changed;
    for (auto& [path, file] : files) {
        const Seen now = look(path);
        // Reported once it has changed and then held still for one look
        if (now == file.last && now != file.reported) {
            file.reported = now;
            changed.push_back(path);
        }
        file.last = now;
    }
    return changed;
}

} // namespace FileWatch
