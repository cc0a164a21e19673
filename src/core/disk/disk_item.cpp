// DiskItem and ProjectActivity encoding for the scan cache.
#include "core/disk/disk_item.h"

#include <algorithm>
#include <cmath>

#include "core/settings/json_fields.h"
#include "core/util/utf8.h"

namespace glimmet {
namespace {

constexpr double kReferenceEpoch = 978'307'200;  // 2001-01-01T00:00:00Z in Unix seconds

bool readTime(const nlohmann::json& object, const char* key, std::optional<SystemTime>& field) {
  const auto found = object.find(key);
  if (found == object.end() || found->is_null()) return true;
  field = fromReferenceSeconds(*found);
  return field.has_value();
}

std::string_view activityKey(ProjectActivity::Kind kind) {
  switch (kind) {
    case ProjectActivity::Kind::active:
      return "active";
    case ProjectActivity::Kind::stale:
      return "stale";
    case ProjectActivity::Kind::unknown:
      return "unknown";
  }
  return {};
}

}  // namespace

double referenceSeconds(SystemTime time) {
  const auto since = std::chrono::duration<double>(time.time_since_epoch()).count();
  return since - kReferenceEpoch;
}

std::optional<SystemTime> fromReferenceSeconds(const nlohmann::json& value) {
  if (!value.is_number()) return std::nullopt;
  const double seconds = value.get<double>() + kReferenceEpoch;
  // Far outside any real file time; refusing it keeps the conversion defined.
  if (!std::isfinite(seconds) || std::fabs(seconds) > 1e11) return std::nullopt;
  return SystemTime(
      std::chrono::duration_cast<SystemTime::duration>(std::chrono::duration<double>(seconds)));
}

nlohmann::json ProjectActivity::toJson() const {
  nlohmann::json inner = nlohmann::json::object();
  if (kind != Kind::unknown && lastUsed) inner["_0"] = referenceSeconds(*lastUsed);
  return {{std::string(activityKey(kind)), inner}};
}

std::optional<ProjectActivity> ProjectActivity::fromJson(const nlohmann::json& json) {
  if (!json.is_object() || json.size() != 1) return std::nullopt;
  for (const auto kind : {Kind::active, Kind::stale, Kind::unknown}) {
    const auto found = json.find(activityKey(kind));
    if (found == json.end() || !found->is_object()) continue;
    ProjectActivity activity{kind, std::nullopt};
    if (kind != Kind::unknown) {
      if (!readTime(*found, "_0", activity.lastUsed) || !activity.lastUsed) return std::nullopt;
    }
    return activity;
  }
  return std::nullopt;
}

namespace {

// JSON text can't hold bytes that aren't UTF-8: such a path is also kept as
// hex ("<key>Bytes"), so the cache still names the folder the scan measured.
void putPath(nlohmann::json& json, const std::string& key, const std::string& path) {
  json[key] = path;
  if (isWellFormedUtf8(path)) return;
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    hex.push_back(kDigits[byte >> 4]);
    hex.push_back(kDigits[byte & 15]);
  }
  json[key + "Bytes"] = hex;
}

// The path back from its hex, when there is one; false for hex that is broken.
bool takePath(const nlohmann::json& json, const std::string& key, std::string& path) {
  const auto found = json.find(key + "Bytes");
  if (found == json.end()) return true;
  if (!found->is_string()) return false;
  const auto& hex = found->get_ref<const std::string&>();
  if (hex.size() % 2 != 0) return false;
  const auto digit = [](char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
  };
  std::string bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = digit(hex[i]), low = digit(hex[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes.push_back(static_cast<char>(high * 16 + low));
  }
  path = std::move(bytes);
  return true;
}

}  // namespace

std::string escapedForID(std::string_view text) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t consumed = 0;
    if (const auto length = utf8SequenceLength(text.substr(i), consumed)) {
      out.append(text.substr(i, length));
      i += length;
      continue;
    }
    for (std::size_t j = 0; j < std::max<std::size_t>(consumed, 1) && i < text.size(); ++j, ++i) {
      const auto byte = static_cast<unsigned char>(text[i]);
      out += "\\x";
      out.push_back(kDigits[byte >> 4]);
      out.push_back(kDigits[byte & 15]);
    }
  }
  return out;
}

nlohmann::json DiskItem::toJson() const {
  nlohmann::json json = {
      {"id", id},
      {"ruleID", ruleID},
      {"label", label},
      {"tool", tool},
      {"category", rawValue(category)},
      {"safety", rawValue(safety)},
      {"bytes", bytes},
      {"uniqueBytes", uniqueBytes},
      {"attributedBytes", attributedBytes},
      {"fileCount", fileCount},
      {"clean", clean.toJson()},
      {"ifRemoved", ifRemoved},
      {"reasons", reasons},
      {"verified", verified},
      {"partial", partial},
      {"containsGit", containsGit},
  };
  putPath(json, "path", path);
  nlohmann::json childList = nlohmann::json::array();
  for (const auto& child : children)
    childList.push_back({{"name", child.name}, {"bytes", child.bytes}});
  json["children"] = std::move(childList);
  if (modified) json["modified"] = referenceSeconds(*modified);
  if (identity) json["identity"] = identity->toJson();
  if (blocked) json["blocked"] = *blocked;
  if (projectPath) putPath(json, "projectPath", *projectPath);
  if (activity) json["activity"] = activity->toJson();
  if (mainRepoPath) json["mainRepoPath"] = *mainRepoPath;
  if (newestSession) json["newestSession"] = referenceSeconds(*newestSession);
  if (serverKilledAt) json["serverKilledAt"] = referenceSeconds(*serverKilledAt);
  return json;
}

std::optional<DiskItem> DiskItem::fromJson(const nlohmann::json& json) {
  DiskItem item;
  std::string category, safety;
  FieldReader reader(json, IntegerForm::exact);
  reader.required("id", item.id)
      .required("ruleID", item.ruleID)
      .required("label", item.label)
      .required("tool", item.tool)
      .required("path", item.path)
      .required("category", category)
      .required("safety", safety)
      .required("bytes", item.bytes)
      .required("uniqueBytes", item.uniqueBytes)
      .required("attributedBytes", item.attributedBytes)
      .required("fileCount", item.fileCount)
      .required("clean", item.clean)
      .required("ifRemoved", item.ifRemoved)
      .required("reasons", item.reasons)
      .required("verified", item.verified)
      .required("partial", item.partial)
      .required("containsGit", item.containsGit)
      .read("identity", item.identity)
      .read("blocked", item.blocked)
      .read("projectPath", item.projectPath)
      .read("activity", item.activity)
      .read("mainRepoPath", item.mainRepoPath);
  if (!reader.valid() || !takePath(json, "path", item.path)) return std::nullopt;
  if (item.projectPath && !takePath(json, "projectPath", *item.projectPath)) return std::nullopt;
  const auto decodedCategory = diskCategoryFromRaw(category);
  const auto decodedSafety = diskSafetyFromRaw(safety);
  if (!decodedCategory || !decodedSafety) return std::nullopt;
  item.category = *decodedCategory;
  item.safety = *decodedSafety;
  if (!readTime(json, "modified", item.modified) ||
      !readTime(json, "newestSession", item.newestSession) ||
      !readTime(json, "serverKilledAt", item.serverKilledAt))
    return std::nullopt;
  const auto children = json.find("children");
  if (children != json.end()) {
    if (!children->is_array()) return std::nullopt;
    for (const auto& child : *children) {
      DiskChild decoded;
      FieldReader childReader(child, IntegerForm::exact);
      childReader.required("name", decoded.name).required("bytes", decoded.bytes);
      if (!childReader.valid()) return std::nullopt;
      item.children.push_back(std::move(decoded));
    }
  }
  return item;
}

}  // namespace glimmet
