#include "cli/picture_series.h"

#include "cli/picture_output.h"

namespace panelgrab::cli {

PictureSeries::Outcome PictureSeries::Write(const Picture& picture, const std::string& name,
                                            std::ostream& out, std::string& error) {
    if (changedOnly_ && lastWritten_ && comparison_.Compare(*lastWritten_, picture).matches()) {
        return Outcome::Unchanged;
    }
    if (!SavePicture(picture, name, out, error)) {
        return Outcome::Failed;
    }
    ++written_;
    if (changedOnly_) {
        lastWritten_ = picture;
    }
    return Outcome::Written;
}

} // namespace panelgrab::cli
