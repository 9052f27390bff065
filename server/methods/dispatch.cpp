#include "server/methods/dispatch.h"

#include <unistd.h>

#include <charconv>

#include "platform/data/packet_json.h"
#include "platform/data/wire_keys.h"
#include "server/auth/sign_in_request.h"
#include "server/errors.h"
#include "server/history/history.h"
#include "server/history/moment.h"
#include "server/methods/cache_snapshot.h"
#include "server/methods/copy_order.h"
#include "server/methods/param_fat_cli.h"
#include "server/methods/request_args.h"

namespace kdr::server {

Answer errorAnswer(ErrorCode code, std::string_view message, const Variant &detail) {
  Answer answer{httpStatus(code), "{"};
  appendJsonKey(answer.body, wire_key::error);
  answer.body += '{';
  appendJsonKey(answer.body, wire_key::code);
  appendVariantJson(answer.body, Variant(std::string(errorCodeName(code))));
  answer.body += ',';
  appendJsonKey(answer.body, wire_key::message);
  appendVariantJson(answer.body, Variant(std::string(message)));
  if (!detail.isNull()) {
    answer.body += ',';
    appendJsonKey(answer.body, wire_key::detail);
    appendVariantJson(answer.body, detail);
  }
  answer.body += "}}";
  return answer;
}

namespace {

constexpr std::string_view paramFatCli = "KDR03020.rdmParamFatCli";
constexpr std::string_view cache = "KDR.rdmCache";
constexpr std::string_view work = "KDR.rdmTrabalho";

const std::string &text(const std::vector<Variant> &args, std::size_t i) { return args[i].str(); }
const DataPacket &packet(const std::vector<Variant> &args, std::size_t i) { return *args[i].packet(); }

// GetHistorico's arguments: client code, date, batch number; each may be empty.
HistoryFilter historyFilter(const std::string &client, const std::string &since, const std::string &batch) {
  HistoryFilter f{client, since, std::nullopt};
  if (!since.empty()) {
    auto moment = canonicalMoment(since);
    if (!moment) refuse("Data inválida: " + quoted(since) + ". Use " + momentForms + ".");
    f.since = *moment;
  }
  if (batch.empty()) return f;
  if (batch.find_first_not_of("0123456789") != std::string::npos || batch.size() > 18)
    refuse("O lote deve ser um número: " + quoted(batch) + ".");
  f.batch = std::stoll(batch);
  return f;
}

// The largest history GetHistorico answers in one piece, and the largest page of
// GetHistoricoPagina, in changed rows: an answer the server builds whole stays a few megabytes.
constexpr std::size_t historyAnswerRows = 5000;

std::size_t historyPageRows(const std::string &text) {
  std::size_t rows = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), rows);
  if (ec != std::errc() || end != text.data() + text.size() || rows < 1 || rows > historyAnswerRows)
    refuse("O tamanho da página do histórico deve ser um número de 1 a " + std::to_string(historyAnswerRows) +
           ".");
  return rows;
}

// A history too long for one answer is refused rather than built whole: it is read in pages.
Variant historyAnswer(Session &s, const HistoryFilter &filter) {
  HistoryPage page = readHistoryPage(s, filter, {}, historyAnswerRows);
  if (!page.next.empty())
    refuse("O histórico pedido tem mais de " + std::to_string(historyAnswerRows) +
           " alterações: leia-o em páginas (GetHistoricoPagina) ou filtre por cliente, data ou lote.");
  return historyPacket(page.entries);
}

} // namespace

Dispatcher::Dispatcher(Store &store, std::size_t answerCacheBytes, ResendGuard::Options resends)
    : store_(store), sessions_(store), cache_(answerCacheBytes), resends_(std::move(resends)) {
  using namespace rdmParamFatCli;
  const Arg T = Arg::Text, P = Arg::Packet;
  const Access R = Access::Read, W = Access::Write;
  const std::string_view read = authorisation::readParameters;
  add(paramFatCli, "GetCliente", R, read, {T, T}, [](Session &s, const auto &a, const Author &) -> Outcome {
    return written(GetCliente(s, text(a, 0), text(a, 1)));
  });
  add(paramFatCli, "PesquisaCliente", R, read, {T, T, T},
      [](Session &s, const auto &a, const Author &) -> Outcome {
        return written(PesquisaCliente(s, text(a, 0), text(a, 1), text(a, 2)));
      });
  add(paramFatCli, "GetParamFatCli", R, read, {T}, [](Session &s, const auto &a, const Author &) -> Outcome {
    return written(GetParamFatCli(s, text(a, 0)));
  });
  add(paramFatCli, "SetParamFatCli", W, authorisation::changeParameters, {P},
      [](Session &s, const auto &a, const Author &who) -> Outcome {
        SetParamFatCli(s, packet(a, 0), who);
        return {nullptr};
      });
  add(paramFatCli, "GetDescPadrao", R, read, {T, T},
      [](Session &s, const auto &a, const Author &) -> Outcome {
        return written(GetDescPadrao(s, text(a, 0), text(a, 1)));
      });
  add(paramFatCli, "GetTipoDeServico", R, read, {T, T, T},
      [](Session &s, const auto &a, const Author &) -> Outcome {
        return written(GetTipoDeServico(s, text(a, 0), text(a, 1), text(a, 2)));
      });
  add(paramFatCli, "GetParEmpKdr", R, read, {},
      [](Session &s, const auto &, const Author &) -> Outcome { return {GetParEmpKdr(s)}; });
  add(paramFatCli, "SetParEmpKdr", W, authorisation::changeDefaults, {P},
      [](Session &s, const auto &a, const Author &who) -> Outcome {
        SetParEmpKdr(s, packet(a, 0), who);
        return {nullptr};
      });
  add(paramFatCli, "GeraAutomParam", W, authorisation::copyToList, {T, T, P},
      [](Session &s, const auto &a, const Author &who) -> Outcome {
        return {copyReportPacket(GeraAutomParam(s, text(a, 0), text(a, 1), packet(a, 2), who)), true};
      });
  // The same copy under a name its desktop chose, which KDR.rdmTrabalho follows and may stop.
  add(paramFatCli, "GeraAutomParamAcompanhado", W, authorisation::copyToList, {T, T, P, T},
      [this](Session &s, const auto &a, const Author &who) -> Outcome {
        const std::string &name = text(a, 3);
        std::shared_ptr<WorkProgress> progress = work_.start(who.user, name);
        struct Finish {
          WorkBoard &board;
          const Author &who;
          const std::string &name;
          ~Finish() { board.finish(who.user, name); }
        } finish{work_, who, name};
        return {
            copyReportPacket(GeraAutomParam(s, text(a, 0), text(a, 1), packet(a, 2), who, {progress.get()}))};
      });
  // The administrator's reads: what a copy would do, and the history.
  add(paramFatCli, "PreviewGeraAutomParam", R, authorisation::copyToList, {T, T, P},
      [](Session &s, const auto &a, const Author &) -> Outcome {
        return {copyPreviewPackets(previewGeraAutomParam(s, text(a, 0), text(a, 1), packet(a, 2)))};
      });
  add(paramFatCli, "GetHistorico", R, authorisation::readHistory, {T, T, T},
      [](Session &s, const auto &a, const Author &) -> Outcome {
        return {historyAnswer(s, historyFilter(text(a, 0), text(a, 1), text(a, 2)))};
      });
  add(paramFatCli, "GetHistoricoPagina", R, authorisation::readHistory, {T, T, T, T, T},
      [](Session &s, const auto &a, const Author &) -> Outcome {
        HistoryPage page = readHistoryPage(s, historyFilter(text(a, 0), text(a, 1), text(a, 2)), text(a, 3),
                                           historyPageRows(text(a, 4)));
        return {Variant(Variant::Array{historyPacket(page.entries), Variant(std::move(page.next))})};
      });
  // A whole table answered from the start of its pages is a host's first load of that table.
  add(cache, "GetTable", R, {}, {T}, [this](Session &s, const auto &a, const Author &) -> Outcome {
    Outcome out = written(rdmCache::GetTable(s, text(a, 0)));
    countFirstLoad(text(a, 0));
    return out;
  });
  add(cache, "GetChanges", R, {}, {T, T}, [this](Session &s, const auto &a, const Author &) -> Outcome {
    Variant changes = rdmCache::GetChanges(s, text(a, 0), text(a, 1));
    if (changes.array()[1].str() == "T") countFirstLoad(text(a, 0));
    return {std::move(changes)};
  });
  add(cache, "GetChangesPage", R, {}, {T, T, T, T},
      [this](Session &s, const auto &a, const Author &) -> Outcome {
        Variant page = rdmCache::GetChangesPage(s, text(a, 0), text(a, 1), text(a, 2), text(a, 3));
        if (text(a, 2).empty() && page.array()[1].str() == "T") countFirstLoad(text(a, 0));
        return {std::move(page)};
      });
  add(cache, "GetRowCount", R, {}, {T}, [](Session &s, const auto &a, const Author &) -> Outcome {
    return {Variant(rdmCache::GetRowCount(s, text(a, 0)))};
  });
  // Point reads: a client's rows or a company's texts, found by an index. With the all-flag
  // GetCliente is every client, and a search page with a filter may read on past many clients.
  pointRead(paramFatCli, "GetCliente",
            [](const std::vector<Variant> &a) { return !(a[1].isString() && a[1].str() == "T"); });
  pointRead(paramFatCli, "GetParamFatCli");
  pointRead(paramFatCli, "GetDescPadrao");
  pointRead(paramFatCli, "GetTipoDeServico");
  pointRead(paramFatCli, "PesquisaCliente", [](const std::vector<Variant> &a) {
    return a[0].isNull() || (a[0].isString() && a[0].str().empty());
  });
  // A running work of this user: [rows done, total, running]; a work that ended or never started
  // is not running. Cancela asks it to stop (kept for it when it has not started yet).
  const Access L = Access::Live;
  add(work, "GetProgresso", L, {}, {T}, [this](Session &, const auto &a, const Author &who) -> Outcome {
    const WorkBoard::State state = work_.state(who.user, text(a, 0));
    return {Variant(Variant::Array{Variant(state.done), Variant(state.total), Variant(state.running)})};
  });
  add(work, "Cancela", L, {}, {T}, [this](Session &, const auto &a, const Author &who) -> Outcome {
    work_.cancel(who.user, text(a, 0));
    return {nullptr};
  });
}

void Dispatcher::countFirstLoad(const std::string &table) {
  std::lock_guard lock(firstLoadsMutex_);
  ++firstLoads_[table];
}

std::map<std::string, std::uint64_t> Dispatcher::firstLoads() const {
  std::lock_guard lock(firstLoadsMutex_);
  return firstLoads_;
}

Dispatcher::Outcome Dispatcher::written(std::string json) {
  Outcome out;
  out.resultJson = std::move(json);
  return out;
}

void Dispatcher::add(std::string_view module, std::string_view name, Access access, std::string_view need,
                     std::vector<Arg> args,
                     std::function<Outcome(Session &, const std::vector<Variant> &, const Author &)> run) {
  modules_[std::string(module)][std::string(name)] =
      Method{std::string(module) + "/" + std::string(name), access, need, std::move(args), std::move(run)};
}

void Dispatcher::pointRead(std::string_view module, std::string_view name, PointTest when) {
  Method &m = modules_.find(module)->second.find(name)->second;
  m.point = true;
  m.pointWhen = when;
}

const Dispatcher::Method *Dispatcher::find(std::string_view module, std::string_view method) const {
  auto in = modules_.find(module);
  if (in == modules_.end()) return nullptr;
  auto it = in->second.find(method);
  return it == in->second.end() ? nullptr : &it->second;
}

namespace {

// A copy to every client names "T" as its targets.
bool targetsEveryClient(std::string_view body) {
  try {
    std::vector<Variant> args = decodeArgs(body);
    return !args.empty() && args[0].isString() && args[0].str() == "T";
  } catch (const Exception &) {
    return false; // the call itself will say what is wrong with its arguments
  }
}

} // namespace

std::optional<Answer> Dispatcher::refusal(std::string_view module, const Method *m, std::string_view body,
                                          const Credentials &credentials, std::string &author) {
  if (credentials.machine) {
    if (module == cache) return std::nullopt;
    return errorAnswer(ErrorCode::Forbidden,
                       "O token do servidor dá acesso apenas à cópia local das tabelas; "
                       "entre como operador para usar os demais serviços.");
  }
  const std::optional<Operator> op = sessions_.resolve(credentials.bearer);
  if (!op)
    return errorAnswer(ErrorCode::Unauthenticated,
                       credentials.bearer.empty()
                           ? "Entre com operador e senha para usar o servidor de aplicação."
                           : "A sessão foi encerrada ou expirou. Entre novamente com operador e senha.");
  author = op->code;
  if (!m) return std::nullopt;
  std::string_view need = m->need;
  if (need == authorisation::copyToList && targetsEveryClient(body)) need = authorisation::copyToEvery;
  if (need.empty() || op->holds(need)) return std::nullopt;
  std::string message = "Acesso negado: o operador " + op->code + " não tem autorização para " +
                        std::string(authorisation::describe(need)) + " (autorização " + std::string(need) +
                        ").";
  if (m->access == Access::Write) message += " Nada foi gravado.";
  return errorAnswer(ErrorCode::Forbidden, message);
}

Answer Dispatcher::call(std::string_view module, std::string_view method, std::string_view body,
                        std::uint64_t requestId, const Credentials &credentials, std::string_view resendKey) {
  const Method *m = find(module, method);
  // Checked before the answer cache, so a kept answer never reaches who may not read it.
  std::string user;
  std::optional<Answer> refused;
  Answer failed = guarded(m ? std::string_view(m->name) : "unknown", requestId, [&] {
    refused = refusal(module, m, body, credentials, user);
    return Answer{};
  });
  if (failed.status != 200) return failed;
  Answer a = refused ? std::move(*refused) : answerFor(module, method, m, body, user, requestId, resendKey);
  a.user = std::move(user);
  return a;
}

Answer Dispatcher::answerFor(std::string_view module, std::string_view method, const Method *m,
                             std::string_view body, const std::string &user, std::uint64_t requestId,
                             std::string_view resendKey) {
  const Author author{user, static_cast<std::int64_t>(requestId), std::string(method)};
  if (!m || !cache_.enabled() || m->access == Access::Live)
    return respond(module, method, m, body, author, resendKey);
  if (m->access == Access::Write) {
    Answer a = respond(module, method, m, body, author, resendKey);
    cache_.invalidate();
    return a;
  }
  std::string key = cacheKey(*m, body);
  if (auto hit = cache_.find(key)) return Answer{200, std::move(*hit)};
  const std::uint64_t generation = cache_.generation();
  Answer a = respond(module, method, m, body, author, resendKey);
  if (a.status == 200) cache_.put(std::move(key), a.body, generation);
  return a;
}

std::string Dispatcher::cacheKey(const Method &m, std::string_view body) {
  std::string key = m.name + '\n';
  key += body;
  return key;
}

Dispatcher::Plan Dispatcher::plan(std::string_view module, std::string_view method,
                                  std::string_view body) const {
  const Method *m = find(module, method);
  if (!m) return {Place::Readers, false}; // answered as unknown, after the access check
  if (m->access == Access::Write) return {Place::Writers, true};
  if (!m->point || !pointByArguments(*m, body)) return {Place::Readers, true};
  return {Place::Point, true, cache_.enabled() && cache_.holds(cacheKey(*m, body))};
}

bool Dispatcher::pointByArguments(const Method &m, std::string_view body) {
  if (!m.pointWhen) return true;
  std::vector<Variant> args;
  try {
    args = decodeArgs(body);
  } catch (const Exception &) {
    return true; // refused at once, for its body
  }
  // Arguments of the wrong count or kind are refused at once too.
  return args.size() != m.args.size() || m.pointWhen(args);
}

Answer Dispatcher::respond(std::string_view module, std::string_view method, const Method *m,
                           std::string_view body, const Author &author, std::string_view resendKey) {
  return guarded(m ? std::string_view(m->name) : "unknown", static_cast<std::uint64_t>(author.request), [&] {
    if (!m)
      throw ServiceError(ErrorCode::NotFound, modules_.count(module)
                                                  ? "Método " + quoted(method) +
                                                        " desconhecido no servidor " + quoted(module) + "."
                                                  : "Servidor " + quoted(module) + " desconhecido.");
    return invoke(*m, body, author, resendKey);
  });
}

Answer Dispatcher::guarded(std::string_view name, std::uint64_t requestId,
                           const std::function<Answer()> &work) {
  try {
    return work();
  } catch (const ServiceError &e) {
    logLine(std::string(errorCodeName(e.code())) + ": " + e.Message(), LogLevel::Warning, requestId);
    return errorAnswer(e.code(), e.Message(), e.detail());
  } catch (const EngineError &e) {
    logLine(std::string(name) + " database error: " + e.Message(), LogLevel::Error, requestId);
    switch (e.kind()) {
    case EngineError::Kind::Constraint:
    case EngineError::Kind::Duplicate:
      return errorAnswer(ErrorCode::Conflict,
                         "Os dados foram alterados por outro usuário ao mesmo tempo. Nada foi "
                         "gravado; recarregue e tente novamente.");
    case EngineError::Kind::Unavailable:
      return errorAnswer(ErrorCode::Unavailable,
                         "O banco de dados está indisponível no momento. Nada foi gravado; tente novamente.");
    default:
      break;
    }
  } catch (const std::exception &e) {
    logLine(std::string(name) + " failed: " + e.what(), LogLevel::Error, requestId);
  }
  return errorAnswer(ErrorCode::Internal, "Erro interno do servidor (pedido " + std::to_string(requestId) +
                                              "). Nada foi gravado.");
}

Answer Dispatcher::signIn(std::string_view body, const std::string &address, std::uint64_t requestId) {
  return guarded("session", requestId, [&] {
    const SignInRequest request = readSignInRequest(body);
    const SignedIn in = sessions_.signIn(request.operatorCode, request.password, address);
    Variant::Array codes(in.who.authorisations.begin(), in.who.authorisations.end());
    const std::pair<std::string_view, Variant> members[] = {
        {wire_key::session, Variant(in.key)},
        {wire_key::expires, Variant(in.expires)},
        {wire_key::operatorCode, Variant(in.who.code)},
        {wire_key::operatorName, Variant(in.who.name)},
        {wire_key::authorisations, Variant(std::move(codes))}};
    Answer answer{200, ""};
    for (const auto &[name, value] : members) {
      answer.body += answer.body.empty() ? '{' : ',';
      appendJsonKey(answer.body, name);
      appendVariantJson(answer.body, value);
    }
    answer.body += '}';
    answer.user = in.who.code;
    return answer;
  });
}

Answer Dispatcher::signOut(std::string_view bearer) {
  return guarded("session", 0, [&] {
    sessions_.signOut(bearer);
    return encode(Outcome{.result = Variant(nullptr)}, {});
  });
}

Answer Dispatcher::invoke(const Method &m, std::string_view body, const Author &author,
                          std::string_view resendKey) {
  const std::uint64_t requestId = static_cast<std::uint64_t>(author.request);
  std::vector<Variant> args;
  try {
    args = decodeArgs(body);
  } catch (const EConvertError &e) {
    logLine(m.name + ": " + e.Message(), LogLevel::Warning, requestId);
    refuse("Pedido inválido: os dados enviados estão malformados.");
  }
  const std::string &method = author.method;
  if (args.size() != m.args.size())
    refuse(method + " espera " + std::to_string(m.args.size()) + " argumento(s) e recebeu " +
           std::to_string(args.size()) + ".");
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (m.args[i] == Arg::Text && args[i].isNull()) args[i] = std::string();
    bool ok = m.args[i] == Arg::Text ? args[i].isString() : args[i].isPacket();
    if (!ok)
      refuse("O argumento " + std::to_string(i + 1) + " de " + method + " deve ser " +
             (m.args[i] == Arg::Text ? "um texto." : "um pacote de dados."));
  }
  auto session = store_.session();
  auto apply = [&] { return encode(m.run(*session, args, author), args); };
  if (m.access == Access::Write && !resendKey.empty()) {
    if (!ResendGuard::validKey(resendKey))
      refuse("A chave de idempotência deve ter de 1 a 100 caracteres ASCII visíveis.");
    return resends_.once(*session, resendKey, ResendGuard::fingerprint(author.user, m.name, body), apply);
  }
  return apply();
}

Answer Dispatcher::encode(Outcome out, const std::vector<Variant> &args) {
  Answer answer{200, "{"};
  appendJsonKey(answer.body, wire_key::result);
  if (out.resultJson.empty()) {
    appendVariantJson(answer.body, out.result);
  } else {
    // A result written as JSON may be a whole table: moved, not copied.
    out.resultJson.insert(0, answer.body);
    answer.body = std::move(out.resultJson);
  }
  if (out.returnArgs) {
    answer.body += ',';
    appendJsonKey(answer.body, wire_key::args);
    answer.body += '[';
    for (std::size_t i = 0; i < args.size(); ++i) {
      if (i) answer.body += ',';
      appendVariantJson(answer.body, args[i]);
    }
    answer.body += ']';
  }
  answer.body += '}';
  return answer;
}

} // namespace kdr::server
