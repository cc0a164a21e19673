// Cuts the MCP server's input into messages. Clients send either one JSON
// object per line or Content-Length framed bodies, sometimes mixed, in reads
// that split or join messages anywhere. The decoder is a pure value: feed it
// bytes, take complete messages off the front.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace glimmet {

/// How a message arrived, which is how its answer goes back: a client that
/// reads one JSON object per line can't read a Content-Length frame, and one
/// that frames its requests expects framed answers.
enum class MCPFraming { line, contentLength };

struct MCPMessage {
  std::string body;
  MCPFraming framing = MCPFraming::line;

  bool operator==(const MCPMessage&) const = default;
};

class MCPFrameDecoder {
 public:
  /// The largest message kept. No tool argument comes near it; anything longer
  /// is dropped as it streams in, so a hostile client can make the server hold at
  /// most this much plus one read, never more.
  static constexpr std::size_t kMaxMessageBytes = 8 * 1024 * 1024;
  /// A header block (or a line that is not JSON) longer than this is garbage.
  static constexpr std::size_t kMaxHeaderBytes = 64 * 1024;
  /// A Content-Length above kMaxMessageBytes and up to this is believed: its body
  /// is read and thrown away, so the messages after it are found again. A larger
  /// one (2^63, say) is no real message; its header block alone is dropped.
  static constexpr std::uint64_t kMaxSkippedBody = 256ull * 1024 * 1024;

  /// Appends one read's bytes.
  void feed(std::string_view bytes);

  /// The next complete message, or nothing until more input arrives. Lines that
  /// are neither JSON nor a header, header blocks without a usable length and
  /// oversized messages are dropped on the way.
  std::optional<MCPMessage> next();

  /// Bytes held for messages that have not fully arrived (for tests and limits).
  std::size_t buffered() const { return buffer_.size() - start_; }

 private:
  std::string_view pending() const { return std::string_view(buffer_).substr(start_); }
  void consume(std::size_t count);
  void dropAll();
  std::optional<std::string> nextLine(std::string_view rest, bool& progressed);
  std::optional<std::string> nextFrame(std::string_view rest, bool& progressed);

  std::string buffer_;
  std::size_t start_ = 0;        ///< bytes before this are taken
  std::size_t scanned_ = 0;      ///< pending bytes already searched for a line feed
  bool discardingLine_ = false;  ///< inside an oversized line: drop up to its line feed
  std::uint64_t skipBody_ = 0;   ///< bytes of an oversized body still to drop
};

/// `body` framed as a Content-Length message:
/// "Content-Length: <bytes>\r\n\r\n<body>".
std::string encodeMCPFrame(std::string_view body);

/// A response in the framing of its request: the compact JSON body and one line
/// feed for a line (the body never holds a raw line feed: the writer escapes
/// them in strings and adds none between tokens), or a Content-Length frame.
std::string encodeMCPResponse(std::string_view body, MCPFraming framing);

}  // namespace glimmet
