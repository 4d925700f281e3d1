// ScreenImage: the display list in both dialects and the per-line picture request.
#include <algorithm>
#include <thread>

#include "capture/display_list_parser.h"
#include "capture/picture_text.h"
#include "capture/screen_image.h"
#include "common/commands.h"
#include "transport/at/serial_port.h"

namespace panelgrab {

namespace {

constexpr int kExchangeTimeout = 20;
// Room for the echo, the answer's prefix and the final OK around a line's characters.
constexpr std::size_t kLineAnswerSlack = 256;
constexpr uint32_t kWidestPixelCharacters = 8;
constexpr uint32_t kLineZeroRoom = 1024;

} // namespace

bool ScreenImage::QueryDisplayList(SerialPort& port, DisplayList& list) {
    list.clear();
    std::string answer;
    if (port.Transact(kCmdZisiTest, answer, kExchangeTimeout) == Ok && !AnswerReportsError(answer)) {
        list = ParseZisiDisplayList(answer);
        bulkKnown_ = true;
        return true;
    }
    // A phone without the display-image command describes its picture-line ranges instead.
    bulkKnown_ = false;
    return QueryZipiDisplay(port, list);
}

bool ScreenImage::QueryZipiDisplay(SerialPort& port, DisplayList& list) {
    std::string answer;
    if (port.Transact(kCmdZipiTest, answer, kExchangeTimeout) != Ok) {
        errorText_ = port.errorText();
        return false;
    }
    const ZipiSize size = ZipiDisplaySize(ParseZipiGroups(answer));
    // The phone needs a moment after the range query before it serves a line; two read waits are
    // a second on a real line and next to nothing with a test's timing.
    std::this_thread::sleep_for(2 * port.settings().GetTiming().readWait);

    // Line 0 tells the pixel format by its length, so it must not be cut: room for the widest
    // pixels of a display we would read at all.
    const uint32_t room = size.width <= kMaxDisplaySide
                              ? std::max(kLineZeroRoom, size.width * kWidestPixelCharacters)
                              : kLineZeroRoom;
    std::vector<char> scratch(room);
    uint32_t count = 0;
    if (!ReadPixelLine(port, 0, 0, static_cast<int>(size.width) - 1, scratch.data(), room, count)) {
        return false;
    }
    list.push_back(ZipiDisplayEntry(size, count));
    return true;
}

bool ScreenImage::FetchPixelLine(SerialPort& port, int line, int firstColumn, int lastColumn, uint32_t room,
                                 std::string& answer) {
    const int64_t columns = std::max<int64_t>(0, int64_t{lastColumn} - firstColumn + 1);
    const uint64_t lineCharacters =
        std::min<uint64_t>(room, static_cast<uint64_t>(columns) * kWidestPixelCharacters);
    const std::size_t capacity =
        std::max<std::size_t>(SerialPort::kAnswerCapacity, lineCharacters + kLineAnswerSlack);
    if (port.Transact(FormatPictureRequest(line, firstColumn, lastColumn), answer, kExchangeTimeout,
                      capacity) != Ok) {
        errorText_ = port.errorText();
        return false;
    }
    return true;
}

bool ScreenImage::ReadPixelLine(SerialPort& port, int line, int firstColumn, int lastColumn, char* dest,
                                uint32_t room, uint32_t& count) {
    std::string answer;
    if (!FetchPixelLine(port, line, firstColumn, lastColumn, room, answer)) {
        return false;
    }
    count = ExtractPixelLine(answer, dest, room);
    return true;
}

bool ScreenImage::ProbeWidePixels(SerialPort& port) {
    std::string answer;
    return port.Query(kCmdZisiTest, answer, kExchangeTimeout) == Ok && IsLongListForm(answer);
}

bool ScreenImage::IsBulkReadSupported(SerialPort& port) {
    return port.Execute(kCmdZisiTest, kExchangeTimeout) == Ok;
}

} // namespace panelgrab
