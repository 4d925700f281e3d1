#include "cli/info_commands.h"

#include <cstdio>

#include "cli/exit_codes.h"
#include "cli/trace_printer.h"
#include "gui_dump/gui_object_map.h"

namespace panelgrab::cli {

std::string DescribeDisplay(const DisplayInfo& display, std::size_t position) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "Screen %zu (%ux%u)  %u bits per pixel  %u characters per line  display %u", position + 1,
                  static_cast<unsigned>(display.width), static_cast<unsigned>(display.height),
                  static_cast<unsigned>(display.bitsPerPixel), static_cast<unsigned>(display.lineLength),
                  static_cast<unsigned>(display.displayNumber));
    return text;
}

int RunModel(PhoneSession& session, CliIo& io) {
    std::string model;
    if (int32_t result = session.Phone().GetModel(model); result != kPhoneOk) {
        return session.ReportFailure("model", result);
    }
    io.out << model << "\n" << std::flush;
    return kExitOk;
}

int RunDisplays(PhoneSession& session, CliIo& io) {
    DisplayList displays;
    if (int32_t result = session.Phone().GetDisplayList(displays); result != kPhoneOk) {
        return session.ReportFailure("displays", result);
    }
    if (displays.empty()) {
        session.Report("the phone describes no display", kExitOk);
    }
    for (std::size_t i = 0; i < displays.size(); ++i) {
        io.out << DescribeDisplay(displays[i], i) << "\n";
    }
    io.out << std::flush;
    return kExitOk;
}

int RunGui(PhoneSession& session, CliIo& io) {
    GuiObjectMap objects;
    int32_t result = session.Phone().GetGuiObjects(objects);
    if (result == kPhoneBadAnswer) {
        return session.Report("gui failed: the phone's GUI object answer could not be parsed", kExitFailed);
    }
    if (result != kPhoneOk) {
        return session.ReportFailure("gui", result);
    }
    for (const auto& [key, value] : objects.entries()) {
        io.out << key << "=" << MakeVisible(value) << "\n";
    }
    io.out << std::flush;
    return kExitOk;
}

} // namespace panelgrab::cli
