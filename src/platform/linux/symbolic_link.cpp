// symlink(2), which never replaces an existing entry.
#include "platform/symbolic_link.h"

#include <unistd.h>

#include <cerrno>

namespace glimmet::platform {

bool createSymbolicLink(const std::filesystem::path& target, const std::filesystem::path& link,
                        int& error) {
  error = ::symlink(target.c_str(), link.c_str()) == 0 ? 0 : errno;
  return error == 0;
}

}  // namespace glimmet::platform
