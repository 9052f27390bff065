#include "server/auth/sessions.h"

#include <sodium.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "server/auth/password.h"
#include "server/errors.h"
#include "server/history/history.h"

namespace kdr::server {
namespace {

constexpr std::string_view wrongCredentials = "Operador ou senha inválidos.";
constexpr std::size_t seenLimit = 10000;

// A time as the history writes it ("AAAA-MM-DD HH:MM:SS[.mmm]", UTC); nothing for another text.
std::optional<std::chrono::system_clock::time_point> utcMoment(const std::string &text) {
  std::tm t{};
  int millis = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d.%3d", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour,
                  &t.tm_min, &t.tm_sec, &millis) < 6)
    return std::nullopt;
  t.tm_year -= 1900;
  t.tm_mon -= 1;
  return std::chrono::system_clock::from_time_t(timegm(&t)) + std::chrono::milliseconds(millis);
}

// 256 bits from the system's generator, in a form that travels in a header as it is.
std::string newKey() {
  unsigned char bytes[32];
  randombytes_buf(bytes, sizeof bytes);
  char text[sodium_base64_ENCODED_LEN(sizeof bytes, sodium_base64_VARIANT_URLSAFE_NO_PADDING)];
  sodium_bin2base64(text, sizeof text, bytes, sizeof bytes, sodium_base64_VARIANT_URLSAFE_NO_PADDING);
  return text;
}

std::string waitMessage(std::chrono::seconds wait) {
  return "Muitas tentativas de entrada sem sucesso. Aguarde " + std::to_string(wait.count()) +
         " segundo(s) e tente novamente.";
}

} // namespace

std::string sessionKeyHash(std::string_view key) {
  unsigned char digest[32];
  crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char *>(key.data()), key.size(),
                     nullptr, 0);
  char hex[2 * sizeof digest + 1];
  sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
  return hex;
}

SessionBook::SessionBook(Store &store, std::chrono::seconds lifetime)
    : store_(store), lifetime_(lifetime), decoy_(hashPassword("decoy")) {}

SignedIn SessionBook::signIn(const std::string &operatorCode, std::string_view password,
                             const std::string &address) {
  const auto now = SignInThrottle::Clock::now();
  const std::string byOperator = "operator " + operatorCode, byAddress = "address " + address;
  if (auto wait = std::max(throttle_.waitFor(byOperator, now), throttle_.waitFor(byAddress, now));
      wait.count() > 0)
    throw ServiceError(ErrorCode::TooManyAttempts, waitMessage(wait));

  auto s = store_.session();
  Rows stored = s->query("SELECT DSHASH FROM KDR_SENHA WHERE CDOPERADOR = ?", {operatorCode});
  const bool known = !stored.empty() && stored[0][0].isString();
  const bool matches = passwordMatches(known ? stored[0][0].str() : decoy_, password) && known;
  if (!matches) {
    throttle_.failed(byOperator, now);
    throttle_.failed(byAddress, now);
    throw ServiceError(ErrorCode::Unauthenticated, std::string(wrongCredentials));
  }
  throttle_.succeeded(byOperator);
  throttle_.succeeded(byAddress);

  SignedIn out;
  out.key = newKey();
  out.expires = utcText(std::chrono::system_clock::now() + lifetime_);
  Transaction tx(*s, Transaction::Mode::Write);
  out.who = loadOperator(*s, operatorCode);
  const std::string started = nowText();
  // Ended sessions are swept by the sign-ins, so the table holds about the open ones.
  s->execute("DELETE FROM KDR_SESSAO WHERE DTEXPIRA <= ?", {started});
  s->execute("INSERT INTO KDR_SESSAO (DSHASHCHAVE, CDOPERADOR, DTINICIO, DTEXPIRA) VALUES (?, ?, ?, ?)",
             {sessionKeyHash(out.key), operatorCode, started, out.expires});
  tx.commit();
  return out;
}

std::optional<Operator> SessionBook::resolve(std::string_view key) {
  if (key.empty()) return std::nullopt;
  const std::string hash = sessionKeyHash(key);
  const auto now = std::chrono::system_clock::now();
  auto s = store_.session();
  // Read before the session itself: a change that lands in between makes the next request read
  // the session again, never keep a stale one.
  const std::int64_t version = s->query("SELECT NRVERSAO FROM KDR_ACESSO_VERSAO")[0][0].asInteger();
  {
    std::lock_guard lock(seenMutex_);
    auto it = seen_.find(hash);
    if (it != seen_.end()) {
      if (it->second.accessVersion == version && now < it->second.expires) return it->second.who;
      seen_.erase(it);
    }
  }
  // One round trip: the session, its operator and every code the operator's groups hold.
  Rows rows = s->query("SELECT O.CDOPERADOR, O.NMOPERADOR, S.DTEXPIRA, A.IDAUTGRUPOP FROM KDR_SESSAO S "
                       "JOIN OPERADOR O ON O.CDOPERADOR = S.CDOPERADOR "
                       "LEFT JOIN OPERGRUPOP G ON G.CDOPERADOR = S.CDOPERADOR "
                       "LEFT JOIN AUTGRUPOP A ON A.CDGRUPOPER = G.CDGRUPOPER "
                       "WHERE S.DSHASHCHAVE = ? AND S.DTEXPIRA > ?",
                       {hash, utcText(now)});
  if (rows.empty()) return std::nullopt;
  Operator op;
  op.code = rows[0][0].str();
  op.name = rows[0][1].isString() ? rows[0][1].str() : std::string();
  for (const Row &r : rows)
    if (r[3].isString()) op.authorisations.push_back(r[3].str());
  std::sort(op.authorisations.begin(), op.authorisations.end());
  op.authorisations.erase(std::unique(op.authorisations.begin(), op.authorisations.end()),
                          op.authorisations.end());
  if (auto expires = utcMoment(rows[0][2].asString())) {
    std::lock_guard lock(seenMutex_);
    // Keys of sessions long ended are not kept for ever.
    if (seen_.size() >= seenLimit) seen_.clear();
    seen_.insert_or_assign(hash, Seen{version, *expires, op});
  }
  return op;
}

void SessionBook::signOut(std::string_view key) {
  auto s = store_.session();
  s->execute("DELETE FROM KDR_SESSAO WHERE DSHASHCHAVE = ?", {sessionKeyHash(key)});
}

void setOperatorPassword(Session &s, const std::string &operatorCode, std::string_view password) {
  Transaction tx(s, Transaction::Mode::Write);
  writeOperatorPassword(s, operatorCode, password);
  tx.commit();
}

void writeOperatorPassword(Session &s, const std::string &operatorCode, std::string_view password) {
  if (password.empty()) refuse("A senha não pode ser vazia.");
  if (s.query("SELECT 1 FROM OPERADOR WHERE CDOPERADOR = ?", {operatorCode}).empty())
    throw ServiceError(ErrorCode::NotFound, "Operador " + quoted(operatorCode) + " não cadastrado.");
  const std::string hash = hashPassword(password);
  s.execute("DELETE FROM KDR_SENHA WHERE CDOPERADOR = ?", {operatorCode});
  s.execute("INSERT INTO KDR_SENHA (CDOPERADOR, DSHASH, DTALTERACAO) VALUES (?, ?, ?)",
            {operatorCode, hash, nowText()});
  // A new password ends the sessions the old one opened.
  s.execute("DELETE FROM KDR_SESSAO WHERE CDOPERADOR = ?", {operatorCode});
}

} // namespace kdr::server
