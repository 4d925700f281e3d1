#pragma once

#include <functional>
#include <memory>

#include "phone/at_phone.h"

namespace panelgrab::test {

// How the tests shape a real phone's answers: the display list can be rewritten, and while
// `holdRead` is set the read looks running with its progress capped, so a test decides exactly
// what each timer tick sees.
struct ReadShaping {
    std::function<void(DisplayList&)> rewriteDisplays; // applied to a successful display list
    bool holdRead = false;
    int32_t progressCap = -1; // -1: no cap
    int destroyed = 0;        // phone objects destroyed so far
};

class ShapedPhone : public AtPhone {
public:
    ShapedPhone(const ConnectionSettings& settings, ReadShaping& shaping);
    ~ShapedPhone() override { ++shaping_.destroyed; }

    // Whether the real read still transfers, whatever the shaping says.
    bool InnerReadRunning() { return AtPhone::IsReadRunning(); }

    int32_t GetDisplayList(DisplayList& displays) override;
    int32_t GetReadProgress() override;
    bool IsReadRunning() override { return shaping_.holdRead || AtPhone::IsReadRunning(); }

private:
    ReadShaping& shaping_;
};

// A phone factory for MainDialogOptions::createPhone that makes ShapedPhones and remembers the last
// one made in `last` (not owned; valid while the window holds it).
std::function<std::unique_ptr<PhoneLink>(const ConnectionSettings&)> ShapedPhoneFactory(ReadShaping& shaping,
                                                                                        ShapedPhone** last);

} // namespace panelgrab::test
