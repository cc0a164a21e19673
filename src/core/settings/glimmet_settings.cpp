// GlimmetSettings decoding.
#include "core/settings/glimmet_settings.h"

#include <algorithm>

#include "core/settings/json_fields.h"
#include "core/settings/shared_files.h"

namespace glimmet {
namespace {

constexpr double kMinute = 60;
constexpr double kDay = 24 * 60 * kMinute;

// Every time the tool sleeps on, waits for or turns into an integer has a range,
// so that a hand-edited 1e308 can neither hang a session-end hook nor overflow
// a conversion. The ranges are wide enough for any setting a person means.
struct SecondsRange {
  double lowest;
  double highest;
  double operator()(double seconds) const { return std::clamp(seconds, lowest, highest); }
};
constexpr SecondsRange kSamplingInterval{1, 3600};
constexpr SecondsRange kGracePeriod{1, 15};  // the tree killer's own limits
constexpr SecondsRange kProcessAge{0, 365 * kDay};
constexpr SecondsRange kReaperInterval{kMinute, 7 * kDay};
constexpr SecondsRange kSessionGrace{0, 10 * kMinute};
constexpr SecondsRange kAlertDelay{0, kDay};

}  // namespace

ReaperRules ReaperRules::clamped() const {
  ReaperRules rules = *this;
  rules.interval = kReaperInterval(interval);
  rules.minimumAge = kProcessAge(minimumAge);
  rules.sessionGrace = kSessionGrace(sessionGrace);
  return rules;
}

AgentNotifyRules AgentNotifyRules::clamped() const {
  AgentNotifyRules rules = *this;
  rules.approvalDelay = kAlertDelay(approvalDelay);
  rules.idleAfter = kAlertDelay(idleAfter);
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
  settings.samplingInterval = kSamplingInterval(settings.samplingInterval);
  settings.gracePeriod = kGracePeriod(settings.gracePeriod);
  settings.ghostMinimumAge = kProcessAge(settings.ghostMinimumAge);
  return settings;
}

GlimmetSettings GlimmetSettings::load(const JSONStore& store) {
  const auto json = store.loadJson(shared_files::settings);
  if (!json) return {};
  return fromJson(*json).value_or(GlimmetSettings{});
}

}  // namespace glimmet
