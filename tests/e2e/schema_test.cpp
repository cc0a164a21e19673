// docs/cli-schema.json is a valid draft 2020-12 schema, and documents are held to it.
#include <gtest/gtest.h>

#include "core/output/json_writer.h"
#include "support/schema.h"

namespace glimmet {
namespace {

TEST(CliSchema, IsAValidDraft202012Schema) {
  EXPECT_EQ(testing::schemaProblems("", ""), "");
}

TEST(CliSchema, EveryDocumentCarriesSchemaOne) {
  EXPECT_EQ(testing::schemaProblems(
                "document", writeJson({{"schema", 1}, {"servers", nlohmann::json::array()}})),
            "");
  EXPECT_NE(testing::schemaProblems("document", writeJson({{"schema", 2}})), "");
  EXPECT_NE(testing::schemaProblems("document", writeJson({{"servers", nlohmann::json::array()}})),
            "");
}

TEST(CliSchema, DatesAreUtcWithWholeSeconds) {
  EXPECT_EQ(testing::schemaProblems("dateTime", "\"2026-12-06T15:07:47Z\""), "");
  EXPECT_NE(testing::schemaProblems("dateTime", "\"2026-12-06T15:07:47.5Z\""), "");
  EXPECT_NE(testing::schemaProblems("dateTime", "\"2026-12-06T17:07:47+02:00\""), "");
}

}  // namespace
}  // namespace glimmet
