// JSON encoder.
#include "core/output/json_writer.h"

#include "core/util/utf8.h"

#include <charconv>
#include <cmath>
#include <stdexcept>

namespace glimmet {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Appends the UTF-8 sequence at `text[i]`, or U+FFFD for an ill-formed one, and
// returns how many bytes it used.
size_t appendSequence(std::string& out, std::string_view text, size_t i) {
  size_t consumed = 0;
  const size_t length = utf8SequenceLength(text.substr(i), consumed);
  if (length == 0) {
    out.append(kReplacement);
    return consumed;
  }
  out.append(text.substr(i, length));
  return length;
}

// Printable ASCII that is written as it is.
bool plain(unsigned char c) {
  return c >= 0x20 && c < 0x80 && c != '"' && c != '\\' && c != '/';
}

void appendString(std::string& out, std::string_view text, const JsonWriteOptions& options) {
  out.push_back('"');
  size_t i = 0;
  while (i < text.size()) {
    // Runs of plain characters, most of any text, go in at once.
    size_t run = i;
    while (run < text.size() && plain(static_cast<unsigned char>(text[run]))) ++run;
    if (run > i) {
      out.append(text.substr(i, run - i));
      i = run;
      continue;
    }
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      i += appendSequence(out, text, i);
      continue;
    }
    switch (c) {
      case '"':
        out.append("\\\"");
        break;
      case '\\':
        out.append("\\\\");
        break;
      case '\n':
        out.append("\\n");
        break;
      case '\r':
        out.append("\\r");
        break;
      case '\t':
        out.append("\\t");
        break;
      case '\b':
        out.append("\\b");
        break;
      case '\f':
        out.append("\\f");
        break;
      case '/':
        out.append(options.escapeSlashes ? "\\/" : "/");
        break;
      default:
        if (c < 0x20) {
          static constexpr char kHex[] = "0123456789abcdef";
          out.append("\\u00");
          out.push_back(kHex[c >> 4]);
          out.push_back(kHex[c & 0xF]);
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
    ++i;
  }
  out.push_back('"');
}

// Whole doubles are written without a fraction ("3", not "3.0"), as the
// application's encoder writes them; everything else in its shortest form.
void appendDouble(std::string& out, double value) {
  if (!std::isfinite(value)) throw std::invalid_argument("JSON can't hold NaN or infinity.");
  char buffer[64];
  std::to_chars_result result{};
  if (std::trunc(value) == value && std::fabs(value) < 1e15) {
    result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<long long>(value));
  } else {
    result = std::to_chars(buffer, buffer + sizeof buffer, value);
  }
  out.append(buffer, result.ptr);
}

template <typename Integer>
void appendInteger(std::string& out, Integer value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

// Far deeper than any document or shared file; the bound keeps a hostile value
// from taking the call stack (each level is a few frames) or the memory that
// its indentation would cost.
constexpr int kMaxWriteDepth = 512;

void appendIndent(std::string& out, int depth) {
  out.append(static_cast<size_t>(depth) * 2, ' ');
}

// One element per line, indented one level below the brackets; empty
// containers stay on one line ("[]", "{}").
template <typename AppendElement>
void appendContainer(std::string& out, const nlohmann::json& value, int depth, char open,
                     char close, AppendElement appendElement) {
  out.push_back(open);
  if (value.empty()) {
    out.push_back(close);
    return;
  }
  out.push_back('\n');
  bool first = true;
  for (const auto& element : value.items()) {
    if (!first) out.append(",\n");
    first = false;
    appendIndent(out, depth + 1);
    appendElement(element);
  }
  out.push_back('\n');
  appendIndent(out, depth);
  out.push_back(close);
}

void appendValue(std::string& out, const nlohmann::json& value, int depth,
                 const JsonWriteOptions& options) {
  using Type = nlohmann::json::value_t;
  if (depth > kMaxWriteDepth)
    throw std::invalid_argument("This value is nested too deeply to be written as JSON.");
  switch (value.type()) {
    case Type::null:
      out.append("null");
      break;
    case Type::boolean:
      out.append(value.get<bool>() ? "true" : "false");
      break;
    case Type::number_integer:
      appendInteger(out, value.get<int64_t>());
      break;
    case Type::number_unsigned:
      appendInteger(out, value.get<uint64_t>());
      break;
    case Type::number_float:
      appendDouble(out, value.get<double>());
      break;
    case Type::string:
      appendString(out, value.get_ref<const std::string&>(), options);
      break;
    case Type::array:
      appendContainer(out, value, depth, '[', ']', [&](const auto& element) {
        appendValue(out, element.value(), depth + 1, options);
      });
      break;
    case Type::object:
      appendContainer(out, value, depth, '{', '}', [&](const auto& element) {
        appendString(out, element.key(), options);
        out.append(" : ");
        appendValue(out, element.value(), depth + 1, options);
      });
      break;
    case Type::binary:
    case Type::discarded:
      throw std::invalid_argument("This value can't be written as JSON.");
  }
}

}  // namespace

std::string writeJson(const nlohmann::json& value, JsonWriteOptions options) {
  std::string out;
  appendValue(out, value, 0, options);
  return out;
}

void appendValidUtf8(std::string& out, std::string_view text) {
  for (size_t i = 0; i < text.size();) i += appendSequence(out, text, i);
}

std::string writeCompactJson(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string writeCompactJson(const nlohmann::ordered_json& value) {
  return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

void appendJsonString(std::string& out, std::string_view text, JsonWriteOptions options) {
  appendString(out, text, options);
}

void appendJsonNumber(std::string& out, double value) {
  appendDouble(out, value);
}

}  // namespace glimmet
