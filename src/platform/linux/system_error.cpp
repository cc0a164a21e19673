// System error descriptions.
#include "platform/system_error.h"

#include <cstring>

namespace glimmet::platform {

std::string describeError(int error) {
  char buffer[256];
  // GNU strerror_r returns the message, which may or may not be `buffer`.
  return ::strerror_r(error, buffer, sizeof buffer);
}

SystemError::SystemError(const std::string& what, int error)
    : std::runtime_error(what + ": " + describeError(error)), error_(error) {}

}  // namespace glimmet::platform
