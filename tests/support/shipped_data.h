// The signature file shipped in data/, compiled once for every test that matches
// real command lines against it.
#pragma once

#include <stdexcept>
#include <string>

#include "core/ghosts/signature_engine.h"
#include "platform/files.h"

namespace glimmet::testing {

inline const SignatureEngine& shippedSignatures() {
  static const SignatureEngine engine = [] {
    const auto bytes =
        platform::readFile(std::string(GLIMMET_SOURCE_DIR) + "/data/signatures.json", 1 << 24);
    if (!bytes) throw std::runtime_error("data/signatures.json is missing");
    return SignatureEngine::fromJson(*bytes);
  }();
  return engine;
}

}  // namespace glimmet::testing
