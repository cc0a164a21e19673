// Matching processes against the compiled signatures. Pure: reads the inputs
// and the compiled set, never the system.
#include <algorithm>
#include <unordered_set>

#include "core/ghosts/signature_engine.h"
#include "core/process/interpreter_script.h"
#include "core/util/ascii.h"
#include "core/util/path_text.h"

namespace glimmet {
namespace {

std::string joined(std::span<const std::string> words) {
  std::string out;
  for (size_t i = 0; i < words.size(); ++i) {
    if (i > 0) out.push_back(' ');
    out += words[i];
  }
  return out;
}

bool anyMatches(const std::vector<Regex>& regexes, const RegexSubject& text) {
  return std::any_of(regexes.begin(), regexes.end(),
                     [&](const Regex& regex) { return regex.search(text); });
}

}  // namespace

MatchInput MatchInput::of(const ProcessRecord& record) {
  MatchInput input{record.name, std::nullopt, std::nullopt};
  if (record.path) input.path = *record.path;
  if (!record.argv.empty()) input.arguments = std::span<const std::string>(record.argv);
  if (record.script) input.script = *record.script;
  return input;
}

std::string SignatureEngine::matchingText(const MatchInput& process) {
  return process.arguments ? joined(*process.arguments) : std::string(process.name);
}

std::optional<AgentEntryMatch> SignatureEngine::agentEntry(const MatchInput& process) const {
  std::unordered_set<std::string> names = {asciiLower(process.name)};
  if (process.path) names.insert(asciiLower(lastPathComponent(*process.path)));
  if (process.arguments && !process.arguments->empty())
    names.insert(asciiLower(lastPathComponent(process.arguments->front())));
  // The script's own name too: "gemini" of the symlink npm put on the PATH, and the
  // file it leads to. No extension is dropped, so a project's claude.js stays a script.
  if (process.arguments)
    if (const auto script = scriptArgument(process.path, *process.arguments))
      names.insert(asciiLower(lastPathComponent(*script)));
  if (process.script) names.insert(asciiLower(lastPathComponent(*process.script)));
  names.erase("");
  const std::string commandLine = process.arguments ? joined(*process.arguments) : std::string();
  // Made once: each is searched by every entry's patterns.
  const RegexSubject commandLineText(commandLine);
  std::optional<RegexSubject> scriptText;
  if (process.script) scriptText.emplace(*process.script);
  const auto pathContains = [](std::optional<std::string_view> path, const std::string& part) {
    return path && path->find(part) != std::string_view::npos;
  };
  for (const auto& root : roots_) {
    const auto& entry = root.value;
    const bool byName = std::any_of(root.lowerBasenames.begin(), root.lowerBasenames.end(),
                                    [&](const std::string& name) { return names.contains(name); });
    const bool byPath = std::any_of(
        entry.exePathContains.begin(), entry.exePathContains.end(), [&](const std::string& part) {
          return pathContains(process.path, part) || pathContains(process.script, part);
        });
    const bool byArguments = (!commandLine.empty() && anyMatches(root.regexes, commandLineText)) ||
                             (scriptText && anyMatches(root.regexes, *scriptText));
    if (!byName && !byPath && !byArguments) continue;
    const bool helper = !commandLine.empty() && anyMatches(root.helperRegexes, commandLineText);
    return AgentEntryMatch{{entry.id, entry.agent, entry.kind}, helper};
  }
  return std::nullopt;
}

std::optional<AgentRootMatch> SignatureEngine::agentRoot(const MatchInput& process) const {
  auto match = agentEntry(process);
  if (!match || match->isHelper) return std::nullopt;
  return std::move(match->entry);
}

std::optional<AgentRootMatch> SignatureEngine::agentHelper(const MatchInput& process) const {
  auto match = agentEntry(process);
  if (!match || !match->isHelper) return std::nullopt;
  return std::move(match->entry);
}

std::optional<GhostSignatureMatch> SignatureEngine::ghostSignature(
    const MatchInput& process) const {
  const std::string text = matchingText(process);
  const RegexSubject subject(text);
  for (const auto& ghost : ghosts_) {
    if (!anyMatches(ghost.regexes, subject)) continue;
    // An entry that names executables can't be confirmed without the path.
    if (!ghost.exeRegexes.empty() &&
        (!process.path || !anyMatches(ghost.exeRegexes, RegexSubject(*process.path))))
      continue;
    return GhostSignatureMatch{ghost.value.id, ghost.value.label,
                               ghost.value.requiresGhostAncestor};
  }
  return std::nullopt;
}

std::optional<std::string> SignatureEngine::framework(const MatchInput& process) const {
  const std::string text = matchingText(process);
  const RegexSubject subject(text);
  for (const auto& server : servers_)
    if (anyMatches(server.regexes, subject)) return server.value.framework;
  return std::nullopt;
}

std::optional<std::string> SignatureEngine::agentFromEnvironment(
    const std::optional<std::vector<std::string>>& environment) const {
  if (!environment || environment->empty()) return std::nullopt;
  std::unordered_set<std::string> names;
  std::unordered_set<std::string_view> entries;
  for (const auto& entry : *environment) {
    names.insert(entry.substr(0, entry.find('=')));
    entries.insert(entry);
  }
  for (const auto& hint : set_.envHints) {
    if (hint.requireAll &&
        !std::all_of(hint.requireAll->begin(), hint.requireAll->end(),
                     [&](const std::string& name) { return names.contains(name); }))
      continue;
    const bool byVariable =
        std::any_of(hint.variables.begin(), hint.variables.end(), [&](const std::string& variable) {
          return variable.find('=') != std::string::npos ? entries.contains(variable)
                                                         : names.contains(variable);
        });
    const bool byPrefix = std::any_of(names.begin(), names.end(), [&](const std::string& name) {
      return std::any_of(hint.prefixes.begin(), hint.prefixes.end(),
                         [&](const std::string& prefix) { return name.starts_with(prefix); });
    });
    const bool byValue =
        hint.anyValueContains &&
        std::any_of(environment->begin(), environment->end(), [&](const std::string& entry) {
          return entry.starts_with(hint.anyValueContains->namePrefix) &&
                 entry.find(hint.anyValueContains->text) != std::string::npos;
        });
    if (byVariable || byPrefix || byValue) return hint.agent;
  }
  return std::nullopt;
}

std::optional<std::string> SignatureEngine::agentFromPaths(
    const std::optional<std::vector<std::string>>& arguments,
    const std::optional<std::string>& workingDirectory) const {
  const std::string commandLine = arguments ? joined(*arguments) : std::string();
  std::vector<RegexSubject> texts;
  if (arguments) texts.emplace_back(commandLine);
  if (workingDirectory) texts.emplace_back(*workingDirectory);
  for (const auto& hint : pathHints_)
    for (const auto& text : texts)
      if (anyMatches(hint.regexes, text)) return hint.value.agent;
  return std::nullopt;
}

}  // namespace glimmet
