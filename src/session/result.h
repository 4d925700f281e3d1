#pragma once

#include <optional>
#include <utility>
#include <variant>

#include "session/failure.h"

namespace panelgrab {

// What a session call gives back: its value, or the Failure that kept it from one. A caller looks
// at the result it holds, never at a "last error" of the phone.
template <typename T> class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Failure failure) : state_(std::in_place_index<1>, std::move(failure)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const Failure& failure() const { return std::get<1>(state_); }
    Failure& failure() { return std::get<1>(state_); }

private:
    std::variant<T, Failure> state_;
};

// A call that gives nothing back but may fail.
template <> class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failure) : failure_(std::move(failure)) {}

    bool ok() const { return !failure_.has_value(); }
    explicit operator bool() const { return ok(); }
    const Failure& failure() const { return *failure_; }
    Failure& failure() { return *failure_; }

private:
    std::optional<Failure> failure_;
};

} // namespace panelgrab
