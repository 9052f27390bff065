#pragma once
// Each test starts from a fresh application with a scripted user whose leftovers fail the test.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/application.h"
#include "platform/ui/forms.h"
#include "platform/ui/scripteduser.h"

namespace kdr::test {

class UiTest : public ::testing::Test {
protected:
  void SetUp() override {
    Application().reset();
    user_ = std::make_unique<ScriptedUser>([](const std::string &m) { ADD_FAILURE() << m; });
  }
  void TearDown() override {
    if (!HasFailure()) {
      EXPECT_NO_THROW(user_->verify()) << user_->transcriptText();
    }
    user_.reset();
    Application().reset();
  }
  ScriptedUser &user() { return *user_; }

  // A shown form owned by the application (not the main form, so closing it does not terminate).
  // The fixture made it and the fixture's reset ends it, so a test may leave it open.
  template <class T = TForm> T *shownForm(const std::string &name = "frmTest") {
    user().keep(name);
    auto *main = TForm::create<TForm>(&Application());
    Application().SetMainForm(main);
    auto *f = TForm::create<T>(&Application());
    f->SetName(name);
    f->Show();
    return f;
  }

  std::vector<std::string> log;
  // Appends "<name>.<what>" to the log whenever the event fires.
  TNotifyEvent logs(const std::string &entry) {
    return [this, entry](TComponent *) { log.push_back(entry); };
  }

private:
  std::unique_ptr<ScriptedUser> user_;
};

// A control of type T owned by the form, placed in parent, with a name.
template <class T> T *make(TForm *form, TWinControl *parent, const std::string &name) {
  auto *c = new T(form);
  c->SetName(name);
  c->SetParent(parent);
  return c;
}

} // namespace kdr::test
