// Fixture applications for the apps tests: real bundles with an Info.plist written
// by libplist in XML or binary form, and desktop entries.
#pragma once

#include <plist/plist.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace glimmet::testing {

enum class PlistFormat { xml, binary };

/// A property list of string keys, encoded as libplist writes it.
inline std::string encodePlist(const std::map<std::string, std::string>& keys, PlistFormat format) {
  plist_t dict = plist_new_dict();
  for (const auto& [key, value] : keys)
    plist_dict_set_item(dict, key.c_str(), plist_new_string(value.c_str()));
  char* bytes = nullptr;
  uint32_t length = 0;
  if (format == PlistFormat::xml)
    plist_to_xml(dict, &bytes, &length);
  else
    plist_to_bin(dict, &bytes, &length);
  std::string encoded(bytes, length);
  std::free(bytes);
  plist_free(dict);
  return encoded;
}

inline void writeFile(const std::filesystem::path& path, const std::string& contents) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << contents;
}

/// Root/Name.app/Contents/Info.plist with the given keys, and a 10,000-byte
/// executable so the bundle has a size.
inline std::filesystem::path makeBundle(const std::filesystem::path& root, const std::string& name,
                                        const std::map<std::string, std::string>& keys,
                                        PlistFormat format = PlistFormat::xml) {
  const auto bundle = root / (name + ".app");
  writeFile(bundle / "Contents/Info.plist", encodePlist(keys, format));
  writeFile(bundle / "Contents/MacOS" / name, std::string(10000, 'x'));
  return bundle;
}

/// A [Desktop Entry] of Type=Application with `extra` lines appended.
inline std::filesystem::path makeDesktopEntry(const std::filesystem::path& applications,
                                              const std::string& fileName, const std::string& name,
                                              const std::string& extra = "") {
  const auto path = applications / fileName;
  writeFile(path,
            "[Desktop Entry]\nType=Application\nName=" + name + "\nName[de]=Anders\n" + extra);
  return path;
}

/// Bytes allocated to `path` alone.
inline uint64_t allocated(const std::filesystem::path& path) {
  struct stat info {};
  ::lstat(path.c_str(), &info);
  return static_cast<uint64_t>(info.st_blocks) * 512;
}

}  // namespace glimmet::testing
