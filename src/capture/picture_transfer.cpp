// ScreenImage: fetching a display's picture text, in bulk or line by line.
#include <algorithm>
#include <limits>
#include <new>

#include "capture/bulk_picture_parser.h"
#include "capture/capture_texts.h"
#include "capture/picture_text.h"
#include "capture/pixel_decoder.h"
#include "capture/screen_image.h"
#include "common/ascii_text.h"
#include "common/commands.h"
#include "transport/at/serial_port.h"

namespace panelgrab {

namespace {

constexpr int kLineTimeout = 256;
// The picture's first line may take longer than the later ones: the phone prepares the picture.
constexpr int kFirstLineStalls = 4;
// Per picture line: the answer's prefix and line end around its digits.
constexpr uint64_t kLineOverhead = 16;

// The idle polls (a read wait and an idle pause each) that make up the timing's stall limit.
int StallPolls(const PortTiming& timing) {
    const auto poll = std::max(timing.readWait + timing.idlePause, std::chrono::milliseconds(1));
    return static_cast<int>(std::max<long long>(1, timing.stallLimit / poll));
}

bool IsHexText(std::string_view text) {
    return std::all_of(text.begin(), text.end(), IsHexDigit);
}

// "16 of 220 lines": the whole lines among `received` digits.
std::string LinesReceived(uint32_t received, uint32_t lineLength, uint32_t lines) {
    return std::to_string(lineLength > 0 ? received / lineLength : 0) + " of " + std::to_string(lines) +
           " lines";
}

std::string StoppedText(uint32_t received, uint32_t lineLength, uint32_t lines) {
    return "stopped after " + LinesReceived(received, lineLength, lines);
}

std::string StalledText(uint32_t received, uint32_t lineLength, uint32_t lines) {
    return "the phone stopped sending after " + LinesReceived(received, lineLength, lines);
}

} // namespace

ScreenImage::BulkOutcome ScreenImage::RunBulkTransfer(SerialPort& port, int displayNumber, char* data,
                                                      uint32_t lines, uint32_t lineLength, bool publish) {
    // The request and all its answer lines are one exchange: a key listener reading in between
    // would take picture lines away.
    const auto holdPort = port.HoldExchanges();
    const NarrowString command =
        displayNumber == 0 ? NarrowString(kCmdZisi) : FormatSelectDisplay(displayNumber);
    if (port.Write(command) != Ok) {
        errorText_ = port.errorText();
        return BulkOutcome::Lost;
    }
    if (publish) {
        received_ = 0;
    }
    BulkPictureParser parser(command.view(), lines, lineLength);
    const int stallPolls = StallPolls(port.settings().GetTiming());
    const auto leave = [&](BulkOutcome outcome, std::string reason) {
        // Whatever of the picture is still on its way must not be taken for the next answer.
        port.MarkOutOfStep((uint64_t{lines} * lineLength - parser.received()) +
                           uint64_t{lines} * kLineOverhead);
        SetFailureDetail(std::move(reason));
        return outcome;
    };
    for (bool first = true;; first = false) {
        // Wait for the phone without the lock: a window asking for the picture must not freeze.
        std::string text;
        if (const ExchangeResult read =
                port.ReadLine(text, first ? kFirstLineStalls * stallPolls : stallPolls);
            read != Ok) {
            errorText_ = port.errorText();
            return leave(BulkOutcome::Lost, read == TimedOut
                                                ? StalledText(parser.received(), lineLength, lines)
                                                : std::string());
        }
        BulkPictureParser::Step step;
        {
            std::lock_guard guard(lock_);
            step = parser.Feed(text, data);
            if (publish) {
                received_ = static_cast<int32_t>(parser.received());
            }
        }
        switch (step) {
        case BulkPictureParser::Step::More:
            if (stopRequested_) {
                return leave(BulkOutcome::Lost, StoppedText(parser.received(), lineLength, lines));
            }
            break;
        case BulkPictureParser::Step::Done:
            return BulkOutcome::Whole;
        case BulkPictureParser::Step::Refused:
            errorText_ = kTextNoBulkRead;
            return BulkOutcome::Refused;
        case BulkPictureParser::Step::Failed:
            errorText_ = kTextPictureOverflow;
            return leave(BulkOutcome::Malformed, parser.failure());
        }
    }
}

void ScreenImage::SetFailureDetail(std::string detail) {
    std::lock_guard guard(lock_);
    failureDetail_ = std::move(detail);
}

std::string ScreenImage::FailureDetail() const {
    std::lock_guard guard(lock_);
    return failureDetail_;
}

ScreenImage::BulkOutcome ScreenImage::ReadBulk(SerialPort& port) {
    char* data = nullptr;
    DisplayInfo entry;
    {
        std::lock_guard guard(lock_);
        data = data_.data();
        entry = *current_;
    }
    return RunBulkTransfer(port, entry.displayNumber, data, entry.height, entry.lineLength, true);
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
        if (stopRequested_) {
            SetFailureDetail(StoppedText(static_cast<uint32_t>(line), 1, entry.height));
            return false;
        }
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
        if (count != entry.lineLength || !IsHexText(std::string_view(data_.data() + offset, count))) {
            failureDetail_ = "line " + std::to_string(line) + " had " + std::to_string(count) +
                             " characters where " + std::to_string(entry.lineLength) +
                             " digits were expected";
            errorText_ = kTextPictureOverflow;
            return false;
        }
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
    return ReadBulk(port) == BulkOutcome::Whole;
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
    if (RunBulkTransfer(port, displayNumber, scratch.data(), static_cast<uint32_t>(height), lineLength,
                        false) != BulkOutcome::Whole) {
        return false;
    }
    return DecodeRows(static_cast<uint16_t>(width), static_cast<uint16_t>(height), 16,
                      static_cast<uint16_t>(lineLength), scratch.data(), scratch.size(), rows, rowsBytes,
                      true);
}

} // namespace panelgrab
