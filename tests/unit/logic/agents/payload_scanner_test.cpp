#include "logic/agents/payload_scanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

namespace glimmet {
namespace {

constexpr std::array<WantedString, 2> kWanted = {{{"a"}, {"b", 4}}};

// Hands the payload over a few bytes at a time, so every token gets split.
class Trickle : public PayloadPieces {
 public:
  Trickle(std::string_view text, size_t step) : text_(text), step_(step) {}
  std::string_view next() override {
    const auto piece = text_.substr(0, step_);
    text_.remove_prefix(piece.size());
    return piece;
  }

 private:
  std::string_view text_;
  size_t step_;
};

// The scanner must accept exactly what a full JSON parser accepts as an object.
TEST(PayloadScanner, AgreesWithAFullParserOnWhatIsAnObject) {
  const std::vector<std::string> texts = {"{}",
                                          " { } ",
                                          R"({"a":"x"})",
                                          R"({"a":1,"b":[1,{"c":null}],"d":true})",
                                          R"({"n":-0.5e+10})",
                                          R"({"n":0})",
                                          R"({"n":01})",
                                          R"({"n":1.})",
                                          R"({"n":.5})",
                                          R"({"n":-})",
                                          R"({"n":1e})",
                                          R"({"n":+1})",
                                          R"({"a":tru})",
                                          R"({"a":nul})",
                                          R"({"a":"\u00e9\ud83d\ude00"})",
                                          R"({"a":"\ud83d"})",
                                          R"({"a":"\ude00"})",
                                          R"({"a":"\x"})",
                                          R"({"a":"\u12G4"})",
                                          "{\"a\":\"tab\there\"}",
                                          "{\"a\":\"\xC3\xA9\"}",
                                          "{\"a\":\"\xC0\xAF\"}",
                                          "{\"a\":\"\xED\xA0\x80\"}",
                                          "{\"a\":\"\xF4\x90\x80\x80\"}",
                                          "{\"a\":\"\xE2\x82\"}",
                                          R"({"a" "x"})",
                                          R"({"a":"x",})",
                                          R"({,})",
                                          R"({"a":"x"}})",
                                          R"({"a":[1,2,]})",
                                          R"({"a":[1 2]})",
                                          R"({"a":{"b":1,}})",
                                          R"({a:1})",
                                          "[]",
                                          "1",
                                          "\"s\"",
                                          "",
                                          R"({"a":"x"} {"b":"y"})",
                                          "{\"a\":\"x\"}\n\t ",
                                          R"({"a":[[[[]]]]})",
                                          R"({"a":[[[]]})",
                                          R"({"a":"\/\b\f\n\r\t\"\\"})",
                                          R"({"a":1}x)"};
  for (const auto& text : texts) {
    const auto parsed = nlohmann::json::parse(text, nullptr, false);
    const bool isObject = !parsed.is_discarded() && parsed.is_object();
    EXPECT_EQ(readTopLevelStrings(text, kWanted).has_value(), isObject) << text;
    Trickle trickle(text, 1);
    EXPECT_EQ(readTopLevelStrings(trickle, kWanted).has_value(), isObject) << text;
  }
}

// Pieces of varying length, as a pipe hands them over.
class RandomPieces : public PayloadPieces {
 public:
  RandomPieces(std::string_view text, std::mt19937& random) : text_(text), random_(random) {}
  std::string_view next() override {
    const auto piece = text_.substr(0, std::uniform_int_distribution<size_t>(1, 9)(random_));
    text_.remove_prefix(piece.size());
    return piece;
  }

 private:
  std::string_view text_;
  std::mt19937& random_;
};

// Small random edits of valid objects land on every path of the grammar: the
// scanner must still agree with a full parser on each, whole and in pieces,
// and copy out the same top-level string the parser finds.
TEST(PayloadScanner, AgreesWithAFullParserOnEditedObjects) {
  const std::vector<std::string> seeds = {
      R"({"a":"x\u00e9\ud83d\ude00\n","b":[1,-2.5e+3,0,{"c":null,"d":[true,false]}],"e":{}})",
      "{\"a\":\"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\",\"n\":[0.5,10E-2],\"a\":\"last\"}",
      " {\n\t\"s\" : \"a \\\" quote\\\\ and \\/ slash\" , \"a\" : [ [ ] , { } ] } ",
      R"({"a":"plain text that is long enough to take the sixteen-byte steps","z":123456789})",
  };
  const std::string alphabet =
      "{}[]:,\"\\u0189-+.eE \ntrfnlasd83Dc\xC3\xA9\xED\xA0\x80\xF4\x90\x01";
  constexpr std::array<WantedString, 1> wantA = {{{"a"}}};
  std::mt19937 random(20261207);
  for (int round = 0; round < 4000; ++round) {
    std::string text = seeds[static_cast<size_t>(round) % seeds.size()];
    const int edits = std::uniform_int_distribution<int>(1, 3)(random);
    for (int edit = 0; edit < edits; ++edit) {
      const size_t at = std::uniform_int_distribution<size_t>(0, text.size() - 1)(random);
      const char c =
          alphabet[std::uniform_int_distribution<size_t>(0, alphabet.size() - 1)(random)];
      switch (std::uniform_int_distribution<int>(0, 2)(random)) {
        case 0:
          text.insert(text.begin() + static_cast<std::ptrdiff_t>(at), c);
          break;
        case 1:
          text.erase(at, 1);
          break;
        default:
          text[at] = c;
          break;
      }
    }
    nlohmann::json parsed;
    try {
      parsed = nlohmann::json::parse(text);
    } catch (const nlohmann::json::out_of_range&) {
      continue;  // a number beyond a double's range: valid JSON this parser refuses
    } catch (const nlohmann::json::parse_error&) {
      parsed = nlohmann::json(nlohmann::json::value_t::discarded);
    }
    const bool isObject = !parsed.is_discarded() && parsed.is_object();
    std::optional<std::string> expectedA;
    if (isObject && parsed.contains("a") && parsed["a"].is_string())
      expectedA = parsed["a"].get<std::string>();
    const auto whole = readTopLevelStrings(text, wantA);
    RandomPieces pieces(text, random);
    const auto pieced = readTopLevelStrings(pieces, wantA);
    ASSERT_EQ(whole.has_value(), isObject) << text;
    ASSERT_EQ(pieced.has_value(), isObject) << text;
    if (!isObject) continue;
    EXPECT_EQ((*whole)[0], expectedA) << text;
    EXPECT_EQ((*pieced)[0], expectedA) << text;
  }
}

// Each level remembers whether it is an object or an array, however deep: a
// closer of the wrong kind is refused at every depth, near the top, in the
// middle and at the innermost level.
TEST(PayloadScanner, NestingIsTrackedAtAnyDepth) {
  for (const size_t depth : {size_t{63}, size_t{64}, size_t{65}, size_t{130}, size_t{100'000}}) {
    std::string opening = "{\"a\":";
    std::string closing;
    for (size_t level = 0; level < depth; ++level) {
      opening += level % 3 == 0 ? "{\"k\":" : "[";
      closing += level % 3 == 0 ? '}' : ']';
    }
    std::reverse(closing.begin(), closing.end());
    const std::string valid = opening + "0" + closing + ",\"b\":\"end\"}";
    const auto found = readTopLevelStrings(valid, kWanted);
    ASSERT_TRUE(found) << depth;
    EXPECT_EQ((*found)[1], "end");
    for (const size_t wrong : {size_t{0}, depth / 2, depth - 1}) {
      std::string broken = opening + "0" + closing + "}";
      char& closer = broken[opening.size() + 1 + wrong];
      closer = closer == '}' ? ']' : '}';
      EXPECT_FALSE(readTopLevelStrings(broken, kWanted)) << depth << " " << wrong;
    }
  }
}

TEST(PayloadScanner, CopiesOutOnlyTopLevelStringsAsked) {
  const std::string text = R"({"x":{"a":"nested"},"a":"top \u00e9\n","b":"abcdef","c":"other"})";
  for (const size_t step : {size_t{1}, size_t{3}, text.size()}) {
    Trickle trickle(text, step);
    const auto found = readTopLevelStrings(trickle, kWanted);
    ASSERT_TRUE(found);
    EXPECT_EQ((*found)[0], "top \xC3\xA9\n");
    EXPECT_EQ((*found)[1], "abcd");  // cut at its byte limit
  }
}

TEST(PayloadScanner, ACutNeverEndsInsideACharacter) {
  const auto found = readTopLevelStrings("{\"b\":\"ab\xC3\xA9\xC3\xA9\"}", kWanted);
  ASSERT_TRUE(found);
  EXPECT_EQ((*found)[1], "ab\xC3\xA9");
  const auto split = readTopLevelStrings("{\"b\":\"abc\xC3\xA9\"}", kWanted);
  ASSERT_TRUE(split);
  EXPECT_EQ((*split)[1], "abc");
}

TEST(PayloadScanner, NonStringMembersAreAbsent) {
  const auto found = readTopLevelStrings(R"({"a":["x"],"b":null})", kWanted);
  ASSERT_TRUE(found);
  EXPECT_FALSE((*found)[0]);
  EXPECT_FALSE((*found)[1]);
}

}  // namespace
}  // namespace glimmet
