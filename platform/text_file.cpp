#include "platform/text_file.h"

#include <fcntl.h>

#include <cstdio>
#include <memory>

#include "platform/file_handle.h"

namespace quorel::platform {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

std::string normalizeText(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        out.push_back(bytes[i]);
    }
    return out;
}

std::optional<std::string> readTextFile(const std::filesystem::path& file) {
    UniqueFd fd = openRegularFile(file);
    File f{fd ? ::fdopen(fd.get(), "rb") : nullptr};
    if (!f) return std::nullopt;
    fd.release();  // the stream owns it now
    std::string bytes;
    char buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0) bytes.append(buffer, n);
    if (std::ferror(f.get())) return std::nullopt;
    return normalizeText(bytes);
}

bool writeTextFile(const std::filesystem::path& file, std::string_view content) {
    UniqueFd fd = openRegularFileWith(file, O_WRONLY | O_CREAT | O_TRUNC);
    File f{fd ? ::fdopen(fd.get(), "wb") : nullptr};
    if (!f) return false;
    fd.release();
    if (std::fwrite(content.data(), 1, content.size(), f.get()) != content.size()) return false;
    return std::fclose(f.release()) == 0;
}

}  // namespace quorel::platform
