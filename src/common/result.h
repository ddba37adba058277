// Failure reporting shared by every part of the program: an operation gives
// its value or an Error. What a caller does about a failure follows from the
// error's kind; its message is only ever shown, logged or sent on, since a
// message is free to change its words (or its language) without anything
// behaving differently.
#pragma once

#include <cerrno>
#include <expected>
#include <iosfwd>
#include <string>
#include <string_view>

#include <fmt/core.h>

namespace wendlebox {

// The few things a caller tells apart. A failure nobody branches on is
// General; the system's failures carry what their number says.
enum class ErrorKind {
  General,
  NotFound,    // no such file or folder (ENOENT)
  Exists,      // something stands where a new one was to go (EEXIST)
  Permission,  // the system refused access (EACCES, EPERM)
  TooLarge,    // past a size limit of the system's (EFBIG, E2BIG)
  Declined,    // the user said no when asked; they know already
};

struct Error {
  ErrorKind kind = ErrorKind::General;
  // In English where it goes back to ChatGPT, otherwise in the user's
  // language.
  std::string message{};
  // The message in the user's language, for a message that goes back to
  // ChatGPT in English while the user reads it too; empty when they read
  // `message` itself.
  std::string in_users_language{};

  std::string_view shown() const { return in_users_language.empty() ? message : in_users_language; }
};

// Discarding one is a compiler warning: a failure is handled or passed on,
// or dropped with a comment saying why that is right. A part whose callers
// need more than a kind (why a wait stopped, say) names its own error type.
template <class T, class E = Error>
class [[nodiscard]] Result : public std::expected<T, E> {
 public:
  using std::expected<T, E>::expected;
};
using Status = Result<void>;

// The wording users see for an operating-system failure: the system's
// description alone ("No such file or directory"); its number tells no one
// anything. Every message about a system failure gets its words here.
std::string os_error_text(int error_number);

// What a caller may need to tell apart in a system failure.
ErrorKind os_error_kind(int error_number);

inline std::unexpected<Error> os_failure(int error_number = errno) {
  return std::unexpected(Error{.kind = os_error_kind(error_number), .message = os_error_text(error_number)});
}

inline std::unexpected<Error> failure(std::string message) {
  return std::unexpected(Error{.message = std::move(message)});
}

inline std::unexpected<Error> failure(ErrorKind kind, std::string message) {
  return std::unexpected(Error{.kind = kind, .message = std::move(message)});
}

std::ostream& operator<<(std::ostream& out, const Error& error);

}  // namespace wendlebox

// A failure is written as its message, in formats and in streams (test
// output included).
template <>
struct fmt::formatter<wendlebox::Error> : fmt::formatter<std::string_view> {
  template <class Context>
  auto format(const wendlebox::Error& error, Context& context) const {
    return fmt::formatter<std::string_view>::format(error.message, context);
  }
};
