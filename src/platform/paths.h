// Where the tool's files live on this system: home, the folder shared with the
// companion application, the tool's own executable, its data files and its link.
#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

#include "platform/environment.h"

namespace glimmet::platform {

/// $HOME when it is absolute, else the password database's home of the real user.
std::filesystem::path homeDir(const Environment& env);

/// The folder shared with the companion application (not created here).
std::filesystem::path sharedDataDir(const Environment& env);

/// The folder of the tool's own caches, which may be lost at any time
/// (not created here).
std::filesystem::path toolCacheDir(const Environment& env);

/// The running executable with every link resolved; empty when it can't be read.
std::filesystem::path ownExecutable();

/// Where a data file shipped with the tool may lie, for an executable in `exeDir`,
/// in the order they are tried. The caller puts its environment override first.
std::vector<std::filesystem::path> dataFileCandidates(const std::filesystem::path& exeDir,
                                                      std::string_view name);

/// Folders under `home` that the system guards with a permission prompt, so the
/// tool reads nothing there until the user has been told why. None on Linux.
std::vector<std::filesystem::path> consentFolders(const std::filesystem::path& home);

/// Where the tool's link on the user's command search path goes.
std::filesystem::path toolLinkPath(const Environment& env);

/// True when `linkTarget`, the destination of a link at the tool's link path, is
/// another install of this tool (beyond the exact source and an app bundle copy).
bool isOwnInstallTarget(const std::filesystem::path& linkTarget);

}  // namespace glimmet::platform
