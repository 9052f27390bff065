#include "server/dialect.h"

namespace kdr::server {
namespace {

// The tables both engines share; VARCHAR sizes count characters and are checked by the server
// before writing, since SQLite does not enforce them.
constexpr std::string_view baseSchema = R"sql(
CREATE TABLE EMPRESA (
  CDEMPRESA VARCHAR(2) NOT NULL PRIMARY KEY,
  NMEMPRESA VARCHAR(40) NOT NULL
);
CREATE TABLE CLIENTE (
  CDCLIENTE VARCHAR(21) NOT NULL PRIMARY KEY,
  IDTPIJURCLIE VARCHAR(1),
  NRINSJURCLIE VARCHAR(20),
  NMFANTCLIE VARCHAR(50),
  CDPAIS VARCHAR(4)
);
CREATE TABLE OPERADOR (
  CDOPERADOR VARCHAR(12) NOT NULL PRIMARY KEY,
  NMOPERADOR VARCHAR(40) NOT NULL
);
CREATE TABLE OPERGRUPOP (
  CDGRUPOPER VARCHAR(2) NOT NULL,
  CDOPERADOR VARCHAR(12) NOT NULL REFERENCES OPERADOR (CDOPERADOR),
  PRIMARY KEY (CDGRUPOPER, CDOPERADOR)
);
CREATE TABLE AUTGRUPOP (
  CDGRUPOPER VARCHAR(2) NOT NULL,
  IDAUTGRUPOP VARCHAR(4) NOT NULL,
  PRIMARY KEY (CDGRUPOPER, IDAUTGRUPOP)
);
CREATE TABLE TIPOSERV (
  CDTIPOSERV VARCHAR(3) NOT NULL PRIMARY KEY,
  NMTIPOSERV VARCHAR(80) NOT NULL
);
CREATE TABLE CLITIPOSERV (
  CDCLIENTE VARCHAR(21) NOT NULL REFERENCES CLIENTE (CDCLIENTE),
  CDTIPOSERV VARCHAR(3) NOT NULL REFERENCES TIPOSERV (CDTIPOSERV),
  PRIMARY KEY (CDCLIENTE, CDTIPOSERV)
);
CREATE TABLE PARCLIEKDR (
  CDCLIENTE VARCHAR(21) NOT NULL REFERENCES CLIENTE (CDCLIENTE),
  IDTPFATUCLIE VARCHAR(1) NOT NULL,
  CDEMPRESA VARCHAR(2) NOT NULL REFERENCES EMPRESA (CDEMPRESA),
  IDFATURAPFILI VARCHAR(1),
  IDFATMESATUCLIE VARCHAR(1),
  DSFATURCLIE VARCHAR(400),
  DSBOLETCLIE VARCHAR(400),
  CDTIPOSERV VARCHAR(3) REFERENCES TIPOSERV (CDTIPOSERV),
  CDGERENTEIMPCLI VARCHAR(12) REFERENCES OPERADOR (CDOPERADOR),
  IDGERANFUNIFICA VARCHAR(1),
  VRPERCAJUSTEINV DOUBLE PRECISION,
  PRIMARY KEY (CDCLIENTE, IDTPFATUCLIE, CDEMPRESA)
);
CREATE TABLE PAREMPKDR (
  CDEMPRESA VARCHAR(2) NOT NULL REFERENCES EMPRESA (CDEMPRESA),
  IDTPFATUEMPRESA VARCHAR(1) NOT NULL,
  DSFATUREMPRESA VARCHAR(400),
  DSBOLETEMPRESA VARCHAR(400),
  PRIMARY KEY (CDEMPRESA, IDTPFATUEMPRESA)
);
)sql";

class SqliteDialect final : public Dialect {
public:
  std::string_view engine() const override { return "sqlite"; }
  std::string placeholders(std::string_view sql) const override { return std::string(sql); }
  std::string_view sameValue() const override { return "IS"; }
  std::string_view beginRead() const override { return "BEGIN"; }
  // Taking the write lock at the start avoids a reader failing to upgrade under WAL.
  std::string_view beginWrite() const override { return "BEGIN IMMEDIATE"; }
  std::string_view lockWriters() const override { return {}; }
  // kdr_digits is registered on every connection the server opens. The triggers keep the digits
  // right whoever writes the client, as long as the writer's connection knows the function (one
  // that does not is refused rather than left with stale digits).
  const std::vector<std::string> &migrations() const override {
    static const std::vector<std::string> list{std::string(baseSchema), R"sql(
ALTER TABLE CLIENTE ADD COLUMN NRINSDIGITOS VARCHAR(20);
UPDATE CLIENTE SET NRINSDIGITOS = kdr_digits(NRINSJURCLIE);
CREATE INDEX CLIENTE_NRINSDIGITOS ON CLIENTE (NRINSDIGITOS);
CREATE TRIGGER CLIENTE_NRINSDIGITOS_INSERT AFTER INSERT ON CLIENTE
WHEN NEW.NRINSDIGITOS IS NOT kdr_digits(NEW.NRINSJURCLIE) BEGIN
  UPDATE CLIENTE SET NRINSDIGITOS = kdr_digits(NEW.NRINSJURCLIE) WHERE CDCLIENTE = NEW.CDCLIENTE;
END;
CREATE TRIGGER CLIENTE_NRINSDIGITOS_UPDATE AFTER UPDATE OF NRINSJURCLIE, NRINSDIGITOS ON CLIENTE
WHEN NEW.NRINSDIGITOS IS NOT kdr_digits(NEW.NRINSJURCLIE) BEGIN
  UPDATE CLIENTE SET NRINSDIGITOS = kdr_digits(NEW.NRINSJURCLIE) WHERE CDCLIENTE = NEW.CDCLIENTE;
END;
)sql"};
    return list;
  }
};

class PostgresqlDialect final : public Dialect {
public:
  std::string_view engine() const override { return "postgresql"; }

  // "?" becomes $1, $2...; quoted text and identifiers are left alone.
  std::string placeholders(std::string_view sql) const override {
    std::string out;
    out.reserve(sql.size() + 16);
    int n = 0;
    char quote = 0;
    for (char c : sql) {
      if (quote) {
        if (c == quote) quote = 0;
        out += c;
      } else if (c == '\'' || c == '"') {
        quote = c;
        out += c;
      } else if (c == '?') {
        out += '$';
        out += std::to_string(++n);
      } else {
        out += c;
      }
    }
    return out;
  }
  std::string_view sameValue() const override { return "IS NOT DISTINCT FROM"; }
  std::string_view beginRead() const override { return "BEGIN"; }
  std::string_view beginWrite() const override { return "BEGIN"; }
  // Read committed: once the lock is granted, the next statement sees what its holder committed.
  std::string_view lockWriters() const override { return "SELECT pg_advisory_xact_lock(hashtext(?))"; }
  const std::vector<std::string> &migrations() const override {
    static const std::vector<std::string> list{
        std::string(baseSchema) +
            "CREATE INDEX CLIENTE_NRINSDIG ON CLIENTE (regexp_replace(NRINSJURCLIE, '[^0-9]', '', 'g'));",
        // Generated: filled for every existing row now and by the database on every write.
        R"sql(
DROP INDEX CLIENTE_NRINSDIG;
ALTER TABLE CLIENTE ADD COLUMN NRINSDIGITOS TEXT
  GENERATED ALWAYS AS (regexp_replace(NRINSJURCLIE, '[^0-9]', '', 'g')) STORED;
CREATE INDEX CLIENTE_NRINSDIGITOS ON CLIENTE (NRINSDIGITOS);
)sql"};
    return list;
  }
};

} // namespace

const Dialect &sqliteDialect() {
  static const SqliteDialect d;
  return d;
}

const Dialect &postgresqlDialect() {
  static const PostgresqlDialect d;
  return d;
}

} // namespace kdr::server
