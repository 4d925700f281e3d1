#include "python/comparison.h"

#include "compare/diff_picture.h"
#include "compare/picture_comparison.h"
#include "python/gil_gate.h"
#include "python/picture_file_writer.h"
#include "python/python_errors.h"

namespace py = pybind11;

namespace panelgrab::python {

Comparison::Comparison(const ComparisonResult& result, ComparisonOptions options,
                       std::shared_ptr<const Picture> reference, std::shared_ptr<const Picture> picture)
    : result_(result), options_(std::move(options)), reference_(std::move(reference)),
      picture_(std::move(picture)) {}

const char* Comparison::Verdict() const {
    switch (result_.verdict) {
    case ComparisonVerdict::Match:
        return "match";
    case ComparisonVerdict::Differ:
        return "differ";
    case ComparisonVerdict::SizeMismatch:
        return "size mismatch";
    case ComparisonVerdict::RegionOutside:
        break;
    }
    return "region outside";
}

py::object Comparison::Bbox() const {
    if (result_.differingPixels == 0) {
        return py::none();
    }
    const PictureRect& box = result_.bounds;
    return py::make_tuple(box.left, box.top, box.right, box.bottom);
}

void Comparison::SaveDiff(const std::string& path) const {
    bool written = false;
    std::string error;
    {
        const GilGate::Released release;
        Picture diff;
        const PictureComparison comparison(options_);
        if (!DiffPicture::Draw(*reference_, *picture_, comparison, diff)) {
            error = "could not write " + path + ": the diff picture is too large";
        } else {
            written = PictureFileWriter::Write(diff, path, error);
        }
    }
    if (!written) {
        Raise({ErrorKind::Picture, error});
    }
}

} // namespace panelgrab::python
