// glimmet notify: record an agent hook event for the Glimmet app.
#pragma once

#include "app/notify_run.h"
#include "cli/command_spec.h"

namespace glimmet::cli {

struct Notify {
  NotifyRequest request;

  CommandSpec spec();
};

}  // namespace glimmet::cli
