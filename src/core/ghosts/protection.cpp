// Protection checks, in the order that decides which reason is shown.
#include "core/ghosts/protection.h"

#include <fnmatch.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <string_view>

#include "core/settings/json_fields.h"

namespace glimmet {
namespace {

using Rule = ProtectedList::UserRule;

constexpr std::array<std::string_view, 6> kShellNames = {"bash", "zsh",  "fish",
                                                         "sh",   "dash", "tcsh"};
constexpr std::pair<Rule::Kind, std::string_view> kRuleKinds[] = {
    {Rule::Kind::commandGlob, "commandGlob"},
    {Rule::Kind::repoPath, "repoPath"},
    {Rule::Kind::port, "port"},
    {Rule::Kind::executablePath, "executablePath"},
};

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}
bool contains(const std::optional<std::string>& text, std::string_view part) {
  return text && text->find(part) != std::string::npos;
}
bool isOneOf(std::string_view name, std::initializer_list<std::string_view> names) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// The signatures know an agent by its script too ("node /usr/local/bin/gemini")
// and tell its own daemons apart ("codex app-server"), which stay stoppable. The
// three names are the fallback for when no signature file could be loaded.
bool isAIAgent(const ProtectionSubject& s) {
  if (s.agent == AgentRecognition::notConsulted)
    return isOneOf(s.name, {"claude", "codex", "gemini"});
  return s.agent == AgentRecognition::agent;
}

struct BuiltInDefault {
  std::string_view id;
  std::string_view label;
  bool (*matches)(const ProtectionSubject&);
};

constexpr BuiltInDefault kDefaults[] = {
    {"docker", "Docker Desktop",
     [](const ProtectionSubject& s) {
       return startsWith(s.name, "com.docker.") || contains(s.path, "/Docker.app/");
     }},
    {"orbstack", "OrbStack",
     [](const ProtectionSubject& s) {
       return startsWith(s.name, "OrbStack") || contains(s.path, "/OrbStack.app/");
     }},
    // The engines and their plumbing, which on Linux run on the host itself: as
    // root, `kill :PORT` on a published port would otherwise stop docker-proxy.
    {"containers", "Container engines",
     [](const ProtectionSubject& s) {
       return isOneOf(s.name, {"dockerd",     "dockerd-rootless.sh",
                               "containerd",  "docker-proxy",
                               "rootlesskit", "rootlesskit-docker-proxy",
                               "slirp4netns", "pasta",
                               "podman",      "conmon",
                               "catatonit",   "aardvark-dns",
                               "buildkitd",   "kubelet",
                               "kube-proxy",  "k3s",
                               "k3s-server",  "k3s-agent",
                               "k0s",         "crio",
                               "cri-dockerd"}) ||
              startsWith(s.name, "containerd-shim");
     }},
    {"databases", "Local databases",
     [](const ProtectionSubject& s) {
       return isOneOf(s.name, {"postgres", "mysqld", "redis-server", "mongod"});
     }},
    {"agents", "AI agents",
     [](const ProtectionSubject& s) { return isAIAgent(s) || contains(s.path, "/Cursor.app/"); }},
};

bool globMatches(const std::string& pattern, const std::string& text) {
  return ::fnmatch(pattern.c_str(), text.c_str(), 0) == 0;
}

// "3000" or "+3000"; anything else, or a value above 65535, never matches.
std::optional<uint16_t> rulePort(std::string_view pattern) {
  if (startsWith(pattern, "+")) pattern.remove_prefix(1);
  if (pattern.empty() || pattern.size() > 5) return std::nullopt;
  uint32_t value = 0;
  for (const char c : pattern) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  if (value > 65535) return std::nullopt;
  return static_cast<uint16_t>(value);
}

bool ruleMatches(const Rule& rule, const ProtectionSubject& subject) {
  switch (rule.kind) {
    case Rule::Kind::commandGlob:
      return globMatches(rule.pattern, subject.commandLine);
    case Rule::Kind::executablePath:
      return subject.path && globMatches(rule.pattern, *subject.path);
    case Rule::Kind::repoPath:
      return subject.repoPath && (*subject.repoPath == rule.pattern ||
                                  startsWith(*subject.repoPath, rule.pattern + "/"));
    case Rule::Kind::port: {
      const auto port = rulePort(rule.pattern);
      return port &&
             std::find(subject.ports.begin(), subject.ports.end(), *port) != subject.ports.end();
    }
  }
  return false;
}

bool isShellName(std::string_view name) {
  if (startsWith(name, "-")) name.remove_prefix(1);  // login shells
  return std::find(kShellNames.begin(), kShellNames.end(), name) != kShellNames.end();
}

ProtectionReason reason(ProtectionReason::Kind kind) {
  return {.kind = kind};
}

}  // namespace

std::optional<std::string> ProtectionContext::bundlePathOf(const std::string& executable) {
  if (executable.empty()) return std::nullopt;
  const auto bundle = std::filesystem::path(executable).parent_path().parent_path().parent_path();
  if (bundle.extension() != ".app") return std::nullopt;
  return bundle.string();
}

ProtectionContext ProtectionContext::forCommand(uid_t uid, pid_t pid,
                                                const std::string& executable) {
  ProtectionContext context;
  context.currentUID = uid;
  context.ownPID = pid;
  context.ownBundlePath = bundlePathOf(executable);
  if (!executable.empty()) context.ownExecutablePath = executable;
  context.shellsOnlyForTTY = true;
  return context;
}

ProtectionSubject protectionSubject(const ProcessRecord& record, std::vector<uint16_t> ports,
                                    std::optional<std::string> repoPath) {
  return {.pid = record.pid(),
          .uid = record.uid,
          .name = record.name,
          .path = record.path,
          .commandLine = record.commandLine(),
          .hasControllingTTY = record.hasControllingTTY,
          .ports = std::move(ports),
          .repoPath = std::move(repoPath)};
}

ProtectionSubject protectionSubject(const ProcessRecord& record, std::vector<uint16_t> ports,
                                    std::optional<std::string> repoPath,
                                    const std::optional<AgentRootMatch>& agentRoot) {
  auto subject = protectionSubject(record, std::move(ports), std::move(repoPath));
  subject.agent = recognitionOf(agentRoot);
  return subject;
}

AgentRecognition recognitionOf(const std::optional<AgentRootMatch>& agentRoot) {
  return agentRoot && agentRoot->kind == SignatureSet::AgentRoot::Kind::agent
             ? AgentRecognition::agent
             : AgentRecognition::notAgent;
}

std::optional<ProtectedList> ProtectedList::fromJson(const nlohmann::json& json) {
  if (!json.is_object()) return std::nullopt;
  ProtectedList list;
  if (const auto rules = json.find("userRules"); rules != json.end() && !rules->is_null()) {
    if (!rules->is_array()) return std::nullopt;
    for (const auto& entry : *rules) {
      std::string kind, pattern;
      FieldReader reader(entry);
      reader.read("kind", kind).read("pattern", pattern);
      if (!reader.valid() || !entry.contains("kind") || !entry.contains("pattern"))
        return std::nullopt;
      const auto known = std::find_if(std::begin(kRuleKinds), std::end(kRuleKinds),
                                      [&](const auto& pair) { return pair.second == kind; });
      if (known == std::end(kRuleKinds)) return std::nullopt;
      list.userRules.push_back({known->first, pattern});
    }
  }
  std::vector<std::string> disabled;
  FieldReader reader(json);
  reader.read("disabledDefaults", disabled);
  if (!reader.valid()) return std::nullopt;
  list.disabledDefaults.insert(disabled.begin(), disabled.end());
  return list;
}

nlohmann::json ProtectedList::toJson() const {
  auto rules = nlohmann::json::array();
  for (const auto& rule : userRules) {
    const auto kind = std::find_if(std::begin(kRuleKinds), std::end(kRuleKinds),
                                   [&](const auto& pair) { return pair.first == rule.kind; });
    rules.push_back({{"kind", std::string(kind->second)}, {"pattern", rule.pattern}});
  }
  return {{"userRules", rules}, {"disabledDefaults", disabledDefaults}};
}

std::string ProtectionReason::label() const {
  switch (kind) {
    case Kind::builtInDefault:
      return "Protected by default: " + defaultLabel;
    case Kind::userRule:
      return "Protected by your rule";
    case Kind::systemProcess:
      return "System process";
    case Kind::otherUser:
      return "Owned by another user";
    case Kind::glimmetItself:
      return "Glimmet itself";
    case Kind::frontmostApp:
      return "The app you're using";
    case Kind::loginShell:
      return "Your terminal shell";
    case Kind::unseenHolder:
      return "Held by a process Glimmet can't see";
  }
  return {};
}

std::optional<ProtectionReason> checkProtection(const ProtectionSubject& subject,
                                                const ProtectionContext& context,
                                                const ProtectedList& list,
                                                const SystemProcessTable& system) {
  using Kind = ProtectionReason::Kind;
  if (subject.pid < 100) return reason(Kind::systemProcess);
  if (subject.uid != context.currentUID) return reason(Kind::otherUser);
  if (subject.pid == context.ownPID) return reason(Kind::glimmetItself);
  if (subject.path && context.ownBundlePath && context.ownBundlePath->ends_with(".app") &&
      startsWith(*subject.path, *context.ownBundlePath + "/"))
    return reason(Kind::glimmetItself);
  if (subject.path && context.ownExecutablePath && *subject.path == *context.ownExecutablePath)
    return reason(Kind::glimmetItself);
  if (system.holds(subject.name, subject.path)) return reason(Kind::systemProcess);
  if (context.frontmostAppPID && *context.frontmostAppPID == subject.pid)
    return reason(Kind::frontmostApp);
  if (subject.hasControllingTTY && (!context.shellsOnlyForTTY || isShellName(subject.name)))
    return reason(Kind::loginShell);
  for (const auto& builtIn : kDefaults) {
    const std::string id(builtIn.id);
    if (list.disabledDefaults.contains(id) || context.ignoredDefaultIDs.contains(id)) continue;
    if (builtIn.matches(subject))
      return ProtectionReason{.kind = Kind::builtInDefault,
                              .defaultLabel = std::string(builtIn.label)};
  }
  for (const auto& rule : list.userRules)
    if (ruleMatches(rule, subject)) return ProtectionReason{.kind = Kind::userRule, .rule = rule};
  return std::nullopt;
}

}  // namespace glimmet
