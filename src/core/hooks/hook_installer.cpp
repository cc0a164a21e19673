#include "core/hooks/hook_installer.h"

#include "core/error.h"
#include "core/output/json_writer.h"
#include "core/util/json_nesting.h"
#include "platform/files.h"

namespace glimmet::hooks {
namespace fs = std::filesystem;
using nlohmann::json;

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

// Removes our entries from every group of every event; groups left empty go too.
// Anything that isn't shaped like a hook group is someone else's and stays.
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
      for (auto& entry : *entries) {
        const auto command = entry.is_object() ? entry.find("command") : entry.end();
        const bool ours = entry.is_object() && command != entry.end() && command->is_string() &&
                          command->get_ref<const std::string&>().find(marker) != std::string::npos;
        if (!ours) remaining.push_back(std::move(entry));
      }
      if (remaining.empty() && !entries->empty()) continue;
      *entries = std::move(remaining);
      kept.push_back(std::move(group));
    }
    groups = std::move(kept);
  }
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
  return writeJson(root) + "\n";
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

void HookInstaller::install() const {
  if (cliPath_.find('\'') != std::string::npos || !fs::path(cliPath_).is_absolute())
    throw CommandFailure(
        "Glimmet's path must be absolute and free of single quotes to be used "
        "in a hook: " +
            cliPath_,
        ExitStatus::usage);
  const ConfigSnapshot before = file_.read();
  if (before.exists && before.bytes.find(kind_.marker) != std::string::npos) return;
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
}

UninstallOutcome HookInstaller::uninstall() const {
  const ConfigSnapshot now = file_.read();
  if (!now.exists || now.bytes.find(kind_.marker) == std::string::npos)
    return UninstallOutcome::notInstalled;
  if (backup_.restoreUntouched(file_, now)) return UninstallOutcome::restoredOriginal;
  json root = parsedObject(now);
  removeEntries(root, kind_.marker);
  file_.replace(now, settingsText(root));
  // The record describes a file that no longer exists; the copy of the
  // original stays, as the user's own earlier settings.
  std::error_code ignored;
  fs::remove(backup_.recordPath(), ignored);
  return UninstallOutcome::removedEntryOnly;
}

}  // namespace glimmet::hooks
