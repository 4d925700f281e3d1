#include "gui_dump/gui_object_map.h"

#include "common/ascii_text.h"

namespace panelgrab {

void GuiObjectMap::SetProperty(const std::string& key, const std::string& value) {
    entries_[ToUpperAscii(key)] = value;
}

std::string GuiObjectMap::GetProperty(const std::string& key) const {
    const auto it = entries_.find(ToUpperAscii(key));
    return it == entries_.end() ? std::string() : it->second;
}

bool GuiObjectMap::HasProperty(const std::string& key) const {
    return entries_.count(ToUpperAscii(key)) != 0;
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
