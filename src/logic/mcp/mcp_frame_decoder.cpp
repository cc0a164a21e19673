// Message framing for the MCP server's input.
#include "logic/mcp/mcp_frame_decoder.h"

#include <algorithm>
#include <charconv>

#include "core/util/ascii.h"

namespace glimmet {
namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_';
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// "Name: value" with a token name; the position of the colon, or nothing.
std::optional<std::size_t> headerColon(std::string_view line) {
  const auto colon = line.find(':');
  if (colon == 0 || colon == std::string_view::npos) return std::nullopt;
  if (!std::all_of(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(colon),
                   isNameCharacter))
    return std::nullopt;
  return colon;
}

// Plain decimal digits only: a sign, a fraction or an overflow is no length.
std::optional<std::uint64_t> contentLength(std::string_view text) {
  text = trimmed(text);
  if (text.empty() || !std::all_of(text.begin(), text.end(), isDigit)) return std::nullopt;
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

void MCPFrameDecoder::feed(std::string_view bytes) {
  if (skipBody_ > 0) {
    const auto dropped = std::min<std::uint64_t>(skipBody_, bytes.size());
    skipBody_ -= dropped;
    bytes.remove_prefix(static_cast<std::size_t>(dropped));
  }
  if (discardingLine_) {
    const auto lineFeed = bytes.find('\n');
    if (lineFeed == std::string_view::npos) return;
    discardingLine_ = false;
    bytes.remove_prefix(lineFeed + 1);
  }
  // Taken bytes are erased in bulk, so many small messages in one read cost
  // one move, not one each.
  if (start_ > 0 && start_ * 2 >= buffer_.size()) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  buffer_.append(bytes);
}

void MCPFrameDecoder::consume(std::size_t count) {
  start_ += count;
  scanned_ = 0;
  if (start_ == buffer_.size()) {
    buffer_.clear();
    start_ = 0;
  }
}

void MCPFrameDecoder::dropAll() {
  buffer_.clear();
  buffer_.shrink_to_fit();
  start_ = 0;
  scanned_ = 0;
}

std::optional<MCPMessage> MCPFrameDecoder::next() {
  while (true) {
    auto rest = pending();
    // Blank lines between messages (a CRLF after a JSON line, say) are noise.
    std::size_t blank = 0;
    while (blank < rest.size() && isBlank(rest[blank])) ++blank;
    if (blank > 0) {
      consume(blank);
      rest = pending();
    }
    if (rest.empty()) return std::nullopt;
    bool progressed = false;
    // A "[" line is taken as a message too, so that a batch gets an answer
    // ("Parse error": the server takes single objects) instead of silence.
    const bool isLine = rest.front() == '{' || rest.front() == '[';
    auto message = isLine ? nextLine(rest, progressed) : nextFrame(rest, progressed);
    if (message)
      return MCPMessage{std::move(*message), isLine ? MCPFraming::line : MCPFraming::contentLength};
    if (!progressed) return std::nullopt;
  }
}

std::optional<std::string> MCPFrameDecoder::nextLine(std::string_view rest, bool& progressed) {
  const auto lineFeed = rest.find('\n', scanned_);
  if (lineFeed == std::string_view::npos) {
    if (rest.size() > kMaxMessageBytes) {
      dropAll();
      discardingLine_ = true;
      progressed = true;
    } else {
      scanned_ = rest.size();
    }
    return std::nullopt;
  }
  if (lineFeed > kMaxMessageBytes) {
    consume(lineFeed + 1);
    progressed = true;
    return std::nullopt;
  }
  std::string message(rest.substr(0, lineFeed));
  consume(lineFeed + 1);
  return message;
}

std::optional<std::string> MCPFrameDecoder::nextFrame(std::string_view rest, bool& progressed) {
  std::optional<std::uint64_t> length;
  bool sawLength = false;
  std::size_t position = 0;
  while (true) {
    const auto lineFeed = rest.find('\n', position);
    if (lineFeed == std::string_view::npos || lineFeed > kMaxHeaderBytes) {
      if (rest.size() > kMaxHeaderBytes) {
        // Not a header block any client would send: drop it and, when its line
        // has not ended yet, the rest of that line as it arrives.
        if (lineFeed == std::string_view::npos) {
          dropAll();
          discardingLine_ = true;
        } else {
          consume(lineFeed + 1);
        }
        progressed = true;
      }
      return std::nullopt;
    }
    auto line = rest.substr(position, lineFeed - position);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    position = lineFeed + 1;
    if (line.empty()) break;
    const auto colon = headerColon(line);
    if (!colon) {
      // Neither JSON nor a header: drop through this line and look again.
      consume(position);
      progressed = true;
      return std::nullopt;
    }
    if (!sawLength && asciiLower(line.substr(0, *colon)) == "content-length") {
      sawLength = true;
      length = contentLength(line.substr(*colon + 1));
    }
  }
  progressed = true;
  if (!length || *length > kMaxSkippedBody) {
    consume(position);
    return std::nullopt;
  }
  const std::size_t available = rest.size() - position;
  if (*length > kMaxMessageBytes) {
    const auto dropped = static_cast<std::size_t>(std::min<std::uint64_t>(*length, available));
    consume(position + dropped);
    skipBody_ = *length - dropped;
    return std::nullopt;
  }
  const auto size = static_cast<std::size_t>(*length);
  if (available < size) {
    progressed = false;
    return std::nullopt;
  }
  std::string message(rest.substr(position, size));
  consume(position + size);
  return message;
}

std::string encodeMCPFrame(std::string_view body) {
  std::string frame = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  frame.append(body);
  return frame;
}

std::string encodeMCPResponse(std::string_view body, MCPFraming framing) {
  if (framing == MCPFraming::contentLength) return encodeMCPFrame(body);
  std::string line(body);
  line.push_back('\n');
  return line;
}

}  // namespace glimmet
