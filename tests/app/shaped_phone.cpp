#include "shaped_phone.h"

#include <algorithm>

namespace panelgrab::test {

ShapedPhone::ShapedPhone(std::unique_ptr<PhoneLink> inner, const ConnectionSettings& settings,
                         ReadShaping& shaping)
    : PhoneLink(std::make_unique<SerialPort>(settings)), inner_(std::move(inner)), shaping_(shaping) {}

ShapedPhone::~ShapedPhone() {
    inner_.reset();
    ++shaping_.destroyed;
}

int32_t ShapedPhone::GetDisplayList(DisplayList& displays) {
    const int32_t result = inner_->GetDisplayList(displays);
    if (result == kPhoneOk && shaping_.rewriteDisplays) {
        shaping_.rewriteDisplays(displays);
    }
    return result;
}

int32_t ShapedPhone::GetReadProgress() {
    const int32_t progress = inner_->GetReadProgress();
    return shaping_.progressCap < 0 ? progress : std::min(progress, shaping_.progressCap);
}

std::function<std::unique_ptr<PhoneLink>(const ConnectionSettings&)> ShapedPhoneFactory(ReadShaping& shaping,
                                                                                        ShapedPhone** last) {
    return [&shaping, last](const ConnectionSettings& settings) -> std::unique_ptr<PhoneLink> {
        std::unique_ptr<PhoneLink> inner = CreatePhone(settings);
        if (!inner || shaping.passThrough) {
            return inner;
        }
        auto shaped = std::make_unique<ShapedPhone>(std::move(inner), settings, shaping);
        *last = shaped.get();
        return shaped;
    };
}

} // namespace panelgrab::test
