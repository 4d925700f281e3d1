#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "capture/display_bitmap.h"
#include "capture/display_info.h"

namespace panelgrab {

class SerialPort;

class ScreenBufferBase {
public:
    virtual ~ScreenBufferBase() = default;
    // A self-contained bulk read of a display with 8-character pixels into `rows` (rowSize bytes
    // per row, `height` rows). Used by no window operation; offered to library clients.
    virtual bool ReadWidePicture(SerialPort& port, int width, int height, int displayNumber, uint8_t* rows,
                                 std::size_t rowsBytes) = 0;
    // True when the phone describes its displays in the long list form.
    virtual bool ProbeWidePixels(SerialPort& port) = 0;
};

// The screen buffer of one display read: the display list, the chosen entry, and the picture as
// the hexadecimal text the phone sent, counted as it arrives.
//
// Threading: ReadScreen runs on one thread (a worker, or the caller of a synchronous read). The
// lock guards the current entry, the picture text and the received count; it is held while a
// received step or line is stored, never while waiting for the phone. RenderInto and
// RegionChecksum take it, so they see whole steps only. received() may be read at any time.
class ScreenImage : public ScreenBufferBase {
public:
    ScreenImage();
    ~ScreenImage() override;
    ScreenImage(const ScreenImage&) = delete;
    ScreenImage& operator=(const ScreenImage&) = delete;

    // Reads the display at position `index` of the list it queries itself. True: the picture text
    // holds the picture and received() its character count.
    bool ReadScreen(SerialPort& port, int index);
    // Reads the display `entry` (from a list queried before) without asking for the list again.
    // `listedByDisplayImage`: that list came from the phone's answer to AT*ZISI=?, so the bulk read
    // is known to exist and is not asked about again.
    bool ReadDisplay(SerialPort& port, const DisplayInfo& entry, bool listedByDisplayImage = false);
    // The first half of ReadScreen: queries the list and makes the entry at `index` current, with a
    // picture text of '0' (black) and nothing transferred yet.
    bool SelectDisplay(SerialPort& port, int index);
    // The same for the display that the phone numbers `displayNumber` (not a list position): false
    // when the list no longer has it.
    bool SelectNumberedDisplay(SerialPort& port, int displayNumber);
    // Fetches display lines firstLine..lastLine of the current entry with AT*ZIPI (which serves the
    // first display only) into the picture text, each stored under the lock as it arrives, so that
    // the rest of the picture stays as it was. Lines outside the display are skipped. False without
    // a current entry or when a line was refused or not answered (errorText says why).
    bool FetchLines(SerialPort& port, int firstLine, int lastLine);
    // Fetches columns firstColumn..lastColumn of display line `line` of the current entry with
    // AT*ZIPI into their place in the picture text, under the lock (pixels smaller than a character
    // are widened to whole characters). `served` is false, with nothing stored, when the pixel format
    // has no fixed place per pixel or the answer does not hold exactly the characters those columns
    // take: the caller then fetches whole lines. False without a current entry, for a line outside
    // the display, or when the exchange failed (errorText says why).
    bool FetchLineColumns(SerialPort& port, int line, int firstColumn, int lastColumn, bool& served);
    // Reads the current entry's whole picture again in bulk, over the text it already holds.
    bool ReadWholeAgain(SerialPort& port);
    // Asks the phone for its displays (either dialect) into `list` (emptied first). The answer also
    // tells whether the phone has the bulk read.
    bool QueryDisplayList(SerialPort& port, DisplayList& list);
    // The last list query was answered by AT*ZISI=? (not the AT*ZIPI fallback).
    bool ListedByDisplayImage() const { return bulkKnown_; }
    // Fetches the characters of one display line with AT*ZIPI into dest (at most `room`).
    bool ReadPixelLine(SerialPort& port, int line, int firstColumn, int lastColumn, char* dest, uint32_t room,
                       uint32_t& count);
    bool IsBulkReadSupported(SerialPort& port);

    bool ReadWidePicture(SerialPort& port, int width, int height, int displayNumber, uint8_t* rows,
                         std::size_t rowsBytes) override;
    bool ProbeWidePixels(SerialPort& port) override;

    // Decodes everything received so far into `bitmap` under the lock. False with no current
    // entry, no picture text, or a bitmap without pixel rows. Never writes outside the bitmap.
    bool RenderInto(DisplayBitmap& bitmap);
    // Decodes rows firstRow..lastRow (clipped to both) into the same rows of `bitmap` under the lock,
    // each at its own row start. False as RenderInto.
    bool RenderRowsInto(DisplayBitmap& bitmap, int firstRow, int lastRow);
    // The local checksum of a rectangle over the received text; -1 without a current entry.
    int32_t RegionChecksum(int32_t left, int32_t top, int32_t right, int32_t bottom);

    // Ends a running transfer after the line that is arriving (from any thread): the read fails
    // with "stopped", and the port drains the rest of the picture before its next command.
    void RequestStop() { stopRequested_ = true; }
    // Hexadecimal characters received in the current transfer, also those that did not fit.
    int32_t received() const { return received_.load(); }
    const char* errorText() const { return errorText_.load(); }
    // Why the last read failed in words that name the picture's trouble ("the phone stopped sending
    // after 16 of 220 lines"); empty when errorText() says all.
    std::string FailureDetail() const;
    bool widePixels() const { return widePixels_; }
    // The entry being read (none before the read has chosen it).
    std::optional<DisplayInfo> current() const;
    // The display list of the last ReadScreen.
    DisplayList displays() const;

private:
    // Implementation details are the capture module's own.
    friend class ScreenImageAccess;
    enum class BulkOutcome {
        Whole,     // the picture, every digit of it
        Refused,   // the phone has no bulk read
        Malformed, // the stream was not the picture: line by line may still give it
        Lost       // the phone stopped sending, or the port failed
    };
    BulkOutcome ReadBulk(SerialPort& port);
    // The bulk method, then line by line where that may still succeed.
    bool ReadSelected(SerialPort& port);
    void SetFailureDetail(std::string detail);
    bool ReadLineByLine(SerialPort& port);
    bool QueryZipiDisplay(SerialPort& port, DisplayList& list);
    // The list query that choosing a display begins with; the list is kept.
    bool ListForSelection(SerialPort& port, DisplayList& list);
    // Chooses the entry and allocates its picture text; false for an absurd size or no memory.
    bool PrepareTransfer(const DisplayInfo& entry);
    // The bulk request and its answer until the final result, shared by ReadScreen and
    // ReadWidePicture; `data` holds lines × lineLength digits. A transfer left early marks the line
    // out of step. With `publish`, every stored step advances received().
    BulkOutcome RunBulkTransfer(SerialPort& port, int displayNumber, char* data, uint32_t lines,
                                uint32_t lineLength, bool publish);
    // Decodes rows first..last of the current entry into their bitmap rows. Lock held.
    void DecodeRowRange(DisplayBitmap& bitmap, int first, int last);
    // Transacts the AT*ZIPI request with room for the whole line's answer.
    bool FetchPixelLine(SerialPort& port, int line, int firstColumn, int lastColumn, uint32_t room,
                        std::string& answer);

    std::atomic<const char*> errorText_{nullptr};
    mutable std::mutex lock_;
    std::optional<DisplayInfo> current_;
    DisplayList displays_;
    std::atomic<int32_t> received_{0};
    std::atomic<bool> widePixels_{false};
    std::atomic<bool> bulkKnown_{false}; // the phone answered AT*ZISI=?: no need to ask again
    std::vector<char> data_;             // height x lineLength characters of the current entry, '0' at first
    std::string failureDetail_;
    std::atomic<bool> stopRequested_{false};
};

} // namespace panelgrab
