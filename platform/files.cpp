#include "platform/files.h"

#include <cctype>
#include <system_error>

namespace quorel::platform {

bool fileExists(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

std::vector<std::string> listFiles(const std::filesystem::path& dir, std::string_view suffix) {
    std::vector<std::string> names;
    std::error_code ec;
    std::filesystem::directory_iterator it(dir, ec);
    if (ec) return names;
    for (const auto end = std::filesystem::directory_iterator(); it != end; it.increment(ec)) {
        if (ec) break;
        if (!it->is_regular_file(ec)) continue;
        const std::string name = it->path().filename().string();
        if (name.size() < suffix.size()) continue;
        bool match = true;
        for (std::size_t i = 0; i < suffix.size(); ++i) {
            const char a = name[name.size() - suffix.size() + i];
            if (std::tolower(static_cast<unsigned char>(a)) != std::tolower(static_cast<unsigned char>(suffix[i]))) {
                match = false;
                break;
            }
        }
        if (match) names.push_back(name);
    }
    return names;
}

}  // namespace quorel::platform
