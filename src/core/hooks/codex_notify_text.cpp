// Line-by-line edits of config.toml.
#include "core/hooks/codex_notify_text.h"

#include <vector>

namespace glimmet::codex_notify {
namespace {

std::string_view trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

// The file's lines, each with its own line feed (the last may have none).
std::vector<std::string_view> lines(std::string_view text) {
  std::vector<std::string_view> result;
  while (!text.empty()) {
    const auto end = text.find('\n');
    const size_t length = end == std::string_view::npos ? text.size() : end + 1;
    result.push_back(text.substr(0, length));
    text.remove_prefix(length);
  }
  return result;
}

bool isNotifyKey(std::string_view line) {
  const auto equals = line.find('=');
  return equals != std::string_view::npos && trimmed(line.substr(0, equals)) == "notify";
}

}  // namespace

std::string notifyLine(std::string_view executable) {
  std::string quoted;
  for (const char c : executable) {
    if (c == '\\' || c == '"') quoted.push_back('\\');
    quoted.push_back(c);
  }
  return "notify = [\"" + quoted + "\", \"notify\", \"--agent\", \"codex\"]";
}

std::optional<std::string> topLevelNotify(std::string_view config) {
  for (const auto raw : lines(config)) {
    const auto line = trimmed(raw);
    if (line.starts_with('[')) break;
    if (isNotifyKey(line)) return std::string(line);
  }
  return std::nullopt;
}

std::optional<std::string> ownProgram(std::string_view line) {
  if (!isNotifyKey(line)) return std::nullopt;
  const auto value = trimmed(line.substr(line.find('=') + 1));
  constexpr std::string_view tail = "\", \"notify\", \"--agent\", \"codex\"]";
  if (!value.starts_with("[\"") || !value.ends_with(tail)) return std::nullopt;
  const auto quoted = value.substr(2, value.size() - 2 - tail.size());
  if (quoted != "glimmet" && !quoted.ends_with("/glimmet")) return std::nullopt;
  std::string program;
  for (size_t i = 0; i < quoted.size(); ++i) {
    if (quoted[i] == '\\' && i + 1 < quoted.size()) ++i;
    program.push_back(quoted[i]);
  }
  return program;
}

bool isOwnNotifyLine(std::string_view line) {
  return ownProgram(line).has_value();
}

std::optional<std::string> withNotify(std::string_view config, std::string_view executable) {
  if (const auto existing = topLevelNotify(config)) {
    if (!isOwnNotifyLine(*existing)) return std::nullopt;
    // Ours, perhaps with another glimmet: that one line is replaced in place.
    std::string text;
    bool topLevel = true;
    for (const auto raw : lines(config)) {
      const auto line = trimmed(raw);
      if (line.starts_with('[')) topLevel = false;
      if (topLevel && line == *existing) {
        text.append(notifyLine(executable)).append(raw.ends_with('\n') ? "\n" : "");
        topLevel = false;  // only the first, the one Codex reads
        continue;
      }
      // An earlier install's comment named a settings pane that isn't here.
      if (topLevel && line == kEarlierComment) {
        text.append(kComment).append(raw.ends_with('\n') ? "\n" : "");
        continue;
      }
      text.append(raw);
    }
    return text;
  }
  std::string text = std::string(kComment) + "\n" + notifyLine(executable) + "\n";
  if (!config.empty()) text.append("\n").append(config);
  return text;
}

std::string withoutNotify(std::string_view config) {
  std::string kept;
  bool topLevel = true;
  bool removedLine = false;
  for (const auto raw : lines(config)) {
    const auto line = trimmed(raw);
    if (line.starts_with('[')) topLevel = false;
    if (topLevel && (line == kComment || line == kEarlierComment || isOwnNotifyLine(line))) {
      removedLine = true;
      continue;
    }
    // The blank line the installer put between its lines and the old text.
    if (removedLine && kept.empty() && line.empty()) {
      removedLine = false;
      continue;
    }
    removedLine = false;
    kept.append(raw);
  }
  return kept;
}

}  // namespace glimmet::codex_notify
