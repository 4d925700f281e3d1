#include <memory>

#include "phone/at_phone.h"
#include "phone/phone_link.h"

namespace panelgrab {

std::unique_ptr<PhoneLink> CreatePhoneLink(int32_t kind, const ConnectionSettings& settings) {
    if (kind != 0) {
        return nullptr;
    }
    return std::make_unique<AtPhone>(std::make_unique<SerialPort>(settings));
}

std::unique_ptr<PhoneLink> CreatePhone(const ConnectionSettings& settings) {
    return CreatePhoneLink(0, settings);
}

} // namespace panelgrab
