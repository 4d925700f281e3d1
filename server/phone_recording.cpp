#include "server/phone_recording.h"

#include <algorithm>

namespace panelgrab::server {

PhoneRecording::PhoneRecording(int scale, RecordingBounds bounds, Clock::time_point start)
    : scale_(std::clamp(scale, 1, LiveRecording::kMaxScale)), bounds_(bounds), start_(start),
      frames_(scale_) {}

int64_t PhoneRecording::MsSinceStart(Clock::time_point at) const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::max(at, start_) - start_).count();
}

std::size_t PhoneRecording::ChangedBytes(const Picture& picture) const {
    if (picture == last_) {
        return 0;
    }
    if (last_.width() != picture.width() || last_.height() != picture.height()) {
        return std::size_t{3} * picture.width() * picture.height() * scale_ * scale_;
    }
    int32_t top = picture.height(), bottom = -1, left = picture.width(), right = -1;
    for (int32_t y = 0; y < picture.height(); ++y) {
        for (int32_t x = 0; x < picture.width(); ++x) {
            if (!std::equal(picture.Row(y) + 3 * x, picture.Row(y) + 3 * x + 3, last_.Row(y) + 3 * x)) {
                top = std::min(top, y);
                bottom = y;
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    return bottom < 0 ? 0
                      : std::size_t{3} * static_cast<std::size_t>(right - left + 1) *
                            static_cast<std::size_t>(bottom - top + 1) * scale_ * scale_;
}

void PhoneRecording::Add(const Picture& picture, Clock::time_point at) {
    CheckTime(at);
    if (!running_) {
        return;
    }
    const std::size_t bytes = ChangedBytes(picture);
    if (bytes == 0) {
        return; // the same picture: the frame before lasts on
    }
    if (frames_.Frames() >= bounds_.maxFrames) {
        End(at, "the recording reached its bound of " + std::to_string(bounds_.maxFrames) + " frames");
        return;
    }
    if (pixelBytes_ + bytes > bounds_.maxPixelBytes) {
        End(at, "the recording reached its bound of " + std::to_string(bounds_.maxPixelBytes >> 20) +
                    " MiB of changed pixels");
        return;
    }
    std::string error;
    if (!frames_.Add(picture, MsSinceStart(at), error)) {
        End(at, "a picture could not be recorded: " + error);
        return;
    }
    pixelBytes_ += bytes;
    last_ = picture;
}

void PhoneRecording::End(Clock::time_point at, std::string reason) {
    if (!running_) {
        return;
    }
    running_ = false;
    end_ = at;
    ended_ = std::move(reason);
}

void PhoneRecording::CheckTime(Clock::time_point now) {
    if (running_ && now - start_ >= bounds_.maxTime) {
        End(start_ + bounds_.maxTime,
            "the recording reached its bound of " + std::to_string(bounds_.maxTime.count()) + " s");
    }
}

RecordingStatus PhoneRecording::Status(Clock::time_point now) const {
    const Clock::time_point upTo = running_ ? now : end_;
    return {running_, frames_.Frames(), static_cast<double>(MsSinceStart(upTo)) / 1000.0, scale_, ended_};
}

bool PhoneRecording::Encode(Clock::time_point now, std::vector<uint8_t>& apng, std::string& error) {
    End(now);
    return frames_.Encode(MsSinceStart(end_), apng, error);
}

} // namespace panelgrab::server
