#include "gui_dump/gui_object_task.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "common/ascii_text.h"
#include "common/commands.h"
#include "transport/at/serial_port.h"

namespace panelgrab {
namespace {

constexpr int kCommandTimeout = 20;
const NarrowString kCmdGuiProbe("AT*ZGUI=?\r");

} // namespace

GuiObjectTask::GuiObjectTask(SerialPort& queryPort) : PhoneTask(queryPort) {}

int GuiObjectTask::IsSupported(bool& supported) {
    std::string answer;
    const ExchangeResult result = port.Query(kCmdGuiProbe, answer, kCommandTimeout);
    supported = result == Ok && ToUpperAscii(answer).find("OK") != std::string::npos;
    return result;
}

int GuiObjectTask::Run() {
    valid_ = false;
    const ExchangeResult result = port.Query(kCmdGuiDump, response, kCommandTimeout);
    if (result == Ok) {
        valid_ = ParseGuiObject(response, properties_);
    }
    return result;
}

bool GuiObjectTask::GetResult(GuiObjectMap& objects) const {
    if (valid_) {
        objects.CopyFrom(properties_);
    }
    return valid_;
}

} // namespace panelgrab
