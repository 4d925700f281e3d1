#pragma once

#include <string>
#include <string_view>

#include "gui_dump/gui_object_map.h"

namespace panelgrab {

// The keys under which an object type stores its two extra values; null where it stores none.
struct GuiObjectExtraKeys {
    const char* first = nullptr;
    const char* second = nullptr;
};

// Looks the type up in the table of object types, ignoring letter case. A type in no row has no
// extra keys.
GuiObjectExtraKeys ExtraKeysOfType(std::string_view type);

// Parses the answer to "AT*ZGUI=0\r": after the first colon, four quoted fields (stored under
// OBJECT, TITLE, SKL, SKR) and up to two more whose keys depend on the type. The map is emptied
// first. False when the colon or one of the four fields is missing or a field is never closed; the
// map then holds what was stored before the failure.
bool ParseGuiObject(std::string_view answer, GuiObjectMap& map);

} // namespace panelgrab
