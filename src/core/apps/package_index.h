// What the distribution's package manager (dpkg) records about installed files:
// which package installed a desktop entry, that package's version, and the size
// of the files it installed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace glimmet {

class PackageIndex {
 public:
  PackageIndex(std::filesystem::path infoDir, std::filesystem::path statusFile)
      : infoDir_(std::move(infoDir)), statusFile_(std::move(statusFile)) {}

  /// The package whose file list holds `desktopFile`. The lists are read once, on
  /// the first question, keeping only desktop entries.
  std::optional<std::string> packageOwning(const std::filesystem::path& desktopFile);
  /// The Version: of an installed package.
  std::optional<std::string> version(const std::string& package);
  /// Whether the package's file list holds one of `paths`.
  bool installs(const std::string& package, const std::vector<std::filesystem::path>& paths) const;
  /// Allocated bytes of the regular files the package installed, each inode once.
  std::optional<uint64_t> installedBytes(const std::string& package) const;

 private:
  void loadOwners();
  void loadVersions();

  std::filesystem::path infoDir_;
  std::filesystem::path statusFile_;
  std::optional<std::map<std::string, std::string, std::less<>>> desktopOwners_;
  std::optional<std::map<std::string, std::string, std::less<>>> versions_;
};

}  // namespace glimmet
