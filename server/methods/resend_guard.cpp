#include "server/methods/resend_guard.h"

#include <cstdio>

#include "server/errors.h"
#include "server/log.h"

namespace kdr::server {

bool ResendGuard::validKey(std::string_view key) {
  if (key.empty() || key.size() > 100) return false;
  for (char c : key)
    if (c < 0x21 || c > 0x7E) return false;
  return true;
}

std::string ResendGuard::fingerprint(std::string_view user, std::string_view method, std::string_view body) {
  // FNV-1a over the three parts, each ended by a byte no UTF-8 text holds: it tells requests
  // apart; it protects nothing.
  std::uint64_t hash = 14695981039346656037ull;
  auto add = [&hash](std::string_view part) {
    for (unsigned char c : part) hash = (hash ^ c) * 1099511628211ull;
    hash = (hash ^ 0xFFu) * 1099511628211ull;
  };
  add(user);
  add(method);
  add(body);
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

std::int64_t ResendGuard::nowSeconds() const {
  return std::chrono::duration_cast<std::chrono::seconds>(options_.now().time_since_epoch()).count();
}

void ResendGuard::sweepIfDue(Session &s) {
  const std::int64_t now = nowSeconds();
  std::int64_t last = lastSweep_.load();
  if (now - last < options_.sweepEvery.count() || !lastSweep_.compare_exchange_strong(last, now)) return;
  Transaction tx(s, Transaction::Mode::Write);
  s.execute("DELETE FROM KDR_PEDIDO WHERE NRINSTANTE < ?", {now - options_.keep.count()});
  tx.commit();
}

Answer ResendGuard::once(Session &s, std::string_view key, std::string_view fingerprint,
                         const std::function<Answer()> &write) {
  sweepIfDue(s);
  Transaction tx(s, Transaction::Mode::Write);
  // The key is claimed first: a resend meeting a claim not yet committed waits here for the
  // first attempt to commit (then it finds the answer) or to roll back (then it applies the write).
  const Params claim{std::string(key), std::string(fingerprint), nowSeconds()};
  if (s.execute("INSERT INTO KDR_PEDIDO (CHAVE, DSIMPRESSAO, NRINSTANTE) VALUES (?, ?, ?) "
                "ON CONFLICT (CHAVE) DO NOTHING",
                claim) == 0) {
    Rows first = s.query("SELECT DSIMPRESSAO, NRSITUACAO, DSRESPOSTA FROM KDR_PEDIDO WHERE CHAVE = ?",
                         {std::string(key)});
    tx.commit();
    if (first.empty() || first[0][1].isNull())
      throw ServiceError(ErrorCode::Unavailable, "O pedido não pôde ser conferido com o anterior de mesma "
                                                 "chave. Nada foi gravado; tente novamente.");
    if (first[0][0].asString() != fingerprint)
      refuse("A chave de idempotência " + quoted(key) +
             " já foi usada por outro pedido. Nada foi gravado; envie cada alteração com uma chave nova.");
    logLine("resend of key " + std::string(key) + " answered with its first answer");
    return Answer{static_cast<int>(first[0][1].asInteger()), first[0][2].asString()};
  }
  Answer answer = write();
  s.execute("UPDATE KDR_PEDIDO SET NRSITUACAO = ?, DSRESPOSTA = ? WHERE CHAVE = ?",
            {std::int64_t{answer.status}, answer.body, std::string(key)});
  tx.commit();
  return answer;
}

} // namespace kdr::server
