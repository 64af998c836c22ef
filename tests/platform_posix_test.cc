#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "platform.h"

namespace {

// A capture piped in arrives in pieces; one read may not bring it all. A
// packet socket hands out exactly one piece per read.
TEST(Platform, ReadUpToGathersPiecesUntilFullOrEnd) {
  const std::string data(5000, 'q');
  for (size_t want : {5000u, 3000u, 8000u}) {
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds), 0);
    for (size_t at = 0; at < data.size(); at += 700) {
      size_t n = std::min<size_t>(700, data.size() - at);
      ASSERT_EQ(write(fds[1], data.data() + at, n), static_cast<ssize_t>(n));
    }
    close(fds[1]);
    std::string buffer(8000, '\0');
    size_t delivered = 0;
    EXPECT_EQ(platform::ReadUpTo(fds[0], &buffer[0], want, &delivered), 0);
    EXPECT_EQ(delivered, std::min(want, data.size())) << want;
    EXPECT_EQ(buffer.substr(0, delivered), data.substr(0, delivered));
    close(fds[0]);
  }
}

}  // namespace
