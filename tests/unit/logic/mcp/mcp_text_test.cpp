#include "logic/mcp/mcp_text.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

const std::string kMask(MCPText::mask);

TEST(MCPText, MasksSecretFlagValuesAndLongTokens) {
  EXPECT_EQ(MCPText::redact("run with --token abc123 please"),
            "run with --token " + kMask + " please");
  EXPECT_EQ(MCPText::redact("--API-KEY=sk-live-1 and -password hunter2"),
            "--API-KEY=" + kMask + " and -password " + kMask);
  EXPECT_EQ(MCPText::redact("token abcdefghij0123456789ABCDEFGHIJ012345 kept"),
            "token " + kMask + " kept");
  EXPECT_EQ(MCPText::redact("a/path/that/is/long/enough/to/be/a/token"), kMask);
}

TEST(MCPText, KeepsOrdinaryWordsAndNormalisesSpaces) {
  EXPECT_EQ(MCPText::redact("  stop   the dev\tserver  --port 3000 --verbose "),
            "stop the dev server --port 3000 --verbose");
  EXPECT_EQ(MCPText::redact("--token"), "--token");
  EXPECT_EQ(MCPText::redact("-- --"), "-- --");
  EXPECT_EQ(MCPText::redact("a sentence that is long, with punctuation, kept as it is"),
            "a sentence that is long, with punctuation, kept as it is");
  EXPECT_EQ(MCPText::redact(""), "");
}

}  // namespace
}  // namespace glimmet
