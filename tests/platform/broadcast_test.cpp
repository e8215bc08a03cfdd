#include "platform/broadcast.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "platform/device.h"
#include "tests/support/temp_device.h"

namespace cirrodex::platform {
namespace {

using testing::DeviceTest;

class BroadcastTest : public DeviceTest {};

bool Readable(const BroadcastListener& listener, int timeoutMs) {
  pollfd fd{listener.Descriptor(), POLLIN, 0};
  return poll(&fd, 1, timeoutMs) == 1;
}

TEST_F(BroadcastTest, EveryListenerHearsTheTodayRefresh) {
  BroadcastListener first("today-host");
  BroadcastListener second("other");
  ASSERT_TRUE(first.IsOpen()) << first.LastError();
  ASSERT_TRUE(second.IsOpen()) << second.LastError();
  EXPECT_EQ(BroadcastTodayRefresh(), 2);
  for (BroadcastListener* listener : {&first, &second}) {
    auto messages = listener->Receive();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].message, WM_WININICHANGE);
    EXPECT_EQ(messages[0].wParam, 0xF2u);
    EXPECT_EQ(messages[0].lParam, 0);
  }
  EXPECT_TRUE(first.Receive().empty());
}

TEST_F(BroadcastTest, ReachesAListenerOfAnotherProcess) {
  BroadcastListener listener("today-host");
  ASSERT_TRUE(listener.IsOpen());
  const pid_t child = fork();
  if (child == 0) _exit(BroadcastTodayRefresh() == 1 ? 0 : 1);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  ASSERT_TRUE(Readable(listener, 5000));
  EXPECT_EQ(listener.Receive().size(), 1u);
}

TEST_F(BroadcastTest, SocketsOfEndedProgramsAreRemovedAndTheirOwnGoesWithThem) {
  std::filesystem::path own;
  {
    BroadcastListener listener("today-host");
    ASSERT_TRUE(listener.IsOpen());
    own = DeviceRoot() / "run" / ("today-host-" + std::to_string(getpid()) + ".sock");
    EXPECT_TRUE(std::filesystem::exists(own));
  }
  EXPECT_FALSE(std::filesystem::exists(own));

  // A socket whose program died without removing it.
  const auto stale = DeviceRoot() / "run" / "today-host-999999.sock";
  int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, stale.c_str(), sizeof(address.sun_path) - 1);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  close(fd);
  ASSERT_TRUE(std::filesystem::exists(stale));
  EXPECT_EQ(BroadcastTodayRefresh(), 0);
  EXPECT_FALSE(std::filesystem::exists(stale));
}

TEST_F(BroadcastTest, AFullListenerDoesNotHoldTheSenderUp) {
  BroadcastListener listener("today-host");
  ASSERT_TRUE(listener.IsOpen());
  // Far more than a socket buffer holds; each send must return at once.
  int reached = 0;
  for (int i = 0; i < 5000; ++i) reached += SendNotifyBroadcast(WM_WININICHANGE, i, 0);
  EXPECT_GT(reached, 0);
  EXPECT_LT(reached, 5000);
  EXPECT_EQ(listener.Receive().size(), static_cast<size_t>(reached));
}

}  // namespace
}  // namespace cirrodex::platform
