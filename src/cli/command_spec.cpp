// Parameter builders with strict value conversion.
#include "cli/command_spec.h"

#include <charconv>
#include <cmath>

namespace glimmet::cli {
namespace {

std::string invalidValue(const std::string& value, const std::string& name,
                         const std::string& valueName) {
  return "The value '" + value + "' is invalid for '" + name + " " + valueName + "'.";
}

// Whole-string decimal conversion: "12abc", "" and out-of-range values are refused.
template <typename Number>
std::optional<Number> parseNumber(const std::string& text) {
  Number number{};
  const auto* end = text.data() + text.size();
  const auto [ptr, error] = std::from_chars(text.data(), end, number);
  if (error != std::errc{} || ptr != end) return std::nullopt;
  return number;
}

template <typename Number>
Parameter numberOption(std::string name, std::string valueName, std::string help, ValueKind kind,
                       std::optional<Number>& target) {
  Parameter parameter{.kind = Parameter::Kind::option,
                      .name = name,
                      .valueName = valueName,
                      .help = std::move(help),
                      .value = kind};
  parameter.assign = [&target, name, valueName](const std::string& value) {
    auto number = parseNumber<Number>(value);
    if constexpr (std::is_floating_point_v<Number>) {
      if (number && !std::isfinite(*number)) number.reset();
    }
    if (!number) throw UsageError(invalidValue(value, name, valueName));
    target = *number;
  };
  return parameter;
}

}  // namespace

const CommandSpec* CommandSpec::subcommand(std::string_view wanted) const {
  for (const auto& sub : subcommands)
    if (sub.name == wanted) return &sub;
  return nullptr;
}

Parameter flag(std::string name, std::string help, bool& target) {
  return {.kind = Parameter::Kind::flag,
          .name = std::move(name),
          .help = std::move(help),
          .flag = &target};
}

Parameter textOption(std::string name, std::string valueName, std::string help,
                     std::optional<std::string>& target, ValueKind kind) {
  Parameter parameter{.kind = Parameter::Kind::option,
                      .name = std::move(name),
                      .valueName = std::move(valueName),
                      .help = std::move(help),
                      .value = kind};
  parameter.assign = [&target](const std::string& value) { target = value; };
  return parameter;
}

Parameter requiredTextOption(std::string name, std::string valueName, std::string help,
                             std::string& target) {
  Parameter parameter{.kind = Parameter::Kind::option,
                      .name = std::move(name),
                      .valueName = std::move(valueName),
                      .help = std::move(help),
                      .required = true};
  parameter.assign = [&target](const std::string& value) { target = value; };
  return parameter;
}

Parameter pidOption(std::string name, std::string help, std::optional<int32_t>& target) {
  return numberOption<int32_t>(std::move(name), "<pid>", std::move(help), ValueKind::pid, target);
}

Parameter integerOption(std::string name, std::string valueName, std::string help,
                        std::optional<int64_t>& target) {
  return numberOption<int64_t>(std::move(name), std::move(valueName), std::move(help),
                               ValueKind::integer, target);
}

Parameter secondsOption(std::string name, std::string help, std::optional<double>& target) {
  return numberOption<double>(std::move(name), "<seconds>", std::move(help), ValueKind::seconds,
                              target);
}

Parameter argument(std::string name, std::string help, std::string& target) {
  Parameter parameter{.kind = Parameter::Kind::argument,
                      .name = name,
                      .valueName = "<" + name + ">",
                      .help = std::move(help),
                      .required = true};
  parameter.assign = [&target](const std::string& value) { target = value; };
  return parameter;
}

Parameter choiceArgument(std::string name, std::string help, std::vector<std::string> choices,
                         std::string& target) {
  Parameter parameter = argument(std::move(name), std::move(help), target);
  parameter.value = ValueKind::choice;
  parameter.choices = std::move(choices);
  return parameter;
}

Parameter optionalArgument(std::string name, std::string help, std::optional<std::string>& target) {
  Parameter parameter{.kind = Parameter::Kind::argument,
                      .name = name,
                      .valueName = "<" + name + ">",
                      .help = std::move(help)};
  parameter.assign = [&target](const std::string& value) { target = value; };
  return parameter;
}

Parameter repeatingArgument(std::string name, std::string help, std::vector<std::string>& target) {
  // A list argument declared without a default needs at least one value.
  Parameter parameter{.kind = Parameter::Kind::argument,
                      .name = name,
                      .valueName = "<" + name + "> ...",
                      .help = std::move(help),
                      .value = ValueKind::path,
                      .required = true,
                      .repeating = true};
  parameter.assign = [&target](const std::string& value) { target.push_back(value); };
  return parameter;
}

}  // namespace glimmet::cli
