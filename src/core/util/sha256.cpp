// SHA-256 over libcrypto's digest functions.
#include "core/util/sha256.h"

// The digest functions themselves rather than the EVP layer: EVP pulls
// OpenSSL's provider machinery into the static binary, some 330 KB of pointer
// tables that a position-independent executable relocates, a page fault per
// 4 KiB, at every start. glimmet starts on every agent turn (notify), which
// outweighs the functions' deprecation; they compute the same digest.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>

#include <stdexcept>

namespace glimmet {

std::string sha256Hex(std::string_view bytes) {
  SHA256_CTX context;
  unsigned char digest[SHA256_DIGEST_LENGTH];
  if (SHA256_Init(&context) != 1 || SHA256_Update(&context, bytes.data(), bytes.size()) != 1 ||
      SHA256_Final(digest, &context) != 1)
    throw std::runtime_error("SHA-256 is unavailable");
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * sizeof digest);
  for (const unsigned char byte : digest) {
    hex.push_back(kHex[byte >> 4]);
    hex.push_back(kHex[byte & 0xF]);
  }
  return hex;
}

}  // namespace glimmet
