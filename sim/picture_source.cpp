#include "sim/picture_source.h"

#include <string>

#include "common/image/picture_file_reader.h"

#include "sim/display_picture.h"
#include "sim/test_card.h"

namespace panelgrab::sim {
namespace {

// The test card's text: enough to tell displays and formats apart at a glance.
std::vector<std::string> CardText(const SimOptions& options, const SimDisplay& display, std::size_t index) {
    return {options.model,
            std::to_string(display.width) + "x" + std::to_string(display.height) + " " +
                std::to_string(display.bitsPerPixel) + " BIT",
            "DISPLAY " + std::to_string(index), "0123456789"};
}

} // namespace

std::vector<SimDisplay> EffectiveDisplays(const SimOptions& options) {
    if (!options.displays.empty()) {
        return options.displays;
    }
    switch (options.dialect) {
    case Dialect::TwoDisplays:
        return {SimDisplay{176, 220, 16}, SimDisplay{96, 64, 16}};
    case Dialect::Short:
        return {SimDisplay{128, 160, 16}};
    default:
        return {SimDisplay{176, 220, 16}};
    }
}

bool LoadSourcePictures(const SimOptions& options, std::vector<Picture>& sources, std::string& error) {
    Picture file;
    if (!options.picturePath.empty() &&
        PictureFileReader::Read(options.picturePath, file, error) != PictureFileStatus::Ok) {
        error = "picture " + error;
        return false;
    }
    const std::vector<SimDisplay> displays = EffectiveDisplays(options);
    sources.clear();
    for (std::size_t i = 0; i < displays.size(); ++i) {
        const SimDisplay& d = displays[i];
        sources.push_back(
            options.picturePath.empty() ? DrawTestCard(d.width, d.height, CardText(options, d, i)) : file);
    }
    return true;
}

bool LoadDisplayPictures(const SimOptions& options, std::vector<DisplayPicture>& pictures,
                         std::string& error) {
    std::vector<Picture> sources;
    if (!LoadSourcePictures(options, sources, error)) {
        return false;
    }
    const std::vector<SimDisplay> displays = EffectiveDisplays(options);
    pictures.clear();
    for (std::size_t i = 0; i < displays.size(); ++i) {
        pictures.emplace_back(displays[i], IsLongForm(options.dialect), sources[i]);
    }
    return true;
}

Picture ExpectedPicture(const SimOptions& options, std::size_t index) {
    std::vector<DisplayPicture> pictures;
    std::string error;
    if (!LoadDisplayPictures(options, pictures, error) || index >= pictures.size()) {
        return {};
    }
    return pictures[index].Decoded();
}

} // namespace panelgrab::sim
