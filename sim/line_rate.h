#pragma once

namespace panelgrab::sim {

// The rate the client set on its side of the pseudo-terminal whose phone side is `fd` (the line's
// settings are shared by both sides); 0 when it cannot be told.
int ClientLineRate(int fd);

} // namespace panelgrab::sim
