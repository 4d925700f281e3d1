#include "cli/comparison_report.h"

#include "cli/exit_codes.h"
#include "cli/picture_output.h"
#include "common/image/picture_file_reader.h"
#include "compare/diff_picture.h"
#include "compare/picture_comparison.h"

namespace panelgrab::cli {

namespace {

bool WriteDiff(const std::string& path, const Picture& reference, const Picture& picture,
               const PictureComparison& comparison, CliIo& io) {
    Picture diff;
    if (!DiffPicture::Draw(reference, picture, comparison, diff)) {
        io.err << "panelgrab-cli: the diff picture " << path << " is too large to write\n" << std::flush;
        return false;
    }
    std::string error;
    if (!SavePicture(diff, path, io.out, error)) {
        io.err << "panelgrab-cli: " << error << "\n" << std::flush;
        return false;
    }
    io.err << "panelgrab-cli: wrote " << path << " (" << diff.width() << "x" << diff.height() << ")\n"
           << std::flush;
    return true;
}

} // namespace

bool ReadPictureToCompare(const std::string& path, Picture& picture, CliIo& io) {
    std::string error;
    if (PictureFileReader::Read(path, picture, error) != PictureFileStatus::Ok) {
        io.err << "panelgrab-cli: " << error << "\n" << std::flush;
        return false;
    }
    return true;
}

int ReportComparison(const ComparisonArguments& arguments, const Picture& reference, const Picture& picture,
                     CliIo& io) {
    const PictureComparison comparison(arguments.options);
    const ComparisonResult result = comparison.Compare(reference, picture);
    if (result.verdict == ComparisonVerdict::RegionOutside) {
        io.err << "panelgrab-cli: " << result.Summary() << "\n" << std::flush;
        return kExitUsage;
    }
    io.out << result.Summary() << "\n" << std::flush;
    if (!arguments.diffFile.empty() && !WriteDiff(arguments.diffFile, reference, picture, comparison, io)) {
        return kExitUsage;
    }
    return result.matches() ? kExitOk : kExitDiffers;
}

} // namespace panelgrab::cli
