#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace panelgrab::server {

// The page's own files, straight from one folder: "/" is index.html, and only plain names of files
// in the folder itself are served (no subfolder, no hidden file, nothing reached through "..").
class StaticFiles {
public:
    struct File {
        std::string body;
        std::string contentType;
    };

    explicit StaticFiles(std::string folder) : folder_(std::move(folder)) {}

    std::optional<File> Find(std::string_view path) const;
    const std::string& Folder() const { return folder_; }

private:
    std::string folder_;
};

} // namespace panelgrab::server
