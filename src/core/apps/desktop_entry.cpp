// A keyfile reader small enough to trust: one pass over lines, no escapes beyond
// what the listing needs, and nothing that can loop or allocate without bound.
#include "core/apps/desktop_entry.h"

#include <vector>

namespace glimmet {
namespace {

std::string_view trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

bool isTrue(std::string_view value) {
  return value == "true" || value == "1";
}

// Exec= quoting: a word is either bare or enclosed in double quotes, inside which a
// backslash escapes the next character.
std::vector<std::string> execWords(std::string_view exec) {
  std::vector<std::string> words;
  size_t at = 0;
  while (at < exec.size()) {
    while (at < exec.size() && (exec[at] == ' ' || exec[at] == '\t')) ++at;
    if (at >= exec.size()) break;
    std::string word;
    if (exec[at] == '"') {
      for (++at; at < exec.size() && exec[at] != '"'; ++at) {
        if (exec[at] == '\\' && at + 1 < exec.size()) ++at;
        word += exec[at];
      }
      ++at;
    } else {
      while (at < exec.size() && exec[at] != ' ' && exec[at] != '\t') word += exec[at++];
    }
    words.push_back(std::move(word));
  }
  return words;
}

}  // namespace

std::optional<DesktopEntry> parseDesktopEntry(std::string_view text) {
  DesktopEntry entry;
  bool inGroup = false;
  bool sawGroup = false;
  size_t at = 0;
  while (at <= text.size()) {
    auto end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    const auto line = trim(text.substr(at, end - at));
    at = end + 1;
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      inGroup = line == "[Desktop Entry]";
      sawGroup = sawGroup || inGroup;
      continue;
    }
    if (!inGroup) continue;
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const auto key = trim(line.substr(0, equals));
    const auto value = std::string(trim(line.substr(equals + 1)));
    // The first occurrence of a key wins, as in GLib's reader.
    if (key == "Type" && entry.type.empty())
      entry.type = value;
    else if (key == "Name" && !entry.name)
      entry.name = value;
    else if (key == "Exec" && !entry.exec)
      entry.exec = value;
    else if (key == "StartupWMClass" && !entry.startupWMClass)
      entry.startupWMClass = value;
    else if (key == "Hidden")
      entry.hidden = isTrue(value);
    else if (key == "NoDisplay")
      entry.noDisplay = isTrue(value);
  }
  if (!sawGroup) return std::nullopt;
  return entry;
}

std::string desktopFileID(const std::filesystem::path& relativePath) {
  std::string id;
  for (const auto& part : relativePath) {
    if (!id.empty()) id += '-';
    id += part.string();
  }
  if (id.ends_with(".desktop")) id.resize(id.size() - 8);
  return id;
}

std::string execProgram(std::string_view exec) {
  const auto words = execWords(exec);
  size_t index = 0;
  if (index < words.size() && (words[index] == "env" || words[index] == "/usr/bin/env")) {
    ++index;
    while (index < words.size() &&
           (words[index].find('=') != std::string::npos || words[index].starts_with("-"))) {
      // env's -u NAME and -C FOLDER take the next word as their value.
      const bool takesValue = words[index] == "-u" || words[index] == "-C";
      index += takesValue ? 2 : 1;
    }
  }
  return index < words.size() ? words[index] : std::string();
}

}  // namespace glimmet
