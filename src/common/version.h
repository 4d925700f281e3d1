#pragma once

namespace panelgrab {

// The version every program of the project reports (--version, the About box).
inline constexpr const char* kVersion = "1.0";

} // namespace panelgrab
