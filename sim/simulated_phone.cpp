#include "sim/simulated_phone.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "sim/at_command_handler.h"
#include "sim/display_picture.h"
#include "sim/phone_session.h"
#include "sim/replay_session.h"
#include "sim/shown_screen.h"

namespace panelgrab::sim {
namespace {

void CloseFd(int& fd) {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

bool SetFlags(int fd, bool nonBlocking) {
    const int fdFlags = fcntl(fd, F_GETFD);
    if (fdFlags < 0 || fcntl(fd, F_SETFD, fdFlags | FD_CLOEXEC) < 0) {
        return false;
    }
    const int statusFlags = fcntl(fd, F_GETFL);
    return !nonBlocking || (statusFlags >= 0 && fcntl(fd, F_SETFL, statusFlags | O_NONBLOCK) >= 0);
}

std::string SystemError(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

} // namespace

struct SimulatedPhone::Impl {
    SimOptions options;
    std::string devicePath;
    int master = -1;
    // Held open for the phone's whole life so that clients may open and close the device as often
    // as they like without the line hanging up between them.
    int slave = -1;
    int stopRead = -1;
    int stopWrite = -1;
    std::thread thread;
    std::atomic<int64_t> bytesSent{0};
    std::shared_ptr<ShownScreen> screen; // set by Start, shared with the serving thread

    bool OpenTerminal(std::string& error);
    void Serve(AtCommandHandler handler);
    void ServeReplay(ReplayScript script);
    void CloseAll() {
        CloseFd(master);
        CloseFd(slave);
        CloseFd(stopRead);
        CloseFd(stopWrite);
    }
};

bool SimulatedPhone::Impl::OpenTerminal(std::string& error) {
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) < 0) {
        error = SystemError("cannot open a pseudo-terminal");
        return false;
    }
    termios raw{};
    if (tcgetattr(slave, &raw) == 0) {
        cfmakeraw(&raw);
        raw.c_cflag |= CLOCAL | CREAD;
        tcsetattr(slave, TCSANOW, &raw);
    }
    char name[256];
    if (ptsname_r(master, name, sizeof name) != 0) {
        error = SystemError("cannot name the pseudo-terminal");
        return false;
    }
    devicePath = name;
    int pipeFds[2];
    if (pipe(pipeFds) < 0) {
        error = SystemError("cannot create the stop signal");
        return false;
    }
    stopRead = pipeFds[0];
    stopWrite = pipeFds[1];
    if (!SetFlags(master, true) || !SetFlags(slave, false) || !SetFlags(stopRead, true) ||
        !SetFlags(stopWrite, true)) {
        error = SystemError("cannot configure the pseudo-terminal");
        return false;
    }
    return true;
}

void SimulatedPhone::Impl::Serve(AtCommandHandler handler) {
    PhoneSession session(master, stopRead, options, std::move(handler));
    session.CountSentInto(&bytesSent);
    if (session.Run() == PhoneSession::End::HungUp) {
        // Closing both sides is what a vanished phone looks like: the client's reads fail.
        CloseFd(master);
        CloseFd(slave);
    }
}

void SimulatedPhone::Impl::ServeReplay(ReplayScript script) {
    ReplaySession session(master, stopRead, std::move(script),
                          options.replayFast ? ReplayTiming::Fast : ReplayTiming::Recorded, options.baud,
                          options.chunk);
    session.CountSentInto(&bytesSent);
    session.Run();
}

SimulatedPhone::SimulatedPhone(SimOptions options) : impl_(std::make_unique<Impl>()) {
    impl_->options = std::move(options);
}

SimulatedPhone::~SimulatedPhone() {
    Stop();
}

bool SimulatedPhone::Start(std::string& error) {
    if (impl_->thread.joinable()) {
        error = "the simulated phone is already running";
        return false;
    }
    ReplayScript script;
    const bool replaying = !impl_->options.replayPath.empty();
    if (replaying && !script.Load(impl_->options.replayPath, error)) {
        return false;
    }
    auto screen = std::make_shared<ShownScreen>(impl_->options);
    if (!screen->Load(error)) {
        return false;
    }
    if (!impl_->OpenTerminal(error)) {
        impl_->CloseAll();
        return false;
    }
    impl_->screen = screen;
    if (replaying) {
        impl_->thread = std::thread(
            [impl = impl_.get(), s = std::move(script)]() mutable { impl->ServeReplay(std::move(s)); });
        return true;
    }
    AtCommandHandler handler(impl_->options, std::move(screen));
    impl_->thread =
        std::thread([impl = impl_.get(), h = std::move(handler)]() mutable { impl->Serve(std::move(h)); });
    return true;
}

void SimulatedPhone::Stop() {
    if (impl_->thread.joinable()) {
        const char signal = 1;
        while (write(impl_->stopWrite, &signal, 1) < 0 && errno == EINTR) {
        }
        impl_->thread.join();
    }
    impl_->CloseAll();
}

int64_t SimulatedPhone::BytesSent() const {
    return impl_->bytesSent.load(std::memory_order_relaxed);
}

bool SimulatedPhone::ShowPicture(std::size_t index, const Picture& image) {
    return impl_->screen && impl_->screen->Show(index, image);
}

std::vector<uint64_t> SimulatedPhone::WholePictureVersions() const {
    return impl_->screen ? impl_->screen->WholePictureVersions() : std::vector<uint64_t>{};
}

bool SimulatedPhone::CurrentPicture(std::size_t index, Picture& decoded, uint64_t& version) const {
    if (!impl_->screen) {
        return false;
    }
    const ShownScreen::Snapshot now = impl_->screen->Now();
    if (index >= now.pictures->size()) {
        return false;
    }
    decoded = (*now.pictures)[index].Decoded();
    version = now.version;
    return true;
}

const std::string& SimulatedPhone::DevicePath() const {
    return impl_->devicePath;
}

} // namespace panelgrab::sim
