#include "server/store/schema.h"

#include "platform/rtl/utf8.h"
#include "server/store/cached_tables.h"

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

// The change numbers of the host's cached tables: one counter per table, the number of the
// write that last touched each row, and the keys removed with the number of their removal. The
// engine's triggers keep them in the writing transaction, whoever writes.
std::string changeNumbers(std::string_view newBaseId, std::string (*triggers)(const CachedTable &)) {
  std::string sql = R"sql(
CREATE TABLE KDR_CACHE_BASE (IDBASE VARCHAR(32) NOT NULL);
CREATE TABLE KDR_CACHE_VERSAO (TABELA VARCHAR(30) NOT NULL PRIMARY KEY, NRVERSAO BIGINT NOT NULL);
CREATE TABLE KDR_CACHE_REMOVIDO (
  TABELA VARCHAR(30) NOT NULL,
  CHAVE1 VARCHAR(21) NOT NULL,
  CHAVE2 VARCHAR(21) NOT NULL,
  CHAVE3 VARCHAR(21) NOT NULL,
  NRVERSAO BIGINT NOT NULL,
  PRIMARY KEY (TABELA, CHAVE1, CHAVE2, CHAVE3)
);
CREATE INDEX KDR_CACHE_REMOVIDO_VERSAO ON KDR_CACHE_REMOVIDO (TABELA, NRVERSAO);
)sql";
  sql += "INSERT INTO KDR_CACHE_BASE (IDBASE) VALUES (" + std::string(newBaseId) + ");\n";
  for (const CachedTable &t : cachedTables()) {
    sql += "ALTER TABLE " + t.name + " ADD COLUMN NRVERSAO BIGINT NOT NULL DEFAULT 0;\n";
    sql += "CREATE INDEX " + t.name + "_NRVERSAO ON " + t.name + " (NRVERSAO);\n";
    sql += "INSERT INTO KDR_CACHE_VERSAO (TABELA, NRVERSAO) VALUES ('" + t.name + "', 0);\n";
    sql += triggers(t);
  }
  return sql;
}

// "INSERT INTO KDR_CACHE_REMOVIDO (...) SELECT 'T', OLD.K1, ..., " followed by the number.
std::string removedKeyInsert(const CachedTable &t, std::string_view verb) {
  std::string sql =
      std::string(verb) + " INTO KDR_CACHE_REMOVIDO (TABELA, CHAVE1, CHAVE2, CHAVE3, NRVERSAO) ";
  sql += "SELECT '" + t.name + "'";
  for (std::size_t i = 0; i < removedKeyColumns; ++i) sql += i < t.key.size() ? ", OLD." + t.key[i] : ", ''";
  return sql + ", ";
}

std::string keyChanged(const CachedTable &t, std::string_view differs) {
  std::string sql;
  for (const std::string &k : t.key)
    sql += (sql.empty() ? "" : " OR ") + ("OLD." + k) + " " + std::string(differs) + " NEW." + k;
  return sql;
}

std::string trackedColumns(const CachedTable &t) {
  std::string out;
  for (const FieldDef &f : t.fields) out += (out.empty() ? "" : ", ") + f.name;
  return out;
}

// Triggers run row by row; each write takes the table's next number, and a change of key leaves
// the old key removed.
std::string sqliteTriggers(const CachedTable &t) {
  const std::string bump =
      "UPDATE KDR_CACHE_VERSAO SET NRVERSAO = NRVERSAO + 1 WHERE TABELA = '" + t.name + "';\n";
  const std::string number = "(SELECT NRVERSAO FROM KDR_CACHE_VERSAO WHERE TABELA = '" + t.name + "')";
  const std::string stamp = "UPDATE " + t.name + " SET NRVERSAO = " + number + " WHERE rowid = NEW.rowid;\n";
  const std::string removed = removedKeyInsert(t, "INSERT OR REPLACE") + number;
  return "CREATE TRIGGER " + t.name + "_VERSAO_INSERT AFTER INSERT ON " + t.name + " BEGIN\n" + bump + stamp +
         "END;\n" + "CREATE TRIGGER " + t.name + "_VERSAO_UPDATE AFTER UPDATE OF " + trackedColumns(t) +
         " ON " + t.name + " BEGIN\n" + bump + removed + " WHERE " + keyChanged(t, "IS NOT") + ";\n" + stamp +
         "END;\n" + "CREATE TRIGGER " + t.name + "_VERSAO_DELETE AFTER DELETE ON " + t.name + " BEGIN\n" +
         bump + removed + ";\nEND;\n";
}

// The counter's row stays locked until the writer commits, so writers of one table take their
// numbers in the order they commit and a reader never sees a number whose rows are still to come.
// As first written (inTransaction false), each row took its number by an update of the counter.
// But each update of one row leaves a version behind that every later update in the same
// transaction walks again, so a write of many rows was slow in the square of its rows. Now the
// first row of a transaction takes the counter's next number (and its lock), the next rows count
// on from it in a setting that lasts until the transaction ends, and the counter is brought up
// to the last number once per statement (postgresqlStatementEnd), later once per transaction
// (postgresqlCounterAtCommit).
std::string postgresqlVersionFunction(const CachedTable &t, bool inTransaction) {
  const std::string removed = removedKeyInsert(t, "INSERT") +
                              "n ON CONFLICT (TABELA, CHAVE1, CHAVE2, CHAVE3) DO UPDATE SET NRVERSAO = "
                              "EXCLUDED.NRVERSAO;\n";
  const std::string bump = "UPDATE KDR_CACHE_VERSAO SET NRVERSAO = NRVERSAO + 1 WHERE TABELA = '" + t.name +
                           "' RETURNING NRVERSAO INTO n;\n";
  const std::string setting = "'kdr.versao_" + t.name + "'";
  const std::string number = inTransaction
                                 ? "DECLARE n BIGINT := NULLIF(current_setting(" + setting +
                                       ", true), '')::BIGINT + 1;\nBEGIN\n  IF n IS NULL THEN\n    " + bump +
                                       "  END IF;\n  PERFORM set_config(" + setting + ", n::TEXT, true);\n"
                                 : "DECLARE n BIGINT;\nBEGIN\n  " + bump;
  return (inTransaction ? "CREATE OR REPLACE FUNCTION " : "CREATE FUNCTION ") + t.name +
         "_VERSAO() RETURNS trigger LANGUAGE plpgsql AS $$\n" + number + "  IF TG_OP = 'DELETE' THEN\n    " +
         removed +
         "    RETURN OLD;\n  END IF;\n"
         "  IF TG_OP = 'UPDATE' THEN\n    IF " +
         keyChanged(t, "IS DISTINCT FROM") + " THEN\n      " + removed +
         "    END IF;\n  END IF;\n"
         "  NEW.NRVERSAO := n;\n  RETURN NEW;\nEND $$;\n";
}

std::string postgresqlTriggers(const CachedTable &t) {
  return postgresqlVersionFunction(t, false) + "CREATE TRIGGER " + t.name +
         "_VERSAO BEFORE INSERT OR DELETE OR UPDATE OF " + trackedColumns(t) + " ON " + t.name +
         " FOR EACH ROW EXECUTE FUNCTION " + t.name + "_VERSAO();\n";
}

// After each statement writing the table, the counter holds the last number its transaction took.
std::string postgresqlStatementEnd(const CachedTable &t) {
  return postgresqlVersionFunction(t, true) + "CREATE FUNCTION " + t.name +
         "_VERSAO_FIM() RETURNS trigger LANGUAGE plpgsql AS $$\n"
         "DECLARE n BIGINT := NULLIF(current_setting('kdr.versao_" +
         t.name +
         "', true), '')::BIGINT;\nBEGIN\n"
         "  UPDATE KDR_CACHE_VERSAO SET NRVERSAO = n WHERE TABELA = '" +
         t.name +
         "' AND NRVERSAO < n;\n  RETURN NULL;\nEND $$;\n"
         "CREATE TRIGGER " +
         t.name + "_VERSAO_FIM AFTER INSERT OR DELETE OR UPDATE OF " + trackedColumns(t) + " ON " + t.name +
         " FOR EACH STATEMENT EXECUTE FUNCTION " + t.name + "_VERSAO_FIM();\n";
}

// Brought up once per statement, the counter still took a new version of its row at every
// statement of a transaction, and each update walks the versions its own transaction left: an
// import of a million rows, one statement each, was again slow in the square of its rows. Now the
// counter is brought up once, as its transaction commits: the first row's update of the counter
// queues a deferred trigger that sets it to the last number the transaction took. Setting it fires
// that trigger once more, which finds the counter up to date and writes nothing.
std::string postgresqlCounterAtCommit() {
  std::string sql;
  for (const CachedTable &t : cachedTables())
    sql += "DROP TRIGGER " + t.name + "_VERSAO_FIM ON " + t.name + ";\nDROP FUNCTION " + t.name +
           "_VERSAO_FIM();\n";
  return sql + R"sql(
CREATE FUNCTION KDR_CACHE_VERSAO_FIM() RETURNS trigger LANGUAGE plpgsql AS $$
DECLARE n BIGINT := NULLIF(current_setting('kdr.versao_' || NEW.TABELA, true), '')::BIGINT;
BEGIN
  UPDATE KDR_CACHE_VERSAO SET NRVERSAO = n WHERE TABELA = NEW.TABELA AND NRVERSAO < n;
  RETURN NULL;
END $$;
CREATE CONSTRAINT TRIGGER KDR_CACHE_VERSAO_FIM AFTER UPDATE ON KDR_CACHE_VERSAO
  DEFERRABLE INITIALLY DEFERRED FOR EACH ROW EXECUTE FUNCTION KDR_CACHE_VERSAO_FIM();
)sql";
}

// Three-character runs of the clients' names and registration digits, for the client search.
std::string postgresqlClientIndex() {
  std::string sql = R"sql(
CREATE EXTENSION IF NOT EXISTS pg_trgm;
CREATE INDEX CLIENTE_NMFANTCLIE_TRGM ON CLIENTE USING GIN (UPPER(NMFANTCLIE) gin_trgm_ops);
CREATE INDEX CLIENTE_NRINSDIGITOS_TRGM ON CLIENTE USING GIN (NRINSDIGITOS gin_trgm_ops);
)sql";
  for (const CachedTable &t : cachedTables()) sql += postgresqlStatementEnd(t);
  return sql;
}

// The clients' names and registration digits in a full-text table of three-character runs, so
// that a search for a text few clients contain reads only those. Its rows are numbered by
// CLIENTE_BUSCA, since a client's own rowid may change when the file is vacuumed. Kept by
// triggers whoever writes the client, each writing the row as the table holds it then, so the
// digits trigger's own update may come before or after. They call no function of the server's:
// a connection without it can still rename a client.
constexpr std::string_view sqliteClientIndex = R"sql(
CREATE TABLE CLIENTE_BUSCA (ID INTEGER PRIMARY KEY, CDCLIENTE VARCHAR(21) NOT NULL UNIQUE);
CREATE VIRTUAL TABLE CLIENTE_TRIGRAMA USING fts5(NOME, DIGITOS, tokenize = 'trigram');
INSERT INTO CLIENTE_BUSCA (CDCLIENTE) SELECT CDCLIENTE FROM CLIENTE;
INSERT INTO CLIENTE_TRIGRAMA (rowid, NOME, DIGITOS)
  SELECT B.ID, C.NMFANTCLIE, C.NRINSDIGITOS FROM CLIENTE_BUSCA B JOIN CLIENTE C ON C.CDCLIENTE = B.CDCLIENTE;
CREATE TRIGGER CLIENTE_BUSCA_INSERT AFTER INSERT ON CLIENTE BEGIN
  INSERT OR IGNORE INTO CLIENTE_BUSCA (CDCLIENTE) VALUES (NEW.CDCLIENTE);
  DELETE FROM CLIENTE_TRIGRAMA WHERE rowid = (SELECT ID FROM CLIENTE_BUSCA WHERE CDCLIENTE = NEW.CDCLIENTE);
  INSERT INTO CLIENTE_TRIGRAMA (rowid, NOME, DIGITOS)
    SELECT B.ID, C.NMFANTCLIE, C.NRINSDIGITOS FROM CLIENTE_BUSCA B JOIN CLIENTE C ON C.CDCLIENTE = B.CDCLIENTE
    WHERE B.CDCLIENTE = NEW.CDCLIENTE;
END;
CREATE TRIGGER CLIENTE_BUSCA_UPDATE AFTER UPDATE OF CDCLIENTE, NMFANTCLIE, NRINSDIGITOS ON CLIENTE BEGIN
  UPDATE CLIENTE_BUSCA SET CDCLIENTE = NEW.CDCLIENTE WHERE CDCLIENTE = OLD.CDCLIENTE;
  INSERT OR IGNORE INTO CLIENTE_BUSCA (CDCLIENTE) VALUES (NEW.CDCLIENTE);
  DELETE FROM CLIENTE_TRIGRAMA WHERE rowid = (SELECT ID FROM CLIENTE_BUSCA WHERE CDCLIENTE = NEW.CDCLIENTE);
  INSERT INTO CLIENTE_TRIGRAMA (rowid, NOME, DIGITOS)
    SELECT B.ID, C.NMFANTCLIE, C.NRINSDIGITOS FROM CLIENTE_BUSCA B JOIN CLIENTE C ON C.CDCLIENTE = B.CDCLIENTE
    WHERE B.CDCLIENTE = NEW.CDCLIENTE;
END;
CREATE TRIGGER CLIENTE_BUSCA_DELETE AFTER DELETE ON CLIENTE BEGIN
  DELETE FROM CLIENTE_TRIGRAMA WHERE rowid = (SELECT ID FROM CLIENTE_BUSCA WHERE CDCLIENTE = OLD.CDCLIENTE);
  DELETE FROM CLIENTE_BUSCA WHERE CDCLIENTE = OLD.CDCLIENTE;
END;
)sql";

// The change history and the bulk batches. A copy keeps one narrow line per target row (its key,
// whether it was added or replaced, and the texts a replaced row had), plus the texts and the
// model rows it applied, once per batch: the full before and after of each row follow from them,
// at a fraction of the cost of writing them out per row. Every other write keeps one record per
// changed row with its fields' old and new values.
std::string historySchema(std::string_view idColumn) {
  std::string id(idColumn);
  return R"sql(
CREATE TABLE KDR_LOTE (
  NRLOTE )sql" +
         id + R"sql(,
  DTLOTE VARCHAR(23) NOT NULL,
  NMUSUARIO VARCHAR(100),
  NRPEDIDO BIGINT,
  NMMETODO VARCHAR(40) NOT NULL,
  NMOPERACAO VARCHAR(20) NOT NULL,
  CDMODELO VARCHAR(21),
  DSTIPOS VARCHAR(40),
  DSALVOS TEXT,
  QTINCLUIDAS BIGINT NOT NULL DEFAULT 0,
  QTSUBSTITUIDAS BIGINT NOT NULL DEFAULT 0,
  NRLOTEDESFEITO BIGINT,
  NRHISTBASE BIGINT NOT NULL
);
CREATE TABLE KDR_LOTE_TEXTO (
  NRLOTE BIGINT NOT NULL,
  IDTPFATUCLIE VARCHAR(1) NOT NULL,
  CDEMPRESA VARCHAR(2) NOT NULL,
  DSFATURCLIE VARCHAR(400),
  DSBOLETCLIE VARCHAR(400),
  PRIMARY KEY (NRLOTE, IDTPFATUCLIE, CDEMPRESA)
);
CREATE TABLE KDR_LOTE_COPIA (
  NRLOTE BIGINT NOT NULL,
  IDTPFATUCLIE VARCHAR(1) NOT NULL,
  CDEMPRESA VARCHAR(2) NOT NULL,
  DSFATURCLIE VARCHAR(400),
  DSBOLETCLIE VARCHAR(400),
  IDFATURAPFILI VARCHAR(1),
  IDFATMESATUCLIE VARCHAR(1),
  CDTIPOSERV VARCHAR(3),
  CDGERENTEIMPCLI VARCHAR(12),
  IDGERANFUNIFICA VARCHAR(1),
  VRPERCAJUSTEINV DOUBLE PRECISION,
  PRIMARY KEY (NRLOTE, IDTPFATUCLIE, CDEMPRESA)
);
CREATE TABLE KDR_LOTE_LINHA (
  NRLOTE BIGINT NOT NULL,
  CDCLIENTE VARCHAR(21) NOT NULL,
  IDTPFATUCLIE VARCHAR(1) NOT NULL,
  CDEMPRESA VARCHAR(2) NOT NULL,
  IDACAO VARCHAR(1) NOT NULL,
  DSFATURCLIE VARCHAR(400),
  DSBOLETCLIE VARCHAR(400)
);
CREATE INDEX KDR_LOTE_LINHA_LOTE ON KDR_LOTE_LINHA (NRLOTE);
CREATE TABLE KDR_HISTORICO (
  NRHIST )sql" +
         id + R"sql(,
  DTHIST VARCHAR(23) NOT NULL,
  NMUSUARIO VARCHAR(100),
  NRPEDIDO BIGINT,
  NMMETODO VARCHAR(40) NOT NULL,
  NRLOTE BIGINT,
  NMTABELA VARCHAR(30) NOT NULL,
  CDCLIENTE VARCHAR(21),
  IDTPFATU VARCHAR(1),
  CDEMPRESA VARCHAR(2),
  IDOPERACAO VARCHAR(1) NOT NULL,
  DSCAMPOS TEXT NOT NULL
);
CREATE INDEX KDR_HISTORICO_CLIENTE ON KDR_HISTORICO (CDCLIENTE);
CREATE INDEX KDR_HISTORICO_LOTE ON KDR_HISTORICO (NRLOTE);
)sql";
}

// The history read in pages, oldest first: the records in time order, a batch's lines in key
// order, each page found through an index however long the history.
constexpr std::string_view historyPages = R"sql(
CREATE INDEX KDR_HISTORICO_QUANDO ON KDR_HISTORICO (DTHIST, NRHIST);
CREATE INDEX KDR_LOTE_LINHA_CHAVE ON KDR_LOTE_LINHA (NRLOTE, CDCLIENTE, IDTPFATUCLIE, CDEMPRESA);
DROP INDEX KDR_LOTE_LINHA_LOTE;
)sql";

// A name folded by SQLite's own functions (upper() changes ASCII letters only), so that a
// connection without the server's functions can still write a client: reads NOME and the columns
// around it (before, after) from query, and gives the query to read from and the folded name's
// expression. Every replacementsPerQuery replacements read the name from a query around the last
// ones: one expression holding them all overflows the parser, as do too many where the query sits
// deep in a statement.
struct SqliteFolded {
  std::string query;
  std::string name;
};
SqliteFolded sqliteFolded(std::string query, const std::string &before, const std::string &after,
                          int replacementsPerQuery) {
  const utf8::SearchFolding &folding = utf8::searchFolding();
  std::string name = "NOME";
  int replacements = 0;
  for (std::size_t i = 0, j = 0; i < folding.from.size() && j < folding.to.size();) {
    const std::size_t fromStart = i, toStart = j;
    const char32_t from = utf8::decode(folding.from, i);
    utf8::decode(folding.to, j);
    if (from < 0x80) continue;
    if (++replacements % replacementsPerQuery == 0) {
      query = "SELECT " + before + name + " AS NOME" + after + " FROM (" + query + ")";
      name = "NOME";
    }
    name = "replace(" + name + ", '" + folding.from.substr(fromStart, i - fromStart) + "', '" +
           folding.to.substr(toStart, j - toStart) + "')";
  }
  return {query, "upper(" + name + ")"};
}

// The rows of the index for the clients a condition on B (CLIENTE_BUSCA) selects.
std::string sqliteIndexRows(const std::string &where) {
  const SqliteFolded folded =
      sqliteFolded("SELECT B.ID AS ID, C.NMFANTCLIE AS NOME, C.NRINSDIGITOS AS DIGITOS FROM CLIENTE_BUSCA B "
                   "JOIN CLIENTE C ON C.CDCLIENTE = B.CDCLIENTE" +
                       where,
                   "ID, ", ", DIGITOS", 20);
  return "SELECT ID, " + folded.name + " || '  ', DIGITOS || '  ' FROM (" + folded.query + ")";
}

// The client search is blind to case and accents, and finds a text of any length through an
// index. The names go into the index folded and followed by two spaces, so that each of their
// characters and each pair of them starts one of the indexed three-character runs: a filter of
// one or two characters is found among the runs it starts (CLIENTE_TRIGRAMA_TERMO lists each run
// with its client).
std::string sqliteFoldedClientIndex() {
  const std::string write = "  DELETE FROM CLIENTE_TRIGRAMA WHERE rowid = "
                            "(SELECT ID FROM CLIENTE_BUSCA WHERE CDCLIENTE = NEW.CDCLIENTE);\n"
                            "  INSERT INTO CLIENTE_TRIGRAMA (rowid, NOME, DIGITOS) " +
                            sqliteIndexRows(" WHERE B.CDCLIENTE = NEW.CDCLIENTE") + ";\n";
  return R"sql(
DROP TRIGGER CLIENTE_BUSCA_INSERT;
DROP TRIGGER CLIENTE_BUSCA_UPDATE;
DROP TRIGGER CLIENTE_BUSCA_DELETE;
DROP TABLE CLIENTE_TRIGRAMA;
CREATE VIRTUAL TABLE CLIENTE_TRIGRAMA USING fts5(NOME, DIGITOS, tokenize = 'trigram case_sensitive 1');
CREATE VIRTUAL TABLE CLIENTE_TRIGRAMA_TERMO USING fts5vocab(CLIENTE_TRIGRAMA, 'instance');
INSERT INTO CLIENTE_TRIGRAMA (rowid, NOME, DIGITOS) )sql" +
         sqliteIndexRows("") + R"sql(;
CREATE TRIGGER CLIENTE_BUSCA_INSERT AFTER INSERT ON CLIENTE BEGIN
  INSERT OR IGNORE INTO CLIENTE_BUSCA (CDCLIENTE) VALUES (NEW.CDCLIENTE);
)sql" + write +
         R"sql(END;
CREATE TRIGGER CLIENTE_BUSCA_UPDATE AFTER UPDATE OF CDCLIENTE, NMFANTCLIE, NRINSDIGITOS ON CLIENTE BEGIN
  UPDATE CLIENTE_BUSCA SET CDCLIENTE = NEW.CDCLIENTE WHERE CDCLIENTE = OLD.CDCLIENTE;
  INSERT OR IGNORE INTO CLIENTE_BUSCA (CDCLIENTE) VALUES (NEW.CDCLIENTE);
)sql" + write +
         R"sql(END;
CREATE TRIGGER CLIENTE_BUSCA_DELETE AFTER DELETE ON CLIENTE BEGIN
  DELETE FROM CLIENTE_TRIGRAMA WHERE rowid = (SELECT ID FROM CLIENTE_BUSCA WHERE CDCLIENTE = OLD.CDCLIENTE);
  DELETE FROM CLIENTE_BUSCA WHERE CDCLIENTE = OLD.CDCLIENTE;
END;
)sql";
}

// The same search on PostgreSQL: kdr_fold is the server's folding written as one translation;
// kdr_runs gives the runs of a text from shortest to longest characters (the index keeps each once);
// its cost tells the planner to read the index rather than run it on every client. Names are
// indexed by their runs of one to three characters (a filter of one or two is one run, a longer
// one the runs of three it holds), the digits by their runs of one and two besides the index of
// their three-character runs.
std::string postgresqlFoldedClientIndex() {
  const utf8::SearchFolding &folding = utf8::searchFolding();
  return R"sql(
CREATE FUNCTION kdr_fold(t TEXT) RETURNS TEXT LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE
  AS $$ SELECT translate(t, ')sql" +
         folding.from + "', '" + folding.to + R"sql(') $$;
CREATE FUNCTION kdr_runs(t TEXT, shortest INTEGER, longest INTEGER) RETURNS TEXT[]
  LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE COST 1000 AS $$
DECLARE runs TEXT[] := '{}';
BEGIN
  FOR n IN shortest..longest LOOP
    FOR i IN 1..length(t) - n + 1 LOOP
      runs := runs || substr(t, i, n);
    END LOOP;
  END LOOP;
  RETURN runs;
END $$;
DROP INDEX CLIENTE_NMFANTCLIE_TRGM;
CREATE INDEX CLIENTE_NMFANTCLIE_RUNS ON CLIENTE USING GIN (kdr_runs(kdr_fold(NMFANTCLIE), 1, 3));
CREATE INDEX CLIENTE_NRINSDIGITOS_RUNS ON CLIENTE USING GIN (kdr_runs(NRINSDIGITOS, 1, 2));
)sql";
}

// The writes answered so far, by the key each desktop gave its request: a write sent again is
// answered from here instead of being applied twice (see ResendGuard). NRINSTANTE is when the
// key was first seen, in seconds since 1970 by the server's clock.
constexpr std::string_view answeredWrites = R"sql(
CREATE TABLE KDR_PEDIDO (
  CHAVE VARCHAR(100) NOT NULL PRIMARY KEY,
  DSIMPRESSAO VARCHAR(16) NOT NULL,
  NRINSTANTE BIGINT NOT NULL,
  NRSITUACAO INTEGER,
  DSRESPOSTA TEXT
);
CREATE INDEX KDR_PEDIDO_INSTANTE ON KDR_PEDIDO (NRINSTANTE);
)sql";

// Operators' passwords and their open sessions. A password is kept only as its salted
// memory-hard hash, apart from OPERADOR, which desktops copy; a session only as the hash of its
// key, so that what the database holds cannot be replayed. Sessions live in the database so that
// every server on it accepts them.
constexpr std::string_view signInSchema = R"sql(
CREATE TABLE KDR_SENHA (
  CDOPERADOR VARCHAR(12) NOT NULL PRIMARY KEY REFERENCES OPERADOR (CDOPERADOR),
  DSHASH VARCHAR(200) NOT NULL,
  DTALTERACAO VARCHAR(23) NOT NULL
);
CREATE TABLE KDR_SESSAO (
  DSHASHCHAVE VARCHAR(64) NOT NULL PRIMARY KEY,
  CDOPERADOR VARCHAR(12) NOT NULL REFERENCES OPERADOR (CDOPERADOR),
  DTINICIO VARCHAR(23) NOT NULL,
  DTEXPIRA VARCHAR(23) NOT NULL
);
CREATE INDEX KDR_SESSAO_EXPIRA ON KDR_SESSAO (DTEXPIRA);
)sql";

// A client looked up by its registration number is read from the index of the digits alone, in
// code order: one walk down one tree instead of one down the index and one down the table, which
// is what grows with the number of clients. The index takes the old one's place for every other
// use of the digits.
constexpr std::string_view sqliteClientNumberIndex = R"sql(
CREATE INDEX CLIENTE_NRINSDIGITOS_LEITURA
  ON CLIENTE (NRINSDIGITOS, CDCLIENTE, NRINSJURCLIE, NMFANTCLIE, IDTPIJURCLIE);
DROP INDEX CLIENTE_NRINSDIGITOS;
)sql";
constexpr std::string_view postgresqlClientNumberIndex = R"sql(
CREATE INDEX CLIENTE_NRINSDIGITOS_LEITURA
  ON CLIENTE (NRINSDIGITOS, CDCLIENTE) INCLUDE (NRINSJURCLIE, NMFANTCLIE, IDTPIJURCLIE);
DROP INDEX CLIENTE_NRINSDIGITOS;
)sql";

// Who may do what changes seldom and is read on every request: a server keeps the operators of the
// sessions it has seen and asks only whether anything about sessions, operators or their groups
// changed since. One number, moved by triggers whoever writes those tables (another server, an
// administrator's command, hand-written SQL).
constexpr std::string_view accessTables[] = {"KDR_SESSAO", "OPERADOR", "OPERGRUPOP", "AUTGRUPOP"};
constexpr std::string_view accessVersion = R"sql(
CREATE TABLE KDR_ACESSO_VERSAO (NRVERSAO BIGINT NOT NULL);
INSERT INTO KDR_ACESSO_VERSAO (NRVERSAO) VALUES (0);
)sql";

std::string sqliteAccessVersion() {
  std::string sql(accessVersion);
  for (std::string_view table : accessTables)
    for (std::string_view verb : {"INSERT", "UPDATE", "DELETE"})
      sql += "CREATE TRIGGER " + std::string(table) + "_ACESSO_" + std::string(verb) + " AFTER " +
             std::string(verb) + " ON " + std::string(table) +
             " BEGIN UPDATE KDR_ACESSO_VERSAO SET NRVERSAO = NRVERSAO + 1; END;\n";
  return sql;
}

// Once per statement, so that a statement writing many rows moves the number once.
std::string postgresqlAccessVersion() {
  std::string sql(accessVersion);
  sql += "CREATE FUNCTION KDR_ACESSO_MUDOU() RETURNS trigger LANGUAGE plpgsql AS $$\nBEGIN\n"
         "  UPDATE KDR_ACESSO_VERSAO SET NRVERSAO = NRVERSAO + 1;\n  RETURN NULL;\nEND $$;\n";
  for (std::string_view table : accessTables)
    sql += "CREATE TRIGGER " + std::string(table) + "_ACESSO AFTER INSERT OR UPDATE OR DELETE ON " +
           std::string(table) + " FOR EACH STATEMENT EXECUTE FUNCTION KDR_ACESSO_MUDOU();\n";
  return sql;
}

// The client search walks the clients whose folded name holds a run of one to three characters in
// code order (CLIENTE_TRECHO), testing each, so that a page of a filter many clients match costs
// what the page costs, wherever in code order they are, and one few clients match what they cost.
// The runs come from the name folded as the search folds it (KDR_POSICAO numbers the characters of
// a name, beyond the 50 the server writes). On SQLite the triggers fold with SQLite's own
// functions, as the index of digits does, so that a connection without the server's can still
// write a client.
std::string sqliteFoldedClients(const std::string &source) {
  const SqliteFolded folded = sqliteFolded(source, "CDCLIENTE, ", "", 8);
  return "SELECT CDCLIENTE, " + folded.name + " AS NOME FROM (" + folded.query + ")";
}

// The runs of the clients F, a table of CDCLIENTE and NOME folded, read once per client.
std::string sqliteNameRuns(const std::string &clients) {
  return "SELECT substr(F.NOME, P.N, L.N) AS TRECHO, F.CDCLIENTE AS CDCLIENTE FROM " + clients +
         " F JOIN KDR_POSICAO P ON P.N <= length(F.NOME) "
         "JOIN KDR_POSICAO L ON L.N <= 3 AND P.N + L.N - 1 <= length(F.NOME)";
}

std::string sqliteClientNameRuns() {
  // LIMIT keeps the one client's folded name a query of its own, folded once rather than per run.
  const auto runsOf = [](const std::string &row) {
    return sqliteNameRuns(
        "(" +
        sqliteFoldedClients("SELECT " + row + ".CDCLIENTE AS CDCLIENTE, " + row + ".NMFANTCLIE AS NOME") +
        " LIMIT 1)");
  };
  const std::string forget = "  DELETE FROM CLIENTE_TRECHO WHERE CDCLIENTE = OLD.CDCLIENTE AND TRECHO IN "
                             "(SELECT TRECHO FROM (" +
                             runsOf("OLD") + "));\n";
  const std::string remember =
      "  INSERT OR IGNORE INTO CLIENTE_TRECHO (TRECHO, CDCLIENTE) " + runsOf("NEW") + ";\n";
  return R"sql(
CREATE TABLE KDR_POSICAO (N INTEGER PRIMARY KEY);
WITH RECURSIVE P(N) AS (SELECT 1 UNION ALL SELECT N + 1 FROM P WHERE N < 1000)
  INSERT INTO KDR_POSICAO (N) SELECT N FROM P;
CREATE TABLE CLIENTE_TRECHO (
  TRECHO VARCHAR(3) NOT NULL,
  CDCLIENTE VARCHAR(21) NOT NULL,
  PRIMARY KEY (TRECHO, CDCLIENTE)
) WITHOUT ROWID;
WITH F AS MATERIALIZED ()sql" +
         sqliteFoldedClients("SELECT CDCLIENTE, NMFANTCLIE AS NOME FROM CLIENTE") + R"sql()
INSERT OR IGNORE INTO CLIENTE_TRECHO (TRECHO, CDCLIENTE) )sql" +
         sqliteNameRuns("F") + R"sql( ORDER BY 1, 2;
CREATE TRIGGER CLIENTE_TRECHO_INSERT AFTER INSERT ON CLIENTE BEGIN
)sql" + remember +
         R"sql(END;
CREATE TRIGGER CLIENTE_TRECHO_UPDATE AFTER UPDATE OF CDCLIENTE, NMFANTCLIE ON CLIENTE BEGIN
)sql" + forget +
         remember + R"sql(END;
CREATE TRIGGER CLIENTE_TRECHO_DELETE AFTER DELETE ON CLIENTE BEGIN
)sql" + forget +
         "END;\n";
}

// The same runs on PostgreSQL, in place of the index of the names' runs that gave the candidates
// in no useful order. The folded name is kept beside the name (NMFANTBUSCA), so that testing a
// candidate does not fold its name again (a translation of a hundred characters per row).
constexpr std::string_view postgresqlClientNameRuns = R"sql(
ALTER TABLE CLIENTE ADD COLUMN NMFANTBUSCA TEXT GENERATED ALWAYS AS (kdr_fold(NMFANTCLIE)) STORED;
CREATE TABLE CLIENTE_TRECHO (TRECHO VARCHAR(3) NOT NULL, CDCLIENTE VARCHAR(21) NOT NULL);
INSERT INTO CLIENTE_TRECHO (TRECHO, CDCLIENTE)
  SELECT R.TRECHO, C.CDCLIENTE FROM CLIENTE C,
    LATERAL (SELECT DISTINCT substr(C.NMFANTBUSCA, P, L) AS TRECHO
             FROM generate_series(1, 3) L, generate_series(1, length(C.NMFANTBUSCA) - L + 1) P) R;
ALTER TABLE CLIENTE_TRECHO ADD PRIMARY KEY (TRECHO, CDCLIENTE);
ANALYZE CLIENTE_TRECHO;
DROP INDEX CLIENTE_NMFANTCLIE_RUNS;
CREATE FUNCTION CLIENTE_TRECHO_MANTEM() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  IF TG_OP <> 'INSERT' THEN
    DELETE FROM CLIENTE_TRECHO WHERE CDCLIENTE = OLD.CDCLIENTE AND TRECHO = ANY (kdr_runs(OLD.NMFANTBUSCA, 1, 3));
  END IF;
  IF TG_OP <> 'DELETE' THEN
    INSERT INTO CLIENTE_TRECHO (TRECHO, CDCLIENTE)
      SELECT DISTINCT R, NEW.CDCLIENTE FROM unnest(kdr_runs(NEW.NMFANTBUSCA, 1, 3)) R ON CONFLICT DO NOTHING;
  END IF;
  RETURN NULL;
END $$;
CREATE TRIGGER CLIENTE_TRECHO_MANTEM AFTER INSERT OR DELETE OR UPDATE OF CDCLIENTE, NMFANTCLIE ON CLIENTE
  FOR EACH ROW EXECUTE FUNCTION CLIENTE_TRECHO_MANTEM();
)sql";

} // namespace

// kdr_digits is registered on every connection the server opens. The triggers keep the digits
// right whoever writes the client, as long as the writer's connection knows the function (one
// that does not is refused rather than left with stale digits).
const std::vector<std::string> &sqliteMigrations() {
  static const std::vector<std::string> list{
      std::string(baseSchema), R"sql(
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
)sql",
      changeNumbers("lower(hex(randomblob(16)))", sqliteTriggers), std::string(sqliteClientIndex),
      // An INTEGER PRIMARY KEY is the row id: numbered by the
      // engine, never reused while the largest row stays
      // (history is never deleted).
      historySchema("INTEGER PRIMARY KEY"), std::string(historyPages), sqliteFoldedClientIndex(),
      std::string(answeredWrites), std::string(signInSchema), std::string(sqliteClientNumberIndex),
      sqliteAccessVersion(), sqliteClientNameRuns()};
  return list;
}

const std::vector<std::string> &postgresqlMigrations() {
  static const std::vector<std::string> list{
      std::string(baseSchema) +
          "CREATE INDEX CLIENTE_NRINSDIG ON CLIENTE (regexp_replace(NRINSJURCLIE, '[^0-9]', '', 'g'));",
      // Generated: filled for every existing row now and by the database on every write.
      R"sql(
DROP INDEX CLIENTE_NRINSDIG;
ALTER TABLE CLIENTE ADD COLUMN NRINSDIGITOS TEXT
  GENERATED ALWAYS AS (regexp_replace(NRINSJURCLIE, '[^0-9]', '', 'g')) STORED;
CREATE INDEX CLIENTE_NRINSDIGITOS ON CLIENTE (NRINSDIGITOS);
)sql",
      changeNumbers("md5(random()::text || clock_timestamp()::text)", postgresqlTriggers),
      postgresqlClientIndex(), historySchema("BIGSERIAL PRIMARY KEY"), std::string(historyPages),
      postgresqlFoldedClientIndex(), std::string(answeredWrites), std::string(signInSchema),
      std::string(postgresqlClientNumberIndex), postgresqlCounterAtCommit(), postgresqlAccessVersion(),
      std::string(postgresqlClientNameRuns)};
  return list;
}

} // namespace kdr::server
