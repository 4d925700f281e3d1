#pragma once

#include <functional>
#include <memory>

#include "phone/phone_link.h"

namespace panelgrab::test {

// A real phone object with some answers shaped by the test: the display list can be rewritten, and
// while `holdRead` is set the read looks running with its progress capped, so a test decides exactly
// what each timer tick sees.
struct ReadShaping {
    std::function<void(DisplayList&)> rewriteDisplays; // applied to a successful display list
    bool holdRead = false;
    int32_t progressCap = -1; // -1: no cap
    int destroyed = 0;        // phone objects destroyed so far
    bool passThrough = false; // hand out the real phone objects, unwrapped (their Port() is the real one)
};

class ShapedPhone : public PhoneLink {
public:
    ShapedPhone(std::unique_ptr<PhoneLink> inner, const ConnectionSettings& settings, ReadShaping& shaping);
    ~ShapedPhone() override;

    // Whether the real read still transfers, whatever the shaping says.
    bool InnerReadRunning() { return inner_->IsReadRunning(); }

    int32_t Open(bool sendInitCommands) override { return inner_->Open(sendInitCommands); }
    int32_t Close() override { return inner_->Close(); }
    int32_t ReservedOperation1() override { return inner_->ReservedOperation1(); }
    int32_t CheckConnection() override { return inner_->CheckConnection(); }
    int32_t GetModel(std::string& model) override { return inner_->GetModel(model); }
    int32_t ReservedOperation2() override { return inner_->ReservedOperation2(); }
    int32_t GetGuiObjects(GuiObjectMap& objects) override { return inner_->GetGuiObjects(objects); }
    int32_t ReservedOperation3() override { return inner_->ReservedOperation3(); }
    int32_t ReadDisplay(DisplayBitmap& picture, int32_t position) override {
        return inner_->ReadDisplay(picture, position);
    }
    int32_t GetDisplayChecksum(const DisplayRegion& region, int32_t number, int32_t& checksum) override {
        return inner_->GetDisplayChecksum(region, number, checksum);
    }
    int32_t GetDisplayList(DisplayList& displays) override;
    int32_t StartScreenRead(const DisplayInfo& display) override { return inner_->StartScreenRead(display); }
    int32_t StopScreenRead() override { return inner_->StopScreenRead(); }
    int32_t GetReadProgress() override;
    int32_t GetReadImage(const DisplayBitmap*& picture) override { return inner_->GetReadImage(picture); }
    int32_t GetRegionChecksum(const DisplayRegion& region, int32_t& checksum) override {
        return inner_->GetRegionChecksum(region, checksum);
    }
    bool IsReadRunning() override { return shaping_.holdRead || inner_->IsReadRunning(); }
    int32_t PressKeyTimed(const std::string& keys, int32_t pressMs, int32_t pauseMs) override {
        return inner_->PressKeyTimed(keys, pressMs, pauseMs);
    }
    int32_t PressKey(const std::string& keys) override { return inner_->PressKey(keys); }
    int32_t StartKeyEvents(KeyEventSink* client) override { return inner_->StartKeyEvents(client); }
    int32_t StopKeyEvents(int32_t unused) override { return inner_->StopKeyEvents(unused); }
    int32_t SendCommand(const std::string& command, std::string& answer) override {
        return inner_->SendCommand(command, answer);
    }
    void SetTraceSink(TraceSink* sink) override { inner_->SetTraceSink(sink); }

private:
    std::unique_ptr<PhoneLink> inner_;
    ReadShaping& shaping_;
};

// A phone factory for MainDialogOptions::createPhone that makes ShapedPhones over real ones and
// remembers the last one made in `last` (not owned; valid while the window holds it).
std::function<std::unique_ptr<PhoneLink>(const ConnectionSettings&)> ShapedPhoneFactory(ReadShaping& shaping,
                                                                                        ShapedPhone** last);

} // namespace panelgrab::test
