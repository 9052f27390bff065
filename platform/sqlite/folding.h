#pragma once
// kdr_fold(text): the text as searches compare it (upper case, accents aside: utf8::foldForSearch),
// null for null. Registered on every connection that filters names, so the server's searches and
// the host's lists over its local copy fold alike.
struct sqlite3;

namespace kdr::sqlite {

void addFolding(sqlite3 *db);

} // namespace kdr::sqlite
