#include "sim/shown_screen.h"

#include <algorithm>
#include <sys/stat.h>

#include "common/image/picture_file_reader.h"
#include "sim/screen_animation.h"

namespace panelgrab::sim {
namespace {

// A phone serving for days records no more than this; tests look at the first few.
constexpr std::size_t kMaxRecordedPictures = 100000;

// The source cropped or padded with black to the display's size, so that the animation lands on
// the display's own corner and rows.
Picture FittedTo(const Picture& source, const SimDisplay& display) {
    Picture fitted;
    fitted.Resize(display.width, display.height);
    const int width = std::min(source.width(), fitted.width());
    for (int y = 0; y < std::min(source.height(), fitted.height()); ++y) {
        std::copy_n(source.Row(y), static_cast<std::size_t>(width) * 3, fitted.Row(y));
    }
    return fitted;
}

} // namespace

bool ShownScreen::StampOf(const std::string& path, FileStamp& stamp) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return false;
    }
#ifdef _WIN32
    const int64_t seconds = static_cast<int64_t>(status.st_mtime), nanoseconds = 0;
#else
    const int64_t seconds = static_cast<int64_t>(status.st_mtim.tv_sec);
    const int64_t nanoseconds = static_cast<int64_t>(status.st_mtim.tv_nsec);
#endif
    stamp = {static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino),
             static_cast<uint64_t>(status.st_size), seconds, nanoseconds};
    return true;
}

ShownScreen::ShownScreen(const SimOptions& options)
    : options_(options), displays_(EffectiveDisplays(options)), longForm_(IsLongForm(options.dialect)) {}

bool ShownScreen::Load(std::string& error) {
    std::vector<Picture> sources;
    if (!LoadSourcePictures(options_, sources, error)) {
        return false;
    }
    std::lock_guard lock(mutex_);
    sources_ = std::move(sources);
    ++generation_;
    start_ = Clock::now();
    if (options_.watchPicture) {
        StampOf(options_.picturePath, stamp_);
    }
    return true;
}

int64_t ShownScreen::StepNow() const {
    if (!options_.animation.any()) {
        return 0;
    }
    const auto period = std::chrono::milliseconds(options_.animation.periodMs);
    return (Clock::now() - start_) / period;
}

// A file that cannot be read (or is being written in place) leaves the last picture shown.
void ShownScreen::ReloadIfChanged() {
    FileStamp stamp;
    if (!StampOf(options_.picturePath, stamp) || stamp == stamp_) {
        return;
    }
    stamp_ = stamp;
    Picture file;
    std::string ignored;
    if (PictureFileReader::Read(options_.picturePath, file, ignored) != PictureFileStatus::Ok) {
        return;
    }
    for (Picture& source : sources_) {
        source = file;
    }
    ++generation_;
}

void ShownScreen::Rebuild(int64_t step) {
    auto pictures = std::make_shared<std::vector<DisplayPicture>>();
    pictures->reserve(displays_.size());
    for (std::size_t i = 0; i < displays_.size(); ++i) {
        if (i == 0 && options_.animation.any()) {
            Picture animated = FittedTo(sources_[i], displays_[i]);
            DrawAnimationStep(animated, options_.animation, step);
            pictures->emplace_back(displays_[i], longForm_, animated);
        } else {
            pictures->emplace_back(displays_[i], longForm_, sources_[i]);
        }
    }
    current_ = std::move(pictures);
    builtStep_ = step;
    builtGeneration_ = generation_;
    ++version_;
}

ShownScreen::Snapshot ShownScreen::Now() {
    std::lock_guard lock(mutex_);
    if (options_.watchPicture) {
        ReloadIfChanged();
    }
    const int64_t step = StepNow();
    if (!current_ || step != builtStep_ || generation_ != builtGeneration_) {
        Rebuild(step);
    }
    return {current_, version_};
}

bool ShownScreen::Show(std::size_t index, const Picture& image) {
    std::lock_guard lock(mutex_);
    if (index >= sources_.size()) {
        return false;
    }
    sources_[index] = image;
    ++generation_;
    return true;
}

void ShownScreen::NoteWholePicture(uint64_t version) {
    std::lock_guard lock(mutex_);
    if (wholePictures_.size() < kMaxRecordedPictures) {
        wholePictures_.push_back(version);
    }
}

std::vector<uint64_t> ShownScreen::WholePictureVersions() const {
    std::lock_guard lock(mutex_);
    return wholePictures_;
}

} // namespace panelgrab::sim
