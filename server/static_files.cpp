#include "server/static_files.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>

namespace panelgrab::server {

namespace {

constexpr std::size_t kMaxFileBytes = 4u << 20;

bool IsPlainName(std::string_view name) {
    return !name.empty() && name.size() <= 64 && name.front() != '.' &&
           std::all_of(name.begin(), name.end(), [](char c) {
               return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.';
           });
}

std::string ContentTypeOf(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    const std::string_view extension = dot == std::string_view::npos ? "" : name.substr(dot);
    if (extension == ".html") {
        return "text/html; charset=utf-8";
    }
    if (extension == ".js") {
        return "text/javascript; charset=utf-8";
    }
    if (extension == ".css") {
        return "text/css; charset=utf-8";
    }
    if (extension == ".png") {
        return "image/png";
    }
    if (extension == ".svg") {
        return "image/svg+xml";
    }
    return "application/octet-stream";
}

} // namespace

std::optional<StaticFiles::File> StaticFiles::Find(std::string_view path) const {
    const std::string_view name = path == "/" ? std::string_view("index.html") : path.substr(1);
    if (path.empty() || path.front() != '/' || !IsPlainName(name)) {
        return std::nullopt;
    }
    std::ifstream file(folder_ + "/" + std::string(name), std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    File found;
    found.body.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (file.bad() || found.body.size() > kMaxFileBytes) {
        return std::nullopt;
    }
    found.contentType = ContentTypeOf(name);
    return found;
}

} // namespace panelgrab::server
