#include "platform/bounded_read.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "platform/unique_fd.h"

namespace glimmet::platform {
namespace {

using namespace std::chrono_literals;

constexpr size_t kLimit = 1'048'576;
constexpr size_t kChunk = 65'536;

ReadBounds bounds(std::chrono::milliseconds silence = 2s) {
  return {.limit = kLimit, .chunk = kChunk, .silence = silence};
}

std::string readAll(BoundedReader& input) {
  std::string all;
  for (auto piece = input.next(); !piece.empty(); piece = input.next()) {
    EXPECT_LE(piece.size(), kChunk);
    all.append(piece);
  }
  return all;
}

TEST(BoundedReader, ReadsAPipeToItsEnd) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  UniqueFd reader(ends[0]);
  std::thread writer([fd = ends[1]] {
    const std::string text(200'000, 'p');
    for (size_t at = 0; at < text.size();) {
      const ssize_t sent = ::write(fd, text.data() + at, text.size() - at);
      if (sent <= 0) break;
      at += static_cast<size_t>(sent);
    }
    ::close(fd);
  });
  BoundedReader input(reader.get(), bounds());
  EXPECT_EQ(readAll(input), std::string(200'000, 'p'));
  writer.join();
}

// The writer must be able to hand over everything up to the limit before the
// first read, so a slow start on our side never holds it up.
TEST(BoundedReader, MakesRoomInThePipeForAllItWillRead) {
  int ends[2];
  ASSERT_EQ(::pipe2(ends, O_NONBLOCK), 0);
  UniqueFd reader(ends[0]);
  UniqueFd writer(ends[1]);
  BoundedReader input(reader.get(), bounds());
  const std::string payload(kLimit, 'p');
  ASSERT_EQ(::write(writer.get(), payload.data(), payload.size()),
            static_cast<ssize_t>(payload.size()));
  writer = UniqueFd();
  EXPECT_EQ(readAll(input), payload);
}

TEST(BoundedReader, StopsOnceTheLimitIsCollected) {
  char name[] = "/tmp/glimmet-bounded-read.XXXXXX";
  UniqueFd file(::mkstemp(name));
  ::unlink(name);
  const std::string big(3 * kLimit, 'b');
  ASSERT_EQ(::write(file.get(), big.data(), big.size()), static_cast<ssize_t>(big.size()));
  ::lseek(file.get(), 0, SEEK_SET);
  BoundedReader input(file.get(), bounds());
  EXPECT_EQ(readAll(input).size(), kLimit);
}

TEST(BoundedReader, ATerminalGivesNothingWithoutWaiting) {
  int controller = -1, terminal = -1;
  ASSERT_EQ(::openpty(&controller, &terminal, nullptr, nullptr, nullptr), 0);
  UniqueFd keepController(controller), keepTerminal(terminal);
  ASSERT_EQ(::write(controller, "typed\n", 6), 6);
  BoundedReader input(terminal, bounds(1h));
  EXPECT_EQ(input.next(), "");
}

TEST(BoundedReader, AWriterThatGoesQuietEndsTheInput) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  UniqueFd reader(ends[0]), writer(ends[1]);
  ASSERT_EQ(::write(writer.get(), "{\"a\"", 4), 4);
  BoundedReader input(reader.get(), bounds(50ms));
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(readAll(input), "{\"a\"");
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
  // Once ended it stays ended, even when the writer wakes up.
  ASSERT_EQ(::write(writer.get(), "}", 1), 1);
  EXPECT_EQ(input.next(), "");
}

TEST(BoundedReader, AClosedDescriptorGivesNothing) {
  BoundedReader input(-1, bounds());
  EXPECT_EQ(input.next(), "");
}

}  // namespace
}  // namespace glimmet::platform
