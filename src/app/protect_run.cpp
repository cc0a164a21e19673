#include "app/protect_run.h"

#include "core/ghosts/protection_store.h"
#include "platform/paths.h"

namespace glimmet {

ExitStatus runProtect(const ProtectRequest& request, RunContext& context) {
  const JSONStore store(platform::sharedDataDir(context.environment));
  if (!addProtectedGlob(store, request.pattern)) {
    context.out.line("Already protected: " + request.pattern);
    return ExitStatus::ok;
  }
  context.out.line("Protected: " + request.pattern);
  return ExitStatus::ok;
}

ExitStatus runUnprotect(const ProtectRequest& request, RunContext& context) {
  const JSONStore store(platform::sharedDataDir(context.environment));
  if (!removeProtectedGlob(store, request.pattern)) {
    context.out.line("No rule matches " + request.pattern);
    return ExitStatus::nothingFound;
  }
  context.out.line("Removed: " + request.pattern);
  return ExitStatus::ok;
}

}  // namespace glimmet
