#pragma once

#include <string>
#include <utility>
#include <variant>

namespace clipnest {

// Why something could not be done, as words for the user.
struct Failure {
    std::string why;
};

// A value, or the error that stands in its place, so that errors travel as values rather than out-parameters.
template <class T, class E = Failure>
class Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(E error) : state_(std::in_place_index<1>, std::move(error)) {}

    explicit operator bool() const { return state_.index() == 0; }
    T& operator*() { return std::get<0>(state_); }
    const T& operator*() const { return std::get<0>(state_); }
    T* operator->() { return &std::get<0>(state_); }
    const T* operator->() const { return &std::get<0>(state_); }
    // The error; only when there is no value.
    const E& error() const { return std::get<1>(state_); }

private:
    std::variant<T, E> state_;
};

// The words of a Result's Failure.
template <class T>
const std::string& why(const Result<T>& result) {
    return result.error().why;
}

} // namespace clipnest
