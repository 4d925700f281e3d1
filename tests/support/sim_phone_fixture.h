#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "capture/display_bitmap.h"
#include "phone/phone_link.h"
#include "sim/picture_source.h"
#include "sim/simulated_phone.h"
#include "transport/at/connection_settings.h"
#include "transport/bytes/port_timing.h"

namespace panelgrab::test {

// Counts the pixels where the bitmap differs from the expected picture, over rows firstRow..rows-1;
// -1 when the sizes differ or the bitmap has no pixels.
inline int DifferingPixels(const DisplayBitmap& bitmap, const Picture& expected, int rows, int firstRow = 0) {
    if (bitmap.width() != expected.width() || bitmap.height() != expected.height() || !bitmap.pixels()) {
        return -1;
    }
    int differing = 0;
    for (int y = firstRow; y < rows && y < expected.height(); ++y) {
        for (int x = 0; x < expected.width(); ++x) {
            const uint8_t* bgr = bitmap.pixels() + static_cast<std::size_t>(y) * bitmap.rowSize() + 3 * x;
            const Rgb rgb = expected.At(x, y);
            differing += (bgr[0] != rgb.b || bgr[1] != rgb.g || bgr[2] != rgb.r) ? 1 : 0;
        }
    }
    return differing;
}

// Polls `done` every millisecond until it holds or `limit` has passed.
template <typename Predicate> bool WaitUntil(Predicate done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A running simulated phone (started at construction), and phone objects on it with the fast timing.
class SimPhone {
public:
    explicit SimPhone(sim::SimOptions options) : options_(std::move(options)), sim_(options_) {
        started_ = sim_.Start(error_);
    }

    // A phone object on the simulator's device, not yet opened.
    std::unique_ptr<PhoneLink> MakePhone() const {
        ConnectionSettings settings(sim_.DevicePath(), 115200);
        settings.SetTiming(PortTiming::Fast());
        return CreatePhone(settings);
    }

    // Opens `phone` and reads the display list.
    ::testing::AssertionResult Connect() {
        if (!started_) {
            return ::testing::AssertionFailure() << "simulator: " << error_;
        }
        phone = MakePhone();
        if (phone->Open(false) != kPhoneOk) {
            return ::testing::AssertionFailure() << "open: " << phone->Port().errorText();
        }
        if (phone->GetDisplayList(displays) != kPhoneOk || displays.empty()) {
            return ::testing::AssertionFailure() << "no display list";
        }
        return ::testing::AssertionSuccess();
    }

    const std::string& DevicePath() const { return sim_.DevicePath(); }
    Picture Expected(std::size_t index = 0) const { return sim::ExpectedPicture(options_, index); }
    const DisplayInfo& display() const { return displays.front(); }
    // Stops the simulated phone: its end of the line goes away.
    void StopPhone() { sim_.Stop(); }
    int32_t TotalCharacters(std::size_t index) const {
        return static_cast<int32_t>(displays[index].lineLength * displays[index].height);
    }

    std::unique_ptr<PhoneLink> phone;
    DisplayList displays;

private:
    sim::SimOptions options_;
    sim::SimulatedPhone sim_;
    bool started_ = false;
    std::string error_;
};

inline sim::SimOptions SmallDisplay(int width, int height, int bitsPerPixel, int baud = 0) {
    sim::SimOptions options;
    options.displays = {sim::SimDisplay{width, height, bitsPerPixel}};
    options.baud = baud;
    return options;
}

} // namespace panelgrab::test
