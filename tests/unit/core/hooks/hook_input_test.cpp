#include "core/hooks/hook_input.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "platform/unique_fd.h"

namespace glimmet {
namespace {

using namespace std::chrono_literals;

std::string readAll(HookInput& input) {
  std::string all;
  for (auto piece = input.next(); !piece.empty(); piece = input.next()) {
    EXPECT_LE(piece.size(), kHookReadChunk);
    all.append(piece);
  }
  return all;
}

TEST(HookInput, ReadsAPipeToItsEnd) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  platform::UniqueFd reader(ends[0]);
  std::thread writer([fd = ends[1]] {
    const std::string text(200'000, 'p');
    for (size_t at = 0; at < text.size();) {
      const ssize_t sent = ::write(fd, text.data() + at, text.size() - at);
      if (sent <= 0) break;
      at += static_cast<size_t>(sent);
    }
    ::close(fd);
  });
  HookInput input(reader.get());
  EXPECT_EQ(readAll(input), std::string(200'000, 'p'));
  writer.join();
}

// The agent must be able to write a whole payload before the first read, so a
// slow start on our side never holds up its hook.
TEST(HookInput, MakesRoomInThePipeForAWholePayload) {
  int ends[2];
  ASSERT_EQ(::pipe2(ends, O_NONBLOCK), 0);
  platform::UniqueFd reader(ends[0]);
  platform::UniqueFd writer(ends[1]);
  HookInput input(reader.get());
  const std::string payload(kLargestHookPayload, 'p');
  ASSERT_EQ(::write(writer.get(), payload.data(), payload.size()),
            static_cast<ssize_t>(payload.size()));
  writer = platform::UniqueFd();
  EXPECT_EQ(readAll(input), payload);
}

TEST(HookInput, StopsOnceAMebibyteIsCollected) {
  char name[] = "/tmp/glimmet-hook-input.XXXXXX";
  platform::UniqueFd file(::mkstemp(name));
  ::unlink(name);
  const std::string big(3 * kLargestHookPayload, 'b');
  ASSERT_EQ(::write(file.get(), big.data(), big.size()), static_cast<ssize_t>(big.size()));
  ::lseek(file.get(), 0, SEEK_SET);
  HookInput input(file.get());
  EXPECT_EQ(readAll(input).size(), kLargestHookPayload);
}

TEST(HookInput, ATerminalGivesNothingWithoutWaiting) {
  int controller = -1, terminal = -1;
  ASSERT_EQ(::openpty(&controller, &terminal, nullptr, nullptr, nullptr), 0);
  platform::UniqueFd keepController(controller), keepTerminal(terminal);
  HookInput input(terminal, 1h);
  EXPECT_EQ(input.next(), "");
}

TEST(HookInput, AWriterThatGoesQuietEndsThePayload) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  platform::UniqueFd reader(ends[0]), writer(ends[1]);
  ASSERT_EQ(::write(writer.get(), "{\"a\"", 4), 4);
  HookInput input(reader.get(), 50ms);
  EXPECT_EQ(readAll(input), "{\"a\"");
}

TEST(HookInput, AClosedDescriptorGivesNothing) {
  HookInput input(-1);
  EXPECT_EQ(input.next(), "");
}

}  // namespace
}  // namespace glimmet
