// DiskPaths: token table and template expansion; lexical path comparison.
#include "core/disk/disk_paths.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string_view>

namespace glimmet {
namespace {

// A variable counts only when, trimmed, it is an absolute path; then its dot
// segments and any trailing slash are dropped so that joined paths read cleanly.
std::optional<std::string> absoluteValue(const Environment& environment, std::string_view name) {
  auto value = environment.get(name);
  if (!value) return std::nullopt;
  constexpr std::string_view kBlanks = " \t\r\n\v\f";
  const auto first = value->find_first_not_of(kBlanks);
  if (first == std::string::npos) return std::nullopt;
  const auto last = value->find_last_not_of(kBlanks);
  std::string trimmed = value->substr(first, last - first + 1);
  if (trimmed.front() != '/') return std::nullopt;
  std::string normal = std::filesystem::path(trimmed).lexically_normal().string();
  while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
  return normal;
}

std::string firstAbsoluteGopathEntry(const Environment& environment, const std::string& home) {
  const auto gopath = environment.get("GOPATH");
  if (gopath) {
    size_t start = 0;
    while (start <= gopath->size()) {
      const auto end = std::min(gopath->find(':', start), gopath->size());
      const auto entry = gopath->substr(start, end - start);
      start = end + 1;
      if (entry.empty()) continue;
      if (entry.front() == '/') return entry;
      break;  // only the first non-empty entry counts
    }
  }
  return home + "/go";
}

}  // namespace

DiskPaths::DiskPaths(std::string home, const Environment& environment) : home_(std::move(home)) {
  const auto add = [&](std::string name, std::string fallback) {
    tokens_.emplace_back(name, absoluteValue(environment, name).value_or(std::move(fallback)));
  };
  add("CODEX_HOME", home_ + "/.codex");
  add("CLAUDE_CONFIG_DIR", home_ + "/.claude");
  add("CARGO_HOME", home_ + "/.cargo");
  add("XDG_CACHE_HOME", home_ + "/.cache");
  add("XDG_CONFIG_HOME", home_ + "/.config");
  add("XDG_DATA_HOME", home_ + "/.local/share");
  add("HF_HOME", token("XDG_CACHE_HOME") + "/huggingface");
  add("HF_HUB_CACHE", token("HF_HOME") + "/hub");
  add("OLLAMA_MODELS", home_ + "/.ollama/models");
  add("GOMODCACHE", firstAbsoluteGopathEntry(environment, home_) + "/pkg/mod");
}

std::string DiskPaths::token(std::string_view name) const {
  for (const auto& [key, value] : tokens_)
    if (key == name) return value;
  return {};
}

std::string DiskPaths::expand(std::string_view pathTemplate) const {
  std::string path;
  if (pathTemplate == "~")
    path = home_;
  else if (pathTemplate.starts_with("~/"))
    path = home_ + "/" + std::string(pathTemplate.substr(2));
  else
    path = std::string(pathTemplate);
  for (const auto& [name, value] : tokens_) {
    const std::string braced = "{" + name + "}";
    for (size_t at = path.find(braced); at != std::string::npos;
         at = path.find(braced, at + value.size()))
      path.replace(at, braced.size(), value);
  }
  return path;
}

namespace disk_path {
namespace {

// Text that normalising would give back unchanged: no empty, "." or ".."
// component and no trailing slash. Paths from the kernel and from a walk are
// always so, and the scan compares hundreds of them against each item.
bool alreadyNormal(std::string_view path) {
  if (path.empty() || path == "/") return true;
  if (path.back() == '/') return false;
  for (size_t start = path.front() == '/' ? 1 : 0; start <= path.size();) {
    const auto end = std::min(path.find('/', start), path.size());
    const auto component = path.substr(start, end - start);
    if (component.empty() || component == "." || component == "..") return false;
    start = end + 1;
  }
  return true;
}

}  // namespace

std::string normal(const std::string& path) {
  if (alreadyNormal(path)) return path;
  std::string result = std::filesystem::path(path).lexically_normal().string();
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
}

bool isWithin(const std::string& path, const std::string& base) {
  if (base.empty()) return false;
  if (base == "/") return !path.empty() && path.front() == '/';
  return path == base ||
         (path.size() > base.size() && path.starts_with(base) && path[base.size()] == '/');
}

bool normalIsWithin(const std::string& path, const std::string& base) {
  return alreadyNormal(path) ? isWithin(path, base) : isWithin(normal(path), base);
}

}  // namespace disk_path

}  // namespace glimmet
