// glimmet settings: list, get, set and unset the keys of settings.json.
#pragma once

#include <string>

#include "cli/command_spec.h"

namespace glimmet::cli {

struct SettingsList {
  bool json = false;

  CommandSpec spec();
};

struct SettingsGet {
  std::string key;

  CommandSpec spec();
};

struct SettingsSet {
  std::string key;
  std::string value;
  bool replaceCorrupt = false;

  CommandSpec spec();
};

struct SettingsUnset {
  std::string key;
  bool replaceCorrupt = false;

  CommandSpec spec();
};

struct Settings {
  SettingsList list;
  SettingsGet get;
  SettingsSet set;
  SettingsUnset unset;

  CommandSpec spec();
};

}  // namespace glimmet::cli
