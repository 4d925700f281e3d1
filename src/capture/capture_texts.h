#pragma once

namespace panelgrab {

// Fixed texts a ScreenImage leaves in its errorText.
extern const char* const kTextNoBulkRead;      // "AT*ZISI is not implemented in the phone!"
extern const char* const kTextDisplayTooLarge; // the phone described a display we refuse to read
extern const char* const kTextPictureOverflow; // the bulk picture went on far past the display
extern const char* const kTextPictureNoMemory; // the picture text could not be allocated
extern const char* const kTextPictureNotWhole; // a read failed with no other reason to give

// True for one of the texts above; false for a port's text (the port failed) and for null.
bool IsScreenBufferText(const char* text);

} // namespace panelgrab
