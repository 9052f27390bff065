#pragma once
// One database connection as the methods see it: bound statements with "?" placeholders, rows of
// variants, and a transaction guard. The engines implement it; what differs between them is in
// the dialect.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "platform/rtl/variant.h"
#include "server/store/dialect.h"

namespace kdr::server {

using Params = std::vector<Variant>;
using Row = std::vector<Variant>;
using Rows = std::vector<Row>;

// A row as the engine holds it while it is read: an answer written straight from it copies no
// text into values of its own. Valid only inside the visit it is handed to.
class RowValues {
public:
  enum class Kind { Null, Boolean, Integer, Float, Text };
  virtual ~RowValues() = default;
  virtual std::size_t size() const = 0;
  virtual Kind kind(std::size_t i) const = 0;
  virtual bool boolean(std::size_t i) const = 0;
  virtual std::int64_t integer(std::size_t i) const = 0;
  virtual double real(std::size_t i) const = 0;
  virtual std::string_view text(std::size_t i) const = 0;
};

// The values of a row read before, seen as a RowValues.
class VariantRowValues final : public RowValues {
public:
  explicit VariantRowValues(const Row &row) : row_(row) {}
  std::size_t size() const override { return row_.size(); }
  Kind kind(std::size_t i) const override;
  bool boolean(std::size_t i) const override { return row_[i].asBoolean(); }
  std::int64_t integer(std::size_t i) const override { return row_[i].asInteger(); }
  double real(std::size_t i) const override { return row_[i].asFloat(); }
  std::string_view text(std::size_t i) const override { return row_[i].str(); }

private:
  const Row &row_;
};

class Session {
public:
  explicit Session(const Dialect &dialect) : dialect_(dialect) {}
  virtual ~Session() = default;
  Session(const Session &) = delete;
  Session &operator=(const Session &) = delete;

  const Dialect &dialect() const { return dialect_; }

  // Values come back as null, integer, float or string, by the column's type.
  virtual Rows query(std::string_view sql, const Params &params = {}) = 0;
  // Hands each row to visit as it is read, in one reused row, so that a large result is never
  // held whole (where the engine allows it).
  virtual void scan(std::string_view sql, const Params &params, const std::function<void(Row &)> &visit) {
    for (Row &row : query(sql, params)) visit(row);
  }
  // The same rows as scan, each seen where the engine holds it (an engine without such a view
  // hands over its rows of values).
  virtual void scanValues(std::string_view sql, const Params &params,
                          const std::function<void(const RowValues &)> &visit) {
    scan(sql, params, [&](Row &row) { visit(VariantRowValues(row)); });
  }
  // Returns the number of rows the statement changed.
  virtual std::int64_t execute(std::string_view sql, const Params &params = {}) = 0;
  // Several statements without parameters (migrations).
  virtual void executeScript(std::string_view sql) = 0;
  // False once the connection is lost, so the pool drops it.
  virtual bool healthy() const { return true; }
  // Told when a write that goes through a large part of the database starts and ends (see
  // LongWrite); an engine that reads the same way for every write does nothing.
  virtual void longWrite(bool starting) { (void)starting; }

private:
  friend class Transaction;
  const Dialect &dialect_;
  int transactionDepth_ = 0;  // Transactions open on this session, the outermost included
  bool rollbackOnly_ = false; // an inner Transaction ended without committing
};

// Rolls back unless committed, so an exception anywhere in a method leaves nothing written.
// A Transaction opened while another is open on the session joins it: its work is committed or
// rolled back with the outer one (a write recorded together with the request that made it), and
// the outer one refuses to commit when an inner one ended without committing.
class Transaction {
public:
  enum class Mode { Read, Write };
  Transaction(Session &session, Mode mode);
  ~Transaction();
  Transaction(const Transaction &) = delete;
  Transaction &operator=(const Transaction &) = delete;
  void commit();

private:
  bool outermost() const { return session_.transactionDepth_ == 1; }
  Session &session_;
  bool open_ = true;
};

// Around a write that goes through a large part of the database (a copy to every client): the
// connection reads the way such a write goes fastest while it runs, and is given back to the pool
// reading as before, whether the write committed or not.
class LongWrite {
public:
  explicit LongWrite(Session &session) : session_(session) { session_.longWrite(true); }
  ~LongWrite();
  LongWrite(const LongWrite &) = delete;
  LongWrite &operator=(const LongWrite &) = delete;

private:
  Session &session_;
};

} // namespace kdr::server
