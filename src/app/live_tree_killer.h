// The tree killer wired to this machine: real signals through pidfds, the live
// process table and the user's protection rules. kill, reap and stop --idle each
// build one per run, so the wiring lives here once.
#pragma once

#include "app/command_inputs.h"
#include "core/kill/kill_clock.h"
#include "core/kill/signaller.h"
#include "core/kill/tree_killer.h"
#include "core/process/system_process_inspector.h"

namespace glimmet {

class LiveTreeKiller {
 public:
  /// `inputs` and `clock` must outlive this object.
  LiveTreeKiller(const CommandInputs& inputs, KillClock& clock);
  LiveTreeKiller(const LiveTreeKiller&) = delete;
  LiveTreeKiller& operator=(const LiveTreeKiller&) = delete;

  TreeKiller& killer() { return killer_; }

 private:
  SystemSignaller signaller_;
  SystemProcessInspector inspector_;
  TreeKiller killer_;
};

}  // namespace glimmet
