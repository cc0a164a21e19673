// The home folder and the cache-location tokens that rule templates use, built
// once per scan from the environment ({CARGO_HOME}, {HF_HUB_CACHE}, ...), and
// how the disk checks compare paths.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/environment.h"

namespace glimmet {

class DiskPaths {
 public:
  DiskPaths(std::string home, const Environment& environment);

  const std::string& home() const { return home_; }
  /// Token names and values, in the order they were built.
  const std::vector<std::pair<std::string, std::string>>& tokens() const { return tokens_; }
  /// The value of one token; empty when there is no such token.
  std::string token(std::string_view name) const;

  /// "~" and a leading "~/" become the home folder; then every {TOKEN} is
  /// replaced by its value. Nothing else is expanded.
  std::string expand(std::string_view pathTemplate) const;

 private:
  std::string home_;
  std::vector<std::pair<std::string, std::string>> tokens_;
};

/// Path helpers shared by the disk checks; paths are compared lexically after
/// dot segments and trailing slashes are dropped.
namespace disk_path {
std::string normal(const std::string& path);
/// `path` is `base` or lies below it.
bool isWithin(const std::string& path, const std::string& base);
/// The same for `path` once normal, copied only when it isn't already: the
/// folders of processes are checked against every item of a scan.
bool normalIsWithin(const std::string& path, const std::string& base);
}  // namespace disk_path

}  // namespace glimmet
