#include "core/output/json_writer.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

using nlohmann::json;

TEST(JsonWriter, PrettyPrintsWithSortedKeysAndSpacedColons) {
  json document = {
      {"servers", json::array({{{"pid", 42}, {"command", "next dev"}, {"cwd", "/Users/me/Dev"}}})},
      {"schema", 1}};
  EXPECT_EQ(writeJson(document),
            "{\n"
            "  \"schema\" : 1,\n"
            "  \"servers\" : [\n"
            "    {\n"
            "      \"command\" : \"next dev\",\n"
            "      \"cwd\" : \"/Users/me/Dev\",\n"
            "      \"pid\" : 42\n"
            "    }\n"
            "  ]\n"
            "}");
}

TEST(JsonWriter, KeysSortInByteOrder) {
  json document = {{"b", 1}, {"B", 2}, {"\xC3\xA9", 3}, {"a", 4}};
  EXPECT_EQ(writeJson(document),
            "{\n  \"B\" : 2,\n  \"a\" : 4,\n  \"b\" : 1,\n  \"\xC3\xA9\" : 3\n}");
}

TEST(JsonWriter, SlashesAreEscapedOnlyWhenAsked) {
  EXPECT_EQ(writeJson("/Applications"), "\"/Applications\"");
  EXPECT_EQ(writeJson("/Applications", {.escapeSlashes = true}), "\"\\/Applications\"");
}

TEST(JsonWriter, EscapesControlCharactersAndQuotes) {
  EXPECT_EQ(writeJson(std::string("a\"b\\c\n\t\x01", 8)), "\"a\\\"b\\\\c\\n\\t\\u0001\"");
}

TEST(JsonWriter, ReplacesInvalidUtf8WithReplacementCharacter) {
  EXPECT_EQ(writeJson(std::string("ok\xFF"
                                  "x")),
            "\"ok\xEF\xBF\xBDx\"");
  // A truncated sequence is one replacement, and the next byte survives.
  EXPECT_EQ(writeJson(std::string("\xE2\x82"
                                  "a")),
            "\"\xEF\xBF\xBD"
            "a\"");
  // UTF-16 surrogates encoded in UTF-8 and overlong forms are ill-formed.
  EXPECT_EQ(writeJson(std::string("\xED\xA0\x80")), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");
  EXPECT_EQ(writeJson(std::string("\xC0\xAF")), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");
  EXPECT_EQ(writeJson(std::string("\xF0\x9F\x91\xBB")), "\"\xF0\x9F\x91\xBB\"");
}

TEST(JsonWriter, WritesNumbersBooleansAndEmptyContainers) {
  json document = {{"big", UINT64_MAX},       {"negative", -3}, {"whole", 3.0},
                   {"fraction", 1.5},         {"yes", true},    {"list", json::array()},
                   {"record", json::object()}};
  EXPECT_EQ(writeJson(document),
            "{\n  \"big\" : 18446744073709551615,\n  \"fraction\" : 1.5,\n  \"list\" : [],\n"
            "  \"negative\" : -3,\n  \"record\" : {},\n  \"whole\" : 3,\n  \"yes\" : true\n}");
}

TEST(JsonWriter, RefusesValuesNestedTooDeeplyWithoutTakingTheStack) {
  // nlohmann builds and frees deep values without recursion; the writer must
  // not recurse through them either.
  json deep = json::array();
  for (int level = 0; level < 100'000; ++level) deep = json::array({std::move(deep)});
  EXPECT_THROW(writeJson(deep), std::invalid_argument);
  json object = json::object();
  for (int level = 0; level < 100'000; ++level) object = json{{"a", std::move(object)}};
  EXPECT_THROW(writeJson(object, {.escapeSlashes = true}), std::invalid_argument);

  json fine = 1;
  for (int level = 0; level < 300; ++level) fine = json::array({std::move(fine)});
  const auto text = writeJson(fine);
  EXPECT_EQ(json::parse(text), fine);
}

TEST(JsonWriter, RefusesNonFiniteNumbers) {
  EXPECT_THROW(writeJson(json(std::numeric_limits<double>::infinity())), std::invalid_argument);
}

// Log lines and MCP messages are split on line feeds by their readers, and the
// kill log's fields are read in the order they were written.
TEST(JsonWriter, CompactFormIsOneLineInTheValuesOwnKeyOrder) {
  nlohmann::ordered_json line;
  line["ts"] = "2026-12-08T10:00:00Z";
  line["action"] = "kill";
  line["cmd"] = std::string("a\nb/c\xff");
  EXPECT_EQ(
      writeCompactJson(line),
      "{\"ts\":\"2026-12-08T10:00:00Z\",\"action\":\"kill\",\"cmd\":\"a\\nb/c\xef\xbf\xbd\"}");
  EXPECT_EQ(writeCompactJson(json::parse(R"({"b": [1, 2], "a": null})")),
            R"({"a":null,"b":[1,2]})");
}

}  // namespace
}  // namespace glimmet
