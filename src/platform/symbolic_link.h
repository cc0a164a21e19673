// Making a symbolic link: the installer's link on the user's command search path.
#pragma once

#include <filesystem>

namespace glimmet::platform {

/// Creates a link at `link` that points to `target` as written. Anything already
/// at `link` stays: the link is then not made. False with `error` set to errno
/// when it wasn't made.
bool createSymbolicLink(const std::filesystem::path& target, const std::filesystem::path& link,
                        int& error);

}  // namespace glimmet::platform
