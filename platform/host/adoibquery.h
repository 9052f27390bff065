#pragma once
// TADOIBQuery: a read-only query on the host's local database. Its SQL is given as lines, with
// named parameters written ":P_X"; the values are bound, never spliced into the text. Open runs
// it and offers the rows as the client dataset Query, which data sources and searches use.
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/data/clientdataset.h"
#include "platform/rtl/component.h"
#include "platform/rtl/datapacket.h"
#include "platform/rtl/variant.h"
#include "platform/ui/dialogs.h"

namespace kdr {

class TLocalConnection;
class LocalStatement;

class TParam {
public:
  explicit TParam(std::string name) : name_(std::move(name)) {}
  const std::string &Name() const { return name_; }
  const Variant &Value() const { return value_; }
  void SetValue(const Variant &value) { value_ = value; }
  std::string AsString() const { return value_.asString(); }
  void SetAsString(const std::string &text) { value_ = Variant(text); }
  void SetAsInteger(std::int64_t value) { value_ = Variant(value); }
  void Clear() { value_ = Variant(nullptr); }

private:
  std::string name_;
  Variant value_{nullptr};
};

// The parameters of a query, in the order they first occur in its text.
class TParams {
public:
  // Raises EDatabaseError naming the parameter and the query when the text has no such parameter.
  TParam &ParamByName(std::string_view name);
  TParam *FindParam(std::string_view name);
  int Count() const { return static_cast<int>(params_.size()); }
  TParam &Items(int i) { return params_.at(static_cast<std::size_t>(i)); }

private:
  friend class TADOIBQuery;
  void rebuild(const std::vector<std::string> &names);
  std::vector<TParam> params_;
  const TComponent *owner_ = nullptr; // the query, named in errors
};

// The SQL lines of a query; changing them closes the query and reads its parameters again.
class TQueryLines {
public:
  explicit TQueryLines(class TADOIBQuery &query) : query_(query) {}
  void Add(const std::string &line);
  void Clear();
  void SetText(const std::string &text);
  std::string Text() const;
  int Count() const { return static_cast<int>(lines_.size()); }
  const std::string &operator[](int i) const { return lines_.at(static_cast<std::size_t>(i)); }

private:
  class TADOIBQuery &query_;
  std::vector<std::string> lines_;
};

// A read-only query on the local database. Its rows come a packet at a time: Open reads the first
// PacketRecords rows, and Query reads the next packet as it is moved past its last row (Last and
// Locate read on as far as they need), so a list over a million clients opens at the cost of one
// packet. The host's lists also narrow it to what the user types (Narrow).
class TADOIBQuery : public TComponent {
public:
  // The rows read so far; the next packet comes from the query.
  class TQueryRows : public TClientDataSet {
  public:
    explicit TQueryRows(TADOIBQuery &query) : query_(query) {}
    TADOIBQuery &query() const { return query_; }

  protected:
    bool fetchMore() override { return query_.GetNextPacket(); }

  private:
    TADOIBQuery &query_;
  };

  explicit TADOIBQuery(TComponent *owner = nullptr);
  std::string className() const override { return "TADOIBQuery"; }

  TQueryLines SQL{*this};
  // The local database it reads; null means the host's data module (dtmDBGeral).
  TLocalConnection *Connection = nullptr;
  // Rows read per packet: 0 takes the connection's packet, -1 reads every row at Open.
  int PacketRecords = 0;
  // The rows of the last Open. Fields declared on it before Open keep their labels and sizes.
  TQueryRows Query{*this};

  TParam &ParamByName(std::string_view name) { return params_.ParamByName(name); }
  TParams &GetIBParams() { return params_; }

  void Open();
  void Close();
  bool Active() const { return Query.Active(); }
  bool IsEmpty() const { return Query.IsEmpty(); }
  // Reads the next packet into Query; false when every row is in.
  bool GetNextPacket();
  bool AllRowsRead() const { return allRead_; }

  // Reopens on the rows whose named fields hold text, case and accents aside; an empty text gives
  // every row again. The fields are columns of the query.
  void Narrow(const std::string &text, const std::vector<std::string> &fields);
  bool Narrowed() const { return !narrowing_.empty(); }
  // The pages of a list over this query: typing narrows it to the rows whose visible fields hold
  // the text, and reaching the end of the list reads the next packet.
  SearchPages ListPages();
  // The values of keyField, among keys, of the query's rows in the query's order: read or not yet,
  // narrowed away or not.
  std::vector<std::string> KeysInOrder(const std::string &keyField,
                                       const std::set<std::string, std::less<>> &keys) const;

private:
  friend class TQueryLines;
  void sqlChanged();
  TLocalConnection &connection() const;
  void bindParameters(LocalStatement &stmt) const;
  void openFirstPacket();
  int packetSize() const;
  DataPacket readPacket();

  TParams params_;
  std::string narrowing_; // " WHERE ..." over the query's columns; empty for every row
  std::string pattern_;   // the LIKE pattern of the narrowing
  std::string runs_;      // the text index's query of the narrowing; empty when it reads every row
  std::size_t rowsRead_ = 0;
  bool allRead_ = true;
};

// The parameter names of a query text: ":NAME" outside quoted text and comments, each once.
std::vector<std::string> parameterNames(std::string_view sql);

} // namespace kdr
