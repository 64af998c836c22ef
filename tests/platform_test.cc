#include "platform.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <thread>

namespace {

// A capture piped in arrives in pieces; one read may not bring it all.
TEST(Platform, ReadUpToGathersPiecesUntilFullOrEnd) {
  const std::string data(5000, 'q');
  for (size_t want : {5000, 3000, 8000}) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::thread writer([&] {
      for (size_t at = 0; at < data.size(); at += 700) {
        size_t n = std::min<size_t>(700, data.size() - at);
        if (write(fds[1], data.data() + at, n) != static_cast<ssize_t>(n))
          break;
        usleep(1000);
      }
      close(fds[1]);
    });
    std::string buffer(8000, '\0');
    size_t delivered = 0;
    EXPECT_EQ(platform::ReadUpTo(fds[0], &buffer[0], want, &delivered), 0);
    EXPECT_EQ(delivered, std::min(want, data.size())) << want;
    EXPECT_EQ(buffer.substr(0, delivered), data.substr(0, delivered));
    char rest[1024];
    while (read(fds[0], rest, sizeof rest) > 0) {
    }
    writer.join();
    close(fds[0]);
  }
}

}  // namespace
