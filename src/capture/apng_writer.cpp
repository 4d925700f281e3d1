#include "capture/apng_writer.h"

#include <algorithm>
#include <cstring>

#include "common/atomic_file.h"
#include "common/image/zlib_png_encoder.h"

namespace panelgrab {
namespace {

constexpr std::size_t kBytesPerPixel = 3;
constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint32_t kLoopForever = 0;
constexpr uint8_t kDisposeNone = 0; // the next frame is drawn over this one
constexpr uint8_t kBlendSource = 0; // a frame's pixels replace what is under them
// A frame's delay is a fraction of 16-bit numerator and denominator.
constexpr int64_t kMaxDelayUnits = 65535;

struct Delay {
    uint16_t numerator = 0;
    uint16_t denominator = 1000;
};

// The delay for `ms` in the finest unit (1 ms, 10 ms, 100 ms, 1 s) that holds it; `consumed` is
// the time it stands for, less than `ms` only beyond 65535 s (the rest then needs further frames).
Delay DelayFor(int64_t ms, int64_t& consumed) {
    consumed = ms;
    for (const int64_t unit : {1, 10, 100, 1000}) {
        const int64_t units = (ms + unit / 2) / unit;
        if (units <= kMaxDelayUnits) {
            return {static_cast<uint16_t>(units), static_cast<uint16_t>(1000 / unit)};
        }
    }
    consumed = kMaxDelayUnits * 1000;
    return {static_cast<uint16_t>(kMaxDelayUnits), 1};
}

void PutFrameControl(std::vector<uint8_t>& apng, uint32_t& sequence, uint32_t x, uint32_t y, uint32_t width,
                     uint32_t height, Delay delay) {
    uint8_t control[26] = {};
    PutPngInt32(control, sequence++);
    PutPngInt32(control + 4, width);
    PutPngInt32(control + 8, height);
    PutPngInt32(control + 12, x);
    PutPngInt32(control + 16, y);
    control[20] = static_cast<uint8_t>(delay.numerator >> 8);
    control[21] = static_cast<uint8_t>(delay.numerator);
    control[22] = static_cast<uint8_t>(delay.denominator >> 8);
    control[23] = static_cast<uint8_t>(delay.denominator);
    control[24] = kDisposeNone;
    control[25] = kBlendSource;
    PutPngChunk(apng, "fcTL", control, sizeof control);
}

// Frame data after the first frame: the sequence number, then the compressed rows.
void PutFrameData(std::vector<uint8_t>& apng, uint32_t& sequence, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> chunk(4 + data.size());
    PutPngInt32(chunk.data(), sequence++);
    std::copy(data.begin(), data.end(), chunk.begin() + 4);
    PutPngChunk(apng, "fdAT", chunk.data(), chunk.size());
}

bool SamePixels(const DisplayBitmap& a, const DisplayBitmap& b, uint32_t y, uint32_t left, uint32_t right) {
    return std::memcmp(a.pixels() + y * a.rowSize() + left * kBytesPerPixel,
                       b.pixels() + y * b.rowSize() + left * kBytesPerPixel,
                       (right - left) * kBytesPerPixel) == 0;
}

// The box of `source` with every pixel enlarged to scale x scale.
bool ScaledPart(const DisplayBitmap& source, uint32_t left, uint32_t top, uint32_t width, uint32_t height,
                int scale, DisplayBitmap& part) {
    if (!part.SetSize(static_cast<uint16_t>(width * scale), static_cast<uint16_t>(height * scale))) {
        return false;
    }
    for (uint32_t y = 0; y < part.height(); ++y) {
        const uint8_t* from = source.pixels() + (top + y / scale) * source.rowSize() + left * kBytesPerPixel;
        uint8_t* to = part.pixels() + y * part.rowSize();
        for (uint32_t x = 0; x < part.width(); ++x) {
            std::memcpy(to + x * kBytesPerPixel, from + (x / scale) * kBytesPerPixel, kBytesPerPixel);
        }
    }
    return true;
}

} // namespace

ApngWriter::ApngWriter(int scale) : scale_(std::clamp(scale, 1, kMaxScale)) {}

bool ApngWriter::AddPicture(const DisplayBitmap& picture, int64_t atMs, std::string& error) {
    if (!picture.hasPixels() || picture.width() == 0 || picture.height() == 0) {
        error = "the picture is empty";
        return false;
    }
    if (frames_.empty()) {
        return AddFrame(picture, {0, 0, picture.width(), picture.height()}, atMs, error);
    }
    if (picture.width() != last_.width() || picture.height() != last_.height()) {
        error = "the picture changed size from " + std::to_string(last_.width()) + "x" +
                std::to_string(last_.height()) + " to " + std::to_string(picture.width()) + "x" +
                std::to_string(picture.height()) + "; an animation keeps one size";
        return false;
    }
    const Box box = ChangedBox(picture);
    if (box.right == box.left) {
        return true;
    }
    return AddFrame(picture, box, std::max(atMs, frames_.back().startMs), error);
}

ApngWriter::Box ApngWriter::ChangedBox(const DisplayBitmap& picture) const {
    Box box;
    const uint32_t width = picture.width();
    bool found = false;
    for (uint32_t y = 0; y < picture.height(); ++y) {
        if (SamePixels(picture, last_, y, 0, width)) {
            continue;
        }
        uint32_t left = 0;
        while (SamePixels(picture, last_, y, left, left + 1)) {
            ++left;
        }
        uint32_t right = width;
        while (SamePixels(picture, last_, y, right - 1, right)) {
            --right;
        }
        if (!found) {
            box = {left, y, right, y + 1};
            found = true;
        }
        box.left = std::min(box.left, left);
        box.right = std::max(box.right, right);
        box.bottom = y + 1;
    }
    return box;
}

bool ApngWriter::AddFrame(const DisplayBitmap& picture, const Box& box, int64_t atMs, std::string& error) {
    DisplayBitmap part;
    if (!ScaledPart(picture, box.left, box.top, box.right - box.left, box.bottom - box.top, scale_, part)) {
        error = "the picture is too large to enlarge " + std::to_string(scale_) + " times";
        return false;
    }
    Frame frame;
    frame.x = box.left * scale_;
    frame.y = box.top * scale_;
    frame.width = part.width();
    frame.height = part.height();
    frame.startMs = atMs;
    if (!CompressPngImageData(part.ToPicture(), frame.data)) {
        error = "PNG encoding failed: zlib refused the data";
        return false;
    }
    // The bitmap is blue, green, red.
    frame.corner[0] = part.pixels()[2];
    frame.corner[1] = part.pixels()[1];
    frame.corner[2] = part.pixels()[0];
    frames_.push_back(std::move(frame));
    last_ = picture;
    return true;
}

bool ApngWriter::Encode(int64_t endMs, std::vector<uint8_t>& apng, std::string& error) const {
    if (frames_.empty()) {
        error = "no picture was recorded";
        return false;
    }
    apng.assign(std::begin(kSignature), std::end(kSignature));
    // 8 bits a sample, RGB, deflate, adaptive filters, no interlace.
    uint8_t header[13] = {0, 0, 0, 0, 0, 0, 0, 0, 8, 2, 0, 0, 0};
    PutPngInt32(header, last_.width() * scale_);
    PutPngInt32(header + 4, last_.height() * scale_);
    PutPngChunk(apng, "IHDR", header, sizeof header);
    PutFrames(apng, endMs);
    PutPngChunk(apng, "IEND", nullptr, 0);
    return true;
}

// acTL, then each frame's control and data. A frame that stays longer than one delay can say is
// followed by 1x1 frames that repeat its top-left pixel, so the time still adds up.
void ApngWriter::PutFrames(std::vector<uint8_t>& apng, int64_t endMs) const {
    std::vector<uint8_t> frames;
    uint32_t sequence = 0;
    uint32_t frameCount = 0;
    for (std::size_t i = 0; i < frames_.size(); ++i) {
        const Frame& frame = frames_[i];
        const int64_t until =
            i + 1 < frames_.size() ? frames_[i + 1].startMs : std::max(endMs, frame.startMs);
        int64_t consumed = 0;
        int64_t remaining = until - frame.startMs;
        PutFrameControl(frames, sequence, frame.x, frame.y, frame.width, frame.height,
                        DelayFor(remaining, consumed));
        if (i == 0) {
            PutPngChunk(frames, "IDAT", frame.data.data(), frame.data.size());
        } else {
            PutFrameData(frames, sequence, frame.data);
        }
        ++frameCount;
        for (remaining -= consumed; remaining > 0; remaining -= consumed) {
            PutFrameControl(frames, sequence, frame.x, frame.y, 1, 1, DelayFor(remaining, consumed));
            Picture pixel;
            pixel.Resize(1, 1);
            pixel.Set(0, 0, {frame.corner[0], frame.corner[1], frame.corner[2]});
            std::vector<uint8_t> data;
            CompressPngImageData(pixel, data);
            PutFrameData(frames, sequence, data);
            ++frameCount;
        }
    }
    uint8_t control[8];
    PutPngInt32(control, frameCount);
    PutPngInt32(control + 4, kLoopForever);
    PutPngChunk(apng, "acTL", control, sizeof control);
    const uint8_t perceptual = 0;
    PutPngChunk(apng, "sRGB", &perceptual, 1);
    apng.insert(apng.end(), frames.begin(), frames.end());
}

bool ApngWriter::Finish(int64_t endMs, const std::string& path, std::string& error) const {
    std::vector<uint8_t> apng;
    return Encode(endMs, apng, error) && WriteFileAtomically(path, apng.data(), apng.size(), error);
}

} // namespace panelgrab
