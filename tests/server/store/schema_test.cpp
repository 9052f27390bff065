// The tables the server's code reads and writes are the tables the migrations built, on both
// engines; and a migration that stored databases have run never changes its text.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <ostream>
#include <string_view>

#include "server/store/cached_tables.h"
#include "server/store/dialect.h"
#include "server/store/tables.h"
#include "tests/server/server_fixture.h"

namespace kdr::server::testing {
namespace {

// What the engine's catalog says of a column, in one form for both engines.
struct Described {
  std::string name;
  std::string type; // "text" or "float"
  std::int64_t size = 0;
  bool notNull = false;
  bool operator==(const Described &) const = default;
};

std::ostream &operator<<(std::ostream &os, const Described &c) {
  return os << c.name << " " << c.type << "(" << c.size << ")" << (c.notNull ? " not null" : "");
}

std::string upper(std::string s) {
  for (char &c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Columns in stored order, and the primary key in its order.
std::pair<std::vector<Described>, std::vector<std::string>> describe(Session &s, const std::string &table) {
  std::vector<Described> columns;
  std::vector<std::string> key;
  if (s.dialect().engine() == "sqlite") {
    Rows rows =
        s.query("SELECT name, upper(type), \"notnull\", pk FROM pragma_table_info(?) ORDER BY cid", {table});
    std::vector<std::pair<std::int64_t, std::string>> keyed;
    for (const Row &r : rows) {
      const std::string type = r[1].asString();
      const bool text = type.rfind("VARCHAR(", 0) == 0;
      columns.push_back({upper(r[0].asString()),
                         text                         ? "text"
                         : type == "DOUBLE PRECISION" ? "float"
                                                      : type,
                         text ? std::stoll(type.substr(8)) : 0, r[2].asInteger() != 0});
      if (r[3].asInteger() > 0) keyed.emplace_back(r[3].asInteger(), upper(r[0].asString()));
    }
    std::sort(keyed.begin(), keyed.end());
    for (auto &[order, name] : keyed) key.push_back(name);
  } else {
    for (const Row &r : s.query("SELECT column_name, data_type, character_maximum_length, is_nullable "
                                "FROM information_schema.columns WHERE table_schema = current_schema() "
                                "AND table_name = lower(?) ORDER BY ordinal_position",
                                {table})) {
      const std::string type = r[1].asString();
      columns.push_back({upper(r[0].asString()),
                         type == "character varying"  ? "text"
                         : type == "double precision" ? "float"
                                                      : type,
                         r[2].isNull() ? 0 : r[2].asInteger(), r[3].asString() == "NO"});
    }
    for (const Row &r :
         s.query("SELECT k.column_name FROM information_schema.table_constraints c "
                 "JOIN information_schema.key_column_usage k ON k.constraint_name = "
                 "c.constraint_name AND k.table_schema = c.table_schema "
                 "WHERE c.constraint_type = 'PRIMARY KEY' AND c.table_schema = current_schema() "
                 "AND c.table_name = lower(?) ORDER BY k.ordinal_position",
                 {table}))
      key.push_back(upper(r[0].asString()));
  }
  return {columns, key};
}

class Schema : public ::testing::TestWithParam<std::string> {};

TEST_P(Schema, EveryTableHasTheColumnsTheServerKnows) {
  ScratchDatabase db(GetParam());
  if (!db.available()) GTEST_SKIP() << "PostgreSQL suite skipped: KDR_TEST_PG is not set";
  auto store = Store::open(db.url());
  auto s = store->session();
  for (const Table *t : tables::all()) {
    auto [columns, key] = describe(*s, t->name);
    // Columns the database keeps by itself, never written by the server.
    std::erase_if(columns, [&](const Described &c) {
      return (c.name == "NRVERSAO" && findCachedTable(t->name)) ||
             (t->name == "CLIENTE" && (c.name == "NRINSDIGITOS" || c.name == "NMFANTBUSCA"));
    });
    std::vector<Described> expected;
    for (const Column &c : t->columns)
      expected.push_back(
          {c.def.name, c.def.type == FieldType::Float ? "float" : "text", c.def.size, c.notNull});
    EXPECT_EQ(columns, expected) << t->name;
    EXPECT_EQ(key, t->key) << t->name;
  }
}

// FNV-1a: a fingerprint that stays the same across compilers and runs.
std::uint64_t fingerprint(std::string_view text) {
  std::uint64_t h = 14695981039346656037ull;
  for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
  return h;
}

// Parts of the migrations are written from the server's own lists (the cached tables, their
// columns): a change to those lists must come as a new migration, never as a new text of one
// that stored databases have already run. A migration added later is recorded here once it lands.
TEST(Migrations, KeepTheTextStoredDatabasesRan) {
  const std::vector<std::pair<const Dialect *, std::vector<std::uint64_t>>> recorded{
      {&sqliteDialect(),
       {5607525670800041844ull, 9385497206619298457ull, 5707336743681807263ull, 3366405636109179078ull,
        10972032551552641230ull, 12091920639022347637ull, 17572427967606228019ull, 6014927555640743217ull,
        11371025987165057550ull, 2507227548519368062ull, 7233439159048844476ull, 6200804163699234106ull}},
      {&postgresqlDialect(),
       {15370606835531530190ull, 969320599366578974ull, 2036301227114326942ull, 13871038656446335944ull,
        9978156355591802370ull, 12091920639022347637ull, 12500631988718013662ull, 6014927555640743217ull,
        11371025987165057550ull, 6327149639196077403ull, 3947857514926284968ull, 2638084888199002327ull,
        13103284988467893136ull}}};
  for (const auto &[dialect, prints] : recorded) {
    const std::vector<std::string> &migrations = dialect->migrations();
    ASSERT_GE(migrations.size(), prints.size()) << dialect->engine();
    // The fingerprints as they are now, to record a new migration.
    std::string now;
    for (const std::string &m : migrations) now += std::to_string(fingerprint(m)) + "ull, ";
    for (std::size_t i = 0; i < prints.size(); ++i)
      EXPECT_EQ(fingerprint(migrations[i]), prints[i])
          << dialect->engine() << " migration " << i + 1 << "; now: " << now;
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, Schema, ::testing::Values("sqlite", "postgresql"),
                         [](const auto &info) { return info.param; });

} // namespace
} // namespace kdr::server::testing
