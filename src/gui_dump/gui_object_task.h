#pragma once

#include "gui_dump/gui_object_map.h"
#include "gui_dump/gui_object_parser.h"
#include "jobs/phone_task.h"

namespace panelgrab {

// Asks the phone for the GUI object it currently shows ("AT*ZGUI=0\r") and parses the answer into
// a property map. Lives for one call on the caller's thread.
class GuiObjectTask : public PhoneTask {
public:
    explicit GuiObjectTask(SerialPort& queryPort);

    // Asks "AT*ZGUI=?\r"; the flag is true when the answer holds "OK". Returns the exchange result.
    int IsSupported(bool& supported) override;
    // Queries the object into the response and parses it. Returns the exchange result: 0 also when
    // the answer did not parse (GetResult tells).
    int Run() override;
    // When the last parse succeeded, copies its properties into `objects`; otherwise leaves it.
    bool GetResult(GuiObjectMap& objects) const;

private:
    GuiObjectMap properties_;
    bool valid_ = false;
};

} // namespace panelgrab
