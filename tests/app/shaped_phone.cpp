#include "shaped_phone.h"

#include <algorithm>

namespace panelgrab::test {

ShapedPhone::ShapedPhone(const ConnectionSettings& settings, ReadShaping& shaping)
    : AtPhone(std::make_unique<SerialPort>(settings)), shaping_(shaping) {}

int32_t ShapedPhone::GetDisplayList(DisplayList& displays) {
    const int32_t result = AtPhone::GetDisplayList(displays);
    if (result == kPhoneOk && shaping_.rewriteDisplays) {
        shaping_.rewriteDisplays(displays);
    }
    return result;
}

int32_t ShapedPhone::GetReadProgress() {
    const int32_t progress = AtPhone::GetReadProgress();
    return shaping_.progressCap < 0 ? progress : std::min(progress, shaping_.progressCap);
}

std::function<std::unique_ptr<PhoneLink>(const ConnectionSettings&)> ShapedPhoneFactory(ReadShaping& shaping,
                                                                                        ShapedPhone** last) {
    return [&shaping, last](const ConnectionSettings& settings) -> std::unique_ptr<PhoneLink> {
        auto phone = std::make_unique<ShapedPhone>(settings, shaping);
        *last = phone.get();
        return phone;
    };
}

} // namespace panelgrab::test
