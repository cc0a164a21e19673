#include "logic/mcp/mcp_frame_decoder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace glimmet {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::vector<std::string> drain(MCPFrameDecoder& decoder) {
  std::vector<std::string> messages;
  while (auto message = decoder.next()) messages.push_back(message->body);
  return messages;
}

std::vector<std::string> decode(std::string_view bytes) {
  MCPFrameDecoder decoder;
  decoder.feed(bytes);
  return drain(decoder);
}

TEST(MCPFrameDecoder, TakesLinesAndFramesFromOneRead) {
  EXPECT_THAT(decode("{\"a\":1}\nContent-Length: 7\r\n\r\n{\"b\":2}{\"c\":3}\n"),
              ElementsAre("{\"a\":1}", "{\"b\":2}", "{\"c\":3}"));
}

TEST(MCPFrameDecoder, EachMessageKnowsItsFramingAndIsAnsweredInIt) {
  MCPFrameDecoder decoder;
  decoder.feed("{\"a\":1}\nContent-Length: 7\r\n\r\n{\"b\":2}[3]\n");
  EXPECT_EQ(decoder.next(), (MCPMessage{"{\"a\":1}", MCPFraming::line}));
  EXPECT_EQ(decoder.next(), (MCPMessage{"{\"b\":2}", MCPFraming::contentLength}));
  EXPECT_EQ(decoder.next(), (MCPMessage{"[3]", MCPFraming::line}));
  EXPECT_EQ(decoder.next(), std::nullopt);
  EXPECT_EQ(encodeMCPResponse("{\"id\":1}", MCPFraming::line), "{\"id\":1}\n");
  EXPECT_EQ(encodeMCPResponse("{\"id\":1}", MCPFraming::contentLength),
            "Content-Length: 8\r\n\r\n{\"id\":1}");
}

TEST(MCPFrameDecoder, WaitsForTheRestOfAFrameOrLine) {
  MCPFrameDecoder decoder;
  decoder.feed("Content-Length: 10\r\n\r\n{\"pi");
  EXPECT_THAT(drain(decoder), IsEmpty());
  decoder.feed("ng\":1}");
  EXPECT_THAT(drain(decoder), ElementsAre("{\"ping\":1}"));
  decoder.feed("{\"x\":");
  EXPECT_THAT(drain(decoder), IsEmpty());
  decoder.feed("2}\n");
  EXPECT_THAT(drain(decoder), ElementsAre("{\"x\":2}"));
  EXPECT_EQ(decoder.buffered(), 0u);
}

TEST(MCPFrameDecoder, SplitsAnywhereAndStillFindsEveryMessage) {
  const std::string input =
      "{\"a\":1}\ncontent-length:   3 \r\nX-Other: y\r\n\r\n{ }\r\n{\"b\":2}\n";
  for (std::size_t cut = 0; cut <= input.size(); ++cut) {
    MCPFrameDecoder decoder;
    decoder.feed(input.substr(0, cut));
    auto messages = drain(decoder);
    decoder.feed(input.substr(cut));
    for (auto& message : drain(decoder)) messages.push_back(message);
    EXPECT_THAT(messages, ElementsAre("{\"a\":1}", "{ }", "{\"b\":2}")) << "cut at " << cut;
  }
}

TEST(MCPFrameDecoder, DropsHeaderBlocksWithoutAUsableLength) {
  for (const char* header :
       {"Content-Length: -5", "Content-Length: twelve", "Content-Length: 9223372036854775808",
        "Content-Length: 99999999999999999999999", "Content-Type: json"}) {
    EXPECT_THAT(decode(std::string(header) + "\r\n\r\n{\"ok\":1}\n"), ElementsAre("{\"ok\":1}"))
        << header;
  }
}

TEST(MCPFrameDecoder, DropsLinesThatAreNeitherJsonNorHeaders) {
  EXPECT_THAT(decode("hello there\n\x01\x02\xff\n{\"ok\":1}\n"), ElementsAre("{\"ok\":1}"));
}

TEST(MCPFrameDecoder, DropsAnOversizedLineAsItStreamsInAndStaysBounded) {
  MCPFrameDecoder decoder;
  decoder.feed("{\"huge\":\"");
  const std::string chunk(65536, 'x');
  for (int i = 0; i < 160; ++i) {  // 10 MB without a line feed
    decoder.feed(chunk);
    EXPECT_THAT(drain(decoder), IsEmpty());
    EXPECT_LE(decoder.buffered(), MCPFrameDecoder::kMaxMessageBytes + chunk.size());
  }
  decoder.feed("\"}\n{\"after\":1}\n");
  EXPECT_THAT(drain(decoder), ElementsAre("{\"after\":1}"));
}

TEST(MCPFrameDecoder, SkipsTheBodyOfAnOversizedFrame) {
  MCPFrameDecoder decoder;
  const std::size_t size = MCPFrameDecoder::kMaxMessageBytes + 100;
  decoder.feed("Content-Length: " + std::to_string(size) + "\r\n\r\n");
  decoder.feed(std::string(size, '{'));
  EXPECT_THAT(drain(decoder), IsEmpty());
  EXPECT_EQ(decoder.buffered(), 0u);
  decoder.feed("{\"after\":1}\n");
  EXPECT_THAT(drain(decoder), ElementsAre("{\"after\":1}"));
}

TEST(MCPFrameDecoder, DropsEndlessGarbageWithoutALineFeed) {
  MCPFrameDecoder decoder;
  for (int i = 0; i < 4; ++i) {
    decoder.feed(std::string(65536, 'z'));
    EXPECT_THAT(drain(decoder), IsEmpty());
  }
  EXPECT_LE(decoder.buffered(), MCPFrameDecoder::kMaxHeaderBytes + 65536);
  decoder.feed("zz\n{\"after\":1}\n");
  EXPECT_THAT(drain(decoder), ElementsAre("{\"after\":1}"));
}

TEST(MCPFrameDecoder, FramesResponsesWithTheirByteLength) {
  EXPECT_EQ(encodeMCPFrame("{\"é\":1}"), "Content-Length: 8\r\n\r\n{\"é\":1}");
}

}  // namespace
}  // namespace glimmet
