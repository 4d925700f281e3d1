#pragma once

#include <string>
#include <vector>

namespace panelgrab::cli {

// The program's arguments as UTF-8. On Windows they are read from the wide command line, since
// argv holds them in the ANSI code page, which cannot hold every file name.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Makes the standard streams fit for this program's output and says whether standard error is a
// terminal (progress bars are drawn only there). On Windows standard output becomes binary, so that
// a picture written to "-" gets no CR added before its LF bytes, and the console shows UTF-8.
bool PrepareStandardStreams();

} // namespace panelgrab::cli
