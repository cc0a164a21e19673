// Scan cache and history.
#include "core/disk/disk_scan_store.h"

#include <algorithm>
#include <ctime>
#include <span>

#include "core/settings/json_fields.h"
#include "core/settings/json_store.h"
#include "core/settings/shared_files.h"
#include "core/util/csv.h"
#include "core/util/home_path.h"
#include "platform/files.h"
#include "platform/random.h"

namespace glimmet {
namespace {

constexpr auto kSeenLiveHorizon = std::chrono::seconds(31'536'000);
constexpr size_t kMaxSeenLive = 2000;

std::tm localTime(SystemTime time) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  std::tm local{};
  ::localtime_r(&seconds, &local);
  return local;
}

// ISO 8601 with the local offset, "Z" when it is zero.
std::string localIso8601(SystemTime time) {
  const auto local = localTime(time);
  char text[32];
  std::strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%S", &local);
  std::string out = text;
  const long offset = local.tm_gmtoff;
  if (offset == 0) return out + "Z";
  const long minutes = (offset < 0 ? -offset : offset) / 60;
  char zone[40];
  std::snprintf(zone, sizeof(zone), "%c%02ld:%02ld", offset < 0 ? '-' : '+', minutes / 60,
                minutes % 60);
  return out + zone;
}

std::optional<DiskCategory> categoryOf(const nlohmann::json& json) {
  return json.is_string() ? diskCategoryFromRaw(json.get<std::string>()) : std::nullopt;
}

}  // namespace

std::string makeScanID(SystemTime startedAt) {
  const auto local = localTime(startedAt);
  char text[32];
  std::strftime(text, sizeof(text), "%Y%m%dT%H%M%S", &local);
  uint32_t random = 0;
  platform::randomBytes(std::as_writable_bytes(std::span(&random, 1)));
  char hex[16];
  std::snprintf(hex, sizeof(hex), "%x", random);
  return std::string(text) + "-" + hex;
}

nlohmann::json toJson(const DiskScanResult& result) {
  nlohmann::json items = nlohmann::json::array();
  for (const auto& item : result.items) items.push_back(item.toJson());
  nlohmann::json context = nlohmann::json::array();
  for (const auto& entry : result.context)
    context.push_back(
        {{"category", rawValue(entry.category)}, {"path", entry.path}, {"bytes", entry.bytes}});
  nlohmann::json notScanned = nlohmann::json::array();
  for (const auto& entry : result.notScanned)
    notScanned.push_back({{"path", entry.path}, {"reason", rawValue(entry.reason)}});
  nlohmann::json json = {{"scanID", result.scanID},
                         {"startedAt", referenceSeconds(result.startedAt)},
                         {"finishedAt", referenceSeconds(result.finishedAt)},
                         {"home", result.home},
                         {"complete", result.complete},
                         {"items", items},
                         {"context", context},
                         {"notScanned", notScanned},
                         {"rulesVersion", result.rulesVersion}};
  if (result.freeBytes) json["freeBytes"] = *result.freeBytes;
  if (result.trashBytes) json["trashBytes"] = *result.trashBytes;
  if (result.docker) json["docker"] = rawValue(*result.docker);
  return json;
}

std::optional<DiskScanResult> diskScanResultFromJson(const nlohmann::json& json) {
  DiskScanResult result;
  FieldReader reader(json, IntegerForm::exact);
  std::optional<std::string> docker;
  reader.required("scanID", result.scanID)
      .required("home", result.home)
      .required("complete", result.complete)
      .required("rulesVersion", result.rulesVersion)
      .read("freeBytes", result.freeBytes)
      .read("trashBytes", result.trashBytes)
      .read("docker", docker);
  if (!reader.valid()) return std::nullopt;
  const auto started = fromReferenceSeconds(json.value("startedAt", nlohmann::json()));
  const auto finished = fromReferenceSeconds(json.value("finishedAt", nlohmann::json()));
  if (!started || !finished) return std::nullopt;
  result.startedAt = *started;
  result.finishedAt = *finished;
  if (docker) {
    if (*docker != "running" && *docker != "notRunning") return std::nullopt;
    result.docker = *docker == "running" ? DockerDiskState::running : DockerDiskState::notRunning;
  }
  const auto items = json.find("items");
  if (items == json.end() || !items->is_array()) return std::nullopt;
  for (const auto& element : *items) {
    auto item = DiskItem::fromJson(element);
    if (!item) return std::nullopt;
    result.items.push_back(std::move(*item));
  }
  for (const auto& element : json.value("context", nlohmann::json::array())) {
    const auto category = categoryOf(element.value("category", nlohmann::json()));
    DiskContext entry;
    FieldReader entryReader(element, IntegerForm::exact);
    entryReader.required("path", entry.path).required("bytes", entry.bytes);
    if (!category || !entryReader.valid()) return std::nullopt;
    entry.category = *category;
    result.context.push_back(std::move(entry));
  }
  for (const auto& element : json.value("notScanned", nlohmann::json::array())) {
    NotScanned entry;
    std::string reason;
    FieldReader entryReader(element, IntegerForm::exact);
    entryReader.required("path", entry.path).required("reason", reason);
    if (!entryReader.valid()) return std::nullopt;
    bool known = false;
    for (const auto candidate : {NotScanned::Reason::needsConsent, NotScanned::Reason::noAccess,
                                 NotScanned::Reason::otherVolume, NotScanned::Reason::cloud,
                                 NotScanned::Reason::personalMedia})
      if (rawValue(candidate) == reason) {
        entry.reason = candidate;
        known = true;
      }
    if (!known) return std::nullopt;
    result.notScanned.push_back(std::move(entry));
  }
  return result;
}

DiskCache DiskCache::load(const std::filesystem::path& folder) {
  DiskCache cache;
  const auto json = JSONStore(folder).loadJson(shared_files::diskCache);
  if (!json || !json->is_object()) return cache;
  if (const auto last = json->find("lastResult"); last != json->end() && !last->is_null()) {
    auto decoded = diskScanResultFromJson(*last);
    if (!decoded) return DiskCache{};
    cache.lastResult = std::move(*decoded);
  }
  if (const auto seen = json->find("lastSeenLive"); seen != json->end()) {
    if (!seen->is_object()) return DiskCache{};
    for (const auto& [path, when] : seen->items()) {
      const auto time = fromReferenceSeconds(when);
      if (!time) return DiskCache{};
      cache.lastSeenLive[path] = *time;
    }
  }
  // A memory that doesn't read is forgotten: the tools are asked again.
  if (const auto folders = json->find("toolFolders"); folders != json->end())
    if (auto memory = ToolFolderMemory::fromJson(*folders)) cache.toolFolders = std::move(*memory);
  return cache;
}

void DiskCache::markSeenLive(const std::vector<std::string>& paths, SystemTime now) {
  for (const auto& path : paths)
    if (!path.empty() && path.front() == '/' && path != "/") lastSeenLive[path] = now;
  std::erase_if(lastSeenLive,
                [&](const auto& entry) { return entry.second < now - kSeenLiveHorizon; });
  if (lastSeenLive.size() <= kMaxSeenLive) return;
  std::vector<std::pair<SystemTime, std::string>> byAge;
  for (const auto& [path, when] : lastSeenLive) byAge.emplace_back(when, path);
  std::sort(byAge.begin(), byAge.end(), std::greater<>());
  lastSeenLive.clear();
  for (size_t i = 0; i < kMaxSeenLive; ++i) lastSeenLive[byAge[i].second] = byAge[i].first;
}

void DiskCache::save(const std::filesystem::path& folder) const {
  nlohmann::json json = nlohmann::json::object();
  if (lastResult) json["lastResult"] = toJson(*lastResult);
  nlohmann::json seen = nlohmann::json::object();
  for (const auto& [path, when] : lastSeenLive) seen[path] = referenceSeconds(when);
  json["lastSeenLive"] = std::move(seen);
  json["toolFolders"] = toolFolders.toJson();
  JSONStore(folder).saveJson(json, shared_files::diskCache);
}

std::string diskHistoryRows(const DiskScanResult& result) {
  const auto time = localIso8601(result.finishedAt);
  std::string rows;
  uint64_t unique = 0;
  for (const auto& item : result.items) {
    unique += item.uniqueBytes;
    rows += csvField(result.scanID) + ',' + time + ',' + csvField(item.ruleID) + ',' +
            std::string(rawValue(item.category)) + ',' + std::string(rawValue(item.safety)) + ',' +
            csvField(tildePath(item.path, result.home)) + ',' + std::to_string(item.bytes) + ',' +
            std::to_string(item.uniqueBytes) + ',' + std::to_string(item.fileCount) + '\n';
  }
  rows += csvField(result.scanID) + ',' + time + ",_total,,,," +
          std::to_string(result.freeBytes.value_or(0)) + ',' + std::to_string(unique) + ',' +
          std::to_string(result.items.size()) + '\n';
  return rows;
}

void recordDiskHistory(const std::filesystem::path& folder, const DiskScanResult& result) {
  const auto rows = diskHistoryRows(result);
  // The header goes first when the file is new or empty; deciding that under the
  // same lock as the append keeps two first scans from both writing it.
  const auto shared = platform::SharedFolder::create(folder);
  const auto lock = shared.lock(shared_files::diskHistoryLock, shared_files::commandLockWait);
  const auto size = shared.size(shared_files::diskHistory);
  const bool fresh = !size || *size == 0;
  shared.append(
      shared_files::diskHistory,
      (fresh ? "scan_id,time,rule_id,category,safety,path,bytes,unique_bytes,items\n" : "") + rows);
}

}  // namespace glimmet
