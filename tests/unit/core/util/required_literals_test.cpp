#include "core/util/required_literals.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

#include <nlohmann/json.hpp>

#include "core/util/regex.h"

namespace glimmet {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(RequiredLiterals, TopLevelRunsLowerCasedLongestFirst) {
  EXPECT_THAT(requiredLiterals("typescript-language-server"),
              ElementsAre("typescript-language-server"));
  EXPECT_THAT(requiredLiterals("/\\.cursor-server/\\S*/out/server-main\\.js"),
              ElementsAre("/out/server-main.js", "/.cursor-server/"));
  EXPECT_THAT(requiredLiterals("com\\.intellij\\.idea\\.Main"),
              ElementsAre("com.intellij.idea.main"));
  EXPECT_THAT(requiredLiterals("\\bflask(\\s+--?\\S+(\\s+[^-\\s]\\S*)?)*\\s+run\\b"),
              ElementsAre("flask", "run"));
}

TEST(RequiredLiterals, OptionalPartsAreLeftOut) {
  // Groups and classes may be optional or alternatives: stepped over whole.
  EXPECT_THAT(requiredLiterals("(^|[/\\s])vite(\\.js)?(?!\\s+(build|optimize)\\b)(\\s|$)"),
              ElementsAre("vite"));
  // A quantified character leaves its run, whatever the quantifier.
  EXPECT_THAT(requiredLiterals("colou?r"), ElementsAre("colo", "r"));
  EXPECT_THAT(requiredLiterals("ab*c"), ElementsAre("a", "c"));
  EXPECT_THAT(requiredLiterals("ab+?c"), ElementsAre("a", "c"));
  EXPECT_THAT(requiredLiterals("clangd-\\d{1,2}x"), ElementsAre("clangd-", "x"));
  EXPECT_THAT(requiredLiterals("a{2}b"), ElementsAre("b"));
  // Members of a class, a ']' first among them, and escaped brackets inside.
  EXPECT_THAT(requiredLiterals("x[]\\[(]y"), ElementsAre("x", "y"));
  EXPECT_THAT(requiredLiterals("(a\\)b|c)d"), ElementsAre("d"));
  EXPECT_THAT(requiredLiterals("(?i)abc"), ElementsAre("abc"));
}

TEST(RequiredLiterals, AnythingUncertainGivesNone) {
  for (const char* pattern : {
           "a|b",       // alternatives at the top level
           "abc\\x41",  // escapes whose argument would read as literals
           "abc\\p{L}",
           "a\\1",
           "a\\Q.b\\E",
           "a\\N{U+41}",
           "(?x) a b",       // extended mode: spaces are not literal
           "abc(?xi:d)",     //
           "(*UTF)kelvin",   // UTF folding goes beyond ASCII
           "a(?#)b)c",       // comments
           "a[[:alpha:]]b",  // POSIX class names
           "a{|b}",          // a brace that is not a count is a literal brace
           "abc(",
           "abc)",
           "abc\\",
           "[abc",
       })
    EXPECT_THAT(requiredLiterals(pattern), IsEmpty()) << pattern;
}

// PCRE2 itself is the judge: over random small patterns and texts, a search
// that may skip the engine answers as the engine does.
TEST(RequiredLiterals, NeverRejectsATextTheEngineMatches) {
  const std::vector<std::string> atoms = {
      "a",    "b",     "c",     "A", "-", "/", " ",   "\\.", ".", "\\s", "\\b", "[ab]",
      "[^a]", "(a|b)", "(bc)?", "?", "*", "+", "{2}", "^",   "$", "|",   "(?i)"};
  const std::string letters = "abcABC-/. ";
  std::mt19937 random(20261208);
  int matched = 0;
  for (int round = 0; round < 4000; ++round) {
    std::string pattern;
    const int length = 1 + static_cast<int>(random() % 7);
    for (int i = 0; i < length; ++i) pattern += atoms[random() % atoms.size()];
    std::optional<Regex> regex;
    try {
      regex = Regex::compile(pattern, random() % 2 == 0);
    } catch (const RegexError&) {
      continue;
    }
    for (int text = 0; text < 20; ++text) {
      std::string subject;
      const int size = static_cast<int>(random() % 9);
      for (int i = 0; i < size; ++i) subject += letters[random() % letters.size()];
      const bool engine = regex->find(subject, 0).has_value();
      matched += engine ? 1 : 0;
      ASSERT_EQ(regex->search(subject), engine)
          << "pattern " << pattern << " text '" << subject << "'";
    }
  }
  EXPECT_GT(matched, 1000);  // the texts do reach the interesting answers
}

TEST(RequiredLiterals, MostShippedSignaturesHaveAWordToLookFor) {
  std::ifstream file(std::string(GLIMMET_SOURCE_DIR) + "/data/signatures.json");
  std::stringstream bytes;
  bytes << file.rdbuf();
  const auto json = nlohmann::json::parse(bytes.str());
  int patterns = 0, withLiterals = 0;
  for (const auto& section : {"agentRoots", "ghosts", "devServers", "pathHints"})
    for (const auto& entry : json.at(section))
      for (const auto& field : {"argvPatterns", "helperArgvPatterns", "patterns"})
        if (entry.contains(field))
          for (const auto& pattern : entry.at(field)) {
            ++patterns;
            withLiterals += requiredLiterals(pattern.get<std::string>()).empty() ? 0 : 1;
          }
  // The words are what keeps matching cheap; a pattern without one is searched
  // by the engine against every command line.
  EXPECT_GE(withLiterals * 10, patterns * 9) << withLiterals << " of " << patterns;
}

}  // namespace
}  // namespace glimmet
