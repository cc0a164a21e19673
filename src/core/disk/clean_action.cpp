// CleanAction decoding and encoding.
#include "core/disk/clean_action.h"

#include "core/settings/json_fields.h"

namespace glimmet {
namespace {

using Kind = CleanAction::Kind;
constexpr Kind kKinds[] = {Kind::toolCommand,      Kind::trash,    Kind::gitWorktreeRemove,
                           Kind::gitWorktreePrune, Kind::copyOnly, Kind::none};

}  // namespace

std::string_view rawValue(Kind kind) {
  switch (kind) {
    case Kind::toolCommand:
      return "toolCommand";
    case Kind::trash:
      return "trash";
    case Kind::gitWorktreeRemove:
      return "gitWorktreeRemove";
    case Kind::gitWorktreePrune:
      return "gitWorktreePrune";
    case Kind::copyOnly:
      return "copyOnly";
    case Kind::none:
      return "none";
  }
  return {};
}

std::optional<Kind> cleanKindFromRaw(std::string_view raw) {
  for (const auto kind : kKinds)
    if (rawValue(kind) == raw) return kind;
  return std::nullopt;
}

std::optional<CleanAction> CleanAction::fromJson(const nlohmann::json& json) {
  FieldReader reader(json, IntegerForm::exact);
  CleanAction action;
  std::string kind;
  reader.required("kind", kind)
      .read("argv", action.argv)
      .read("stopFirst", action.stopFirst)
      .read("note", action.note)
      .read("terminalOnly", action.terminalOnly);
  if (!reader.valid()) return std::nullopt;
  const auto decoded = cleanKindFromRaw(kind);
  if (!decoded) return std::nullopt;
  action.kind = *decoded;
  return action;
}

nlohmann::json CleanAction::toJson() const {
  nlohmann::json json = {{"kind", rawValue(kind)}};
  if (argv) json["argv"] = *argv;
  if (stopFirst) json["stopFirst"] = *stopFirst;
  if (note) json["note"] = *note;
  if (terminalOnly) json["terminalOnly"] = *terminalOnly;
  return json;
}

}  // namespace glimmet
