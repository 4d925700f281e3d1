// ScreenImage: fetching a display's picture text, in bulk or line by line.
#include <algorithm>
#include <limits>
#include <new>

#include "capture/capture_texts.h"
#include "capture/picture_text.h"
#include "capture/pixel_decoder.h"
#include "capture/screen_image.h"
#include "common/commands.h"
#include "transport/serial_port.h"

namespace panelgrab {

namespace {

constexpr int kLineTimeout = 256;
// How far a bulk stream may run past the picture before we stop listening to it.
constexpr uint64_t kOverflowAllowance = 64 * 1024;

} // namespace

bool ScreenImage::SendBulkRequest(SerialPort& port, int displayNumber) {
    const ExchangeResult result =
        displayNumber == 0 ? port.Write(kCmdZisi) : port.Write(FormatSelectDisplay(displayNumber));
    if (result != Ok) {
        errorText_ = port.errorText();
        return false;
    }
    return true;
}

bool ScreenImage::ReceiveBulkText(SerialPort& port, std::string& text) {
    if (port.ReadLine(text, kLineTimeout) != Ok) {
        errorText_ = port.errorText();
        return false;
    }
    return true;
}

bool ScreenImage::ReadBulkLine(bool first, SerialPort& port, char* data, uint32_t& received, bool& done,
                               uint32_t capacity, int displayNumber) {
    if (first) {
        if (!SendBulkRequest(port, displayNumber)) {
            return false;
        }
        received = 0;
    }
    std::string text;
    if (!ReceiveBulkText(port, text)) {
        done = true;
        return false;
    }
    BulkHarvest harvest;
    {
        std::lock_guard guard(lock_);
        harvest = HarvestBulkText(text, first, data, capacity, received);
    }
    if (harvest == BulkHarvest::Error) {
        errorText_ = kTextNoBulkRead;
        done = true;
        return false;
    }
    done = harvest == BulkHarvest::Done;
    return true;
}

bool ScreenImage::RunBulkTransfer(SerialPort& port, int displayNumber, char* data, uint32_t capacity,
                                  bool publish) {
    // The request and all its answer lines are one exchange: a key listener reading in between
    // would take picture lines away.
    const auto holdPort = port.HoldExchanges();
    if (!SendBulkRequest(port, displayNumber)) {
        return false;
    }
    if (publish) {
        received_ = 0;
    }
    const uint64_t limit = 2 * uint64_t{capacity} + kOverflowAllowance;
    uint64_t textSeen = 0;
    uint32_t count = 0;
    for (bool first = true;; first = false) {
        // Wait for the phone without the lock: a window asking for the picture must not freeze.
        std::string text;
        if (!ReceiveBulkText(port, text)) {
            return false;
        }
        BulkHarvest harvest;
        {
            std::lock_guard guard(lock_);
            harvest = HarvestBulkText(text, first, data, capacity, count);
            if (publish) {
                received_ = static_cast<int32_t>(count);
            }
        }
        if (harvest == BulkHarvest::Error) {
            errorText_ = kTextNoBulkRead;
            return false;
        }
        if (harvest == BulkHarvest::Done) {
            return true;
        }
        textSeen += text.size();
        if (textSeen > limit) {
            errorText_ = kTextPictureOverflow;
            return false;
        }
    }
}

bool ScreenImage::ReadBulk(SerialPort& port) {
    char* data = nullptr;
    uint32_t capacity = 0;
    int displayNumber = 0;
    {
        std::lock_guard guard(lock_);
        data = data_.data();
        capacity = static_cast<uint32_t>(data_.size());
        displayNumber = current_->displayNumber;
    }
    return RunBulkTransfer(port, displayNumber, data, capacity, true);
}

bool ScreenImage::ReadLineByLine(SerialPort& port) {
    received_ = 0;
    return FetchLines(port, 0, std::numeric_limits<int>::max());
}

bool ScreenImage::FetchLines(SerialPort& port, int firstLine, int lastLine) {
    DisplayInfo entry;
    std::size_t capacity = 0;
    {
        std::lock_guard guard(lock_);
        if (!current_) {
            return false;
        }
        entry = *current_;
        capacity = data_.size();
    }
    const int last = std::min(lastLine, int{entry.height} - 1);
    for (int line = std::max(firstLine, 0); line <= last; ++line) {
        const std::size_t offset = std::min<std::size_t>(std::size_t{entry.lineLength} * line, capacity);
        const auto room = static_cast<uint32_t>(capacity - offset);
        // Waited for without the lock: a window drawing the picture meanwhile must not freeze.
        std::string answer;
        if (!FetchPixelLine(port, line, 0, entry.width - 1, room, answer)) {
            return false;
        }
        std::lock_guard guard(lock_);
        const uint32_t count = ExtractPixelLine(answer, data_.data() + offset, room);
        received_ += static_cast<int32_t>(count);
    }
    return true;
}

bool ScreenImage::ReadWholeAgain(SerialPort& port) {
    {
        std::lock_guard guard(lock_);
        if (!current_ || data_.empty()) {
            return false;
        }
    }
    return ReadBulk(port);
}

bool ScreenImage::ReadWidePicture(SerialPort& port, int width, int height, int displayNumber, uint8_t* rows,
                                  std::size_t rowsBytes) {
    if (width < 0 || height < 0 || static_cast<uint32_t>(width) > kMaxDisplaySide ||
        static_cast<uint32_t>(height) > kMaxDisplaySide) {
        errorText_ = kTextDisplayTooLarge;
        return false;
    }
    const uint32_t lineLength = static_cast<uint32_t>(width) * 8;
    std::vector<char> scratch;
    try {
        scratch.assign(std::size_t{lineLength} * height, '0');
    } catch (const std::bad_alloc&) {
        errorText_ = kTextPictureNoMemory;
        return false;
    }
    if (!RunBulkTransfer(port, displayNumber, scratch.data(), static_cast<uint32_t>(scratch.size()), false)) {
        return false;
    }
    return DecodeRows(static_cast<uint16_t>(width), static_cast<uint16_t>(height), 16,
                      static_cast<uint16_t>(lineLength), scratch.data(), scratch.size(), rows, rowsBytes,
                      true);
}

} // namespace panelgrab
