#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/display_picture.h"
#include "sim/picture_source.h"
#include "sim/simulated_phone.h"

namespace panelgrab::sim {

// What the phone's displays show at each moment: the test card or --picture, replaced by
// ShowPicture or a re-read --watch-picture file, with the --animate step of the moment drawn on
// display 0. Every answer asks it afresh, so whole-picture, line and checksum answers always agree
// with what is shown when the command arrives.
//
// Thread-safe: the serving thread asks, a test's thread may swap the picture at any time.
class ShownScreen {
public:
    struct Snapshot {
        std::shared_ptr<const std::vector<DisplayPicture>> pictures; // one per display, never empty
        uint64_t version = 0;
    };

    explicit ShownScreen(const SimOptions& options);

    // Reads --picture (or draws the test card) and starts the animation's clock. False with a
    // message when the picture file cannot be read.
    bool Load(std::string& error);

    // The displays' sizes and formats; fixed for the phone's life.
    const std::vector<SimDisplay>& displays() const { return displays_; }

    // The pictures shown now. Cheap when nothing changed since the last call.
    Snapshot Now();
    // Replaces what display `index` shows; false for no such display.
    bool Show(std::size_t index, const Picture& image);

    // Records that a whole picture of `version` was sent.
    void NoteWholePicture(uint64_t version);
    std::vector<uint64_t> WholePictureVersions() const;

private:
    struct FileStamp {
        uint64_t device = 0, inode = 0, size = 0;
        int64_t seconds = 0, nanoseconds = 0;
        bool operator==(const FileStamp&) const = default;
    };
    using Clock = std::chrono::steady_clock;

    static bool StampOf(const std::string& path, FileStamp& stamp);
    void ReloadIfChanged();
    int64_t StepNow() const;
    void Rebuild(int64_t step);

    SimOptions options_;
    std::vector<SimDisplay> displays_;
    bool longForm_;

    mutable std::mutex mutex_;
    std::vector<Picture> sources_; // what each display shows before the animation is drawn
    uint64_t generation_ = 0;      // counts changes of sources_
    FileStamp stamp_;
    Clock::time_point start_;
    std::shared_ptr<const std::vector<DisplayPicture>> current_;
    int64_t builtStep_ = -1;
    uint64_t builtGeneration_ = 0;
    uint64_t version_ = 0;
    std::vector<uint64_t> wholePictures_;
};

} // namespace panelgrab::sim
