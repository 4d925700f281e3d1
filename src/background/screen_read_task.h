#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "capture/display_bitmap.h"
#include "capture/display_info.h"
#include "common/display_region.h"
#include "jobs/threaded_task.h"

namespace panelgrab {

class ScreenImage;

// Reads one display's picture on a worker thread, so that the client can ask for the progress and
// the picture received so far while the transfer runs.
//
// Threading: the owner's thread calls every operation; the worker runs the transfer into the
// ScreenImage, whose lock guards the picture text. The owner must end the transfer (close the port)
// or let it finish, and Join, before it destroys or restarts the job; the destructor joins as a
// last resort. Stop ends the running state at once and the transfer within one picture line; what
// the phone still sends of the picture is drained before the port's next command.
class ScreenReadTask : public ThreadedTask {
public:
    // The entry is copied. `listedByDisplayImage`: as ScreenImage::ReadDisplay takes it.
    ScreenReadTask(const DisplayInfo& display, SerialPort& readPort, bool listedByDisplayImage = false);
    ~ScreenReadTask() override;

    // Asks "AT*ZISI=?\r"; the flag is true when the phone accepted it.
    int IsSupported(bool& supported) override;
    // Reads the display once on the calling thread into a scratch buffer: 0 when the transfer
    // succeeded, 2 when it failed.
    int Run() override;
    // Makes a fresh screen buffer and picture and starts the worker. False while a previous worker
    // still transfers, or when no thread could be made.
    bool Start() override;
    bool Stop() override;
    bool IsRunning() override;

    // True from Start until the worker's transfer has ended, also after Stop.
    bool IsTransferring() const { return transferring_; }
    // Picture characters received so far; 0 before Start.
    int32_t GetProgress() const;
    // Decodes what has arrived into the job's picture and returns it (always the same object,
    // owned by the job), or null while nothing can be decoded yet.
    const DisplayBitmap* GetPicture();
    // The local checksum of the rectangle over the received text. False before Start.
    bool GetRegionChecksum(const DisplayRegion& region, int32_t& checksum);

    const DisplayInfo& display() const { return display_; }
    // Why the last transfer ended short of the whole picture: the screen buffer's own text, or the
    // port's when the port failed. Empty while it runs and after a whole picture.
    std::string FailureText() const;

private:
    void ReadLoop();

    const DisplayInfo display_;
    const bool listedByDisplayImage_;
    std::unique_ptr<ScreenImage> screen_;
    std::unique_ptr<DisplayBitmap> picture_;
    std::atomic<bool> running_{false};
    std::atomic<bool> transferring_{false};
    std::atomic<const char*> failure_{nullptr}; // a fixed text, set by the worker when it ends short
};

} // namespace panelgrab
