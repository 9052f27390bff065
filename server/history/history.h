#pragma once
// The change history of the billing parameters: who changed which row, when, from what to what.
// Every write keeps its records in its own transaction, so a write that fails leaves none. Bulk
// writes (a copy, an import, an undo) are batches with a number of their own; a copy stores one
// narrow line per target row and the texts and model rows it applied once, from which its rows'
// before and after are read back (see historySchema in dialect.cpp).
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/store/session.h"

namespace kdr::server {

// Who asked for a write.
struct Author {
  std::string user;         // the desktop's user name, or the login of whoever ran a command
  std::int64_t request = 0; // the server's request id; 0 for a command run by hand
  std::string method;       // the remote method or the command
};

// Now, in UTC, as the history stores it: "2026-12-08 14:03:07.125" (sorts as text).
std::string nowText();
std::string utcText(std::chrono::system_clock::time_point when);

struct FieldChange {
  std::string name;
  Variant before = nullptr, after = nullptr; // null before an insertion, after a deletion
};

enum class Operation : char { Insert = 'I', Modify = 'A', Delete = 'E' };

// One changed row. The key is the table's: client, billing type and company for the client
// parameters; company and billing type (client null) for the default texts.
struct RowChange {
  std::string table;
  Variant client = nullptr, type = nullptr, company = nullptr;
  Operation operation = Operation::Modify;
  std::vector<FieldChange> fields;
};

// Writes the records of one write; the caller owns the transaction. A writer of many rows may
// keep up to recordsPerInsert records and write them with one statement (in the order recorded,
// so they are numbered as if written one by one): it calls flush() before it commits and before
// anything reads this transaction's history.
class HistoryWriter {
public:
  HistoryWriter(Session &session, Author author, std::optional<std::int64_t> batch = std::nullopt,
                std::size_t recordsPerInsert = 1);
  void record(const RowChange &change);
  void flush();

private:
  Session &session_;
  Author author_;
  std::optional<std::int64_t> batch_;
  std::string when_;
  std::size_t recordsPerInsert_;
  Params kept_; // the values of the records not written yet
};

struct BatchInfo {
  std::int64_t number = 0;
  std::string when, user;
  std::int64_t request = 0;
  std::string operation; // "copia", "importacao" or "desfazer"
  std::string model, types, targets;
  std::int64_t added = 0, replaced = 0;
  std::optional<std::int64_t> undoes;   // of an undo: the batch it put back
  std::optional<std::int64_t> undoneBy; // the undo that put this batch back
  std::int64_t historyBase = 0;         // the last history record written before the batch
};

inline constexpr std::string_view copyOperation = "copia";
inline constexpr std::string_view importOperation = "importacao";
inline constexpr std::string_view undoOperation = "desfazer";

// Opens a batch inside the caller's transaction and returns its number; closeBatch stores its counts.
std::int64_t openBatch(Session &s, const Author &author, std::string_view operation, std::string_view model,
                       std::string_view types, std::string_view targets,
                       std::optional<std::int64_t> undoes = std::nullopt);
void closeBatch(Session &s, std::int64_t batch, std::int64_t added, std::int64_t replaced);
std::vector<BatchInfo> listBatches(Session &s);
std::optional<BatchInfo> findBatch(Session &s, std::int64_t batch);

struct HistoryEntry {
  std::string when, user;
  std::int64_t request = 0;
  std::string method;
  std::optional<std::int64_t> batch;
  RowChange change;
};

struct HistoryFilter {
  std::string client;                // only rows of this client
  std::string since;                 // only changes at or after this date ("2026-12-01" or longer)
  std::optional<std::int64_t> batch; // only the rows of this batch
};

// Oldest first. Every entry at once: for what is known to be small (one batch, one client's rows).
std::vector<HistoryEntry> readHistory(Session &s, const HistoryFilter &filter);

// The history in pages, so that however long it is, no reader holds more than a page of it.
// position is "" for the first page and, for each next one, the page's next; next is "" on the last
// page. A malformed position raises ServiceError (invalid argument).
inline constexpr std::size_t historyPageSize = 1000; // entries a page holds, at most, unless asked fewer
struct HistoryPage {
  std::vector<HistoryEntry> entries;
  std::string next;
};
HistoryPage readHistoryPage(Session &s, const HistoryFilter &filter, const std::string &position,
                            std::size_t size = historyPageSize);
// Every entry, oldest first, read a page at a time.
void forEachHistoryEntry(Session &s, const HistoryFilter &filter,
                         const std::function<void(const HistoryEntry &)> &visit);

// The newest change of one row of a table, named by its key (client null for a default text),
// from the records and the bulk batches alike; none when the history does not name the row.
std::optional<HistoryEntry> lastChange(Session &s, std::string_view table, const Variant &client,
                                       const Variant &type, const Variant &company);

// The fields a listing shows of a row: its changed fields, or one blank field for a row inserted
// or deleted with nothing but its key.
std::vector<FieldChange> shownFields(const RowChange &change);

// "101/3/01" (client, billing type, company); "01/3" for a company's default text.
std::string keyText(const RowChange &change);

// Equal as stored values: numbers compare as numbers (a rate read back as 0 equals 0.0).
bool sameStoredValue(const Variant &a, const Variant &b);

// A value as the history shows it: null as "", a rate without trailing zeros.
std::string shownValue(const Variant &v);

// The history as a packet, one row per changed field (the wire's and the CSV's form).
Variant historyPacket(const std::vector<HistoryEntry> &entries);

} // namespace kdr::server
