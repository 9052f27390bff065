#include "tests/server/server_fixture.h"

#include "platform/rtl/utf8.h"
#include "server/store/engines.h"
#include "server/store/packets.h"

namespace kdr::server::testing {

std::vector<Rows> everyWrittenRow(Session &s) {
  std::vector<Rows> out;
  for (const char *sql :
       {"SELECT * FROM PARCLIEKDR ORDER BY 1, 2, 3", "SELECT * FROM PAREMPKDR ORDER BY 1, 2",
        "SELECT * FROM KDR_HISTORICO ORDER BY 1", "SELECT * FROM KDR_LOTE ORDER BY 1",
        "SELECT * FROM KDR_LOTE_LINHA ORDER BY 1, 2, 3, 4", "SELECT * FROM KDR_LOTE_TEXTO ORDER BY 1, 2, 3",
        "SELECT * FROM KDR_LOTE_COPIA ORDER BY 1, 2, 3", "SELECT * FROM CLIENTE ORDER BY 1",
        "SELECT * FROM KDR_PEDIDO ORDER BY 1"})
    out.push_back(s.query(sql));
  return out;
}

std::unique_ptr<Session> connectTo(const std::string &url) {
  return url.rfind("sqlite:", 0) == 0 ? openSqlite(url.substr(7)) : openPostgresql(url);
}

int waitForLockWaiter(Session &watcher) {
  for (int i = 0; i < 100000; ++i) {
    Rows rows = watcher.query("SELECT pid FROM pg_stat_activity WHERE datname = current_database() AND "
                              "wait_event_type = 'Lock'");
    if (!rows.empty()) return static_cast<int>(rows[0][0].asInteger());
  }
  return 0;
}

void ServerTest::start(const std::string &engine, HttpOptions options) {
  // "sqlite_cached": the same suite with the answer cache on, so that a stale read fails it.
  const std::string cached = "_cached";
  const bool cache = engine.size() > cached.size() && engine.ends_with(cached);
  db_ = std::make_unique<ScratchDatabase>(cache ? engine.substr(0, engine.size() - cached.size()) : engine);
  if (!db_->available()) GTEST_SKIP() << "PostgreSQL suite skipped: KDR_TEST_PG is not set";
  store_ = Store::open(db_->url(), decorate_);
  {
    auto s = store_->session();
    seedDemo(*s);
  }
  dispatcher_ = std::make_unique<Dispatcher>(*store_, cache ? std::size_t{1} << 20 : 0, resends_);
  options.port = 0;
  token_ = options.token;
  front_ = std::make_unique<HttpFront>(*dispatcher_, options);
  port_ = front_->bind();
  thread_ = std::thread([this] { front_->run(); });
  session_ = signIn("supervisor", "supervisor");
}

std::string ServerTest::signIn(const std::string &operatorCode, const std::string &password) {
  std::string body = "{\"operator\":";
  appendVariantJson(body, Variant(operatorCode));
  body += ",\"password\":";
  appendVariantJson(body, Variant(password));
  body += '}';
  Reply r = post("/session", body);
  auto key = r.body.members.find("session");
  if (r.status != 200 || key == r.body.members.end()) throw std::runtime_error("sign-in refused: " + r.text);
  return key->second.str();
}

void ServerTest::stop() {
  if (front_) front_->stop();
  if (thread_.joinable()) thread_.join();
  front_.reset();
  dispatcher_.reset();
  store_.reset();
  db_.reset();
}

Reply postTo(int port, const std::string &path, const std::string &body, const httplib::Headers &headers) {
  httplib::Client client("127.0.0.1", port);
  auto res = client.Post(path, headers, body, "application/json");
  if (!res) throw std::runtime_error("no answer from the server");
  Reply reply;
  reply.status = res->status;
  reply.text = res->body;
  reply.body = readCallEnvelope(res->body);
  return reply;
}

Reply callServer(int port, const std::string &method, Variant::Array args, const std::string &module,
                 const std::string &bearer, const std::string &user) {
  // The same writer as the desktop's connection, so the server meets exactly what desktops send.
  std::string body = "{\"args\":";
  appendVariantJson(body, Variant(std::move(args)));
  body += '}';
  httplib::Headers headers;
  if (!bearer.empty()) headers.emplace("Authorization", "Bearer " + bearer);
  if (!user.empty()) headers.emplace("X-Kdr-User", utf8::percentEncode(user));
  return postTo(port, "/" + module + "/" + method, body, headers);
}

Reply ServerTest::post(const std::string &path, const std::string &body, const httplib::Headers &headers) {
  // Signed in, as a desktop is, unless the request says who it is itself.
  httplib::Headers sent = headers;
  if (!session_.empty() && !sent.count("Authorization")) sent.emplace("Authorization", "Bearer " + session_);
  return postTo(port_, path, body, sent);
}

Reply ServerTest::call(const std::string &method, Variant::Array args, const std::string &module) {
  return callServer(port_, method, std::move(args), module, session_, user_);
}

std::vector<std::vector<Variant>> ServerTest::rowsOf(const std::string &method, Variant::Array args) {
  Reply r = call(method, std::move(args));
  EXPECT_EQ(r.status, 200) << r.text;
  std::vector<std::vector<Variant>> out;
  for (const PacketRow &row : r.packet().rows) out.push_back(row.values);
  return out;
}

DataPacket ServerTest::paramsOf(const std::string &client) {
  Reply r = call("GetParamFatCli", {client});
  EXPECT_EQ(r.status, 200);
  return r.packet();
}

DeltaBuilder &DeltaBuilder::insert(std::vector<Variant> values) {
  packet.rows.push_back({RowStatus::Inserted, std::move(values)});
  return *this;
}

DeltaBuilder &DeltaBuilder::remove(std::vector<Variant> original) {
  packet.rows.push_back({RowStatus::Deleted, std::move(original)});
  return *this;
}

DeltaBuilder &DeltaBuilder::modify(std::vector<Variant> original,
                                   std::vector<std::pair<std::string, Variant>> changes) {
  std::vector<Variant> modified(original.size(), Variant::unassigned());
  for (auto &[name, value] : changes) modified[packet.fieldIndex(name)] = value;
  packet.rows.push_back({RowStatus::Unmodified, std::move(original)});
  packet.rows.push_back({RowStatus::Modified, std::move(modified)});
  return *this;
}

INSTANTIATE_TEST_SUITE_P(Engines, ServerTest, ::testing::Values("sqlite", "postgresql"),
                         [](const auto &info) { return info.param; });

std::vector<FieldDef> paramFatCliFields() { return payload::paramFatCli().fields; }
std::vector<FieldDef> empresaKdrFields() { return payload::descPadrao().fields; }

std::vector<Variant> paramRow(const std::string &client, const std::string &type, const std::string &company,
                              const std::string &invoice, const std::string &slip) {
  // CDCLIENTE, IDTPFATUCLIE, DSFATURCLIE, DSBOLETCLIE, NMFANTCLIE, CDTIPOSERV, NMTIPOSERV, CDEMPRESA,
  // NMEMPRESA, IDFATURAPFILI, IDFATMESATUCLIE, NMOPERADOR, CDGERENTEIMPCLI, IDGERANFUNIFICA,
  // VRPERCAJUSTEINV, CDPAIS
  return {client,  type, invoice, slip,    nullptr, nullptr, nullptr, company,
          nullptr, "N",  "N",     nullptr, nullptr, "N",     0.0,     nullptr};
}

} // namespace kdr::server::testing
