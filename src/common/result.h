// Failure reporting shared by every part of the program: an operation gives
// its value or one message text, never an error code.
#pragma once

#include <cerrno>
#include <expected>
#include <string>

template <class T>
using Result = std::expected<T, std::string>;
using Status = std::expected<void, std::string>;

// The wording users see for an operating-system failure: the system's
// description alone ("No such file or directory"); its number tells no one
// anything.
std::string os_error_text(int error_number);

inline std::unexpected<std::string> os_failure(int error_number = errno) {
  return std::unexpected(os_error_text(error_number));
}

inline std::unexpected<std::string> failure(std::string message) {
  return std::unexpected(std::move(message));
}
