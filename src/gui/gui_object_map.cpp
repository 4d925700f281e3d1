#include "gui/gui_object_map.h"

#include <algorithm>
#include <cctype>

namespace panelgrab {
namespace {

std::string UpperCased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

} // namespace

void GuiObjectMap::SetProperty(const std::string& key, const std::string& value) {
    entries_[UpperCased(key)] = value;
}

std::string GuiObjectMap::GetProperty(const std::string& key) const {
    const auto it = entries_.find(UpperCased(key));
    return it == entries_.end() ? std::string() : it->second;
}

bool GuiObjectMap::HasProperty(const std::string& key) const {
    return entries_.count(UpperCased(key)) != 0;
}

void GuiObjectMap::CopyFrom(const GuiObjectMap& other) {
    if (&other == this) {
        return;
    }
    RemoveAll();
    for (const auto& [key, value] : other.entries_) {
        SetProperty(key, value);
    }
}

} // namespace panelgrab
