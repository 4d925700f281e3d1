#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include "cli/console.h"
#include "common/win32_text.h"

namespace panelgrab::cli {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        return std::vector<std::string>(argv + 1, argv + argc);
    }
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) {
        args.push_back(Utf8FromWide(wide[i]));
    }
    LocalFree(wide);
    return args;
}

bool PrepareStandardStreams() {
    _setmode(_fileno(stdout), _O_BINARY);
    SetConsoleOutputCP(CP_UTF8);
    return _isatty(_fileno(stderr)) != 0;
}

} // namespace panelgrab::cli
