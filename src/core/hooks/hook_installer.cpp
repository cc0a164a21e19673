// Adding and removing Glimmet's hooks in Claude Code's settings.json, keeping the
// user's key order and every entry that isn't Glimmet's.
#include "core/hooks/hook_installer.h"

#include "core/error.h"
#include "core/output/json_writer.h"
#include "core/util/json_nesting.h"
#include "platform/files.h"

namespace glimmet::hooks {
namespace fs = std::filesystem;
// The user's settings keep their own key order: Claude Code writes the file
// itself and people edit it by hand, so a sorted rewrite would read as noise.
using json = nlohmann::ordered_json;

namespace {

constexpr std::string_view kInvalidJson =
    "Your Claude Code settings file isn't valid JSON, so Glimmet won't change it.";
constexpr std::string_view kNotAnObject =
    "Your Claude Code settings file isn't a JSON object, so Glimmet won't change it.";
constexpr std::string_view kTooDeep =
    "Your Claude Code settings file is nested too deeply, so Glimmet won't change it.";
// Real settings nest a handful of levels; the bound keeps the rewrite, which
// walks the whole value, within the JSON writer's own limit.
constexpr std::size_t kMaxConfigDepth = 256;

bool isOurs(const json& entry, std::string_view marker) {
  const auto command = entry.is_object() ? entry.find("command") : entry.end();
  return entry.is_object() && command != entry.end() && command->is_string() &&
         command->get_ref<const std::string&>().find(marker) != std::string::npos;
}

// Calls `change` on every hook entry of ours, in every group of every event.
// Anything that isn't shaped like a hook group is someone else's and is skipped.
template <typename Change>
void forEachEntry(json& root, Change change) {
  const auto hooks = root.find("hooks");
  if (hooks == root.end() || !hooks->is_object()) return;
  for (auto& [event, groups] : hooks->items()) {
    if (!groups.is_array()) continue;
    for (auto& group : groups) {
      const auto entries = group.is_object() ? group.find("hooks") : group.end();
      if (!group.is_object() || entries == group.end() || !entries->is_array()) continue;
      for (auto& entry : *entries) change(entry);
    }
  }
}

// Removes our entries from every group of every event; groups left empty go too.
void removeEntries(json& root, std::string_view marker) {
  const auto hooks = root.find("hooks");
  if (hooks == root.end() || !hooks->is_object()) return;
  for (auto& [event, groups] : hooks->items()) {
    if (!groups.is_array()) continue;
    json kept = json::array();
    for (auto& group : groups) {
      const auto entries = group.is_object() ? group.find("hooks") : group.end();
      if (!group.is_object() || entries == group.end() || !entries->is_array()) {
        kept.push_back(std::move(group));
        continue;
      }
      json remaining = json::array();
      for (auto& entry : *entries)
        if (!isOurs(entry, marker)) remaining.push_back(std::move(entry));
      if (remaining.empty() && !entries->empty()) continue;
      *entries = std::move(remaining);
      kept.push_back(std::move(group));
    }
    groups = std::move(kept);
  }
}

// The settings without empty event lists and an empty hooks member: to Claude
// Code the same settings, which is how a file whose hooks went one kind at a
// time is recognised as the file from before the install.
json withoutEmptyHooks(json root) {
  const auto hooks = root.find("hooks");
  if (hooks == root.end() || !hooks->is_object()) return root;
  json kept = json::object();
  for (auto& [event, groups] : hooks->items())
    if (!(groups.is_array() && groups.empty())) kept[event] = std::move(groups);
  if (kept.empty())
    root.erase("hooks");
  else
    *hooks = std::move(kept);
  return root;
}

struct KindBackup {
  std::string marker;
  ChangeBackup backup;
};

std::vector<KindBackup> everyBackup(const fs::path& settings) {
  std::vector<KindBackup> result;
  for (const auto purpose : {HookPurpose::reapOnSessionEnd, HookPurpose::notify}) {
    const auto kind = hookKind(purpose, "");
    result.push_back({kind.marker, ChangeBackup(settings, kind.backupSuffix)});
  }
  return result;
}

}  // namespace

fs::path claudeSettingsPath(const Environment& environment, const fs::path& home) {
  const auto configured = environment.get("CLAUDE_CONFIG_DIR");
  if (configured && !configured->empty()) return fs::path(*configured) / "settings.json";
  return home / ".claude" / "settings.json";
}

HookKind hookKind(HookPurpose purpose, std::string_view cliPath) {
  const std::string path(cliPath);
  switch (purpose) {
    case HookPurpose::reapOnSessionEnd:
      return {{"SessionEnd"},
              "nohup '" + path + "' reap --session $PPID --after-exit --quiet >/dev/null 2>&1 &",
              2,
              "reap --session $PPID --after-exit",
              ".glimmet-backup"};
    case HookPurpose::notify:
      return {{"Stop", "Notification"},
              "'" + path + "' notify --agent claude-code --pid $PPID",
              5,
              "notify --agent claude-code",
              ".glimmet-notify-backup"};
  }
  throw std::logic_error("unknown hook purpose");
}

std::string settingsText(const json& root) {
  // Claude Code's own layout: two-space indent and ": " between key and value.
  return root.dump(2) + "\n";
}

HookInstaller::HookInstaller(fs::path settingsURL, std::string cliPath, HookPurpose purpose)
    : file_(settingsURL, "Claude Code settings file"),
      cliPath_(std::move(cliPath)),
      purpose_(purpose),
      kind_(hookKind(purpose, cliPath_)),
      backup_(settingsURL, kind_.backupSuffix) {}

bool HookInstaller::isInstalled() const {
  const auto text = platform::readFile(file_.path(), kMaxConfigBytes);
  return text && text->find(kind_.marker) != std::string::npos;
}

json HookInstaller::parsedObject(const ConfigSnapshot& snapshot) const {
  if (!snapshot.exists || snapshot.bytes.empty()) return json::object();
  if (jsonNestedDeeperThan(snapshot.bytes, kMaxConfigDepth))
    throw CommandFailure(std::string(kTooDeep), ExitStatus::cannotStart);
  // Comments (JSONC) are refused too: rewriting would silently drop them.
  json root = json::parse(snapshot.bytes, nullptr, false);
  if (root.is_discarded()) throw CommandFailure(std::string(kInvalidJson), ExitStatus::cannotStart);
  if (!root.is_object()) throw CommandFailure(std::string(kNotAnObject), ExitStatus::cannotStart);
  return root;
}

std::optional<std::string> HookInstaller::installedPath() const {
  const auto text = platform::readFile(file_.path(), kMaxConfigBytes);
  if (!text || text->find(kind_.marker) == std::string::npos) return std::nullopt;
  json root = json::parse(*text, nullptr, false);
  if (!root.is_object()) return std::nullopt;
  std::optional<std::string> path;
  forEachEntry(root, [&](json& entry) {
    if (path || !isOurs(entry, kind_.marker)) return;
    // The path stands between the command's first pair of single quotes.
    const auto& command = entry["command"].get_ref<const std::string&>();
    const auto open = command.find('\'');
    const auto close = open == std::string::npos ? open : command.find('\'', open + 1);
    if (close != std::string::npos) path = command.substr(open + 1, close - open - 1);
  });
  return path;
}

InstallOutcome HookInstaller::install() const {
  if (cliPath_.find('\'') != std::string::npos || !fs::path(cliPath_).is_absolute())
    throw CommandFailure(
        "Glimmet's path must be absolute and free of single quotes to be used "
        "in a hook: " +
            cliPath_,
        ExitStatus::usage);
  const ConfigSnapshot before = file_.read();
  if (before.exists && before.bytes.find(kind_.marker) != std::string::npos) {
    // Installed already; a glimmet that moved gets its hooks pointed at the new
    // path, so they don't quietly run a program that isn't there any more.
    json root = parsedObject(before);
    bool changed = false;
    forEachEntry(root, [&](json& entry) {
      if (!isOurs(entry, kind_.marker) || entry["command"] == kind_.command) return;
      entry["command"] = kind_.command;
      changed = true;
    });
    if (!changed) return InstallOutcome::alreadyInstalled;
    const std::string text = settingsText(root);
    backup_.followRewrite(before, text);
    file_.replace(before, text);
    return InstallOutcome::updated;
  }
  json root = parsedObject(before);

  json hooks = root.contains("hooks") && root["hooks"].is_object() ? root["hooks"] : json::object();
  for (const auto& event : kind_.events) {
    json groups = hooks.contains(event) && hooks[event].is_array() ? hooks[event] : json::array();
    groups.push_back({{"hooks", json::array({{{"type", "command"},
                                              {"command", kind_.command},
                                              {"timeout", kind_.timeoutSeconds}}})}});
    hooks[event] = std::move(groups);
  }
  root["hooks"] = std::move(hooks);
  const std::string text = settingsText(root);

  platform::createDirectories(file_.path().parent_path(), 0700);
  backup_.save(before, text);
  file_.replace(before, text);
  return InstallOutcome::installed;
}

UninstallOutcome HookInstaller::uninstall() const {
  const ConfigSnapshot now = file_.read();
  if (!now.exists || now.bytes.find(kind_.marker) == std::string::npos)
    return UninstallOutcome::notInstalled;
  if (backup_.restoreUntouched(file_, now)) return UninstallOutcome::restoredOriginal;
  json root = parsedObject(now);
  removeEntries(root, kind_.marker);
  // The kinds install one after the other, each keeping the file as it found
  // it; taken out in another order, the last one out finds the settings equal
  // to what one of those copies holds, and puts back its exact bytes (or
  // removes the file that an install created).
  const json left = withoutEmptyHooks(root);
  const auto backups = everyBackup(file_.path());
  for (const auto& [marker, backup] : backups) {
    const auto original = backup.original();
    if (!original) continue;
    bool same = false;
    if (!*original) {
      same = left.empty();
    } else {
      const json before = json::parse(**original, nullptr, false);
      same = before.is_object() && withoutEmptyHooks(before) == left;
    }
    if (!same) continue;
    if (*original)
      file_.replace(now, **original);
    else
      file_.remove(now);
    // A kind whose hooks went with this is used up; one still in the file keeps its backup.
    for (const auto& other : backups)
      if (!*original || (*original)->find(other.marker) == std::string::npos)
        other.backup.discard();
    return UninstallOutcome::restoredOriginal;
  }
  // The record stays: it still says whether there was a file before, which the
  // other kind's uninstall needs to finish the job.
  file_.replace(now, settingsText(root));
  return UninstallOutcome::removedEntryOnly;
}

}  // namespace glimmet::hooks
