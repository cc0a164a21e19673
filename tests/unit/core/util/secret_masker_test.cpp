#include "core/util/secret_masker.h"

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

TEST(SecretMasker, MasksThePasswordOfEveryUrlThatCarriesOne) {
  EXPECT_EQ(SecretMasker::maskArguments({"psql", "postgres://app:hunter2@db:5432/main"}),
            (Args{"psql", "postgres://app:" + kMask + "@db:5432/main"}));
  EXPECT_EQ(SecretMasker::maskArguments({"--broker=amqp://u:p%40ss@mq/vhost?x=1"}),
            (Args{"--broker=amqp://u:" + kMask + "@mq/vhost?x=1"}));
  EXPECT_EQ(SecretMasker::maskCommandLine("redis-cli -u redis://:s3cret@cache:6379"),
            "redis-cli -u redis://:" + kMask + "@cache:6379");
  EXPECT_EQ(SecretMasker::maskArguments({"sh", "-c", "curl https://me:pw@h/x http://a:b@c"}),
            (Args{"sh", "-c", "curl https://me:" + kMask + "@h/x http://a:" + kMask + "@c"}));
  // No password, a port, an @ in the path, or an empty one: nothing to hide.
  for (const std::string kept : {"https://user@github.com/x", "http://localhost:3000/",
                                 "https://h:8080/u@v", "ftp://anon:@host", "mailto:a:b@c"})
    EXPECT_EQ(SecretMasker::maskArguments({kept}), (Args{kept})) << kept;
}

TEST(SecretMasker, MasksTheShapesRealCredentialsHave) {
  const std::string github = "ghp_" + std::string("aB3dE5fG7hJ9kL1mN3pQ5rS7tU9vW1xY3zA5");
  const std::string anthropic =
      "sk-ant-api03-" + std::string("Xy7_Qw3-Er5tYu8iOp1aSd4fGh6jKl9zXc2vBn");
  const std::string jwt =
      "eyJhbGciOiJIUzI1NiIsInR5cCI6IkpXVCJ9.eyJzdWIiOiIxMjM0NTY3ODkwIiwibmFtZSI6IkpvaG4ifQ."
      "SflKxwRJSMeKKF2QT4fwpMeJf36POk6yJV_adQssw5c";
  for (const auto& secret : {github, anthropic}) {
    const auto masked = SecretMasker::maskCommandLine("gh auth --with " + secret + " done");
    EXPECT_EQ(masked.find(secret.substr(8)), std::string::npos) << secret;
  }
  EXPECT_EQ(SecretMasker::maskArguments({"curl", "-H", "Authorization: Bearer " + jwt}),
            (Args{"curl", "-H", "Authorization: Bearer " + kMask + "." + kMask + "." + kMask}));
  EXPECT_EQ(SecretMasker::maskArguments({"env", "AWS_SECRET_ACCESS_KEY=wJalrXUtnFEMI/K7MDENG",
                                         "OPENAI_API_KEY=sk-x", "PGPASSWORD=pw", "cmd"}),
            (Args{"env", "AWS_SECRET_ACCESS_KEY=" + kMask, "OPENAI_API_KEY=" + kMask,
                  "PGPASSWORD=" + kMask, "cmd"}));
  // A short -p is a port as often as a password (`-p 3000`, `docker run -p 8080:80`),
  // so its value is kept; a password flag spelt out is masked in every position.
  EXPECT_EQ(SecretMasker::maskArguments({"vite", "-p", "3000"}), (Args{"vite", "-p", "3000"}));
  EXPECT_EQ(SecretMasker::maskArguments({"--password", "a b", "--password=x", "--auth", "y"}),
            (Args{"--password", kMask, "--password=" + kMask, "--auth", kMask}));
}

TEST(SecretMasker, EmptyInputsStayEmpty) {
  EXPECT_EQ(SecretMasker::maskArguments({}), Args{});
  EXPECT_EQ(SecretMasker::maskCommandLine(""), "");
  EXPECT_EQ(SecretMasker::maskTokens(""), "");
}

}  // namespace
}  // namespace glimmet
