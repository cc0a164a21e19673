// The shell the user logs in with: the one that knows where their tools are,
// because its login files set up the PATH that version managers and installers
// edit.
#pragma once

#include <filesystem>

#include "platform/environment.h"

namespace glimmet::platform {

/// $SHELL when it is an absolute path to an executable, else the password
/// database's shell of the real user, else /bin/sh.
std::filesystem::path loginShell(const Environment& env);

}  // namespace glimmet::platform
