#include "core/ghosts/ancestry_recorder.h"

#include <limits>
#include <nlohmann/json.hpp>

#include "core/ghosts/signature_set.h"
#include "core/output/json_writer.h"
#include "core/settings/json_store.h"
#include "core/settings/shared_files.h"
#include "platform/files.h"

namespace glimmet {
namespace {

using nlohmann::json;

// Seconds between 1970-01-01 and 2001-01-01, the epoch of the application's dates.
constexpr double kReferenceDateOffset = 978307200.0;
// A long-lived machine records a few thousand chains; a file far beyond that is
// not one the application wrote, and is ignored like a corrupt one.
constexpr size_t kMaxAncestryFileBytes = 32 * 1024 * 1024;

template <typename Integer>
bool readInteger(const json& object, const char* key, Integer& out) {
  const auto found = object.find(key);
  if (found == object.end() || !found->is_number_integer()) return false;
  if (found->is_number_unsigned()) {
    const auto value = found->get<std::uint64_t>();
    if (value > static_cast<std::uint64_t>(std::numeric_limits<Integer>::max())) return false;
    out = static_cast<Integer>(value);
    return true;
  }
  const auto value = found->get<std::int64_t>();
  if (value < static_cast<std::int64_t>(std::numeric_limits<Integer>::min()) ||
      (value > 0 && static_cast<std::uint64_t>(value) >
                        static_cast<std::uint64_t>(std::numeric_limits<Integer>::max())))
    return false;
  out = static_cast<Integer>(value);
  return true;
}

bool readString(const json& object, const char* key, std::string& out) {
  const auto found = object.find(key);
  if (found == object.end() || !found->is_string()) return false;
  out = found->get<std::string>();
  return true;
}

std::optional<SignatureSet::AgentRoot::Kind> kindNamed(const std::string& name) {
  using Kind = SignatureSet::AgentRoot::Kind;
  for (const Kind kind : {Kind::agent, Kind::ide, Kind::terminal})
    if (kindName(kind) == name) return kind;
  return std::nullopt;
}

std::optional<AncestorEntry> decodeEntry(const json& value) {
  if (!value.is_object()) return std::nullopt;
  AncestorEntry entry;
  if (!readInteger(value, "pid", entry.pid) || !readInteger(value, "startTime", entry.startTime) ||
      !readString(value, "name", entry.name))
    return std::nullopt;
  if (const auto root = value.find("root"); root != value.end() && !root->is_null()) {
    if (!root->is_object()) return std::nullopt;
    AgentRootMatch match;
    std::string kind;
    if (!readString(*root, "id", match.id) || !readString(*root, "agent", match.agent) ||
        !readString(*root, "kind", kind))
      return std::nullopt;
    const auto known = kindNamed(kind);
    if (!known) return std::nullopt;
    match.kind = *known;
    entry.root = std::move(match);
  }
  return entry;
}

std::optional<AncestryRecorder::Record> decodeRecord(const json& value) {
  if (!value.is_object()) return std::nullopt;
  AncestryRecorder::Record record;
  if (!readInteger(value, "pid", record.pid) || !readInteger(value, "startTime", record.startTime))
    return std::nullopt;
  const auto recordedAt = value.find("recordedAt");
  const auto chain = value.find("chain");
  if (recordedAt == value.end() || !recordedAt->is_number() || chain == value.end() ||
      !chain->is_array())
    return std::nullopt;
  record.recordedAt = recordedAt->get<double>();
  record.chain.reserve(chain->size());
  for (const auto& item : *chain) {
    auto entry = decodeEntry(item);
    if (!entry) return std::nullopt;
    record.chain.push_back(std::move(*entry));
  }
  return record;
}

}  // namespace

std::string Origin::fullLabel() const {
  switch (kind) {
    case Kind::exact:
      return agent;
    case Kind::likely:
      return "likely " + agent;
    case Kind::unknownAgent:
      return "Unknown agent";
    case Kind::orphanedDevServer:
      return "Orphaned dev server (terminal closed)";
  }
  return {};
}

std::string Origin::shortLabel() const {
  return kind == Kind::orphanedDevServer ? fullLabel() : "Agent";
}

std::string_view Origin::keyword() const {
  switch (kind) {
    case Kind::exact:
      return "exact";
    case Kind::likely:
      return "likely";
    case Kind::unknownAgent:
      return "unknown";
    case Kind::orphanedDevServer:
      return "orphanedDevServer";
  }
  return {};
}

AncestryRecorder AncestryRecorder::fromJson(std::string_view bytes) {
  AncestryRecorder recorder;
  const auto parsed = parseSharedJson(bytes);
  if (!parsed || !parsed->is_array()) return recorder;
  const json& document = *parsed;
  std::unordered_map<ProcessIdentity, Record> records;
  records.reserve(document.size());
  for (const auto& item : document) {
    auto record = decodeRecord(item);
    if (!record) return recorder;
    const auto identity = record->identity();
    records.insert_or_assign(identity, std::move(*record));
  }
  recorder.records_ = std::move(records);
  return recorder;
}

AncestryRecorder AncestryRecorder::load(const std::filesystem::path& folder) {
  const auto shared = platform::SharedFolder::open(folder);
  const auto bytes =
      shared ? shared->read(shared_files::ancestry, kMaxAncestryFileBytes) : std::nullopt;
  return bytes ? fromJson(*bytes) : AncestryRecorder();
}

std::string AncestryRecorder::toJson() const {
  // Written field by field: a json value per entry would cost more than the
  // rest of the companion's work whenever the file changes.
  const JsonWriteOptions options{.escapeSlashes = true};
  // Sized up front: growing by doubling would hold the old and the new copy
  // at once, the companion's largest moment.
  std::size_t estimate = 2;
  for (const auto& [identity, record] : records_) {
    estimate += 96;
    for (const auto& entry : record.chain)
      estimate += 64 + entry.name.size() +
                  (entry.root ? 48 + entry.root->id.size() + entry.root->agent.size() : 0);
  }
  std::string out;
  out.reserve(estimate);
  out += '[';
  for (const auto& [identity, record] : records_) {
    if (out.size() > 1) out += ',';
    out += R"({"pid":)" + std::to_string(record.pid);
    out += R"(,"startTime":)" + std::to_string(record.startTime);
    out += R"(,"recordedAt":)";
    appendJsonNumber(out, record.recordedAt);
    out += R"(,"chain":[)";
    for (std::size_t i = 0; i < record.chain.size(); ++i) {
      const AncestorEntry& entry = record.chain[i];
      if (i > 0) out += ',';
      out += R"({"pid":)" + std::to_string(entry.pid);
      out += R"(,"startTime":)" + std::to_string(entry.startTime);
      out += R"(,"name":)";
      appendJsonString(out, entry.name, options);
      if (entry.root) {
        out += R"(,"root":{"id":)";
        appendJsonString(out, entry.root->id, options);
        out += R"(,"agent":)";
        appendJsonString(out, entry.root->agent, options);
        out += R"(,"kind":)";
        appendJsonString(out, kindName(entry.root->kind), options);
        out += '}';
      }
      out += '}';
    }
    out += "]}";
  }
  out += ']';
  return out;
}

void AncestryRecorder::observe(const ProcessSnapshot& snapshot,
                               std::chrono::system_clock::time_point now, MatchCache& cache) {
  const double recordedAt =
      std::chrono::duration<double>(now.time_since_epoch()).count() - kReferenceDateOffset;
  std::unordered_set<ProcessIdentity> alive;
  alive.reserve(snapshot.size());
  for (const auto& process : snapshot.records()) {
    alive.insert(process.identity);
    if (!seen_.insert(process.identity).second) continue;
    if (records_.contains(process.identity)) continue;
    std::vector<AncestorEntry> chain;
    bool hasRoot = false;
    std::unordered_set<pid_t> visited = {process.pid()};
    for (pid_t pid = process.ppid; pid > 1 && visited.insert(pid).second;) {
      const ProcessRecord* ancestor = snapshot.record(pid);
      if (ancestor == nullptr) break;
      auto root = cache.agentRoot(*ancestor);
      hasRoot = hasRoot || root.has_value();
      chain.push_back(
          {ancestor->pid(), ancestor->identity.startTime, ancestor->name, std::move(root)});
      pid = ancestor->ppid;
    }
    if (!hasRoot) continue;
    records_.emplace(process.identity, Record{process.pid(), process.identity.startTime, recordedAt,
                                              std::move(chain)});
    isDirty_ = true;
  }
  std::erase_if(seen_, [&](const ProcessIdentity& identity) { return !alive.contains(identity); });
}

void AncestryRecorder::prune(const ProcessSnapshot& snapshot) {
  const auto before = records_.size();
  std::erase_if(records_, [&](const auto& entry) {
    const ProcessRecord* process = snapshot.record(entry.first.pid);
    return process == nullptr || process->identity != entry.first;
  });
  if (records_.size() != before) isDirty_ = true;
}

const AncestryRecorder::Record* AncestryRecorder::recordFor(const ProcessIdentity& identity) const {
  const auto found = records_.find(identity);
  return found == records_.end() ? nullptr : &found->second;
}

}  // namespace glimmet
