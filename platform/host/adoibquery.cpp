#include "platform/host/adoibquery.h"

#include <algorithm>

#include "platform/host/local_statement.h"
#include "platform/host/localdb.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/utf8.h"

namespace kdr {

namespace {

bool identifierStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool identifierChar(char c) { return identifierStart(c) || (c >= '0' && c <= '9'); }

} // namespace

std::vector<std::string> parameterNames(std::string_view sql) {
  std::vector<std::string> names;
  std::size_t i = 0;
  const auto skipPast = [&](std::string_view end) {
    const auto at = sql.find(end, i);
    i = at == std::string_view::npos ? sql.size() : at + end.size();
  };
  while (i < sql.size()) {
    const char c = sql[i];
    if (c == '\'' || c == '"') {
      ++i;
      skipPast(std::string_view(&c, 1));
    } else if (sql.substr(i, 2) == "--") {
      skipPast("\n");
    } else if (sql.substr(i, 2) == "/*") {
      i += 2;
      skipPast("*/");
    } else if (c == ':' && i + 1 < sql.size() && identifierStart(sql[i + 1])) {
      std::size_t end = i + 1;
      while (end < sql.size() && identifierChar(sql[end])) ++end;
      std::string name(sql.substr(i + 1, end - i - 1));
      if (std::none_of(names.begin(), names.end(),
                       [&](const std::string &n) { return utf8::sameText(n, name); }))
        names.push_back(std::move(name));
      i = end;
    } else {
      ++i;
    }
  }
  return names;
}

TParam *TParams::FindParam(std::string_view name) {
  for (auto &p : params_)
    if (utf8::sameText(p.Name(), name)) return &p;
  return nullptr;
}

TParam &TParams::ParamByName(std::string_view name) {
  if (TParam *p = FindParam(name)) return *p;
  throw EDatabaseError("Parâmetro " + std::string(name) + " não encontrado na consulta " +
                       (owner_ ? owner_->Name() : std::string()) + ".");
}

void TParams::rebuild(const std::vector<std::string> &names) {
  // Values already set survive a change of text for the parameters that remain.
  std::vector<TParam> fresh;
  for (const auto &name : names) {
    fresh.emplace_back(name);
    if (const TParam *old = FindParam(name)) fresh.back().SetValue(old->Value());
  }
  params_ = std::move(fresh);
}

void TQueryLines::Add(const std::string &line) {
  lines_.push_back(line);
  query_.sqlChanged();
}

void TQueryLines::Clear() {
  lines_.clear();
  query_.sqlChanged();
}

void TQueryLines::SetText(const std::string &text) {
  lines_.clear();
  std::size_t start = 0;
  while (start <= text.size()) {
    const auto end = text.find('\n', start);
    if (end == std::string::npos) {
      if (start < text.size()) lines_.push_back(text.substr(start));
      break;
    }
    lines_.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  query_.sqlChanged();
}

std::string TQueryLines::Text() const {
  std::string text;
  for (const auto &line : lines_) text += line + "\n";
  return text;
}

TADOIBQuery::TADOIBQuery(TComponent *owner) : TComponent(owner) {
  params_.owner_ = this;
  Query.SetReadOnly(true);
}

void TADOIBQuery::sqlChanged() {
  Close();
  params_.rebuild(parameterNames(SQL.Text()));
}

void TADOIBQuery::Open() {
  if (Active()) return;
  TLocalConnection *connection = Connection;
  if (connection == nullptr && dtmDBGeral != nullptr) connection = &dtmDBGeral->adcGeral;
  if (connection == nullptr) throw EDatabaseError("Banco de dados local não está aberto.");

  LocalStatement stmt(*connection, SQL.Text());
  for (int i = 0; i < params_.Count(); ++i) stmt.bind(params_.Items(i).Name(), params_.Items(i).Value());
  Query.SetData(makePacketVariant(stmt.readAll()));
}

} // namespace kdr
