// Rule file decoding, validation and lookup.
#include "core/disk/leftover_rules.h"

#include <algorithm>
#include <set>

#include "core/disk/rule_validation.h"
#include "core/settings/json_fields.h"
#include "core/settings/shared_files.h"
#include "core/util/data_file.h"
#include "platform/files.h"

namespace glimmet {
namespace {

using Match = LeftoverRule::Match;

// Far above any real rule file; a larger one is refused rather than read.
constexpr size_t kMaxRuleFileBytes = 16 * 1024 * 1024;

template <typename Enum, typename Parse>
bool decodeEnum(const nlohmann::json& object, std::string_view key, Enum& field, Parse parse,
                bool required) {
  const auto found = object.find(key);
  if (found == object.end() || found->is_null()) return !required;
  if (!found->is_string()) return false;
  const auto value = parse(found->template get<std::string>());
  if (!value) return false;
  field = *value;
  return true;
}

template <typename Enum, typename Parse>
bool decodeOptionalEnum(const nlohmann::json& object, std::string_view key,
                        std::optional<Enum>& field, Parse parse) {
  Enum value{};
  const auto found = object.find(key);
  if (found == object.end() || found->is_null()) return true;
  if (!decodeEnum(object, key, value, parse, true)) return false;
  field = value;
  return true;
}

std::optional<Match> matchFromRaw(std::string_view raw) {
  for (const auto match :
       {Match::path, Match::children, Match::project, Match::worktree, Match::docker})
    if (rawValue(match) == raw) return match;
  return std::nullopt;
}

std::optional<LeftoverRule::Age> ageFromRaw(std::string_view raw) {
  if (raw == "agentHistory") return LeftoverRule::Age::agentHistory;
  return std::nullopt;
}

std::optional<LeftoverRule> decodeRule(const nlohmann::json& json, bool& unknownLookup) {
  LeftoverRule rule;
  std::optional<std::vector<std::string>> paths, names, namePrefixes, siblings, inside,
      blockedWhileRunning, agentRoots;
  std::optional<bool> blockedWhileBuilding, blockedWhileAppRuns;
  std::optional<std::string> resolveWith;
  FieldReader reader(json, IntegerForm::exact);
  reader.required("id", rule.id)
      .required("label", rule.label)
      .required("tool", rule.tool)
      .read("paths", paths)
      .read("childDepth", rule.childDepth)
      .read("childPrefix", rule.childPrefix)
      .read("names", names)
      .read("namePrefixes", namePrefixes)
      .read("siblings", siblings)
      .read("inside", inside)
      .read("activeID", rule.activeID)
      .read("activeLabel", rule.activeLabel)
      .read("resolveWith", resolveWith)
      .required("clean", rule.clean)
      .required("ifRemoved", rule.ifRemoved)
      .read("blockedWhileRunning", blockedWhileRunning)
      .read("blockedWhileBuilding", blockedWhileBuilding)
      .read("agentRoots", agentRoots)
      .read("blockedWhileAppRuns", blockedWhileAppRuns)
      .required("verified", rule.verified);
  if (!reader.valid()) return std::nullopt;
  if (!decodeEnum(json, "category", rule.category, diskCategoryFromRaw, true) ||
      !decodeEnum(json, "safety", rule.safety, diskSafetyFromRaw, true) ||
      !decodeEnum(json, "match", rule.match, matchFromRaw, true) ||
      !decodeOptionalEnum(json, "olderThan", rule.olderThan, ageFromRaw) ||
      !decodeOptionalEnum(json, "activeSafety", rule.activeSafety, diskSafetyFromRaw) ||
      !decodeOptionalEnum(json, "dockerKind", rule.dockerKind, dockerKindFromRaw))
    return std::nullopt;
  rule.paths = paths.value_or(std::vector<std::string>{});
  rule.names = names.value_or(std::vector<std::string>{});
  rule.namePrefixes = namePrefixes.value_or(std::vector<std::string>{});
  rule.siblings = siblings.value_or(std::vector<std::string>{});
  rule.inside = inside.value_or(std::vector<std::string>{});
  rule.blockedWhileRunning = blockedWhileRunning.value_or(std::vector<std::string>{});
  rule.agentRoots = agentRoots.value_or(std::vector<std::string>{});
  rule.blockedWhileBuilding = blockedWhileBuilding.value_or(false);
  rule.blockedWhileAppRuns = blockedWhileAppRuns.value_or(false);
  // An unknown lookup is a validation failure with its own reason, not a decoding one.
  if (resolveWith) {
    rule.resolveWith = pathLookupFromRaw(*resolveWith);
    unknownLookup = !rule.resolveWith;
  }
  return rule;
}

}  // namespace

std::string_view rawValue(Match match) {
  switch (match) {
    case Match::path:
      return "path";
    case Match::children:
      return "children";
    case Match::project:
      return "project";
    case Match::worktree:
      return "worktree";
    case Match::docker:
      return "docker";
  }
  return {};
}

std::string RuleError::userMessage(const std::string& file) const {
  return "Rule \"" + ruleID_ + "\" in " + file + " is not valid: " + explanation_ + ".";
}

const LeftoverRule* LeftoverRuleSet::rule(std::string_view id) const {
  for (const auto& rule : rules)
    if (rule.id == id || (rule.activeID && *rule.activeID == id)) return &rule;
  return nullptr;
}

LeftoverRuleSet LeftoverRuleSet::load(std::string_view bytes) {
  const auto json = nlohmann::json::parse(bytes, nullptr, /*allow_exceptions=*/false);
  if (json.is_discarded()) throw RuleFileError("the rule file is not JSON");
  LeftoverRuleSet set;
  FieldReader reader(json, IntegerForm::exact);
  reader.required("version", set.version);
  const auto rules = json.is_object() ? json.find("rules") : json.end();
  if (!reader.valid() || rules == json.end() || !rules->is_array())
    throw RuleFileError("the rule file has no version or rules");
  std::vector<bool> unknownLookups;
  for (const auto& element : *rules) {
    bool unknownLookup = false;
    auto rule = decodeRule(element, unknownLookup);
    if (!rule) throw RuleFileError("a rule doesn't decode");
    set.rules.push_back(std::move(*rule));
    unknownLookups.push_back(unknownLookup);
  }
  // Validation runs only over a fully decoded file, in file order.
  std::set<std::string> seenIDs;
  for (size_t index = 0; index < set.rules.size(); ++index)
    if (auto problem = ruleProblem(set.rules[index], unknownLookups[index], seenIDs))
      throw RuleError(set.rules[index].id, problem->reason, problem->explanation);
  return set;
}

std::filesystem::path LeftoverRuleSet::locate(const Environment& environment,
                                              const std::filesystem::path& executable) {
  auto found = locateDataFile(environment, shared_files::leftoverOverride, executable,
                              shared_files::leftoverFile);
  if (!found) throw RuleFileError("no leftover rule file");
  return *found;
}

LeftoverRuleSet LeftoverRuleSet::find(const Environment& environment,
                                      const std::filesystem::path& executable,
                                      std::filesystem::path* located) {
  const auto path = locate(environment, executable);
  if (located) *located = path;
  const auto bytes = platform::readFile(path, kMaxRuleFileBytes);
  if (!bytes) throw RuleFileError("can't read " + path.string());
  return load(*bytes);
}

}  // namespace glimmet
