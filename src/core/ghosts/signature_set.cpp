// Strict decoding of the signature file: unlike the settings, a file that is
// wrong anywhere is refused as a whole, because matching with half a file
// would misreport processes.
#include "core/ghosts/signature_set.h"

#include <limits>

namespace glimmet {
namespace {

using nlohmann::json;
using Kind = SignatureSet::AgentRoot::Kind;

[[noreturn]] void fail(const std::string& why) {
  throw SignatureFileError(why);
}

const json& field(const json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end() || found->is_null()) fail(std::string("missing key ") + key);
  return *found;
}

bool isPresent(const json& object, const char* key) {
  const auto found = object.find(key);
  return found != object.end() && !found->is_null();
}

std::string text(const json& object, const char* key) {
  const auto& value = field(object, key);
  if (!value.is_string()) fail(std::string(key) + " is not a string");
  return value.get<std::string>();
}

bool boolean(const json& object, const char* key) {
  const auto& value = field(object, key);
  if (!value.is_boolean()) fail(std::string(key) + " is not a boolean");
  return value.get<bool>();
}

std::vector<std::string> texts(const json& object, const char* key) {
  const auto& value = field(object, key);
  if (!value.is_array()) fail(std::string(key) + " is not an array");
  std::vector<std::string> out;
  for (const auto& element : value) {
    if (!element.is_string()) fail(std::string(key) + " holds a value that is not a string");
    out.push_back(element.get<std::string>());
  }
  return out;
}

const json& records(const json& object, const char* key) {
  const auto& value = field(object, key);
  if (!value.is_array()) fail(std::string(key) + " is not an array");
  for (const auto& element : value)
    if (!element.is_object()) fail(std::string(key) + " holds a value that is not an object");
  return value;
}

Kind kindOf(const std::string& name) {
  if (name == "agent") return Kind::agent;
  if (name == "ide") return Kind::ide;
  if (name == "terminal") return Kind::terminal;
  fail("unknown kind " + name);
}

std::vector<uint16_t> ports(const json& object) {
  const auto& value = field(object, "ports");
  if (!value.is_array()) fail("ports is not an array");
  std::vector<uint16_t> out;
  for (const auto& element : value) {
    if (!element.is_number_integer()) fail("ports holds a value that is not an integer");
    const auto port = element.get<int64_t>();
    if (port < 0 || port > std::numeric_limits<uint16_t>::max())
      fail("a port is outside 0 to 65535");
    out.push_back(static_cast<uint16_t>(port));
  }
  return out;
}

}  // namespace

std::string_view kindName(Kind kind) {
  switch (kind) {
    case Kind::agent:
      return "agent";
    case Kind::ide:
      return "ide";
    case Kind::terminal:
      return "terminal";
  }
  return {};
}

SignatureSet SignatureSet::decode(std::string_view bytes) {
  const auto root = json::parse(bytes, nullptr, /*allow_exceptions=*/false);
  if (root.is_discarded()) fail("not valid JSON");
  if (!root.is_object()) fail("not a JSON object");
  SignatureSet set;
  const auto& version = field(root, "version");
  if (!version.is_number_integer()) fail("version is not an integer");
  set.version = version.get<int64_t>();
  for (const auto& entry : records(root, "agentRoots"))
    set.agentRoots.push_back({.id = text(entry, "id"),
                              .agent = text(entry, "agent"),
                              .kind = kindOf(text(entry, "kind")),
                              .exeBasenames = texts(entry, "exeBasenames"),
                              .exePathContains = texts(entry, "exePathContains"),
                              .argvPatterns = texts(entry, "argvPatterns"),
                              .verified = boolean(entry, "verified"),
                              .helperArgvPatterns = isPresent(entry, "helperArgvPatterns")
                                                        ? texts(entry, "helperArgvPatterns")
                                                        : std::vector<std::string>{}});
  for (const auto& entry : records(root, "ghosts"))
    set.ghosts.push_back({.id = text(entry, "id"),
                          .label = text(entry, "label"),
                          .patterns = texts(entry, "patterns"),
                          .exePatterns = isPresent(entry, "exePatterns")
                                             ? texts(entry, "exePatterns")
                                             : std::vector<std::string>{},
                          .requiresGhostAncestor = isPresent(entry, "requiresGhostAncestor") &&
                                                   boolean(entry, "requiresGhostAncestor"),
                          .verified = boolean(entry, "verified")});
  for (const auto& entry : records(root, "devServers"))
    set.devServers.push_back({.id = text(entry, "id"),
                              .framework = text(entry, "framework"),
                              .patterns = texts(entry, "patterns"),
                              .ports = ports(entry)});
  for (const auto& entry : records(root, "envHints")) {
    EnvHint hint{.agent = text(entry, "agent"),
                 .variables = texts(entry, "variables"),
                 .prefixes = texts(entry, "prefixes"),
                 .verified = boolean(entry, "verified")};
    if (isPresent(entry, "requireAll")) hint.requireAll = texts(entry, "requireAll");
    if (isPresent(entry, "anyValueContains")) {
      const auto& contains = field(entry, "anyValueContains");
      if (!contains.is_object()) fail("anyValueContains is not an object");
      hint.anyValueContains =
          EnvHint::ValueContains{text(contains, "namePrefix"), text(contains, "text")};
    }
    set.envHints.push_back(std::move(hint));
  }
  for (const auto& entry : records(root, "pathHints"))
    set.pathHints.push_back({.agent = text(entry, "agent"), .patterns = texts(entry, "patterns")});
  return set;
}

}  // namespace glimmet
