#include "platform/rtl/events.h"

#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>

namespace {

struct Screen {
  std::string seen;
  void keyPress(int *sender, char32_t &key) {
    seen += std::to_string(*sender);
    key = 0;
  }
  int twice(int v) { return 2 * v; }
};

TEST(Events, BoundHandlerReceivesArgumentsByTheirOwnReferenceKinds) {
  Screen screen;
  std::function<void(int *, char32_t &)> onKeyPress = kdr::bindHandler(&screen, &Screen::keyPress);
  int sender = 7;
  char32_t key = U'a';
  onKeyPress(&sender, key);
  EXPECT_EQ(screen.seen, "7");
  EXPECT_EQ(key, 0U) << "a var parameter must reach the caller's variable";
  std::function<int(int)> f = kdr::bindHandler(&screen, &Screen::twice);
  EXPECT_EQ(f(21), 42);
}

TEST(Events, SilencedEventComesBackAfterTheBlockAndAfterAnException) {
  int calls = 0;
  std::function<void()> event = [&] { ++calls; };
  {
    kdr::SilencedEvent silence(event);
    EXPECT_FALSE(event);
  }
  ASSERT_TRUE(event);
  EXPECT_THROW(
      {
        kdr::SilencedEvent silence(event);
        throw std::runtime_error("handler failed");
      },
      std::runtime_error);
  ASSERT_TRUE(event);
  event();
  EXPECT_EQ(calls, 1);
}

} // namespace
