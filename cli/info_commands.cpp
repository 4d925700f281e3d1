#include "cli/info_commands.h"

#include <cstdio>

#include "cli/exit_codes.h"
#include "cli/trace_printer.h"

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
    const Result<std::string> model = session.Core().Model();
    if (!model) {
        return session.ReportFailure(model.failure());
    }
    io.out << *model << "\n" << std::flush;
    return kExitOk;
}

int RunDisplays(PhoneSession& session, CliIo& io) {
    const Result<DisplayList> listed = session.Core().Displays();
    if (!listed) {
        return session.ReportFailure(listed.failure());
    }
    const DisplayList& displays = *listed;
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
    const Result<GuiObjectMap> objects = session.Core().GuiObjects();
    if (!objects && objects.failure().kind == FailureKind::BadAnswer) {
        return session.Report("gui failed: the phone's GUI object answer could not be parsed", kExitFailed);
    }
    if (!objects) {
        return session.ReportFailure(objects.failure());
    }
    for (const auto& [key, value] : objects->entries()) {
        io.out << key << "=" << MakeVisible(value) << "\n";
    }
    io.out << std::flush;
    return kExitOk;
}

} // namespace panelgrab::cli
