// glimmet settings and its subcommands.
#include "cli/settings_command.h"

#include "app/settings_run.h"

namespace glimmet::cli {
namespace {

constexpr const char* kKeyHelp = "A dotted key, like reaper.minimumAge.";
constexpr const char* kReplaceCorruptHelp =
    "Replace a settings file glimmet can't read, keeping the old one beside it.";

}  // namespace

CommandSpec SettingsList::spec() {
  return {
      .name = "list",
      .abstract = "List every setting with its value and whether it is the default.",
      .parameters = {flag("--json", kJsonHelp, json)},
      .run = [this](CommandContext& context) { return runSettingsList({.json = json}, context); },
  };
}

CommandSpec SettingsGet::spec() {
  return {
      .name = "get",
      .abstract = "Print the value of one setting.",
      .parameters = {choiceArgument("key", kKeyHelp, settingKeyNames(), key)},
      .run = [this](CommandContext& context) { return runSettingsGet({.key = key}, context); },
  };
}

CommandSpec SettingsSet::spec() {
  return {
      .name = "set",
      .abstract = "Change one setting; a value it doesn't take changes nothing.",
      .parameters =
          {
              choiceArgument("key", kKeyHelp, settingKeyNames(), key),
              argument("value",
                       "true or false, a duration like 6h, 30m or 90s, a number, or a JSON list.",
                       value),
              flag("--replace-corrupt", kReplaceCorruptHelp, replaceCorrupt),
          },
      .run =
          [this](CommandContext& context) {
            return runSettingsSet({.key = key, .value = value, .replaceCorrupt = replaceCorrupt},
                                  context);
          },
  };
}

CommandSpec SettingsUnset::spec() {
  return {
      .name = "unset",
      .abstract = "Put one setting back to its default.",
      .parameters =
          {
              choiceArgument("key", kKeyHelp, settingKeyNames(), key),
              flag("--replace-corrupt", kReplaceCorruptHelp, replaceCorrupt),
          },
      .run =
          [this](CommandContext& context) {
            return runSettingsUnset({.key = key, .replaceCorrupt = replaceCorrupt}, context);
          },
  };
}

CommandSpec Settings::spec() {
  return {
      .name = "settings",
      .abstract = "Show and change the settings every command reads (settings.json).",
      .discussion =
          "With no further word, lists every setting. Each change is checked against the "
          "setting's type and range first, and the file is replaced atomically under its lock, "
          "keeping the keys glimmet doesn't know.",
      .subcommands = {list.spec(), get.spec(), set.spec(), unset.spec()},
      .defaultSubcommand = "list",
  };
}

}  // namespace glimmet::cli
