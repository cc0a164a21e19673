#include "cli/glimmet.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>

namespace glimmet::cli {
namespace {

void forEachCommand(const CommandSpec& spec, const std::function<void(const CommandSpec&)>& visit) {
  visit(spec);
  for (const auto& sub : spec.subcommands) forEachCommand(sub, visit);
}

TEST(CommandTree, EveryOptionIsALongKebabCaseNameAndEveryCommandHasAnAbstract) {
  Glimmet glimmet;
  const auto root = glimmet.spec();
  const std::regex longName("--[a-z]+(-[a-z]+)*");
  int commands = 0;
  forEachCommand(root, [&](const CommandSpec& command) {
    ++commands;
    EXPECT_FALSE(command.abstract.empty()) << command.name;
    EXPECT_EQ(command.abstract.back(), '.') << command.name;
    EXPECT_EQ(static_cast<bool>(command.run), command.subcommands.empty()) << command.name;
    for (const auto& parameter : command.parameters) {
      EXPECT_FALSE(parameter.help.empty()) << parameter.name;
      if (parameter.kind == Parameter::Kind::argument)
        EXPECT_EQ(parameter.name.front(), parameter.name.front() | 0x20) << parameter.name;
      else
        EXPECT_TRUE(std::regex_match(parameter.name, longName)) << parameter.name;
    }
  });
  // The root, twenty commands, two groups of two, the companion, settings
  // and hooks groups of four and the requests group of three.
  EXPECT_EQ(commands, 1 + 20 + 2 * 2 + 3 * 4 + 3);
}

TEST(CommandTree, OnlyDiskCleanTakesManyValues) {
  Glimmet glimmet;
  const auto root = glimmet.spec();
  forEachCommand(root, [](const CommandSpec& command) {
    for (const auto& parameter : command.parameters)
      EXPECT_EQ(parameter.repeating, command.name == "clean" && parameter.name == "items")
          << parameter.name;
  });
}

TEST(CommandTree, OptionValuesAreConvertedStrictly) {
  std::optional<int32_t> pid;
  auto option = pidOption("--session", "help", pid);
  option.assign("4242");
  EXPECT_EQ(pid, 4242);
  for (const char* bad : {"", "42x", "0x10", "2147483648", " 1"})
    EXPECT_THROW(option.assign(bad), UsageError) << bad;
  std::optional<double> grace;
  auto seconds = secondsOption("--grace", "help", grace);
  seconds.assign("2.5");
  EXPECT_EQ(grace, 2.5);
  EXPECT_THROW(seconds.assign("inf"), UsageError);
  EXPECT_THROW(seconds.assign("nan"), UsageError);
}

}  // namespace
}  // namespace glimmet::cli
