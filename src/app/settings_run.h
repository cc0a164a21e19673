// glimmet settings, settings get, set and unset: the settings file read and
// edited from the command line, where no application has a window for it.
#pragma once

#include <string>
#include <vector>

#include "app/run_context.h"
#include "core/error.h"

namespace glimmet {

struct SettingsListRequest {
  bool json = false;
};

struct SettingsGetRequest {
  std::string key;
};

struct SettingsSetRequest {
  std::string key;
  std::string value;
  bool replaceCorrupt = false;
};

struct SettingsUnsetRequest {
  std::string key;
  bool replaceCorrupt = false;
};

/// Every key's dotted name, in the record's order: what the shells complete.
std::vector<std::string> settingKeyNames();

ExitStatus runSettingsList(const SettingsListRequest& request, RunContext& context);
/// Prints the value the tool runs on, as `set` takes it.
ExitStatus runSettingsGet(const SettingsGetRequest& request, RunContext& context);
/// A bad key or value is a UsageError before anything is read or written.
ExitStatus runSettingsSet(const SettingsSetRequest& request, RunContext& context);
ExitStatus runSettingsUnset(const SettingsUnsetRequest& request, RunContext& context);

}  // namespace glimmet
