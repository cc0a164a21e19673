#include "logic/agents/payload_scanner.h"

#include <gtest/gtest.h>

#include <array>
#include <nlohmann/json.hpp>
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
