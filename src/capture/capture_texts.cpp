#include "capture/capture_texts.h"

#include <initializer_list>

namespace panelgrab {

const char* const kTextNoBulkRead = "AT*ZISI is not implemented in the phone!";
const char* const kTextDisplayTooLarge = "The phone reported a display too large to read.";
const char* const kTextPictureOverflow =
    "The phone sent far more picture data than its display can hold; the transfer was stopped.";
const char* const kTextPictureNoMemory = "There is not enough memory for the display's picture.";
const char* const kTextPictureNotWhole = "The display's picture did not arrive whole.";

bool IsScreenBufferText(const char* text) {
    for (const char* own : {kTextNoBulkRead, kTextDisplayTooLarge, kTextPictureOverflow, kTextPictureNoMemory,
                            kTextPictureNotWhole}) {
        if (text == own) {
            return true;
        }
    }
    return false;
}

} // namespace panelgrab
