#pragma once
// The host around the loaded module in a screen test: a demo kdr-server, the host's local database,
// its frame as the main form, the scripted user, and another desktop's connection to the same
// server, to read what a screen saved or to change data behind its back.
#include <gtest/gtest.h>

#include "platform/host/localdb.h"
#include "platform/host/zelnor.h"
#include "platform/net/netconnection.h"
#include "platform/ui/forms.h"
#include "platform/ui/scripteduser.h"
#include "tests/module/loaded_module.h"

namespace kdr::test {

class ModuleHostTest : public ::testing::Test {
protected:
  explicit ModuleHostTest(std::vector<std::string> serverArgs = {"--seed", "demo"})
      : server(std::move(serverArgs)) {
    Zelnor::config.webUrl = server.host();
    Zelnor::config.webPort = server.port();
    Zelnor::config.token.clear();
    Zelnor::config.session = server.signIn();
    dtmDBGeral = &db;
    TForm *frame = TForm::create<TForm>(&Application());
    Application().SetMainForm(frame);
    frame->Show();
    other.ServerName = "KDR03020.rdmParamFatCli";
    other.HostName = server.host();
    other.Port = server.port();
    other.Token = server.signIn();
    other.Open();
  }
  ~ModuleHostTest() override {
    Application().reset();
    dtmDBGeral = nullptr;
  }

  ServerProcess server;
  TempDir dir;
  TdtmDBGeral db{dir.file("local.db")};
  LoadedModule module;
  ScriptedUser user{[](const std::string &failure) { ADD_FAILURE() << failure; }};
  TNetConnection other;
};

} // namespace kdr::test
