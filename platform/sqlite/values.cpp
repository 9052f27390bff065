#include "platform/sqlite/values.h"

#include <sqlite3.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "platform/rtl/exceptions.h"

namespace kdr::sqlite {
namespace {

[[noreturn]] void refuse(const std::string &what) {
  throw EDatabaseError("O banco de dados não guarda " + what + ".");
}

} // namespace

std::string_view columnText(sqlite3_stmt *stmt, int index) {
  // The pointer first: the byte count is only right once the text form exists.
  const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, index));
  if (text == nullptr) return {};
  return {text, static_cast<std::size_t>(sqlite3_column_bytes(stmt, index))};
}

int bind(sqlite3_stmt *stmt, int index, const Variant &value, Text text) {
  switch (value.kind()) {
  case Variant::Kind::Unassigned:
  case Variant::Kind::Null:
    return sqlite3_bind_null(stmt, index);
  case Variant::Kind::Boolean:
  case Variant::Kind::Integer:
    return sqlite3_bind_int64(stmt, index, value.asInteger());
  case Variant::Kind::Float:
    if (std::isnan(value.asFloat())) refuse("um número indefinido (NaN)");
    return sqlite3_bind_double(stmt, index, value.asFloat());
  case Variant::Kind::String: {
    const std::string &s = value.str();
    if (s.find('\0') != std::string::npos) refuse("texto com o caractere nulo");
    return sqlite3_bind_text64(stmt, index, s.data(), s.size(),
                               text == Text::Copied ? SQLITE_TRANSIENT : SQLITE_STATIC, SQLITE_UTF8);
  }
  case Variant::Kind::Array:
  case Variant::Kind::Packet:
    break;
  }
  refuse("uma lista nem um pacote de dados como valor de parâmetro");
}

Variant column(sqlite3_stmt *stmt, int index) {
  switch (sqlite3_column_type(stmt, index)) {
  case SQLITE_NULL:
    return Variant(nullptr);
  case SQLITE_INTEGER:
    return Variant(static_cast<std::int64_t>(sqlite3_column_int64(stmt, index)));
  case SQLITE_FLOAT:
    return Variant(sqlite3_column_double(stmt, index));
  default:
    return Variant(std::string(columnText(stmt, index)));
  }
}

Variant column(sqlite3_stmt *stmt, int index, FieldType type) {
  Variant stored = column(stmt, index);
  if (!stored.isNumber()) return stored;
  switch (type) {
  case FieldType::Boolean:
    return Variant(stored.asFloat() != 0);
  case FieldType::Integer:
    if (stored.kind() == Variant::Kind::Float && std::trunc(stored.asFloat()) == stored.asFloat() &&
        std::fabs(stored.asFloat()) < 9.2e18)
      return Variant(stored.asInteger());
    return stored;
  case FieldType::Float:
    return Variant(stored.asFloat());
  case FieldType::String:
    // Not SQLite's own text of a float, which keeps only 15 digits.
    return Variant(stored.asString());
  }
  return stored;
}

} // namespace kdr::sqlite
