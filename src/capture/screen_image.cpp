#include "capture/screen_image.h"

#include <algorithm>
#include <new>

#include "capture/capture_texts.h"
#include "capture/pixel_decoder.h"
#include "common/local_checksum.h"
#include "transport/at/serial_port.h"

namespace panelgrab {

ScreenImage::ScreenImage() = default;
ScreenImage::~ScreenImage() = default;

bool ScreenImage::ReadScreen(SerialPort& port, int index) {
    return SelectDisplay(port, index) && ReadSelected(port);
}

bool ScreenImage::ReadDisplay(SerialPort& port, const DisplayInfo& entry, bool listedByDisplayImage) {
    bulkKnown_ = listedByDisplayImage;
    return PrepareTransfer(entry) && ReadSelected(port);
}

bool ScreenImage::ReadSelected(SerialPort& port) {
    SetFailureDetail({});
    if (bulkKnown_ || IsBulkReadSupported(port)) {
        switch (ReadBulk(port)) {
        case BulkOutcome::Whole:
            return true;
        case BulkOutcome::Lost:
            return false; // stalled, or the port failed: line by line would fare no better
        case BulkOutcome::Refused:
        case BulkOutcome::Malformed:
            break; // the port brings the line back in step before the first line request
        }
    }
    // No bulk read, or its picture was not whole: read the display again, one line at a time. The
    // line request has no display parameter: it serves display 0 only, never another's picture.
    if (current()->displayNumber != 0) {
        if (FailureDetail().empty()) {
            SetFailureDetail("display " + std::to_string(current()->displayNumber) +
                             " cannot be read line by line (AT*ZIPI serves display 0 only)");
        }
        return false;
    }
    SetFailureDetail({});
    return ReadLineByLine(port);
}

bool ScreenImage::ListForSelection(SerialPort& port, DisplayList& list) {
    const bool listed = QueryDisplayList(port, list);
    std::lock_guard guard(lock_);
    displays_ = list;
    return listed;
}

bool ScreenImage::SelectDisplay(SerialPort& port, int index) {
    DisplayList list;
    if (!ListForSelection(port, list) || index < 0 || static_cast<std::size_t>(index) >= list.size()) {
        return false;
    }
    return PrepareTransfer(list[static_cast<std::size_t>(index)]);
}

bool ScreenImage::SelectNumberedDisplay(SerialPort& port, int displayNumber) {
    DisplayList list;
    const bool listed = ListForSelection(port, list);
    const auto entry = std::find_if(list.begin(), list.end(),
                                    [&](const DisplayInfo& d) { return d.displayNumber == displayNumber; });
    return listed && entry != list.end() && PrepareTransfer(*entry);
}

bool ScreenImage::PrepareTransfer(const DisplayInfo& entry) {
    const uint64_t characters = uint64_t{entry.height} * entry.lineLength;
    std::lock_guard guard(lock_);
    current_.reset();
    data_.clear();
    data_.shrink_to_fit();
    received_ = 0;
    if (!IsReadableDisplay(entry)) {
        errorText_ = kTextDisplayTooLarge;
        return false;
    }
    try {
        // Filled with '0' so that lines not received yet decode to black, never to stale memory.
        data_.assign(static_cast<std::size_t>(characters), '0');
    } catch (const std::bad_alloc&) {
        errorText_ = kTextPictureNoMemory;
        return false;
    }
    current_ = entry;
    // Eight characters a pixel is the long list form's line: the entry tells the width of a pixel.
    widePixels_ = entry.width > 0 && entry.lineLength == 8u * entry.width;
    return true;
}

bool ScreenImage::RenderInto(DisplayBitmap& bitmap) {
    std::lock_guard guard(lock_);
    if (!current_ || data_.empty() || !bitmap.hasPixels()) {
        return false;
    }
    const DisplayInfo& entry = *current_;
    const auto lineLength = static_cast<uint16_t>(entry.lineLength);
    const uint16_t height = std::min(entry.height, bitmap.height());
    if (entry.width == bitmap.width()) {
        return DecodeRows(entry.width, height, entry.bitsPerPixel, lineLength, data_.data(), data_.size(),
                          bitmap.pixels(), bitmap.pixelBytes(), widePixels_);
    }
    // A bitmap of another width: decode what both have, each line into its own bitmap row.
    DecodeRowRange(bitmap, 0, height - 1);
    return true;
}

bool ScreenImage::RenderRowsInto(DisplayBitmap& bitmap, int firstRow, int lastRow) {
    std::lock_guard guard(lock_);
    if (!current_ || data_.empty() || !bitmap.hasPixels()) {
        return false;
    }
    DecodeRowRange(bitmap, firstRow, lastRow);
    return true;
}

void ScreenImage::DecodeRowRange(DisplayBitmap& bitmap, int first, int last) {
    const DisplayInfo& entry = *current_;
    const auto lineLength = static_cast<uint16_t>(entry.lineLength);
    const uint16_t width = std::min(entry.width, bitmap.width());
    const int rows = std::min(entry.height, bitmap.height());
    for (int row = std::max(first, 0); row <= std::min(last, rows - 1); ++row) {
        const std::size_t textStart = std::min(std::size_t{entry.lineLength} * row, data_.size());
        const std::size_t rowStart = std::size_t{bitmap.rowSize()} * row;
        DecodeRows(width, 1, entry.bitsPerPixel, lineLength, data_.data() + textStart,
                   data_.size() - textStart, bitmap.pixels() + rowStart, bitmap.rowSize(), widePixels_);
    }
}

int32_t ScreenImage::RegionChecksum(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    std::lock_guard guard(lock_);
    if (!current_) {
        return -1;
    }
    return ChecksumOf(data_.empty() ? nullptr : data_.data(), data_.size(), current_->bitsPerPixel,
                      current_->lineLength, current_->width, static_cast<uint16_t>(left),
                      static_cast<uint16_t>(top), static_cast<uint16_t>(right), static_cast<uint16_t>(bottom),
                      widePixels_);
}

std::optional<DisplayInfo> ScreenImage::current() const {
    std::lock_guard guard(lock_);
    return current_;
}

DisplayList ScreenImage::displays() const {
    std::lock_guard guard(lock_);
    return displays_;
}

} // namespace panelgrab
