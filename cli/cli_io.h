#pragma once

#include <ostream>

namespace panelgrab::cli {

// Where a command writes: data on `out`, messages on `err`.
struct CliIo {
    std::ostream& out;
    std::ostream& err;
    bool errIsTerminal = false; // progress bars are drawn only on a terminal
};

} // namespace panelgrab::cli
