// LivenessGuard: the ordered liveness rules, and gathering their input.
#include "core/safety/liveness_guard.h"

#include <algorithm>

#include "core/disk/disk_paths.h"
#include "core/process/process_snapshot.h"
#include "platform/open_files.h"
#include "platform/running_apps.h"

namespace glimmet {
namespace {

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool ownsItem(const std::string& app, const std::string& itemPath) {
  if (app.empty()) return false;
  if (app.front() == '/') {
    // A bundle path: the item lies below "<Name>.app/".
    auto name = app;
    while (name.size() > 1 && name.back() == '/') name.pop_back();
    const auto slash = name.find_last_of('/');
    name = name.substr(slash + 1);
    if (name.ends_with(".app")) name.resize(name.size() - 4);
    return !name.empty() && itemPath.find(name + ".app/") != std::string::npos;
  }
  // An application id (Flatpak, desktop unit): its own folder appears in the path.
  return (itemPath + "/").find("/" + app + "/") != std::string::npos;
}

}  // namespace

std::string LivenessGuard::displayName(const std::string& processName) {
  const auto name = lower(processName);
  if (name == "claude") return "Claude Code";
  if (name == "codex") return "Codex";
  if (name == "gemini") return "Gemini CLI";
  return processName;
}

std::optional<std::string> LivenessGuard::check(const DiskItem& item, const LeftoverRule& rule,
                                                const LivenessInput& input, SystemTime now) {
  if (!item.isAbsolute()) return std::nullopt;
  const auto itemPath = disk_path::normal(item.path);
  const auto guarded = item.projectPath ? disk_path::normal(*item.projectPath) : itemPath;
  const char* where =
      item.projectPath ? " is running in this project" : " is running in this folder";

  for (const auto& process : input.processes) {
    if (process.cwd && disk_path::normalIsWithin(*process.cwd, guarded))
      return process.name + where;
    for (const auto& file : process.openFiles)
      if (disk_path::isWithin(file, guarded)) return process.name + where;
  }
  // argv[0] as well as the executable: a virtual environment's python is a
  // link to the system's, so only the name it was started by lies in `.venv`.
  for (const auto& process : input.processes)
    if ((process.path && disk_path::isWithin(*process.path, itemPath)) ||
        (process.argv0.starts_with('/') && disk_path::normalIsWithin(process.argv0, itemPath)))
      return process.name + " runs from here";
  // A tool's name alone guards only shared caches: a project's own folders
  // are in use only through the checks above (a process working in, running
  // from or holding files inside the project), or any python3 on the machine
  // would block every virtual environment.
  if (!item.projectPath)
    for (const auto& blocker : rule.blockedWhileRunning) {
      const auto wanted = lower(blocker);
      for (const auto& process : input.processes)
        if (lower(process.name) == wanted) return displayName(process.name) + " is running";
    }
  if (rule.blockedWhileBuilding) {
    const bool building = std::any_of(input.processes.begin(), input.processes.end(), [](auto& p) {
      const auto name = lower(p.name);
      return name == "xcodebuild" || name == "xcbbuildservice" || name == "swbbuildservice";
    });
    if (building && item.modified && now - *item.modified < std::chrono::seconds(3600))
      return "Xcode is building";
  }
  if (rule.blockedWhileAppRuns) {
    if (!input.runningApps) return "Can't tell if this app is running";
    for (const auto& app : *input.runningApps)
      if (ownsItem(app, itemPath)) return "This app is running";
  }
  return std::nullopt;
}

LivenessInput LivenessInput::gather(const ProcessSnapshot& snapshot, uid_t uid, pid_t self,
                                    std::string home,
                                    const std::optional<std::string>& openFilesUnder) {
  LivenessInput input;
  input.home = std::move(home);
  for (const auto& record : snapshot.records()) {
    if (record.uid != uid || record.pid() == self) continue;
    Process process;
    process.name = record.name;
    process.path = record.path;
    process.cwd = record.cwd;
    if (!record.argv.empty()) process.argv0 = record.argv.front();
    if (openFilesUnder)
      for (auto& file : platform::openFilePaths(record.pid()))
        if (disk_path::isWithin(file, *openFilesUnder))
          process.openFiles.push_back(std::move(file));
    input.processes.push_back(std::move(process));
  }
  input.runningApps = platform::runningApplications(uid);
  return input;
}

}  // namespace glimmet
