#pragma once
// What every screen-level host test needs: a scripted user answering the dialogs, and a clean
// application object afterwards.
#include <gtest/gtest.h>

#include "platform/ui/application.h"
#include "platform/ui/forms.h"
#include "platform/ui/scripteduser.h"

namespace kdr::test {

class HostTest : public ::testing::Test {
protected:
  void TearDown() override {
    user_.verify();
    Application().reset();
  }
  ScriptedUser &user() { return user_; }

private:
  ScriptedUser user_{[](const std::string &problem) { ADD_FAILURE() << problem; }};
};

} // namespace kdr::test
