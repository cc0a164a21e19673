// Info.plist through the property-list reader.
#include "core/apps/bundle_info.h"

#include "core/apps/property_list.h"

namespace glimmet {

std::optional<BundleInfo> readBundleInfo(const std::filesystem::path& appBundle) {
  auto list = PropertyList::read(appBundle / "Contents" / "Info.plist");
  if (!list) return std::nullopt;
  return BundleInfo{
      .identifier = list->string("CFBundleIdentifier"),
      .displayName = list->string("CFBundleDisplayName"),
      .name = list->string("CFBundleName"),
      .shortVersion = list->string("CFBundleShortVersionString"),
  };
}

}  // namespace glimmet
