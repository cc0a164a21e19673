#include "core/ghosts/signature_cache.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "core/util/sha256.h"
#include "support/shipped_data.h"
#include "support/temp_dir.h"

namespace glimmet {
namespace {

constexpr std::size_t kHeaderBytes = 30 + 64 + 64;  // the magic line, then two digests

std::string shippedSource() {
  return *platform::readFile(std::string(GLIMMET_SOURCE_DIR) + "/data/signatures.json", 1 << 24);
}

// The cache bytes with `change` applied to the body, the body digest made
// right again: what a file looks like when only the inner checks can refuse it.
std::string withBody(const std::string& cache, const std::function<void(std::string&)>& change) {
  std::string body = cache.substr(kHeaderBytes);
  change(body);
  return cache.substr(0, kHeaderBytes - 64) + sha256Hex(body) + body;
}

struct SignatureCache : ::testing::Test {
  testing::TempDir dir;
  std::filesystem::path file = dir / "cache/signatures.cache";
  std::string source = shippedSource();
  const SignatureEngine& shipped = testing::shippedSignatures();
};

TEST_F(SignatureCache, ReadsBackTheSameEngine) {
  signature_cache::write(file, source, shipped);
  const auto cached = signature_cache::read(file, source);
  ASSERT_TRUE(cached);
  const auto& set = cached->set();
  EXPECT_EQ(SignatureEngine::patternsOf(set), SignatureEngine::patternsOf(shipped.set()));
  ASSERT_EQ(set.agentRoots.size(), shipped.set().agentRoots.size());
  EXPECT_EQ(set.agentRoots.back().exePathContains, shipped.set().agentRoots.back().exePathContains);
  EXPECT_EQ(set.devServers.front().ports, shipped.set().devServers.front().ports);
  ASSERT_EQ(set.envHints.size(), shipped.set().envHints.size());
  for (std::size_t i = 0; i < set.envHints.size(); ++i) {
    EXPECT_EQ(set.envHints[i].requireAll, shipped.set().envHints[i].requireAll);
    EXPECT_EQ(set.envHints[i].anyValueContains.has_value(),
              shipped.set().envHints[i].anyValueContains.has_value());
  }
  const auto regexes = cached->regexes();
  ASSERT_EQ(regexes.size(), shipped.regexes().size());
  for (std::size_t i = 0; i < regexes.size(); ++i)
    EXPECT_EQ(regexes[i]->pattern(), shipped.regexes()[i]->pattern());
  const std::vector<std::string> viteArguments = {"node", "/p/node_modules/.bin/vite", "--port"};
  const MatchInput vite{"node", std::nullopt, viteArguments};
  EXPECT_EQ(cached->framework(vite), shipped.framework(vite));
  EXPECT_TRUE(cached->framework(vite));
  const std::vector<std::string> eslintArguments = {"node", "/x/eslintServer.js", "--stdio"};
  const MatchInput eslint{"node", std::nullopt, eslintArguments};
  EXPECT_EQ(cached->ghostSignature(eslint), shipped.ghostSignature(eslint));
  EXPECT_TRUE(cached->ghostSignature(eslint));
}

TEST_F(SignatureCache, RefusesAFileMadeForOtherBytesOrDamaged) {
  const std::string good = signature_cache::encode(source, shipped);
  dir.write("cache/signatures.cache", good);
  EXPECT_FALSE(signature_cache::read(file, source + " "));
  EXPECT_FALSE(signature_cache::read(dir / "cache/none", source));

  for (const std::size_t size :
       {std::size_t{0}, std::size_t{29}, kHeaderBytes, good.size() / 2, good.size() - 1}) {
    dir.write("cache/signatures.cache", good.substr(0, size));
    EXPECT_FALSE(signature_cache::read(file, source)) << "cut at " << size;
  }
  std::string flipped = good;
  flipped[good.size() / 2] ^= 0x20;
  dir.write("cache/signatures.cache", flipped);
  EXPECT_FALSE(signature_cache::read(file, source));
}

TEST_F(SignatureCache, RefusesWholeFilesWhoseContentIsWrong) {
  const std::string good = signature_cache::encode(source, shipped);
  // Codes of another PCRE2 version: its serialized header names the version.
  const std::string otherPCRE2 = withBody(good, [](std::string& body) {
    const std::size_t codes = body.find("S2RP");  // PCRE2's serialized magic, little-endian
    ASSERT_NE(codes, std::string::npos);
    body[codes + 4] ^= 0x7f;
  });
  // A count that runs past the end, and bytes left over after the codes.
  const std::string hugeCount =
      withBody(good, [](std::string& body) { body.replace(8, 8, std::string(8, '\xff')); });
  const std::string trailing = withBody(good, [](std::string& body) { body += "x"; });
  for (const auto& bytes : {otherPCRE2, hugeCount, trailing}) {
    dir.write("cache/signatures.cache", bytes);
    EXPECT_FALSE(signature_cache::read(file, source));
  }
}

// PCRE2 runs serialized codes as they come, so a cache someone else could
// have written is never read, however right its digests are.
TEST_F(SignatureCache, OnlyAFileOfTheUsersOwnIsRead) {
  namespace fs = std::filesystem;
  signature_cache::write(file, source, shipped);
  ASSERT_TRUE(signature_cache::read(file, source));

  fs::permissions(file, fs::perms::group_write, fs::perm_options::add);
  EXPECT_FALSE(signature_cache::read(file, source));
  fs::permissions(file, fs::perms::group_write, fs::perm_options::remove);

  fs::create_symlink(file, dir / "cache/link");
  EXPECT_FALSE(signature_cache::read(dir / "cache/link", source));

  if (::geteuid() == 0) {  // as root, hand the file to nobody
    ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
    EXPECT_FALSE(signature_cache::read(file, source));
  }
}

TEST_F(SignatureCache, LoadingWritesTheCacheAndAnEditedFileMissesIt) {
  const auto env = Environment()
                       .with("XDG_CACHE_HOME", (dir / "xdg").string())
                       .with("GLIMMET_SIGNATURES", (dir / "signatures.json").string());
  dir.write("signatures.json", source);
  const auto cacheFile = dir / "xdg/glimmet/signatures.cache";
  EXPECT_EQ(SignatureEngine::load(env, {}).set().agentRoots.size(),
            shipped.set().agentRoots.size());
  ASSERT_TRUE(signature_cache::read(cacheFile, source));

  // Same size, other content: the cache is for the old bytes and is rewritten.
  std::string edited = source;
  edited.replace(edited.find("\"claude-code\""), 13, "\"claude-kode\"");
  dir.write("signatures.json", edited);
  EXPECT_EQ(SignatureEngine::load(env, {}).set().agentRoots.front().id, "claude-kode");
  EXPECT_TRUE(signature_cache::read(cacheFile, edited));

  // A damaged cache is read past and made whole again.
  dir.write("xdg/glimmet/signatures.cache", "glimmet compiled signatures 1\ngarbage");
  EXPECT_EQ(SignatureEngine::load(env, {}).set().agentRoots.front().id, "claude-kode");
  EXPECT_TRUE(signature_cache::read(cacheFile, edited));
}

TEST_F(SignatureCache, AFileThatDoesNotCompileIsNeverCached) {
  const auto env = Environment()
                       .with("XDG_CACHE_HOME", (dir / "xdg").string())
                       .with("GLIMMET_SIGNATURES", (dir / "signatures.json").string());
  std::string broken = source;
  broken.replace(broken.find("vtsls("), 6, "vtsls((");
  dir.write("signatures.json", broken);
  EXPECT_THROW(SignatureEngine::load(env, {}), SignatureFileError);
  EXPECT_FALSE(std::filesystem::exists(dir / "xdg/glimmet/signatures.cache"));
}

}  // namespace
}  // namespace glimmet
