#include "core/companion/companion_state.h"

namespace glimmet {
namespace {

std::optional<SystemTime> timeAt(const nlohmann::json& json, const char* key) {
  const auto found = json.find(key);
  if (found == json.end() || !found->is_string()) return std::nullopt;
  return parseIso8601(found->get<std::string>());
}

std::optional<std::size_t> countAt(const nlohmann::json& json, const char* key) {
  const auto found = json.find(key);
  if (found == json.end() || !found->is_number_unsigned()) return std::nullopt;
  return found->get<std::size_t>();
}

std::optional<CompanionReap> reapFromJson(const nlohmann::json& json) {
  if (!json.is_object()) return std::nullopt;
  const auto at = timeAt(json, "at");
  const auto trigger = json.find("trigger");
  const auto dryRun = json.find("dryRun");
  const auto selected = countAt(json, "selected");
  const auto stopped = countAt(json, "stopped");
  if (!at || trigger == json.end() || !trigger->is_string() || dryRun == json.end() ||
      !dryRun->is_boolean() || !selected || !stopped)
    return std::nullopt;
  return CompanionReap{*at, trigger->get<std::string>(), dryRun->get<bool>(), *selected, *stopped};
}

}  // namespace

std::optional<CompanionState> CompanionState::fromJson(const nlohmann::json& json) {
  if (!json.is_object()) return std::nullopt;
  const auto pid = json.find("pid");
  const auto startedAt = timeAt(json, "startedAt");
  const auto updatedAt = timeAt(json, "updatedAt");
  const auto sessions = countAt(json, "sessionsWatched");
  const auto records = countAt(json, "ancestryRecords");
  if (pid == json.end() || !pid->is_number_integer() || pid->get<long long>() <= 0 ||
      pid->get<long long>() > INT32_MAX || !startedAt || !updatedAt || !sessions || !records)
    return std::nullopt;
  CompanionState state{static_cast<pid_t>(pid->get<long long>()),
                       *startedAt,
                       *updatedAt,
                       *sessions,
                       *records,
                       std::nullopt};
  if (const auto reap = json.find("lastReap"); reap != json.end()) {
    state.lastReap = reapFromJson(*reap);
    if (!state.lastReap) return std::nullopt;
  }
  return state;
}

nlohmann::json CompanionState::toJson() const {
  nlohmann::json json = {{"pid", pid},
                         {"startedAt", formatIso8601(startedAt)},
                         {"updatedAt", formatIso8601(updatedAt)},
                         {"sessionsWatched", sessionsWatched},
                         {"ancestryRecords", ancestryRecords}};
  if (lastReap)
    json["lastReap"] = {{"at", formatIso8601(lastReap->at)},
                        {"trigger", lastReap->trigger},
                        {"dryRun", lastReap->dryRun},
                        {"selected", lastReap->selected},
                        {"stopped", lastReap->stopped}};
  return json;
}

}  // namespace glimmet
