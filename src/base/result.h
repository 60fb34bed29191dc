// Result<T>: a value or the text of what went wrong, for the operations whose failures have
// no status text or error trace of their own. Result<> (Result<void>) carries only the
// outcome. A plain value type: copy and move it freely; safe from any thread that owns it.
#ifndef OVRA_BASE_RESULT_H_
#define OVRA_BASE_RESULT_H_

#include <optional>
#include <string>
#include <utility>

namespace ovra::base {

// The failure half of a result: one readable sentence ("no such file: ...").
struct Failure {
  std::string error;
};

inline Failure fail(std::string error) { return Failure{std::move(error)}; }

template <typename T = void>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}                  // NOLINT: converts
  Result(Failure failure) : error_(std::move(failure.error)) {}  // NOLINT

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }
  // The error text; empty when ok().
  const std::string& error() const { return error_; }
  // The value; only when ok().
  T& value() & { return *value_; }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  T& operator*() & { return *value_; }
  const T& operator*() const& { return *value_; }

 private:
  std::optional<T> value_;
  std::string error_;
};

template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;  // success
  // A failure, even one given an empty text, never reads as success.
  Result(Failure failure) : error_(std::move(failure.error)), failed_(true) {}  // NOLINT
  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  const std::string& error() const { return error_; }

 private:
  std::string error_;
  bool failed_ = false;
};

}  // namespace ovra::base

#endif  // OVRA_BASE_RESULT_H_
