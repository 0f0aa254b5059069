// Result<T>: a value or a one-line error message.
//
// Every operation that can fail returns one of these; the caller decides how
// to show the message (the command-line front end prints it in exactly one
// place). Nothing in the program throws on bad input.
#pragma once

#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace vesk {

// A one-line message, without the "vesk: " prefix.
struct Error {
  std::string message;
};

inline Error make_error(std::string message) { return Error{std::move(message)}; }

template <class T>
class [[nodiscard]] Result {
 public:
  static_assert(!std::is_same_v<std::decay_t<T>, Error>);

  Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}
  Result(Error error) : v_(std::in_place_index<1>, std::move(error)) {}

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { return std::get<0>(v_); }
  const T& value() const& { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  const Error& error() const { return std::get<1>(v_); }
  const std::string& message() const { return error().message; }

  T value_or(T fallback) const {
    return ok() ? std::get<0>(v_) : std::move(fallback);
  }

 private:
  std::variant<T, Error> v_;
};

template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : error_(std::move(error)), ok_(false) {}

  bool ok() const { return ok_; }
  explicit operator bool() const { return ok_; }
  const Error& error() const { return error_; }
  const std::string& message() const { return error_.message; }

 private:
  Error error_;
  bool ok_ = true;
};

using Status = Result<void>;

}  // namespace vesk

// TRY(expr): return the error of a failed Result from the enclosing function.
#define VESK_CAT2(a, b) a##b
#define VESK_CAT(a, b) VESK_CAT2(a, b)
#define TRY(expr)                                      \
  do {                                                 \
    auto&& try_result_ = (expr);                       \
    if (!try_result_) return ::vesk::Error{try_result_.error()}; \
  } while (false)

// TRY_ASSIGN(var, expr): declare var from a successful Result, or return its
// error from the enclosing function.
#define TRY_ASSIGN(var, expr) \
  TRY_ASSIGN_IMPL(VESK_CAT(try_tmp_, __LINE__), var, expr)
#define TRY_ASSIGN_IMPL(tmp, var, expr)             \
  auto tmp = (expr);                                \
  if (!tmp) return ::vesk::Error{tmp.error()};      \
  var = std::move(tmp).value()
