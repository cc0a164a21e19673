// A temporary folder for one test, removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <string>

namespace glimmet::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  /// Writes `contents` to `name` below the folder, creating parent folders.
  std::filesystem::path write(const std::string& name, const std::string& contents) const;
  std::string read(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

}  // namespace glimmet::testing
