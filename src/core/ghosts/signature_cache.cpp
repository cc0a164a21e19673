// The cache holds a header, the digest of the signature file it was made
// from, the digest of the rest (a torn or damaged file is refused before PCRE2
// sees its codes, which it would trust), the decoded set, and the patterns as
// PCRE2 serialized them.
#include "core/ghosts/signature_cache.h"

#include "core/util/byte_codec.h"
#include "core/util/sha256.h"
#include "platform/files.h"

namespace glimmet::signature_cache {
namespace {

constexpr std::string_view kMagic = "glimmet compiled signatures 1\n";
constexpr std::size_t kDigestBytes = 64;  // hex
// Far above a real cache (some 60 KB for the shipped file).
constexpr std::size_t kMaxCacheBytes = 16 * 1024 * 1024;

using Kind = SignatureSet::AgentRoot::Kind;

void writeSet(ByteWriter& out, const SignatureSet& set) {
  out.number(static_cast<std::uint64_t>(set.version));
  out.number(set.agentRoots.size());
  for (const auto& root : set.agentRoots) {
    out.text(root.id);
    out.text(root.agent);
    out.number(static_cast<std::uint64_t>(root.kind));
    out.texts(root.exeBasenames);
    out.texts(root.exePathContains);
    out.texts(root.argvPatterns);
    out.flag(root.verified);
    out.texts(root.helperArgvPatterns);
  }
  out.number(set.ghosts.size());
  for (const auto& ghost : set.ghosts) {
    out.text(ghost.id);
    out.text(ghost.label);
    out.texts(ghost.patterns);
    out.texts(ghost.exePatterns);
    out.flag(ghost.requiresGhostAncestor);
    out.flag(ghost.verified);
  }
  out.number(set.devServers.size());
  for (const auto& server : set.devServers) {
    out.text(server.id);
    out.text(server.framework);
    out.texts(server.patterns);
    out.number(server.ports.size());
    for (const auto port : server.ports) out.number(port);
  }
  out.number(set.envHints.size());
  for (const auto& hint : set.envHints) {
    out.text(hint.agent);
    out.texts(hint.variables);
    out.texts(hint.prefixes);
    out.flag(hint.requireAll.has_value());
    if (hint.requireAll) out.texts(*hint.requireAll);
    out.flag(hint.anyValueContains.has_value());
    if (hint.anyValueContains) {
      out.text(hint.anyValueContains->namePrefix);
      out.text(hint.anyValueContains->text);
    }
    out.flag(hint.verified);
  }
  out.number(set.pathHints.size());
  for (const auto& hint : set.pathHints) {
    out.text(hint.agent);
    out.texts(hint.patterns);
  }
}

Kind kindOf(std::uint64_t value) {
  switch (value) {
    case static_cast<std::uint64_t>(Kind::agent):
      return Kind::agent;
    case static_cast<std::uint64_t>(Kind::ide):
      return Kind::ide;
    case static_cast<std::uint64_t>(Kind::terminal):
      return Kind::terminal;
  }
  throw ByteCodecError("not a kind");
}

SignatureSet readSet(ByteReader& in) {
  SignatureSet set;
  set.version = static_cast<std::int64_t>(in.number());
  set.agentRoots.resize(in.count());
  for (auto& root : set.agentRoots) {
    root.id = in.text();
    root.agent = in.text();
    root.kind = kindOf(in.number());
    root.exeBasenames = in.texts();
    root.exePathContains = in.texts();
    root.argvPatterns = in.texts();
    root.verified = in.flag();
    root.helperArgvPatterns = in.texts();
  }
  set.ghosts.resize(in.count());
  for (auto& ghost : set.ghosts) {
    ghost.id = in.text();
    ghost.label = in.text();
    ghost.patterns = in.texts();
    ghost.exePatterns = in.texts();
    ghost.requiresGhostAncestor = in.flag();
    ghost.verified = in.flag();
  }
  set.devServers.resize(in.count());
  for (auto& server : set.devServers) {
    server.id = in.text();
    server.framework = in.text();
    server.patterns = in.texts();
    server.ports.resize(in.count());
    for (auto& port : server.ports) port = static_cast<std::uint16_t>(in.number());
  }
  set.envHints.resize(in.count());
  for (auto& hint : set.envHints) {
    hint.agent = in.text();
    hint.variables = in.texts();
    hint.prefixes = in.texts();
    if (in.flag()) hint.requireAll = in.texts();
    if (in.flag()) {
      auto namePrefix = in.text();
      hint.anyValueContains =
          SignatureSet::EnvHint::ValueContains{std::move(namePrefix), in.text()};
    }
    hint.verified = in.flag();
  }
  set.pathHints.resize(in.count());
  for (auto& hint : set.pathHints) {
    hint.agent = in.text();
    hint.patterns = in.texts();
  }
  return set;
}

}  // namespace

std::string encode(std::string_view source, const SignatureEngine& engine) {
  ByteWriter body;
  writeSet(body, engine.set());
  body.text(Regex::serialize(engine.regexes()));
  std::string bytes(kMagic);
  bytes += sha256Hex(source);
  bytes += sha256Hex(body.bytes());
  bytes += body.bytes();
  return bytes;
}

std::optional<SignatureEngine> read(const std::filesystem::path& file, std::string_view source) {
  // PCRE2 trusts serialized codes as its own, so only a file that only this
  // user could have written is read: a cache folder on a shared disk must not
  // let another user hand us code to run.
  const auto bytes = platform::readOwnFile(file, kMaxCacheBytes);
  if (!bytes) return std::nullopt;
  try {
    ByteReader in(*bytes);
    if (in.take(kMagic.size()) != kMagic) return std::nullopt;
    if (in.take(kDigestBytes) != sha256Hex(source)) return std::nullopt;
    const auto digest = in.take(kDigestBytes);
    if (sha256Hex(in.rest()) != digest) return std::nullopt;
    auto set = readSet(in);
    const auto codes = in.take(in.count());
    if (!in.rest().empty()) return std::nullopt;
    auto regexes = Regex::deserialize(codes, SignatureEngine::patternsOf(set));
    return SignatureEngine::assemble(std::move(set), std::move(regexes));
  } catch (const ByteCodecError&) {
    return std::nullopt;
  } catch (const RegexError&) {
    return std::nullopt;
  } catch (const SignatureFileError&) {
    return std::nullopt;
  }
}

void write(const std::filesystem::path& file, std::string_view source,
           const SignatureEngine& engine) {
  try {
    platform::createDirectories(file.parent_path(), 0700);
    platform::writeFileAtomically(file, encode(source, engine), 0600);
  } catch (const std::exception&) {
    // Only the next start is slower.
  }
}

}  // namespace glimmet::signature_cache
