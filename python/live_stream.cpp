#include "python/live_stream.h"

#include <algorithm>

#include <pybind11/pybind11.h>

#include "python/gil_gate.h"
#include "python/interruptible_call.h"
#include "python/phone_handle.h"
#include "python/python_errors.h"

namespace py = pybind11;

namespace panelgrab::python {

LiveStream::LiveStream(std::shared_ptr<PhoneHandle> phone, std::size_t display,
                       std::optional<double> fullEvery, std::optional<double> timeout)
    : phone_(std::move(phone)), queue_(std::make_shared<LiveUpdateQueue>()), display_(display),
      fullEvery_(fullEvery), timeout_(timeout) {
    if ((timeout && !(*timeout >= 0)) || (fullEvery && !(*fullEvery >= 0 && *fullEvery <= 86400))) {
        throw py::value_error(
            "timeout and full_every are seconds, 0 or more (full_every at most a day), or None");
    }
}

void LiveStream::Enter() {
    if (state_ != State::Ready) {
        throw py::value_error("a live() block can be entered once; ask the phone for a new one");
    }
    phone_->StartLive(display_, fullEvery_, queue_);
    state_ = State::Watching;
}

void LiveStream::Exit() {
    if (state_ == State::Watching) {
        state_ = State::Ended;
        phone_->StopLive();
    }
}

std::optional<LiveStream::Frame> LiveStream::Next() {
    if (state_ != State::Watching) {
        throw py::value_error("pictures arrive inside the block: with phone.live() as view: ...");
    }
    const double bounded = std::min(timeout_.value_or(0), 100.0 * 365 * 24 * 3600);
    const auto deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(bounded));
    std::vector<LiveRegion> regions;
    for (;;) {
        // A phone closed, also by another thread, ends the iteration as it ends key events.
        if (phone_->closed()) {
            return std::nullopt;
        }
        auto slice = std::chrono::duration_cast<std::chrono::milliseconds>(InterruptibleCall::kSlice);
        if (timeout_) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            slice = std::clamp(left, std::chrono::milliseconds(0), slice);
        }
        bool changed = false;
        {
            const GilGate::Released release;
            changed = queue_->Take(regions, slice);
        }
        if (changed) {
            return Frame{phone_->LivePicture(), std::move(regions)};
        }
        if (const std::optional<Failure> failure = phone_->LiveFailure()) {
            RaiseFailure(*failure);
        }
        if (timeout_ && Clock::now() >= deadline) {
            return std::nullopt;
        }
        if (PyErr_CheckSignals() != 0) {
            throw py::error_already_set();
        }
    }
}

} // namespace panelgrab::python
