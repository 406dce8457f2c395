#pragma once
// How a platform call that can fail says so: a value, or one line saying why not (with the
// system's error text), for the log and the person. Decoders throw instead.

#include <concepts>
#include <optional>
#include <string>
#include <utility>

namespace tavel {

// Why a call failed; becomes any Result.
struct Failure {
    std::string why;
};

template <typename T>
class [[nodiscard]] Result {
public:
    // From anything that converts to T (a derived class's pointer, say).
    template <typename U>
    requires std::convertible_to<U, T> Result(U&& value) : value_(std::forward<U>(value)) {}
    Result(Failure failure) : why_(std::move(failure.why)) {}

    explicit operator bool() const { return value_.has_value(); }
    T& operator*() { return *value_; }
    const T& operator*() const { return *value_; }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    // Empty on success.
    const std::string& why() const { return why_; }

private:
    std::optional<T> value_;
    std::string why_;
};

// A call that gives back nothing but whether it worked; `{}` is success.
template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failure) : failed_(true), why_(std::move(failure.why)) {}

    explicit operator bool() const { return !failed_; }
    // Empty on success.
    const std::string& why() const { return why_; }

private:
    bool failed_ = false;
    std::string why_;
};

}  // namespace tavel
