// GlimmetSettings decoding.
#include "core/settings/glimmet_settings.h"

#include "core/settings/json_fields.h"
#include "core/settings/setting_ranges.h"
#include "core/settings/shared_files.h"

namespace glimmet {

namespace ranges = setting_ranges;

ReaperRules ReaperRules::clamped() const {
  ReaperRules rules = *this;
  rules.interval = ranges::reaperInterval.clamp(interval);
  rules.minimumAge = ranges::processAge.clamp(minimumAge);
  rules.sessionGrace = ranges::sessionGrace.clamp(sessionGrace);
  return rules;
}

AgentNotifyRules AgentNotifyRules::clamped() const {
  AgentNotifyRules rules = *this;
  rules.approvalDelay = ranges::alertDelay.clamp(approvalDelay);
  rules.idleAfter = ranges::alertDelay.clamp(idleAfter);
  return rules;
}

std::optional<ReaperRules> ReaperRules::fromJson(const nlohmann::json& json) {
  ReaperRules rules;
  FieldReader reader(json);
  reader.read("enabled", rules.enabled)
      .read("atLogin", rules.atLogin)
      .read("onSchedule", rules.onSchedule)
      .read("onSessionEnd", rules.onSessionEnd)
      .read("interval", rules.interval)
      .read("minimumAge", rules.minimumAge)
      .read("sessionGrace", rules.sessionGrace)
      .read("includeOrphanedDevServers", rules.includeOrphanedDevServers)
      .read("allowLikelyOrigins", rules.allowLikelyOrigins)
      .read("dryRunOverride", rules.dryRunOverride)
      .read("runawayCPU", rules.runawayCPU)
      .read("runawayCPUPercent", rules.runawayCPUPercent);
  if (!reader.valid()) return std::nullopt;
  return rules.clamped();
}

std::optional<MCPSettings> MCPSettings::fromJson(const nlohmann::json& json) {
  MCPSettings settings;
  FieldReader reader(json);
  reader.read("enabled", settings.enabled);
  if (!reader.valid()) return std::nullopt;
  return settings;
}

std::optional<AgentNotifyRules> AgentNotifyRules::fromJson(const nlohmann::json& json) {
  AgentNotifyRules rules;
  FieldReader reader(json);
  reader.read("finished", rules.finished)
      .read("needsApproval", rules.needsApproval)
      .read("onlyWhenAway", rules.onlyWhenAway)
      .read("approvalDelay", rules.approvalDelay)
      .read("idleGuess", rules.idleGuess)
      .read("idleAfter", rules.idleAfter);
  if (!reader.valid()) return std::nullopt;
  return rules.clamped();
}

std::optional<GlimmetSettings> GlimmetSettings::fromJson(const nlohmann::json& json) {
  GlimmetSettings settings;
  FieldReader reader(json);
  reader.read("samplingInterval", settings.samplingInterval)
      .read("gracePeriod", settings.gracePeriod)
      .read("folderAccessExplained", settings.folderAccessExplained)
      .read("onboardingDone", settings.onboardingDone)
      .read("ghostMinimumAge", settings.ghostMinimumAge)
      .read("reaper", settings.reaper)
      .requireObject("hogs")
      .read("disk", settings.disk)
      .read("mcp", settings.mcp)
      .requireObject("diskWrites")
      .requireObject("storms")
      .requireObject("localModels")
      .requireObject("keepAwake")
      .read("agentNotify", settings.agentNotify);
  if (!reader.valid()) return std::nullopt;
  settings.samplingInterval = ranges::samplingInterval.clamp(settings.samplingInterval);
  settings.gracePeriod = ranges::gracePeriod.clamp(settings.gracePeriod);
  settings.ghostMinimumAge = ranges::processAge.clamp(settings.ghostMinimumAge);
  return settings;
}

GlimmetSettings GlimmetSettings::load(const JSONStore& store) {
  const auto json = store.loadJson(shared_files::settings);
  if (!json) return {};
  return fromJson(*json).value_or(GlimmetSettings{});
}

}  // namespace glimmet
