// Output sink.
#include "core/output/output.h"

#include "core/output/json_writer.h"

namespace glimmet {

void Output::line(std::string_view text) {
  stream_ << text << '\n';
}

void Output::document(const nlohmann::json& document) {
  const std::string encoded = writeJson(document);
  stream_ << encoded << '\n';
}

void Output::write(std::string_view bytes) {
  stream_ << bytes;
  stream_.flush();
}

}  // namespace glimmet
