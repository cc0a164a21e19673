// The settings key table.
#include "logic/settings/setting_keys.h"

#include <array>
#include <charconv>
#include <cmath>

#include "core/error.h"
#include "core/kill/duration.h"
#include "core/output/json_writer.h"
#include "core/settings/json_store.h"
#include "core/settings/setting_ranges.h"

namespace glimmet {
namespace {

using nlohmann::json;
using Settings = GlimmetSettings;
namespace ranges = setting_ranges;

template <typename Number>
constexpr std::optional<double> lowestOf(ranges::Range<Number> range) {
  return static_cast<double>(range.lowest);
}
template <typename Number>
constexpr std::optional<double> highestOf(ranges::Range<Number> range) {
  return static_cast<double>(range.highest);
}

constexpr auto kBoolean = SettingType::boolean;
constexpr auto kDuration = SettingType::duration;
constexpr auto kInteger = SettingType::integer;
constexpr auto kList = SettingType::textList;
constexpr std::nullopt_t kNone = std::nullopt;

// In the order of the record; a key a new field adds goes here and nowhere else.
constexpr std::array kKeys = {
    SettingKey{"samplingInterval", kDuration, lowestOf(ranges::samplingInterval),
               highestOf(ranges::samplingInterval),
               [](const Settings& s) -> json { return s.samplingInterval; }},
    SettingKey{"gracePeriod", kDuration, lowestOf(ranges::gracePeriod),
               highestOf(ranges::gracePeriod),
               [](const Settings& s) -> json { return s.gracePeriod; }},
    SettingKey{"folderAccessExplained", kBoolean, kNone, kNone,
               [](const Settings& s) -> json { return s.folderAccessExplained; }},
    SettingKey{"onboardingDone", kBoolean, kNone, kNone,
               [](const Settings& s) -> json { return s.onboardingDone; }},
    SettingKey{"ghostMinimumAge", kDuration, lowestOf(ranges::processAge),
               highestOf(ranges::processAge),
               [](const Settings& s) -> json { return s.ghostMinimumAge; }},

    SettingKey{"reaper.enabled", kBoolean, kNone, kNone,
               [](const Settings& s) -> json { return s.reaper.enabled; }},
    SettingKey{"reaper.atLogin", kBoolean, kNone, kNone,
               [](const Settings& s) -> json { return s.reaper.atLogin; }},
    SettingKey{"reaper.onSchedule", kBoolean, kNone, kNone,
               [](const Settings& s) -> json { return s.reaper.onSchedule; }},
    SettingKey{"reaper.onSessionEnd", kBoolean, kNone, kNone,
               [](const Settings& s) -> json { return s.reaper.onSessionEnd; }},
    SettingKey{"reaper.interval", kDuration, lowestOf(ranges::reaperInterval),
               highestOf(ranges::reaperInterval),
               [](const Settings& s) -> json { return s.reaper.interval; }},
    SettingKey{"reaper.minimumAge", kDuration, lowestOf(ranges::processAge),
               highestOf(ranges::processAge),
               [](const Settings& s) -> json { return s.reaper.minimumAge; }},
    SettingKey{"reaper.sessionGrace", kDuration, lowestOf(ranges::sessionGrace),
               highestOf(ranges::sessionGrace),
               [](const Settings& s) -> json { return s.reaper.sessionGrace; }},
    SettingKey{"reaper.includeOrphanedDevServers", kBoolean, kNone, kNone,
               [](const Settings& s) -> json { return s.reaper.includeOrphanedDevServers; }},
    SettingKey{"reaper.allowLikelyOrigins", kBoolean, kNone, kNone,
               [](const Settings& s) -> json { return s.reaper.allowLikelyOrigins; }},
    SettingKey{"reaper.dryRunOverride", SettingType::optionalBoolean, kNone, kNone,
               [](const Settings& s) -> json {
                 return s.reaper.dryRunOverride ? json(*s.reaper.dryRunOverride) : json();
               }},
    SettingKey{"reaper.runawayCPU", kBoolean, kNone, kNone,
               [](const Settings& s) -> json { return s.reaper.runawayCPU; }},
    SettingKey{"reaper.runawayCPUPercent", SettingType::number, kNone, kNone,
               [](const Settings& s) -> json { return s.reaper.runawayCPUPercent; }},

    SettingKey{"disk.includeProtectedFolders", kBoolean, kNone, kNone,
               [](const Settings& s) -> json { return s.disk.includeProtectedFolders; }},
    SettingKey{"disk.staleProjectDays", kInteger, lowestOf(ranges::staleProjectDays),
               highestOf(ranges::staleProjectDays),
               [](const Settings& s) -> json { return s.disk.staleProjectDays; }},
    SettingKey{"disk.agentHistoryDays", kInteger, lowestOf(ranges::agentHistoryDays),
               highestOf(ranges::agentHistoryDays),
               [](const Settings& s) -> json { return s.disk.agentHistoryDays; }},
    SettingKey{"disk.discoveryDepth", kInteger, lowestOf(ranges::discoveryDepth),
               highestOf(ranges::discoveryDepth),
               [](const Settings& s) -> json { return s.disk.discoveryDepth; }},
    SettingKey{"disk.excludePatterns", kList, kNone, kNone,
               [](const Settings& s) -> json { return s.disk.excludePatterns; }},
    SettingKey{"disk.extraRoots", kList, kNone, kNone,
               [](const Settings& s) -> json { return s.disk.extraRoots; }},
    SettingKey{"disk.showInMenuBar", kBoolean, kNone, kNone,
               [](const Settings& s) -> json { return s.disk.showInMenuBar; }},
    // Bytes; the record holds any unsigned number, which int64 covers past an exabyte.
    SettingKey{"disk.menuBarThreshold", kInteger, 0.0, kNone,
               [](const Settings& s) -> json { return s.disk.menuBarThreshold; }},
    SettingKey{"disk.protectedPaths", kList, kNone, kNone,
               [](const Settings& s) -> json { return s.disk.protectedPaths; }},
    SettingKey{"disk.maxWalkers", kInteger, lowestOf(ranges::maxWalkers),
               highestOf(ranges::maxWalkers),
               [](const Settings& s) -> json { return s.disk.maxWalkers; }},

    SettingKey{"mcp.enabled", kBoolean, kNone, kNone,
               [](const Settings& s) -> json { return s.mcp.enabled; }},

    SettingKey{"agentNotify.finished", kBoolean, kNone, kNone,
               [](const Settings& s) -> json { return s.agentNotify.finished; }},
    SettingKey{"agentNotify.needsApproval", kBoolean, kNone, kNone,
               [](const Settings& s) -> json { return s.agentNotify.needsApproval; }},
    SettingKey{"agentNotify.onlyWhenAway", kBoolean, kNone, kNone,
               [](const Settings& s) -> json { return s.agentNotify.onlyWhenAway; }},
    SettingKey{"agentNotify.approvalDelay", kDuration, lowestOf(ranges::alertDelay),
               highestOf(ranges::alertDelay),
               [](const Settings& s) -> json { return s.agentNotify.approvalDelay; }},
    SettingKey{"agentNotify.idleGuess", kBoolean, kNone, kNone,
               [](const Settings& s) -> json { return s.agentNotify.idleGuess; }},
    SettingKey{"agentNotify.idleAfter", kDuration, lowestOf(ranges::alertDelay),
               highestOf(ranges::alertDelay),
               [](const Settings& s) -> json { return s.agentNotify.idleAfter; }},
};

// Whole-text decimal numbers in fixed form: no exponent, "inf", "nan" or "+".
template <typename Number>
std::optional<Number> wholeNumber(std::string_view text) {
  Number number{};
  const char* end = text.data() + text.size();
  std::from_chars_result result{};
  if constexpr (std::is_floating_point_v<Number>)
    result = std::from_chars(text.data(), end, number, std::chars_format::fixed);
  else
    result = std::from_chars(text.data(), end, number);
  if (text.empty() || result.ec != std::errc{} || result.ptr != end) return std::nullopt;
  return number;
}

std::string numberText(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::optional<double> durationSeconds(std::string_view text) {
  if (const auto seconds = parseDuration(text)) return seconds;
  const auto plain = wholeNumber<double>(text);
  if (!plain || *plain < 0 || std::signbit(*plain)) return std::nullopt;
  return plain;
}

bool withinRange(const SettingKey& key, double value) {
  return (!key.lowest || value >= *key.lowest) && (!key.highest || value <= *key.highest);
}

// "from 1s to 15s", "0 or more", or nothing for a key without a range.
std::string rangeText(const SettingKey& key, std::string (*text)(double)) {
  if (key.lowest && key.highest) return " from " + text(*key.lowest) + " to " + text(*key.highest);
  if (key.lowest) return ", " + text(*key.lowest) + " or more";
  return "";
}

std::string integerText(double value) {
  return std::to_string(static_cast<int64_t>(value));
}

std::optional<json> parsedValue(const SettingKey& key, std::string_view text) {
  switch (key.type) {
    case SettingType::boolean:
    case SettingType::optionalBoolean:
      if (text == "true") return json(true);
      if (text == "false") return json(false);
      return std::nullopt;
    case SettingType::duration: {
      const auto seconds = durationSeconds(text);
      if (!seconds || !withinRange(key, *seconds)) return std::nullopt;
      return json(*seconds);
    }
    case SettingType::number: {
      const auto number = wholeNumber<double>(text);
      if (!number || !std::isfinite(*number) || !withinRange(key, *number)) return std::nullopt;
      return json(*number);
    }
    case SettingType::integer: {
      const auto number = wholeNumber<int64_t>(text);
      if (!number || !withinRange(key, static_cast<double>(*number))) return std::nullopt;
      return json(*number);
    }
    case SettingType::textList: {
      auto list = parseSharedJson(text);
      if (!list || !list->is_array()) return std::nullopt;
      for (const auto& element : *list)
        if (!element.is_string()) return std::nullopt;
      return list;
    }
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::string> SettingKey::path() const {
  return dottedPath(name);
}

std::vector<std::string> dottedPath(std::string_view name) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t dot = name.find('.'); dot != std::string_view::npos; dot = name.find('.', start)) {
    parts.emplace_back(name.substr(start, dot - start));
    start = dot + 1;
  }
  parts.emplace_back(name.substr(start));
  return parts;
}

std::span<const SettingKey> settingKeys() {
  return kKeys;
}

const SettingKey& settingKey(std::string_view name) {
  std::string inside;
  for (const auto& key : kKeys) {
    if (key.name == name) return key;
    if (key.name.size() > name.size() && key.name.starts_with(name) && key.name[name.size()] == '.')
      inside += (inside.empty() ? "" : ", ") + std::string(key.name);
  }
  if (!inside.empty())
    throw UsageError("'" + std::string(name) + "' holds several settings; name one: " + inside +
                     ".");
  throw UsageError("There's no setting named '" + std::string(name) +
                   "'. glimmet settings lists them all.");
}

std::string acceptedValues(const SettingKey& key) {
  switch (key.type) {
    case SettingType::boolean:
      return "true or false";
    case SettingType::optionalBoolean:
      return "true or false (unset it to leave the choice open)";
    case SettingType::duration:
      return "a duration" + rangeText(key, durationText) +
             ", like 6h, 30m, 90s or a number of seconds";
    case SettingType::number:
      return "a number" + rangeText(key, numberText) + ", like 150";
    case SettingType::integer:
      return "a whole number" + rangeText(key, integerText);
    case SettingType::textList:
      return R"(a JSON list of text, like '["~/scratch", "*.iso"]')";
  }
  return {};
}

json parseSettingValue(const SettingKey& key, std::string_view text) {
  auto value = parsedValue(key, text);
  if (!value)
    throw UsageError("'" + std::string(text) + "' isn't a value for " + std::string(key.name) +
                     ": it takes " + acceptedValues(key) + ".");
  return std::move(*value);
}

std::string durationText(double seconds) {
  constexpr std::pair<double, const char*> kUnits[] = {{86400, "d"}, {3600, "h"}, {60, "m"}};
  if (seconds > 0 && std::trunc(seconds) == seconds)
    for (const auto& [unit, suffix] : kUnits)
      if (std::fmod(seconds, unit) == 0) return numberText(seconds / unit) + suffix;
  return numberText(seconds) + "s";
}

std::string settingValueText(const SettingKey& key, const json& value) {
  if (value.is_null()) return "not set";
  switch (key.type) {
    case SettingType::duration:
      return durationText(value.get<double>());
    case SettingType::number:
      return numberText(value.get<double>());
    case SettingType::textList:
      return writeCompactJson(value);
    default:
      return value.dump();
  }
}

json effectiveSettings(const GlimmetSettings& settings) {
  json record = json::object();
  for (const auto& key : kKeys) {
    auto value = key.read(settings);
    if (value.is_null()) continue;
    json* place = &record;
    for (const auto& part : key.path()) place = &(*place)[part];
    *place = std::move(value);
  }
  return record;
}

}  // namespace glimmet
