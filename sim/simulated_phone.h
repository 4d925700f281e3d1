#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/image/picture.h"

namespace panelgrab::sim {

// How the simulated phone describes its displays.
enum class Dialect { Long, LongRange, TwoDisplays, Short, PerLine };

struct SimDisplay {
    int width = 176;
    int height = 220;
    int bitsPerPixel = 16;
};

// What moves on display 0 with --animate, one step every periodMs.
struct SimAnimation {
    bool clock = false;     // a clock in the top-right corner (see ClockBox)
    bool highlight = false; // a highlight moving down the list rows (see ListRowBox)
    // Changes that keep the sums of many rectangles (see the boxes in screen_animation.h):
    bool rows = false;    // two neighbouring rows trading contents
    bool pixels = false;  // two pixels of one row trading values
    bool block = false;   // a flat block moving one pixel to the right
    bool checker = false; // a 2 x 2 checkerboard flipping (keeps every row's and column's sum)
    int periodMs = 1000;
    bool any() const { return clock || highlight || rows || pixels || block || checker; }
};

// Every knob of the simulated phone; the command-line options of panelgrab-phonesim map onto it.
struct SimOptions {
    Dialect dialect = Dialect::Long;
    std::vector<SimDisplay> displays; // empty: the dialect's default displays
    std::string model = "PANELSIM-P200";
    std::string picturePath; // BMP file; empty: the built-in test card
    int baud = 0;            // 0: unpaced; otherwise everything sent is paced at baud/10 bytes a second
    int chunk = 0;           // 0: whole writes; otherwise pieces of this many bytes
    bool echo = true;
    std::string keyEvents;     // script "5,1;5,0;*,1;*,0"
    int keyEventPauseMs = 200; // pause between scripted reports
    std::string fault;         // "", "silent", "error-bulk", "hangup-after=N", "garbage", ...
    std::string guiObject;     // the quoted fields after "*ZGUI: "; empty: a Form object
    bool unsolicited = false;  // reports inside answers and between picture lines
    SimAnimation animation;
    bool watchPicture = false; // re-read picturePath whenever the file changes
    bool strictBaud = false;   // answer only when the client's line rate equals `baud`; noise otherwise
    std::string replayPath;    // a recorded session to play back instead of being a phone
    bool replayFast = false;   // --replay-timing fast: answer at once instead of after the recorded gap
};

// Parses panelgrab-phonesim's options (also used by "--port sim:OPTIONS"). False with a message in
// `error` for an unknown or malformed option.
bool ParseSimOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error);
// The options' help text.
std::string SimOptionsHelp();

// A phone that serves the far side of a pseudo-terminal on a thread of its own. Clients open
// DevicePath() as their port name.
class SimulatedPhone {
public:
    explicit SimulatedPhone(SimOptions options);
    ~SimulatedPhone(); // stops serving and closes the pseudo-terminal
    SimulatedPhone(const SimulatedPhone&) = delete;
    SimulatedPhone& operator=(const SimulatedPhone&) = delete;

    bool Start(std::string& error);
    void Stop();
    const std::string& DevicePath() const;
    // Bytes the phone has written to its clients since Start (echo, answers, reports, noise). A
    // client may read a piece before it is counted: the count is complete once Stop has returned.
    int64_t BytesSent() const;

    // Shows `image` on display `index` from now on, cropped or padded with black as --picture is;
    // every later answer (whole picture, line, checksum) uses it. Safe while the phone serves;
    // false before Start or for a display the phone does not have.
    bool ShowPicture(std::size_t index, const Picture& image);
    // For each whole-picture answer (AT*ZISI) so far, in order, the version of what the displays
    // showed: the version changes whenever the shown pictures do (an animation step, ShowPicture,
    // a re-read --picture file), so equal versions mean equal pictures.
    std::vector<uint64_t> WholePictureVersions() const;
    // What display `index` shows at this moment, as a correct client decodes it, and the version of
    // what the displays show (as WholePictureVersions counts them): a test compares a picture with
    // the phone's when the version did not change around its transfer. False before Start or for a
    // display the phone does not have.
    bool CurrentPicture(std::size_t index, Picture& decoded, uint64_t& version) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace panelgrab::sim
