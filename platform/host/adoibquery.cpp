#include "platform/host/adoibquery.h"

#include <algorithm>

#include "platform/data/packet_json.h"
#include "platform/host/local_statement.h"
#include "platform/host/local_text_index.h"
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

TLocalConnection &TADOIBQuery::connection() const {
  TLocalConnection *connection = Connection;
  if (connection == nullptr && dtmDBGeral != nullptr) connection = &dtmDBGeral->adcGeral;
  if (connection == nullptr) throw EDatabaseError("Banco de dados local não está aberto.");
  return *connection;
}

void TADOIBQuery::bindParameters(LocalStatement &stmt) const {
  for (const TParam &param : params_.params_) stmt.bind(param.Name(), param.Value());
}

void TADOIBQuery::Open() {
  if (Active()) return;
  narrowing_.clear();
  pattern_.clear();
  runs_.clear();
  openFirstPacket();
}

void TADOIBQuery::Close() {
  Query.Close();
  rowsRead_ = 0;
  allRead_ = true;
}

void TADOIBQuery::openFirstPacket() {
  Query.Close();
  rowsRead_ = 0;
  allRead_ = false;
  Query.SetData(makePacketVariant(readPacket()));
  // An index orders every row, not the first packet's.
  if (!Query.IndexFieldNames().empty()) Query.SetIndexFieldNames(Query.IndexFieldNames());
}

// The query's own text when it is read whole; else the packet after the rows read, of the rows
// the narrowing keeps, in the query's order.
int TADOIBQuery::packetSize() const {
  return PacketRecords != 0 ? PacketRecords : connection().PacketRecords;
}

DataPacket TADOIBQuery::readPacket() {
  const int size = packetSize();
  const bool whole = size <= 0;
  std::string sql = SQL.Text();
  if (!narrowing_.empty() || !whole) sql = "SELECT * FROM (\n" + sql + ")" + narrowing_;
  if (!whole) sql += " LIMIT :KDR_PACOTE OFFSET :KDR_LIDAS";
  LocalStatement stmt(connection(), sql);
  bindParameters(stmt);
  if (!narrowing_.empty()) stmt.bind("KDR_FILTRO", Variant(pattern_));
  if (!runs_.empty()) stmt.bind("KDR_TRECHOS", Variant(runs_));
  if (!whole) {
    stmt.bind("KDR_PACOTE", Variant(static_cast<std::int64_t>(size)));
    stmt.bind("KDR_LIDAS", Variant(static_cast<std::int64_t>(rowsRead_)));
  }
  DataPacket packet = stmt.readAll();
  rowsRead_ += packet.rows.size();
  allRead_ = whole || packet.rows.size() < static_cast<std::size_t>(size);
  return packet;
}

bool TADOIBQuery::GetNextPacket() {
  if (!Active() || allRead_) return false;
  DataPacket packet = readPacket();
  if (packet.rows.empty()) return false;
  Query.AppendData(makePacketVariant(std::move(packet)));
  return true;
}

namespace {

std::string quotedName(const std::string &name) {
  std::string quoted = "\"";
  for (char c : name) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

// LIKE's own characters in what the user typed are plain characters.
std::string containsPattern(const std::string &text) {
  std::string pattern = "%";
  for (char c : utf8::foldForSearch(text)) {
    if (c == '%' || c == '_' || c == '\\') pattern += '\\';
    pattern += c;
  }
  return pattern + "%";
}

// The texts as a JSON array of strings, which a statement reads as rows with json_each.
std::string jsonArray(const std::set<std::string, std::less<>> &texts) {
  std::string json = "[";
  for (const std::string &text : texts) {
    if (json.size() > 1) json += ',';
    appendJsonString(json, text);
  }
  return json + "]";
}

} // namespace

void TADOIBQuery::Narrow(const std::string &text, const std::vector<std::string> &fields) {
  narrowing_.clear();
  pattern_.clear();
  runs_.clear();
  if (!text.empty() && !fields.empty()) {
    std::string holds;
    for (const std::string &field : fields)
      holds += (holds.empty() ? "" : " OR ") + ("kdr_fold(" + quotedName(field) + ")") +
               " LIKE :KDR_FILTRO ESCAPE '\\'";
    narrowing_ = " WHERE (" + holds + ")";
    pattern_ = containsPattern(text);
    // A text few rows hold is found through the local copy's text index; the comparison above
    // still decides each row.
    if (const auto indexed = indexedNarrowing(connection(), SQL.Text(), fields, utf8::foldForSearch(text))) {
      narrowing_ += indexed->condition;
      runs_ = indexed->runs;
    }
  }
  openFirstPacket();
}

SearchPages TADOIBQuery::ListPages() {
  std::vector<std::string> shown;
  for (const TField *field : Query.Fields())
    if (field->Visible()) shown.push_back(field->FieldName());
  return {[this, shown](const std::string &text) { Narrow(text, shown); },
          [this] { return GetNextPacket(); }};
}

std::vector<std::string> TADOIBQuery::KeysInOrder(const std::string &keyField,
                                                  const std::set<std::string, std::less<>> &keys) const {
  std::vector<std::string> ordered;
  if (keys.empty()) return ordered;
  // Only the marked rows are read, not every row of the query.
  const std::string key = quotedName(keyField);
  LocalStatement stmt(connection(), "SELECT " + key + " FROM (\n" + SQL.Text() + ") WHERE " + key +
                                        " IN (SELECT value FROM json_each(:KDR_MARCADAS))");
  bindParameters(stmt);
  stmt.bind("KDR_MARCADAS", Variant(jsonArray(keys)));
  stmt.forEachFirst([&](std::string_view key) {
    if (keys.contains(key)) ordered.emplace_back(key);
  });
  return ordered;
}

} // namespace kdr
