#pragma once
// Variants in and out of SQLite statements, one way for every database of the system (the
// server's and the desktop's local copy), so a value written by one reads back the same in the
// other.
//
// Booleans are stored as the integers 1 and 0 (SQLite has no Boolean). Floats are stored and read
// as the exact double. Text is stored as its UTF-8 bytes; text holding the NUL character is
// refused, as the server refuses it in a request, because SQL functions and other engines would
// cut it there. A NaN is refused too: SQLite would store it as null.
#include <string_view>

#include "platform/rtl/datapacket.h"
#include "platform/rtl/variant.h"

struct sqlite3_stmt;

namespace kdr::sqlite {

// Whether bound text is copied. Borrowed text must outlive the statement's next reset: the
// caller keeps the variant alive until then.
enum class Text { Copied, Borrowed };

// Binds value to the parameter at index (from 1); unassigned binds null like null. Returns the
// engine's result code. Raises EDatabaseError for a value the database cannot hold (an array, a
// packet, text with NUL, a NaN).
int bind(sqlite3_stmt *stmt, int index, const Variant &value, Text text = Text::Copied);

// The column's value by how it is stored: null, integer, float or string.
Variant column(sqlite3_stmt *stmt, int index);

// The column's text where SQLite holds it, valid until the statement's next step; empty for null.
std::string_view columnText(sqlite3_stmt *stmt, int index);

// The column's value read for a field of the given type: an integer or a float becomes the
// type's number (a fractional float in an integer field stays a float rather than lose its part),
// a number read as text is its exact shortest form, text stays text whatever the type.
Variant column(sqlite3_stmt *stmt, int index, FieldType type);

} // namespace kdr::sqlite
