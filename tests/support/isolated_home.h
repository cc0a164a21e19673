// A private HOME and XDG folders for one test, so no test ever reads or writes
// the real ones, and the environment the binary runs with there.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/environment.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace glimmet::testing {

class IsolatedHome {
 public:
  IsolatedHome();

  const std::filesystem::path& root() const { return root_.path(); }
  std::filesystem::path home() const { return root_ / "home"; }
  std::filesystem::path sharedFolder() const { return root_ / "home/.local/share/Glimmet"; }
  const TempDir& dir() const { return root_; }
  Environment& environment() { return environment_; }

  /// Runs the built glimmet binary with `arguments` in this home.
  RunResult glimmet(const std::vector<std::string>& arguments,
                    const RunOptions& options = {}) const;

 private:
  TempDir root_;
  Environment environment_;
};

}  // namespace glimmet::testing
