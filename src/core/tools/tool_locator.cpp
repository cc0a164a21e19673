// Tool lookup: the login shell asked once per batch, a search path after it.
#include "core/tools/tool_locator.h"

#include <algorithm>
#include <set>

#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/system_error.h"

namespace glimmet {
namespace {

using platform::isExecutableFile;

// Folders that installers and version managers put tools in without editing
// PATH for a non-login process, in the order a user's shell usually has them.
constexpr const char* kHomeToolFolders[] = {".local/bin", ".cargo/bin", "go/bin",
                                            ".bun/bin",   ".deno/bin",  ".volta/bin"};
constexpr const char* kSystemToolFolders = "/usr/local/bin:/home/linuxbrew/.linuxbrew/bin";
constexpr const char* kSystemSearchPath = "/usr/bin:/bin:/usr/sbin:/sbin";

}  // namespace

std::optional<std::string> SearchPathLocator::locate(const std::string& name) const {
  if (name.empty()) return std::nullopt;
  if (name.find('/') != std::string::npos) {
    if (name.front() == '/' && isExecutableFile(name)) return name;
    return std::nullopt;
  }
  std::size_t start = 0;
  while (start <= searchPath_.size()) {
    auto end = searchPath_.find(':', start);
    if (end == std::string::npos) end = searchPath_.size();
    auto folder = searchPath_.substr(start, end - start);
    start = end + 1;
    if (folder.empty() || folder.front() != '/') continue;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    auto candidate = (folder == "/" ? "" : folder) + "/" + name;
    if (isExecutableFile(candidate)) return candidate;
  }
  return std::nullopt;
}

std::optional<ShellDialect> shellDialect(const std::filesystem::path& shell) {
  static const std::set<std::string> kPosix = {"sh", "bash", "zsh", "dash", "ksh", "mksh", "yash"};
  const auto name = shell.filename().string();
  if (kPosix.count(name)) return ShellDialect::posix;
  if (name == "fish") return ShellDialect::fish;
  return std::nullopt;
}

bool isPlainToolName(std::string_view name) {
  if (name.empty() || name.front() == '-') return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '+' || c == '-';
  });
}

std::string toolLookupScript(const std::vector<std::string>& names, ShellDialect dialect) {
  std::string script;
  for (const auto& name : names) {
    if (!isPlainToolName(name)) continue;
    if (!script.empty()) script += "; ";
    script += "printf '%s=%s\\n' " + name + " ";
    script += dialect == ShellDialect::fish ? "(command -v " + name + ")"
                                            : "\"$(command -v " + name + ")\"";
  }
  return script;
}

std::map<std::string, std::string> parseToolLookupOutput(const std::vector<std::string>& lines,
                                                         const std::vector<std::string>& names) {
  std::map<std::string, std::string> last;
  for (const auto& line : lines) {
    const auto equals = line.find('=');
    if (equals == std::string::npos) continue;
    auto name = line.substr(0, equals);
    if (std::find(names.begin(), names.end(), name) == names.end()) continue;
    last[std::move(name)] = line.substr(equals + 1);
  }
  std::map<std::string, std::string> answers;
  for (auto& [name, value] : last)
    if (!value.empty() && value.front() == '/' && value.find('\r') == std::string::npos)
      answers.emplace(name, std::move(value));
  return answers;
}

std::string fallbackSearchPath(const Environment& environment, const std::string& home) {
  std::string path = environment.get("PATH").value_or("");
  const auto append = [&](const std::string& folder) {
    if (!path.empty()) path += ":";
    path += folder;
  };
  for (const char* folder : kHomeToolFolders) append(home + "/" + folder);
  append(kSystemToolFolders);
  append(kSystemSearchPath);
  return path;
}

LoginShellLocator::LoginShellLocator(std::filesystem::path shell, Environment environment,
                                     const POSIXLauncher& launcher)
    : shell_(std::move(shell)),
      environment_(std::move(environment)),
      launcher_(launcher),
      home_(platform::homeDir(environment_).string()),
      fallback_(fallbackSearchPath(environment_, home_)) {}

void LoginShellLocator::askShell(const std::vector<std::string>& names) const {
  std::vector<std::string> asked;
  for (const auto& name : names)
    if (isPlainToolName(name) && !shellAnswers_.count(name) &&
        std::find(asked.begin(), asked.end(), name) == asked.end())
      asked.push_back(name);
  if (asked.empty()) return;
  for (const auto& name : asked) shellAnswers_[name] = std::nullopt;
  const auto dialect = shellDialect(shell_);
  if (!shellWorks_ || !dialect) return;

  // Only lines that could be answers are kept, so a login file that prints
  // without end costs time, not memory.
  std::vector<std::string> lines;
  const auto onLine = [&](const std::string& line) {
    const auto equals = line.find('=');
    if (equals != std::string::npos &&
        std::find(asked.begin(), asked.end(), line.substr(0, equals)) != asked.end())
      lines.push_back(line);
  };
  try {
    auto process = launcher_.spawn({shell_.string(), "-lc", toolLookupScript(asked, *dialect)},
                                   home_, &environment_);
    const auto exit =
        launcher_.wait(process, POSIXLauncher::Clock::now() + kShellTimeLimit, onLine);
    if (exit.kind != ProcessExit::Kind::exited) {
      // A shell that hangs once would hang again: the rest is found without it.
      shellWorks_ = false;
      return;
    }
  } catch (const platform::SystemError&) {
    shellWorks_ = false;
    return;
  }
  for (auto& [name, path] : parseToolLookupOutput(lines, asked))
    if (isExecutableFile(path)) shellAnswers_[name] = path;
}

void LoginShellLocator::prefetch(const std::vector<std::string>& names) const {
  const std::lock_guard lock(mutex_);
  askShell(names);
}

std::optional<std::string> LoginShellLocator::locate(const std::string& name) const {
  if (name.empty()) return std::nullopt;
  if (name.find('/') != std::string::npos) return fallback_.locate(name);
  const std::lock_guard lock(mutex_);
  if (const auto known = answers_.find(name); known != answers_.end()) return known->second;
  askShell({name});
  std::optional<std::string> answer;
  if (const auto said = shellAnswers_.find(name); said != shellAnswers_.end())
    answer = said->second;
  // What the shell named may have gone since; the search path is asked then.
  if (!answer || !isExecutableFile(*answer)) answer = fallback_.locate(name);
  answers_[name] = answer;
  return answer;
}

}  // namespace glimmet
