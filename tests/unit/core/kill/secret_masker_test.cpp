#include "core/kill/secret_masker.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

using Args = std::vector<std::string>;
const std::string kMask = "\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2";

TEST(SecretMasker, MasksTheValueOfSecretFlags) {
  EXPECT_EQ(SecretMasker::maskArguments({"app", "--token", "abc", "--port", "3000"}),
            (Args{"app", "--token", kMask, "--port", "3000"}));
  EXPECT_EQ(SecretMasker::maskArguments({"--token=abc"}), (Args{"--token=" + kMask}));
  EXPECT_EQ(SecretMasker::maskArguments({"--tokenizer", "bpe"}), (Args{"--tokenizer", "bpe"}));
  EXPECT_EQ(SecretMasker::maskArguments({"--api_key", "v"}), (Args{"--api_key", kMask}));
  EXPECT_EQ(SecretMasker::maskArguments({"--GitHub-Token", "v"}), (Args{"--GitHub-Token", kMask}));
  EXPECT_EQ(SecretMasker::maskArguments({"-password", "v"}), (Args{"-password", kMask}));
  EXPECT_EQ(SecretMasker::maskArguments({"--monkey", "v"}), (Args{"--monkey", "v"}));
  EXPECT_EQ(SecretMasker::maskArguments({"--client_secret=s3", "x"}),
            (Args{"--client_secret=" + kMask, "x"}));
  EXPECT_EQ(SecretMasker::maskArguments({"run", "--auth"}), (Args{"run", "--auth"}));
  EXPECT_EQ(SecretMasker::maskArguments({"--", "--=x"}), (Args{"--", "--=x"}));
}

TEST(SecretMasker, MasksSecretAssignments) {
  EXPECT_EQ(SecretMasker::maskArguments({"BUILD_API_KEY=anything"}),
            (Args{"BUILD_API_KEY=" + kMask}));
  EXPECT_EQ(SecretMasker::maskArguments({"db_password=hunter2"}), (Args{"db_password=" + kMask}));
  EXPECT_EQ(SecretMasker::maskArguments({"NODE_ENV=development"}), (Args{"NODE_ENV=development"}));
  EXPECT_EQ(SecretMasker::maskArguments({"=KEY=value"}), (Args{"=KEY=value"}));
}

TEST(SecretMasker, MasksLongRunsOfLettersAndDigitsOnly) {
  const std::string token(20, 'a');
  const std::string mixed = token + std::string(20, '7');
  EXPECT_EQ(SecretMasker::maskTokens("Bearer " + mixed + " end"), "Bearer " + kMask + " end");
  EXPECT_EQ(SecretMasker::maskTokens(std::string(40, 'a')), std::string(40, 'a'));
  EXPECT_EQ(SecretMasker::maskTokens(std::string(40, '1')), std::string(40, '1'));
  const std::string short31 = std::string(30, 'a') + "1";
  EXPECT_EQ(SecretMasker::maskTokens(short31), short31);
  EXPECT_EQ(SecretMasker::maskTokens("x=" + mixed + "/" + mixed), kMask + "/" + kMask);
  EXPECT_EQ(SecretMasker::maskArguments({"--url", "https://h/" + mixed}),
            (Args{"--url", "https://h/" + kMask}));
}

TEST(SecretMasker, LooksInsideArgumentsThatHoldScripts) {
  EXPECT_EQ(SecretMasker::maskArguments({"sh", "-c", "deploy --password  hunter2 now"}),
            (Args{"sh", "-c", "deploy --password " + kMask + " now"}));
  EXPECT_EQ(SecretMasker::maskCommandLine("  node  server.js --key k  "),
            "node server.js --key " + kMask);
}

TEST(SecretMasker, EmptyInputsStayEmpty) {
  EXPECT_EQ(SecretMasker::maskArguments({}), Args{});
  EXPECT_EQ(SecretMasker::maskCommandLine(""), "");
  EXPECT_EQ(SecretMasker::maskTokens(""), "");
}

}  // namespace
}  // namespace glimmet
