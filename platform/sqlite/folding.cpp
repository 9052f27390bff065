#include "platform/sqlite/folding.h"

#include <sqlite3.h>

#include <string>

#include "platform/rtl/utf8.h"

namespace kdr::sqlite {

namespace {

void foldFunction(sqlite3_context *ctx, int, sqlite3_value **argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
  const std::string out = utf8::foldForSearch(text ? text : "");
  sqlite3_result_text(ctx, out.c_str(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

} // namespace

void addFolding(sqlite3 *db) {
  sqlite3_create_function(db, "kdr_fold", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, foldFunction,
                          nullptr, nullptr);
}

} // namespace kdr::sqlite
