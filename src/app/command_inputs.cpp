#include "app/command_inputs.h"

#include "core/ghosts/protection_store.h"
#include "core/process/system_process_table.h"
#include "core/settings/json_store.h"
#include "platform/own_process.h"
#include "platform/paths.h"

namespace glimmet {

CommandInputs CommandInputs::load(const Environment& environment,
                                  const std::filesystem::path& executable) {
  CommandInputs inputs;
  inputs.home = platform::homeDir(environment);
  inputs.sharedFolder = platform::sharedDataDir(environment);
  const JSONStore store(inputs.sharedFolder);
  inputs.settings = GlimmetSettings::load(store);
  inputs.protectedList = loadProtectedList(store);
  inputs.context = ProtectionContext::forCommand(platform::effectiveUID(), platform::ownPID(),
                                                 executable.string());
  try {
    inputs.signatures = SignatureEngine::load(environment, executable);
  } catch (const SignatureFileError&) {
    // Each command decides what a missing signature file means.
  }
  return inputs;
}

ListRules CommandInputs::rules() const {
  return {protectedList, context, systemProcessTable(), settings.ghostMinimumAge};
}

}  // namespace glimmet
