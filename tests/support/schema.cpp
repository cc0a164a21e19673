#include "support/schema.h"

#include "support/temp_dir.h"

namespace glimmet::testing {

std::string schemaProblems(const std::string& definition, const std::string& document) {
  const std::string source = GLIMMET_SOURCE_DIR;
  std::vector<std::string> argv = {"/usr/bin/python3", source + "/tests/tools/validate_json.py",
                                   source + "/docs/cli-schema.json"};
  TempDir dir;
  if (!definition.empty()) {
    argv.push_back(definition);
    argv.push_back(dir.write("document.json", document).string());
  }
  const auto result = runProcess(argv, Environment().with("PATH", "/usr/bin:/bin"));
  if (result.status == 0) return {};
  return result.out + result.err + "(validator status " + std::to_string(result.status) + ")";
}

}  // namespace glimmet::testing
