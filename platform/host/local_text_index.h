#pragma once
// The text index of the local copy's large tables (the clients): for each row, every run of up to
// three characters of its searchable columns, folded as the lists fold (upper case, accents aside).
// Triggers keep it whoever writes the table. A list narrowed to a text that few clients hold reads
// those clients through it instead of reading the whole table in the list's order.
#include <optional>
#include <string>
#include <vector>

namespace kdr {

class TLocalConnection;

// Creates the indexes the file lacks and fills them from the rows already there: an existing file
// gets them on its next start, once. Registers the function the triggers call.
void addTextIndexes(TLocalConnection &connection);

// Every row of the table goes, its index with it, inside the caller's transaction. An indexed
// table (true) is left without the triggers that keep its index, so that the whole copy written
// next is indexed in one pass by reindexTable, before the transaction ends.
bool clearIndexedTable(TLocalConnection &connection, const std::string &table);
// Indexes every row of a table that clearIndexedTable emptied and puts its triggers back.
void reindexTable(TLocalConnection &connection, const std::string &table);

// What narrows a query through the index: a condition to add to the exact comparison (its key
// among the rows whose runs the index holds) and the value of its parameter :KDR_TRECHOS.
struct IndexedNarrowing {
  std::string condition;
  std::string runs;
};

// The index's narrowing of the query to the rows whose fields hold the folded text, or none when
// the index cannot serve it: the fields are not all indexed columns of one table, the query lacks
// that table's key or names the table more than once, or so many rows hold the text that reading
// the list in its order finds a packet of them sooner.
std::optional<IndexedNarrowing> indexedNarrowing(const TLocalConnection &connection, const std::string &query,
                                                 const std::vector<std::string> &fields,
                                                 const std::string &foldedText);

} // namespace kdr
