#pragma once
// A real server on a loopback port inside the test process, over a fresh database: a temporary
// SQLite file, or a new PostgreSQL database when KDR_TEST_PG names a reachable cluster.
#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "platform/data/packet_json.h"
#include "platform/data/packet_reader.h"
#include "platform/rtl/datapacket.h"
#include "server/admin/seed.h"
#include "server/http/http_front.h"
#include "server/methods/dispatch.h"
#include "server/store/store.h"
#include "tests/support/scratch_database.h"

namespace kdr::server::testing {

// An answer as it came (text) and as the desktop's connection reads it (body).
struct Reply {
  int status = 0;
  std::string text;
  CallEnvelope body;
  Variant result() const { return body.result.value(); }
  DataPacket packet() const { return *result().packet(); }
  std::string errorCode() const { return body.errorCode; }
  std::string message() const { return body.errorMessage; }
};

using ScratchDatabase = kdr::test::ScratchDatabase;

// A bare session on a scratch database's URL, outside any store (no migration).
std::unique_ptr<Session> connectTo(const std::string &url);

// Every row of the tables a write may touch, in a fixed order: what "the database as it was" means.
std::vector<Rows> everyWrittenRow(Session &s);

// Waits (bounded) until a session of the watcher's PostgreSQL database waits for a lock, and gives
// its backend pid; 0 when none came to wait.
int waitForLockWaiter(Session &watcher);

// A remote call to the server on a loopback port, sent with the desktop's own JSON writer; bearer:
// a session's key or the machine token; user: sent as an X-Kdr-User header, which the server must
// not believe.
Reply callServer(int port, const std::string &method, Variant::Array args,
                 const std::string &module = "KDR03020.rdmParamFatCli", const std::string &bearer = {},
                 const std::string &user = {});
Reply postTo(int port, const std::string &path, const std::string &body,
             const httplib::Headers &headers = {});

class ServerTest : public ::testing::TestWithParam<std::string> {
protected:
  void SetUp() override { start(GetParam(), HttpOptions{}); }
  void TearDown() override { stop(); }

  void start(const std::string &engine, HttpOptions options);
  void stop();

  Reply call(const std::string &method, Variant::Array args,
             const std::string &module = "KDR03020.rdmParamFatCli");
  // With the session's Authorization unless headers bring one.
  Reply post(const std::string &path, const std::string &body, const httplib::Headers &headers = {});
  // POST /session; the session's key, or std::runtime_error naming the refusal.
  std::string signIn(const std::string &operatorCode, const std::string &password);
  // Rows of a packet answer, each as its values.
  std::vector<std::vector<Variant>> rowsOf(const std::string &method, Variant::Array args);
  // The stored parameter rows of a client, as returned by GetParamFatCli.
  DataPacket paramsOf(const std::string &client);

  std::unique_ptr<ScratchDatabase> db_;
  Store::Decorator decorate_;    // wraps the store's connections when set before start()
  ResendGuard::Options resends_; // how long the server keeps the keys of writes, by which clock
  std::unique_ptr<Store> store_;
  std::unique_ptr<Dispatcher> dispatcher_;
  std::unique_ptr<HttpFront> front_;
  std::thread thread_;
  int port_ = 0;
  std::string token_;
  std::string session_; // the demo supervisor's, signed in at start; sent by call()
  std::string user_;    // sent as an X-Kdr-User header when not empty (and ignored by the server)
};

// Builders of deltas as a client dataset's change log makes them.
struct DeltaBuilder {
  DataPacket packet;
  explicit DeltaBuilder(std::vector<FieldDef> fields) { packet.fields = std::move(fields); }
  DeltaBuilder &insert(std::vector<Variant> values);
  DeltaBuilder &remove(std::vector<Variant> original);
  // changes: field name -> new value; the others stay unassigned.
  DeltaBuilder &modify(std::vector<Variant> original, std::vector<std::pair<std::string, Variant>> changes);
  Variant variant() const { return makePacketVariant(packet); }
};

std::vector<FieldDef> paramFatCliFields();
std::vector<FieldDef> empresaKdrFields();
// A full parameter row in paramFatCliFields order from the stored columns (names left null).
std::vector<Variant> paramRow(const std::string &client, const std::string &type, const std::string &company,
                              const std::string &invoice = "Fatura", const std::string &slip = "Boleto");

} // namespace kdr::server::testing
