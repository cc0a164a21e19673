// Output sink.
#include "core/output/output.h"

#include "core/output/json_writer.h"
#include "core/output/text.h"

namespace glimmet {

// Every line passes through printable: names, paths and command lines come from
// processes and folders of anyone's making, and one raw line feed in them would
// forge a line of our output.
void Output::line(std::string_view text) {
  stream_ << printable(text) << '\n';
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
