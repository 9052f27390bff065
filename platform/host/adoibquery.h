#pragma once
// TADOIBQuery: a read-only query on the host's local database. Its SQL is given as lines, with
// named parameters written ":P_X"; the values are bound, never spliced into the text. Open runs
// it and offers the rows as the client dataset Query, which data sources and searches use.
#include <string>
#include <string_view>
#include <vector>

#include "platform/data/clientdataset.h"
#include "platform/rtl/component.h"
#include "platform/rtl/variant.h"

namespace kdr {

class TLocalConnection;

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

class TADOIBQuery : public TComponent {
public:
  explicit TADOIBQuery(TComponent *owner = nullptr);
  std::string className() const override { return "TADOIBQuery"; }

  TQueryLines SQL{*this};
  // The local database it reads; null means the host's data module (dtmDBGeral).
  TLocalConnection *Connection = nullptr;
  // The rows of the last Open. Fields declared on it before Open keep their labels and sizes.
  TClientDataSet Query;

  TParam &ParamByName(std::string_view name) { return params_.ParamByName(name); }
  TParams &GetIBParams() { return params_; }

  void Open();
  void Close() { Query.Close(); }
  bool Active() const { return Query.Active(); }
  bool IsEmpty() const { return Query.IsEmpty(); }

private:
  friend class TQueryLines;
  void sqlChanged();
  TParams params_;
};

// The parameter names of a query text: ":NAME" outside quoted text and comments, each once.
std::vector<std::string> parameterNames(std::string_view sql);

} // namespace kdr
