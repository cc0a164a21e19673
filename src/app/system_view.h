// What a process command reads of the system besides the snapshot: the
// listening sockets, the repositories of working folders and the service
// manager's units, read once per run and handed to the list builders as facts.
#pragma once

#include "app/command_inputs.h"
#include "core/ports/repo_resolver.h"
#include "core/ports/socket_scanner.h"
#include "core/process/process_snapshot.h"
#include "logic/survey/system_facts.h"

namespace glimmet {

class SystemView {
 public:
  /// The socket table, who holds the sockets, repositories and units are
  /// read when a list asks, as of the snapshot's time. The facts refer to
  /// this view and to `snapshot`, which must outlive it.
  SystemView(const CommandInputs& inputs, const ProcessSnapshot& snapshot);
  SystemView(const SystemView&) = delete;
  SystemView& operator=(const SystemView&) = delete;

  const SystemFacts& facts() const { return facts_; }

 private:
  SocketScanner sockets_;
  RepoResolver repos_;
  SystemFacts facts_;
};

}  // namespace glimmet
