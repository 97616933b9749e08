#pragma once
// A numbered error with a description: what the worker's error traps catch and turn into a
// status pair. Components convert their own failures into one of these at their boundary.

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>

namespace tovrik {

class RaisedError : public std::runtime_error {
 public:
  RaisedError(int32_t number, std::string description);

  int32_t number() const { return number_; }
  const std::string& description() const { return description_; }

 private:
  const int32_t number_;
  const std::string description_;
};

// Run-time error numbers and the texts the runtime gives them.
inline constexpr int32_t kErrInvalidArgument = 5;
inline constexpr int32_t kErrOverflow = 6;
inline constexpr int32_t kErrTypeMismatch = 13;
inline constexpr int32_t kErrObjectNotSet = 91;

// Failure codes of object creation and calls, as 32-bit signed numbers.
inline constexpr int32_t kClassNotRegistered = static_cast<int32_t>(0x80040154u);
inline constexpr int32_t kServerUnavailable = static_cast<int32_t>(0x800706BAu);
inline constexpr int32_t kNoInterface = static_cast<int32_t>(0x80004002u);
inline constexpr int32_t kCallFailed = static_cast<int32_t>(0x80004005u);

// The runtime's own description of a run-time error number; empty for unknown numbers.
std::string RuntimeErrorText(int32_t number);

// Raises a run-time error with the runtime's own description.
[[noreturn]] void RaiseRuntimeError(int32_t number);

// Any exception as a numbered error, for the places that turn failures into a status pair:
// a RaisedError as it is, out of memory as 7, any other exception as kCallFailed with its
// message.
RaisedError AsRaisedError(std::exception_ptr error);

}  // namespace tovrik
