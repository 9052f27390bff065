#include <libpq-fe.h>

#include <charconv>
#include <limits>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "server/errors.h"
#include "server/store/engines.h"

namespace kdr::server {
namespace {

// Type oids of the values the server binds and reads (pg_type.h is not a client header).
constexpr Oid boolOid = 16, int8Oid = 20, int2Oid = 21, int4Oid = 23, textOid = 25, float4Oid = 700,
              float8Oid = 701, numericOid = 1700;

using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

class PgSession final : public Session {
public:
  PgSession(const std::string &conninfo, const std::string &applicationName) : Session(postgresqlDialect()) {
    conn_.reset(PQconnectdb(conninfo.c_str()));
    if (PQstatus(conn_.get()) != CONNECTION_OK) {
      std::string text = PQerrorMessage(conn_.get());
      throw EngineError("postgresql: " + text, EngineError::Kind::Unavailable);
    }
    PQsetNoticeProcessor(
        conn_.get(), [](void *, const char *) {}, nullptr);
    executeScript("SET client_encoding TO 'UTF8'");
    if (!applicationName.empty()) {
      char *quoted = PQescapeLiteral(conn_.get(), applicationName.c_str(), applicationName.size());
      executeScript(std::string("SET application_name = ") + (quoted ? quoted : "''"));
      PQfreemem(quoted);
    }
    limitOrphanedWork();
    // The server's statements read a page or a few rows through indexes; compiling one to machine
    // code, which the engine does once a plan's estimated cost is high (a walk the planner cannot
    // see stop early), took 0.3 s where the statement itself takes 1 ms.
    executeScript("SET jit = off");
  }

  bool healthy() const override { return PQstatus(conn_.get()) == CONNECTION_OK; }

  Rows query(std::string_view sql, const Params &params) override {
    Result res = run(sql, params);
    Rows rows;
    int nrows = PQntuples(res.get()), ncols = PQnfields(res.get());
    rows.reserve(nrows);
    for (int r = 0; r < nrows; ++r) {
      Row row;
      row.reserve(ncols);
      for (int c = 0; c < ncols; ++c) row.push_back(value(res.get(), r, c));
      rows.push_back(std::move(row));
    }
    return rows;
  }

  std::int64_t execute(std::string_view sql, const Params &params) override {
    Result res = run(sql, params);
    const char *n = PQcmdTuples(res.get());
    return n && *n ? std::stoll(n) : 0;
  }

  void executeScript(std::string_view sql) override {
    checked(PQexec(conn_.get(), std::string(sql).c_str()));
  }

private:
  // A server killed in the middle of a statement must not leave it running with its row locks
  // held, blocking the server restarted in its place: the backend checks that its client is still
  // there while a statement runs (and through TCP keepalives when the server's machine is gone),
  // and no statement outlives the 300 s a desktop waits for an answer.
  void limitOrphanedWork() {
    executeScript("SET statement_timeout = '300s'; SET idle_in_transaction_session_timeout = '60s'; "
                  "SET tcp_keepalives_idle = 30; SET tcp_keepalives_interval = 10; "
                  "SET tcp_keepalives_count = 3");
    if (PQserverVersion(conn_.get()) >= 140000) executeScript("SET client_connection_check_interval = '1s'");
  }

  // The values in the engine's text form, with their types; a null's type is left to the engine.
  struct Bound {
    std::vector<std::string> storage;
    std::vector<const char *> values;
    std::vector<Oid> types;
  };

  static Bound bound(const Params &params) {
    Bound b{std::vector<std::string>(params.size()), std::vector<const char *>(params.size()),
            std::vector<Oid>(params.size())};
    for (std::size_t i = 0; i < params.size(); ++i) {
      const Variant &v = params[i];
      switch (v.kind()) {
      case Variant::Kind::Unassigned:
      case Variant::Kind::Null:
        continue;
      case Variant::Kind::Boolean:
        b.storage[i] = v.asBoolean() ? "true" : "false";
        b.types[i] = boolOid;
        break;
      case Variant::Kind::Integer:
        b.storage[i] = std::to_string(v.asInteger());
        b.types[i] = int8Oid;
        break;
      case Variant::Kind::Float:
        b.storage[i] = formatFloat(v.asFloat());
        b.types[i] = float8Oid;
        break;
      case Variant::Kind::String:
        b.storage[i] = v.str();
        b.types[i] = textOid;
        break;
      default:
        throw EngineError("cannot bind " + v.debugString());
      }
      b.values[i] = b.storage[i].c_str();
    }
    return b;
  }

  Result run(std::string_view sql, const Params &params, bool again = false) {
    const Bound b = bound(params);
    const int n = static_cast<int>(params.size());
    // Parameter types are fixed when a statement is prepared, so they are part of its key: the
    // same text with a null where another call sends a number is another statement.
    std::string key(sql);
    key.append(reinterpret_cast<const char *>(b.types.data()), b.types.size() * sizeof(Oid));
    auto it = prepared_.find(key);
    if (it == prepared_.end()) {
      // Statements built from varying parts could grow the table without end; past its size they
      // are parsed on each call, as they would be unprepared.
      if (prepared_.size() >= maxPrepared)
        return checked(PQexecParams(conn_.get(), dialect().placeholders(sql).c_str(), n, b.types.data(),
                                    b.values.data(), nullptr, nullptr, 0));
      it = prepared_.emplace(std::move(key), prepare(sql, b.types)).first;
    }
    PGresult *res = PQexecPrepared(conn_.get(), it->second.c_str(), n, b.values.data(), nullptr, nullptr, 0);
    if (sqlState(res) == "0A000") {
      // A table changed shape under a statement whose rows it gives ("cached plan must not change
      // result type"): prepared anew, and run once more when no transaction was spoilt by the failure.
      prepared_.erase(it);
      if (!again && PQtransactionStatus(conn_.get()) == PQTRANS_IDLE) {
        PQclear(res);
        return run(sql, params, true);
      }
    }
    return checked(res);
  }

  std::string prepare(std::string_view sql, const std::vector<Oid> &types) {
    std::string name = "kdr_" + std::to_string(++statementCount_);
    checked(PQprepare(conn_.get(), name.c_str(), dialect().placeholders(sql).c_str(),
                      static_cast<int>(types.size()), types.data()));
    return name;
  }

  Result checked(PGresult *res) {
    Result owned(res, &PQclear);
    check(owned.get());
    return owned;
  }

  static std::string sqlState(const PGresult *res) {
    const char *state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
    return state ? state : "";
  }

  void check(PGresult *res) {
    ExecStatusType st = res ? PQresultStatus(res) : PGRES_FATAL_ERROR;
    if (st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK) return;
    const std::string state = sqlState(res);
    std::string text = res ? PQresultErrorMessage(res) : PQerrorMessage(conn_.get());
    auto kind = EngineError::Kind::Other;
    if (state == "23505")
      kind = EngineError::Kind::Duplicate;
    else if (state.rfind("23", 0) == 0 || state == "40001" || state == "40P01")
      kind = EngineError::Kind::Constraint;
    else if (!healthy() || state.rfind("08", 0) == 0 || state.rfind("57", 0) == 0 || state == "55P03")
      kind = EngineError::Kind::Unavailable;
    throw EngineError("postgresql [" + state + "]: " + text, kind);
  }

  // Correctly rounded and independent of the process locale; "Infinity" and "NaN" are the
  // engine's own words.
  static double readFloat(std::string_view text) {
    if (text == "Infinity") return std::numeric_limits<double>::infinity();
    if (text == "-Infinity") return -std::numeric_limits<double>::infinity();
    if (text == "NaN") return std::numeric_limits<double>::quiet_NaN();
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
      throw EngineError("postgresql: unreadable number " + std::string(text));
    return value;
  }

  static Variant value(PGresult *res, int r, int c) {
    if (PQgetisnull(res, r, c)) return nullptr;
    const char *text = PQgetvalue(res, r, c);
    switch (PQftype(res, c)) {
    case boolOid:
      return text[0] == 't';
    case int2Oid:
    case int4Oid:
    case int8Oid:
      return Variant(static_cast<std::int64_t>(std::stoll(text)));
    case float4Oid:
    case float8Oid:
    case numericOid:
      return readFloat(text);
    default:
      return std::string(text, static_cast<std::size_t>(PQgetlength(res, r, c)));
    }
  }

  // Finished with its owner, even when a statement of the constructor fails after connecting.
  std::unique_ptr<PGconn, decltype(&PQfinish)> conn_{nullptr, &PQfinish};
  // Prepared statements live as long as the connection; a session whose connection is lost is
  // dropped by the pool, never reconnected, so no name here can outlive its statement.
  static constexpr std::size_t maxPrepared = 200;
  std::unordered_map<std::string, std::string> prepared_;
  std::uint64_t statementCount_ = 0;
};

} // namespace

std::unique_ptr<Session> openPostgresql(const std::string &conninfo, const std::string &applicationName) {
  return std::make_unique<PgSession>(conninfo, applicationName);
}

} // namespace kdr::server
