// Base exception of the whole code base and the OS error type of the platform
// layer. Engine error classes derive from duz::Exception.
#pragma once

#include <cstdarg>
#include <exception>
#include <string>
#include <string_view>

namespace duz {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const noexcept { return message_; }
  void SetMessage(std::string message) { message_ = std::move(message); }

 private:
  std::string message_;
};

// A failed operating-system call: the errno value and its text, plus what was
// being done ("open 'C:/x/y'").
class EOSError : public Exception {
 public:
  EOSError(int code, const std::string& what);
  int Code() const noexcept { return code_; }

 private:
  int code_;
};

// printf-style formatting of the engines' message templates ("%s", "%d").
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string FormatV(const char* fmt, va_list args);

// "text - Native error: NNNNN". The number takes five characters: zero-padded
// when the message has no arguments, right-aligned with spaces when it has.
std::string FormatNativeError(std::string_view text, int number, bool hasArguments);

}  // namespace duz
