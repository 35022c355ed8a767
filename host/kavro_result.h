// A small value-or-error type (std::expected is not available in C++20).
#pragma once

#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace kavro {

// Holds either a value of T or an error of E. Never throws on its own; reading
// the wrong alternative is a programming error (checked with the variant).
template <class T, class E>
class Result {
  public:
    Result(T value) : state(std::in_place_index<0>, std::move(value)) {}
    Result(E error) : state(std::in_place_index<1>, std::move(error)) {}

    bool ok() const noexcept { return state.index() == 0; }
    explicit operator bool() const noexcept { return ok(); }

    T& value() & { return *std::get_if<0>(&state); }
    const T& value() const& { return *std::get_if<0>(&state); }
    T&& value() && { return std::move(*std::get_if<0>(&state)); }
    T* operator->() { return std::get_if<0>(&state); }
    const T* operator->() const { return std::get_if<0>(&state); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T&& operator*() && { return std::move(value()); }

    const E& error() const& { return *std::get_if<1>(&state); }

  private:
    std::variant<T, E> state;
};

}  // namespace kavro
