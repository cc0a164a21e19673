// ToolFolderMemory: answers by lookup, with when and under which variables.
#include "core/disk/tool_folder_memory.h"

#include "core/disk/disk_item.h"
#include "core/disk/path_lookup.h"

namespace glimmet {
namespace {

std::map<std::string, std::string> variablesOf(PathLookup lookup, const Environment& environment) {
  std::map<std::string, std::string> set;
  for (const auto& name : toolQuery(lookup).variables)
    if (const auto value = environment.get(name)) set[name] = *value;
  return set;
}

}  // namespace

std::map<PathLookup, std::string> ToolFolderMemory::current(SystemTime now,
                                                            const Environment& environment) const {
  std::map<PathLookup, std::string> good;
  for (const auto& [lookup, answer] : answers_)
    if (answer.askedAt <= now && now - answer.askedAt < kKeptFor &&
        answer.variables == variablesOf(lookup, environment))
      good[lookup] = answer.folder;
  return good;
}

void ToolFolderMemory::remember(const std::map<PathLookup, std::string>& answers, SystemTime now,
                                const Environment& environment) {
  for (const auto& [lookup, folder] : answers)
    answers_[lookup] = {folder, now, variablesOf(lookup, environment)};
  std::erase_if(answers_, [&](const auto& entry) {
    return entry.second.askedAt > now || now - entry.second.askedAt >= kKeptFor;
  });
}

nlohmann::json ToolFolderMemory::toJson() const {
  auto json = nlohmann::json::object();
  for (const auto& [lookup, answer] : answers_)
    json[std::string(rawValue(lookup))] = {{"folder", answer.folder},
                                           {"askedAt", referenceSeconds(answer.askedAt)},
                                           {"variables", answer.variables}};
  return json;
}

std::optional<ToolFolderMemory> ToolFolderMemory::fromJson(const nlohmann::json& json) {
  if (!json.is_object()) return std::nullopt;
  ToolFolderMemory memory;
  for (const auto& [raw, value] : json.items()) {
    const auto lookup = pathLookupFromRaw(raw);
    if (!lookup) continue;  // a lookup this version doesn't know
    if (!value.is_object()) return std::nullopt;
    const auto folder = value.find("folder");
    const auto askedAt = value.find("askedAt");
    const auto variables = value.find("variables");
    if (folder == value.end() || !folder->is_string() || askedAt == value.end() ||
        variables == value.end() || !variables->is_object())
      return std::nullopt;
    const auto when = fromReferenceSeconds(*askedAt);
    if (!when) return std::nullopt;
    Answer answer{folder->get<std::string>(), *when, {}};
    for (const auto& [name, setting] : variables->items()) {
      if (!setting.is_string()) return std::nullopt;
      answer.variables[name] = setting.get<std::string>();
    }
    memory.answers_[*lookup] = std::move(answer);
  }
  return memory;
}

}  // namespace glimmet
