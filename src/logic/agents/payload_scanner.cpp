// The payload reader: a validating scanner that pulls pieces as it needs them.
#include "logic/agents/payload_scanner.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace glimmet {
namespace {

// Bytes that end the plain run inside a string: the quote, the backslash,
// control characters (which JSON forbids unescaped) and every non-ASCII byte,
// whose UTF-8 sequence is then checked.
constexpr std::array<bool, 256> kStringStops = [] {
  std::array<bool, 256> stops{};
  for (size_t c = 0; c < 0x20; ++c) stops[c] = true;
  for (size_t c = 0x80; c < 0x100; ++c) stops[c] = true;
  stops['"'] = true;
  stops['\\'] = true;
  return stops;
}();

// The stop bytes among the eight in `word`, as the high bit of each: the usual
// SWAR tests for a high bit, a byte below 0x20, and a byte equal to '"' or '\'.
// A borrow can only flag bytes above a real stop, so the lowest flag is exact.
uint64_t stopBytes(uint64_t word) {
  constexpr uint64_t ones = 0x0101010101010101ULL;
  constexpr uint64_t highs = 0x8080808080808080ULL;
  const auto zeroBytes = [&](uint64_t v) { return (v - ones) & ~v & highs; };
  return (word & highs) | ((word - ones * 0x20) & ~word & highs) | zeroBytes(word ^ (ones * '"')) |
         zeroBytes(word ^ (ones * '\\'));
}

// The first stop byte at or after `at`, or `end`. Plain ASCII, the bulk of any
// payload, goes sixteen bytes per step where the processor has SSE2, eight
// otherwise.
const unsigned char* plainRunEnd(const unsigned char* at, const unsigned char* end) {
#if defined(__SSE2__)
  for (; end - at >= 16; at += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    // A signed compare with 0x20 catches control bytes and every byte from 0x80.
    const __m128i stops = _mm_or_si128(_mm_cmplt_epi8(bytes, _mm_set1_epi8(0x20)),
                                       _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')),
                                                    _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\'))));
    const auto mask = static_cast<uint32_t>(_mm_movemask_epi8(stops));
    if (mask != 0) return at + std::countr_zero(mask);
  }
#endif
  for (; end - at >= 8; at += 8) {
    uint64_t word = 0;
    std::memcpy(&word, at, sizeof word);
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    const uint64_t stops = stopBytes(word);
    if (stops != 0) return at + std::countr_zero(stops) / 8;
  }
  while (at < end && !kStringStops[*at]) ++at;
  return at;
}

bool isSpace(unsigned char c) {
  return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

// Where a wanted string's text goes, with the bytes it may still take.
struct Capture {
  std::string* text = nullptr;
  size_t room = 0;
  bool cut = false;

  void keep(const void* bytes, size_t size) {
    if (text == nullptr) return;
    if (size > room) {
      size = room;
      cut = true;
      if (size == 0) return;  // full: the rest is only validated
    }
    text->append(static_cast<const char*>(bytes), size);
    room -= size;
  }
  void keep(char c) { keep(&c, 1); }

  // A cut may end inside a character: drop its first bytes.
  void finish() {
    if (text == nullptr || !cut || text->empty()) return;
    size_t lead = text->size() - 1;
    while (lead > 0 && (static_cast<unsigned char>((*text)[lead]) & 0xC0) == 0x80) --lead;
    const auto first = static_cast<unsigned char>((*text)[lead]);
    const size_t length = first < 0x80 ? 1 : first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : 2;
    if (text->size() - lead < length) text->resize(lead);
  }
};

void keepUtf8(Capture& capture, uint32_t code) {
  char bytes[4];
  size_t size = 0;
  if (code < 0x80) {
    bytes[size++] = static_cast<char>(code);
  } else if (code < 0x800) {
    bytes[size++] = static_cast<char>(0xC0 | (code >> 6));
    bytes[size++] = static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    bytes[size++] = static_cast<char>(0xE0 | (code >> 12));
    bytes[size++] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    bytes[size++] = static_cast<char>(0x80 | (code & 0x3F));
  } else {
    bytes[size++] = static_cast<char>(0xF0 | (code >> 18));
    bytes[size++] = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    bytes[size++] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    bytes[size++] = static_cast<char>(0x80 | (code & 0x3F));
  }
  capture.keep(bytes, size);
}

class Scanner {
 public:
  explicit Scanner(PayloadPieces& pieces) : pieces_(pieces) {}

  /// Whether another byte is there, pulling the next piece when this one is used up.
  bool more() {
    while (at_ == end_) {
      if (ended_) return false;
      const std::string_view piece = pieces_.next();
      if (piece.empty()) {
        ended_ = true;
        return false;
      }
      at_ = reinterpret_cast<const unsigned char*>(piece.data());
      end_ = at_ + piece.size();
    }
    return true;
  }

  bool take(unsigned char c) {
    if (at_ == end_ && !more()) return false;
    if (*at_ != c) return false;
    ++at_;
    return true;
  }

  void skipSpace() {
    if (at_ < end_ && !isSpace(*at_)) return;  // compact JSON: no space between tokens
    for (;;) {
      while (at_ < end_ && isSpace(*at_)) ++at_;
      if (at_ < end_ || !more()) return;
    }
  }

  /// A byte order mark, when the text starts with one; false for a broken one.
  bool skipByteOrderMark() { return !take(0xEF) || (take(0xBB) && take(0xBF)); }

  /// A string starting at its opening quote, its decoded text kept in `capture`.
  bool string(Capture& capture) {
    if (!take('"')) return false;
    for (;;) {
      const unsigned char* const run = at_;
      at_ = plainRunEnd(run, end_);
      capture.keep(run, static_cast<size_t>(at_ - run));
      if (at_ == end_) {
        if (!more()) return false;
        continue;
      }
      const unsigned char c = *at_++;
      if (c == '"') {
        capture.finish();
        return true;
      }
      if (c == '\\') {
        if (!escape(capture)) return false;
      } else if (c >= 0x80) {
        if (!utf8Sequence(c, capture)) return false;
      } else {
        return false;  // an unescaped control character
      }
    }
  }

  /// Any JSON value. Containers are walked with a stack of their closing bytes.
  bool value() {
    std::vector<unsigned char> open;
    for (;;) {
      skipSpace();
      const Step step = scalarOrOpen(open);
      if (step == Step::failed) return false;
      if (step == Step::opened) continue;  // the container's first value comes next
      // After a whole value: close containers, or move on to the next element.
      for (;;) {
        if (open.empty()) return true;
        skipSpace();
        if (take(open.back())) {
          open.pop_back();
          continue;
        }
        if (!take(',')) return false;
        if (open.back() == '}' && !memberKey()) return false;
        break;
      }
    }
  }

  bool peekIs(unsigned char c) { return more() && *at_ == c; }

 private:
  enum class Step { failed, whole, opened };

  // One scalar or empty container (whole), or the opening of a container that
  // has content (opened; for an object its first key is read too).
  Step scalarOrOpen(std::vector<unsigned char>& open) {
    const auto whole = [](bool ok) { return ok ? Step::whole : Step::failed; };
    if (!more()) return Step::failed;
    switch (*at_) {
      case '{':
        ++at_;
        skipSpace();
        if (take('}')) return Step::whole;
        open.push_back('}');
        return memberKey() ? Step::opened : Step::failed;
      case '[':
        ++at_;
        skipSpace();
        if (take(']')) return Step::whole;
        open.push_back(']');
        return Step::opened;
      case '"': {
        Capture nothing;
        return whole(string(nothing));
      }
      case 't':
        return whole(literal("true"));
      case 'f':
        return whole(literal("false"));
      case 'n':
        return whole(literal("null"));
      default:
        return whole(number());
    }
  }

  bool memberKey() {
    skipSpace();
    Capture nothing;
    if (!string(nothing)) return false;
    skipSpace();
    return take(':');
  }

  int nextByte() { return more() ? *at_++ : -1; }

  bool literal(std::string_view word) {
    for (const char c : word)
      if (nextByte() != static_cast<unsigned char>(c)) return false;
    return true;
  }

  bool digits() {
    size_t count = 0;
    for (;;) {
      while (at_ < end_ && *at_ >= '0' && *at_ <= '9') {
        ++at_;
        ++count;
      }
      if (at_ < end_ || !more()) return count > 0;
    }
  }

  bool number() {
    take('-');
    if (!take('0') && !digits()) return false;  // no leading zeros: "01" fails after the value
    if (take('.') && !digits()) return false;
    if (take('e') || take('E')) {
      if (!take('+')) take('-');
      if (!digits()) return false;
    }
    return true;
  }

  bool hex4(uint32_t& code) {
    code = 0;
    for (int i = 0; i < 4; ++i) {
      const int c = nextByte();
      code <<= 4;
      if (c >= '0' && c <= '9') {
        code |= static_cast<uint32_t>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        code |= static_cast<uint32_t>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        code |= static_cast<uint32_t>(c - 'A' + 10);
      } else {
        return false;
      }
    }
    return true;
  }

  bool escape(Capture& capture) {
    const int c = nextByte();
    switch (c) {
      case '"':
      case '\\':
      case '/':
        capture.keep(static_cast<char>(c));
        return true;
      case 'b':
        capture.keep('\b');
        return true;
      case 'f':
        capture.keep('\f');
        return true;
      case 'n':
        capture.keep('\n');
        return true;
      case 'r':
        capture.keep('\r');
        return true;
      case 't':
        capture.keep('\t');
        return true;
      case 'u':
        return unicodeEscape(capture);
      default:
        return false;
    }
  }

  // \uXXXX, with a UTF-16 surrogate pair for code points above the BMP. A lone
  // surrogate cannot be written as UTF-8, so it makes the text invalid.
  bool unicodeEscape(Capture& capture) {
    uint32_t code = 0;
    if (!hex4(code)) return false;
    if (code >= 0xDC00 && code <= 0xDFFF) return false;
    if (code >= 0xD800 && code <= 0xDBFF) {
      uint32_t low = 0;
      if (!take('\\') || !take('u') || !hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
    }
    keepUtf8(capture, code);
    return true;
  }

  // The rest of a well-formed UTF-8 sequence after its `lead` byte (no overlongs,
  // no surrogates, nothing above U+10FFFF).
  bool utf8Sequence(unsigned char lead, Capture& capture) {
    size_t length = 0;
    int low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    unsigned char bytes[4] = {lead, 0, 0, 0};
    for (size_t i = 1; i < length; ++i) {
      const int next = nextByte();
      if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) return false;
      bytes[i] = static_cast<unsigned char>(next);
    }
    capture.keep(bytes, length);
    return true;
  }

  PayloadPieces& pieces_;
  const unsigned char* at_ = nullptr;
  const unsigned char* end_ = nullptr;
  bool ended_ = false;
};

}  // namespace

std::optional<TopLevelStrings> readTopLevelStrings(PayloadPieces& payload,
                                                   std::span<const WantedString> wanted) {
  Scanner scanner(payload);
  if (!scanner.skipByteOrderMark()) return std::nullopt;
  scanner.skipSpace();
  if (!scanner.take('{')) return std::nullopt;
  TopLevelStrings found(wanted.size());
  scanner.skipSpace();
  if (!scanner.take('}')) {
    std::string key;
    for (;;) {
      key.clear();
      scanner.skipSpace();
      Capture keyCapture{.text = &key, .room = std::numeric_limits<size_t>::max()};
      if (!scanner.string(keyCapture)) return std::nullopt;
      scanner.skipSpace();
      if (!scanner.take(':')) return std::nullopt;
      scanner.skipSpace();
      size_t index = wanted.size();
      for (size_t i = 0; i < wanted.size(); ++i)
        if (wanted[i].key == key) index = i;
      if (index < wanted.size() && scanner.peekIs('"')) {
        std::string text;
        Capture capture{.text = &text, .room = wanted[index].longest};
        if (!scanner.string(capture)) return std::nullopt;
        found[index] = std::move(text);
      } else {
        if (!scanner.value()) return std::nullopt;
        if (index < wanted.size()) found[index].reset();  // a later non-string wins
      }
      scanner.skipSpace();
      if (scanner.take('}')) break;
      if (!scanner.take(',')) return std::nullopt;
    }
  }
  scanner.skipSpace();
  if (scanner.more()) return std::nullopt;
  return found;
}

std::optional<TopLevelStrings> readTopLevelStrings(std::string_view text,
                                                   std::span<const WantedString> wanted) {
  WholePayload whole(text);
  return readTopLevelStrings(whole, wanted);
}

}  // namespace glimmet
