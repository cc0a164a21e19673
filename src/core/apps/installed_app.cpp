// Exclusion names and labels, and the display-name fallback.
#include "core/apps/installed_app.h"

namespace glimmet {

std::string_view rawValue(AppExclusion exclusion) {
  switch (exclusion) {
    case AppExclusion::system:
      return "system";
    case AppExclusion::apple:
      return "apple";
    case AppExclusion::glimmet:
      return "glimmet";
    case AppExclusion::symlink:
      return "symlink";
    case AppExclusion::alias:
      return "alias";
    case AppExclusion::noBundleID:
      return "noBundleID";
  }
  return "system";
}

std::string_view label(AppExclusion exclusion) {
  switch (exclusion) {
    case AppExclusion::system:
      return "Part of the system";
    case AppExclusion::apple:
      return "An Apple app";
    case AppExclusion::glimmet:
      return "This is Glimmet";
    case AppExclusion::symlink:
      return "A symlink, not the app itself";
    case AppExclusion::alias:
      return "An alias, not the app itself";
    case AppExclusion::noBundleID:
      return "Has no bundle ID, so Glimmet can't tell what it is";
  }
  return "Part of the system";
}

std::string displayNameFor(const BundleInfo& info, std::string_view fileName) {
  if (info.displayName && !info.displayName->empty()) return *info.displayName;
  if (info.name && !info.name->empty()) return *info.name;
  for (std::string_view suffix : {".app", ".desktop"})
    if (fileName.size() > suffix.size() && fileName.ends_with(suffix))
      return std::string(fileName.substr(0, fileName.size() - suffix.size()));
  return std::string(fileName);
}

}  // namespace glimmet
