#include "python/key_event_stream.h"

#include <algorithm>
#include <cmath>

#include <pybind11/pybind11.h>

#include "python/gil_gate.h"
#include "python/interruptible_call.h"
#include "python/phone_handle.h"
#include "python/python_errors.h"

namespace py = pybind11;

namespace panelgrab::python {

namespace {

void CheckSeconds(std::optional<double> seconds) {
    if (seconds && !(*seconds >= 0)) {
        throw py::value_error("a timeout is seconds, 0 or more, or None to wait for ever");
    }
}

} // namespace

KeyEventStream::KeyEventStream(std::shared_ptr<PhoneHandle> phone, std::optional<double> timeout)
    : phone_(std::move(phone)), queue_(std::make_shared<KeyEventQueue>()), timeout_(timeout) {
    CheckSeconds(timeout);
}

void KeyEventStream::Enter() {
    if (state_ != State::Ready) {
        throw py::value_error("a key_events() block can be entered once; ask the phone for a new one");
    }
    phone_->StartKeyEvents(queue_);
    state_ = State::Listening;
}

void KeyEventStream::Exit() {
    if (state_ == State::Listening) {
        state_ = State::Ended;
        phone_->StopKeyEvents(queue_);
    }
}

std::optional<KeyEventStream::Clock::time_point>
KeyEventStream::DeadlineAfter(std::optional<double> seconds) {
    if (!seconds) {
        return std::nullopt;
    }
    // A century is as good as for ever, and keeps the clock's arithmetic from overflowing.
    const double bounded = std::min(*seconds, 100.0 * 365 * 24 * 3600);
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(bounded));
}

std::optional<KeyEvent> KeyEventStream::Wait(std::optional<Clock::time_point> deadline) {
    if (state_ == State::Ready) {
        throw py::value_error("key events arrive inside the block: with phone.key_events() as events: ...");
    }
    for (;;) {
        // After the block only what is left is handed out.
        const bool ended = state_ == State::Ended;
        auto slice = std::chrono::duration_cast<std::chrono::milliseconds>(InterruptibleCall::kSlice);
        if (ended) {
            slice = std::chrono::milliseconds(0);
        } else if (deadline) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
            slice = std::clamp(left, std::chrono::milliseconds(0), slice);
        }
        KeyEvent event;
        KeyEventQueue::Wait result = KeyEventQueue::Wait::TimedOut;
        {
            const GilGate::Released release;
            result = queue_->Next(event, slice);
        }
        if (result == KeyEventQueue::Wait::Event) {
            return event;
        }
        if (result == KeyEventQueue::Wait::Ended) {
            return std::nullopt; // the phone was closed, here or on another thread
        }
        if (result == KeyEventQueue::Wait::Lost) {
            RaiseFailure(KeyEventsLost(queue_->lostReason().value_or(""), phone_->label()));
        }
        if (ended || (deadline && Clock::now() >= *deadline)) {
            return std::nullopt;
        }
        if (PyErr_CheckSignals() != 0) {
            throw py::error_already_set();
        }
    }
}

std::optional<KeyEvent> KeyEventStream::Next() {
    return Wait(DeadlineAfter(timeout_));
}

std::vector<KeyEvent> KeyEventStream::Take(std::size_t count, std::optional<double> timeout) {
    CheckSeconds(timeout);
    const std::optional<Clock::time_point> deadline = DeadlineAfter(timeout ? timeout : timeout_);
    std::vector<KeyEvent> events;
    while (events.size() < count) {
        std::optional<KeyEvent> event = Wait(deadline);
        if (!event) {
            break;
        }
        events.push_back(std::move(*event));
    }
    return events;
}

} // namespace panelgrab::python
