#pragma once

namespace panelgrab {

// Why a picture file could not be used. Every status but Ok comes with a message.
enum class PictureFileStatus {
    Ok,
    CannotRead,    // the file cannot be opened or read
    UnknownFormat, // neither a BMP nor a PNG file
    Unsupported,   // a BMP or PNG variant this reader refuses (its message says which)
    Damaged,       // cut short or inconsistent
    TooLarge,      // beyond kMaxPictureSide / kMaxPicturePixels, or an oversized file
};

} // namespace panelgrab
