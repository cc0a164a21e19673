// glimmet protect and unprotect against a real shared folder.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <thread>

#include "support/isolated_home.h"

namespace glimmet {
namespace {

using ::testing::HasSubstr;

constexpr std::size_t kLongestGlob = 4096;

TEST(Protect, AddsOneRuleAndSavesItSorted) {
  testing::IsolatedHome home;
  auto result = home.glimmet({"protect", "*next dev*"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "Protected: *next dev*\n");
  result = home.glimmet({"protect", "*next dev*"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "Already protected: *next dev*\n");
  EXPECT_EQ(home.dir().read("home/.local/share/Glimmet/protected.json"),
            "{\n  \"disabledDefaults\" : [],\n  \"userRules\" : [\n    {\n      \"kind\" : "
            "\"commandGlob\",\n"
            "      \"pattern\" : \"*next dev*\"\n    }\n  ]\n}");
  struct stat info {};
  ASSERT_EQ(::stat(home.sharedFolder().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST(Protect, UnprotectRemovesOnlyTheExactPattern) {
  testing::IsolatedHome home;
  home.dir().write("home/.local/share/Glimmet/protected.json",
                   R"({"userRules": [{"kind": "commandGlob", "pattern": "*vite*"},
                                     {"kind": "port", "pattern": "*vite*"},
                                     {"kind": "commandGlob", "pattern": "*vite*"}],
                       "disabledDefaults": ["databases"]})");
  auto result = home.glimmet({"unprotect", "*VITE*"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "No rule matches *VITE*\n");
  result = home.glimmet({"unprotect", "*vite*"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "Removed: *vite*\n");
  const auto saved = home.dir().read("home/.local/share/Glimmet/protected.json");
  EXPECT_THAT(saved, HasSubstr("\"kind\" : \"port\""));
  EXPECT_THAT(saved, HasSubstr("\"databases\""));
  EXPECT_EQ(saved.find("commandGlob"), std::string::npos);
}

TEST(Protect, UnprotectWithoutAFileWritesNothing) {
  testing::IsolatedHome home;
  const auto result = home.glimmet({"unprotect", "*x*"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "No rule matches *x*\n");
  EXPECT_FALSE(std::filesystem::exists(home.sharedFolder()));
}

TEST(Protect, AnUnreadableRuleFileIsKeptAsideNotLost) {
  testing::IsolatedHome home;
  home.dir().write("home/.local/share/Glimmet/protected.json", "{\"userRules\": [oops");
  const auto result = home.glimmet({"protect", "*rails s*"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(home.dir().read("home/.local/share/Glimmet/protected.json.unreadable"),
            "{\"userRules\": [oops");
  EXPECT_THAT(home.dir().read("home/.local/share/Glimmet/protected.json"), HasSubstr("*rails s*"));
}

TEST(Protect, PatternsWithSlashesAndQuotesRoundTrip) {
  testing::IsolatedHome home;
  EXPECT_EQ(home.glimmet({"protect", "*/bin/node \"it's\"*"}).status, 0);
  EXPECT_THAT(home.dir().read("home/.local/share/Glimmet/protected.json"),
              HasSubstr("\\/bin\\/node \\\"it's\\\""));
  EXPECT_EQ(home.glimmet({"unprotect", "*/bin/node \"it's\"*"}).out,
            "Removed: */bin/node \"it's\"*\n");
}

TEST(Protect, RefusesGlobsThatCanNeverBeUsefulAndWritesNothing) {
  testing::IsolatedHome home;
  for (const std::string& pattern :
       {std::string(), std::string("   "), std::string(" \t "), std::string(kLongestGlob + 1, '*'),
        std::string("*\xff\xfe*")}) {
    const auto result = home.glimmet({"protect", pattern});
    EXPECT_EQ(result.status, 64) << '"' << pattern.substr(0, 10) << '"';
    EXPECT_EQ(result.out, "");
    EXPECT_THAT(result.err, HasSubstr("Error: "));
    EXPECT_THAT(result.err, HasSubstr("glimmet protect"));
  }
  EXPECT_FALSE(std::filesystem::exists(home.sharedFolder() / "protected.json"));
  EXPECT_EQ(home.glimmet({"protect", std::string(kLongestGlob, '*')}).status, 0);
}

TEST(Protect, ConcurrentProtectsKeepEveryRule) {
  testing::IsolatedHome home;
  constexpr int kWriters = 6;
  std::vector<std::thread> writers;
  for (int i = 0; i < kWriters; ++i)
    writers.emplace_back([&home, i] {
      EXPECT_EQ(home.glimmet({"protect", "*server-" + std::to_string(i) + "*"}).status, 0);
    });
  for (auto& writer : writers) writer.join();
  const auto saved = home.dir().read("home/.local/share/Glimmet/protected.json");
  for (int i = 0; i < kWriters; ++i)
    EXPECT_THAT(saved, HasSubstr("*server-" + std::to_string(i) + "*"));
}

}  // namespace
}  // namespace glimmet
