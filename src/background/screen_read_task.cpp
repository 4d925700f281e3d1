#include "background/screen_read_task.h"

#include <utility>

#include "capture/capture_texts.h"
#include "capture/screen_image.h"
#include "common/commands.h"
#include "transport/at/serial_port.h"

namespace panelgrab {
namespace {

constexpr int kCommandTimeout = 20;

} // namespace

ScreenReadTask::ScreenReadTask(const DisplayInfo& display, SerialPort& readPort, bool listedByDisplayImage)
    : ThreadedTask(readPort), display_(display), listedByDisplayImage_(listedByDisplayImage) {}

ScreenReadTask::~ScreenReadTask() {
    Join();
}

int ScreenReadTask::IsSupported(bool& supported) {
    const ExchangeResult result = port.ExecuteQuery(kCmdZisiTest, kCommandTimeout);
    supported = result == Ok;
    return result;
}

int ScreenReadTask::Run() {
    ScreenImage scratch;
    return scratch.ReadDisplay(port, display_, listedByDisplayImage_) ? Ok : ReceiveFailed;
}

bool ScreenReadTask::Start() {
    if (transferring_) {
        return false; // the worker still uses the buffers
    }
    Join();
    auto screen = std::make_unique<ScreenImage>();
    auto picture = std::make_unique<DisplayBitmap>();
    picture->SetSize(display_); // a failed sizing leaves no pixel rows: GetPicture gives null
    std::swap(screen_, screen);
    std::swap(picture_, picture);
    running_ = true;
    transferring_ = true;
    failure_ = nullptr;
    if (!Launch([this] { ReadLoop(); })) {
        running_ = false;
        transferring_ = false;
        std::swap(screen_, screen);
        std::swap(picture_, picture);
        return false;
    }
    return true;
}

bool ScreenReadTask::Stop() {
    running_ = false;
    if (screen_ && transferring_) {
        screen_->RequestStop();
    }
    return true;
}

bool ScreenReadTask::IsRunning() {
    return running_;
}

void ScreenReadTask::ReadLoop() {
    // What arrived stays readable either way; a short picture says why.
    if (!screen_->ReadDisplay(port, display_, listedByDisplayImage_)) {
        const char* text = screen_->errorText();
        if (text == nullptr) {
            text = port.errorText();
        }
        // A failed read always has a reason, so that nobody takes it for a whole picture.
        failure_ = text != nullptr && *text != '\0' ? text : kTextPictureNotWhole;
    }
    // The port is free before the read counts as ended: a client that sees IsRunning() turn false
    // may use the port at once.
    transferring_ = false;
    Stop();
}

std::string ScreenReadTask::FailureText() const {
    const char* text = failure_.load();
    if (text == nullptr) {
        return {};
    }
    const std::string detail = screen_ ? screen_->FailureDetail() : std::string();
    return detail.empty() ? text : detail;
}

int32_t ScreenReadTask::GetProgress() const {
    return screen_ ? screen_->received() : 0;
}

const DisplayBitmap* ScreenReadTask::GetPicture() {
    if (!screen_ || !picture_) {
        return nullptr;
    }
    return screen_->RenderInto(*picture_) ? picture_.get() : nullptr;
}

bool ScreenReadTask::GetRegionChecksum(const DisplayRegion& region, int32_t& checksum) {
    if (!screen_) {
        return false;
    }
    checksum = screen_->RegionChecksum(region.left, region.top, region.right, region.bottom);
    return true;
}

} // namespace panelgrab
