// The error a platform call throws when a caller asked for an exception: it
// carries the system's own description of what failed, for the user's message.
#pragma once

#include <stdexcept>
#include <string>

namespace glimmet::platform {

class SystemError : public std::runtime_error {
 public:
  SystemError(const std::string& what, int error);
  int error() const noexcept { return error_; }

 private:
  int error_;
};

/// The system's description of an errno value ("Permission denied").
std::string describeError(int error);

}  // namespace glimmet::platform
