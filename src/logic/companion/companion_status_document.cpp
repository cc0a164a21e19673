// The companion's status, from what it and the tool left in the shared folder.
#include "logic/companion/companion_status_document.h"

#include <algorithm>
#include <chrono>

#include "core/output/text.h"
#include "logic/agents/application_heartbeat.h"

namespace glimmet {
namespace {

constexpr size_t kLabelWidth = 18;

std::int64_t secondsBetween(SystemTime from, SystemTime to) {
  // A stamp from the future (a clock set back) is as fresh as it gets.
  return std::max<std::int64_t>(
      0, std::chrono::duration_cast<std::chrono::seconds>(to - from).count());
}

std::string line(std::string_view label, std::string_view value) {
  return padCut(label, kLabelWidth) + std::string(value);
}

std::string triggerText(const std::string& trigger) {
  if (trigger == "login") return "at login";
  if (trigger == "schedule") return "on schedule";
  if (trigger == "sessionEnd") return "after a session ended";
  return printable(trigger);
}

std::string reapText(const std::optional<CompanionReap>& reap) {
  if (!reap) return "none yet";
  const auto when = formatIso8601(reap->at) + " " + triggerText(reap->trigger);
  if (reap->dryRun)
    return when + ", dry run: " + countedNoun(reap->selected, "ghost") + " selected";
  return when + ": stopped " + std::to_string(reap->stopped) + " of " +
         countedNoun(reap->selected, "ghost");
}

std::string installationText(const std::optional<CompanionInstallation>& installation) {
  if (!installation) return "no: glimmet companion install starts it when you log in";
  std::string text = installation->kind == CompanionInstallation::Kind::systemdUnit
                         ? "systemd user unit "
                         : "autostart entry ";
  text += printable(installation->path);
  if (!installation->runs) text += bracketTag("not as glimmet wrote it");
  return text;
}

const char* kindName(CompanionInstallation::Kind kind) {
  return kind == CompanionInstallation::Kind::systemdUnit ? "systemdUnit" : "autostartEntry";
}

}  // namespace

std::uint64_t pendingQuitRequests(const nlohmann::json& inbox) {
  if (!inbox.is_array()) return 0;
  return static_cast<std::uint64_t>(
      std::count_if(inbox.begin(), inbox.end(), [](const auto& entry) {
        const auto status = entry.is_object() ? entry.find("status") : entry.end();
        return entry.is_object() && status != entry.end() && *status == "pending";
      }));
}

std::string ageText(std::int64_t seconds) {
  if (seconds < 60) return std::to_string(std::max<std::int64_t>(0, seconds)) + " s";
  const auto minutes = seconds / 60;
  if (minutes < 60) return std::to_string(minutes) + " min";
  const auto hours = minutes / 60;
  if (hours < 24) {
    std::string text = std::to_string(hours) + " h";
    if (minutes % 60 != 0) text += " " + std::to_string(minutes % 60) + " min";
    return text;
  }
  std::string text = std::to_string(hours / 24) + " d";
  if (hours % 24 != 0) text += " " + std::to_string(hours % 24) + " h";
  return text;
}

CompanionStatusDocument CompanionStatusDocument::from(const CompanionStatusFacts& facts,
                                                      SystemTime now) {
  CompanionStatusDocument document;
  document.now = now;
  document.running = facts.running;
  // companion.json stays behind when the companion exits: its pid and counts
  // describe a companion only while one holds the lock.
  const bool stateIsCurrent = facts.running && facts.state;
  if (stateIsCurrent) {
    document.pid = facts.state->pid;
    document.startedAt = facts.state->startedAt;
    document.sessionsWatched = facts.state->sessionsWatched;
    document.ancestryRecords = facts.state->ancestryRecords;
  } else {
    document.ancestryRecords = facts.ancestryFileRecords;
  }
  if (facts.state) document.lastReap = facts.state->lastReap;
  if (facts.heartbeat && facts.heartbeat->is_object()) {
    const auto time = facts.heartbeat->find("time");
    const auto stamp = time != facts.heartbeat->end() && time->is_string()
                           ? parseIso8601(time->get_ref<const std::string&>())
                           : std::nullopt;
    if (stamp) {
      document.heartbeatAgeSeconds = secondsBetween(*stamp, now);
      document.heartbeatFresh = heartbeatIsFresh(*facts.heartbeat, now);
    }
  }
  if (facts.inbox) document.pendingQuitRequests = glimmet::pendingQuitRequests(*facts.inbox);
  document.installation = facts.installation;
  return document;
}

nlohmann::json CompanionStatusDocument::toJson() const {
  nlohmann::json json = {{"schema", 1},
                         {"command", "companion status"},
                         {"running", running},
                         {"heartbeatFresh", heartbeatFresh},
                         {"ancestryRecords", ancestryRecords},
                         {"pendingQuitRequests", pendingQuitRequests}};
  if (pid) json["pid"] = *pid;
  if (startedAt) json["startedAt"] = formatIso8601(*startedAt);
  if (heartbeatAgeSeconds) json["heartbeatAgeSeconds"] = *heartbeatAgeSeconds;
  if (sessionsWatched) json["sessionsWatched"] = *sessionsWatched;
  // In the very form companion.json holds it.
  if (lastReap) json["lastReap"] = CompanionState{.lastReap = lastReap}.toJson()["lastReap"];
  if (installation) {
    json["installed"] = {{"kind", kindName(installation->kind)}, {"path", installation->path}};
    if (installation->runs) json["installed"]["runs"] = *installation->runs;
  }
  return json;
}

std::vector<std::string> CompanionStatusDocument::lines() const {
  std::string state = running ? "running" : "not running";
  if (pid) state += ", pid " + std::to_string(*pid);
  if (startedAt)
    state += ", since " + formatIso8601(*startedAt) + " (" +
             ageText(secondsBetween(*startedAt, now)) + ")";

  std::string heartbeat = "none";
  if (heartbeatAgeSeconds) {
    heartbeat = ageText(*heartbeatAgeSeconds) + " ago";
    if (!heartbeatFresh) heartbeat += bracketTag("stale");
  }

  std::vector<std::string> lines = {line("Companion", state), line("Heartbeat", heartbeat)};
  if (sessionsWatched) lines.push_back(line("Sessions watched", std::to_string(*sessionsWatched)));
  lines.push_back(line("Ancestry records", std::to_string(ancestryRecords)));
  lines.push_back(line("Quit requests", std::to_string(pendingQuitRequests) + " pending"));
  lines.push_back(line("Last reap", reapText(lastReap)));
  lines.push_back(line("Installed", installationText(installation)));
  return lines;
}

}  // namespace glimmet
