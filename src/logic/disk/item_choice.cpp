// chooseItems and confirmsCleanup.
#include "logic/disk/item_choice.h"

#include <cctype>

#include "core/disk/disk_paths.h"

namespace glimmet {

ItemChoice chooseItems(const DiskScanResult& scan, const std::vector<std::string>& arguments,
                       const std::vector<std::string>& argumentPaths) {
  ItemChoice choice;
  std::vector<bool> taken(scan.items.size(), false);
  for (std::size_t a = 0; a < arguments.size(); ++a) {
    const auto& argument = arguments[a];
    bool found = false;
    for (std::size_t i = 0; i < scan.items.size(); ++i) {
      const auto& item = scan.items[i];
      if (item.id != argument &&
          !(item.isAbsolute() && disk_path::normal(item.path) == argumentPaths[a]))
        continue;
      found = true;
      if (!taken[i]) choice.picked.push_back(item);
      taken[i] = true;
    }
    if (!found) choice.unmatched.push_back(argument);
  }
  return choice;
}

bool confirmsCleanup(const std::string& answer) {
  std::string word;
  for (const char c : answer)
    if (!std::isspace(static_cast<unsigned char>(c)))
      word.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  return word == "yes";
}

}  // namespace glimmet
