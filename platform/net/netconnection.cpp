#include "platform/net/netconnection.h"

#include <chrono>
#include <random>
#include <thread>

#include "platform/data/packet_json.h"
#include "platform/data/packet_reader.h"
#include "platform/data/wire_keys.h"
#include "platform/net/http_client.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/utf8.h"

namespace kdr {

TNetConnection::TNetConnection(TComponent *owner) : TComponent(owner) {}
TNetConnection::~TNetConnection() = default;

void TNetConnection::Open() {
  if (connected_) return;
  if (BeforeConnect) BeforeConnect(*this);
  client_ = net::openHttpClient({HostName, Port, UseTls, CaFile, ConnectTimeoutSeconds, ReadTimeoutSeconds});
  connected_ = true;
}

void TNetConnection::Close() {
  client_.reset();
  connected_ = false;
}

Variant TNetConnection::okResult(Variant payload) {
  return Variant(Variant::Array{true, std::move(payload)});
}

Variant TNetConnection::errorResult(std::string message, std::string code, Variant detail) {
  return Variant(Variant::Array{false, std::move(message), std::move(code), std::move(detail)});
}

bool TNetConnection::isErrorResult(const Variant &result) {
  if (!result.isArray() || result.array().size() < 2) return true;
  const Variant &flag = result.array()[0];
  return flag.kind() != Variant::Kind::Boolean || !flag.asBoolean();
}

Variant TNetConnection::payloadOf(const Variant &result) {
  return isErrorResult(result) ? Variant(nullptr) : result.array()[1];
}

namespace {

std::string errorPart(const Variant &result, std::size_t index, const char *fallback) {
  if (result.isArray() && result.array().size() > index && result.array()[index].isString())
    return result.array()[index].str();
  return fallback;
}

net::HttpHeaders bearer(const std::string &token) {
  if (token.empty()) return {};
  return {{"Authorization", "Bearer " + token}};
}

// What a user can make of a failed exchange, in a few words.
std::string describe(net::HttpFailure failure) {
  switch (failure) {
  case net::HttpFailure::Connection:
    return "servidor fora do ar ou conexão recusada";
  case net::HttpFailure::ConnectionTimeout:
    return "tempo de conexão esgotado";
  case net::HttpFailure::Read:
    return "sem resposta do servidor";
  case net::HttpFailure::Write:
    return "falha ao enviar a requisição";
  case net::HttpFailure::TlsConnection:
    return "falha na conexão segura (TLS)";
  case net::HttpFailure::TlsUnavailable:
    return "a conexão segura (TLS) não está instalada neste computador: falta libkdr-tls.so";
  case net::HttpFailure::TlsVerification:
    return "o certificado do servidor foi recusado: não é de uma autoridade confiável ou não é deste "
           "endereço";
  default:
    return "falha de comunicação";
  }
}

// No answer came, or the balancer or a busy server said nothing was done: worth sending again.
bool unanswered(const net::HttpAnswer &response) {
  switch (response.failure) {
  case net::HttpFailure::None:
    return response.status == 502 || response.status == 503 || response.status == 504;
  case net::HttpFailure::Connection:
  case net::HttpFailure::ConnectionTimeout:
  case net::HttpFailure::Read:
  case net::HttpFailure::Write:
    return true;
  default:
    return false;
  }
}

std::mt19937_64 &randomBits() {
  thread_local std::mt19937_64 bits{std::random_device{}()};
  return bits;
}

// 128 random bits in hex: no two desktops' changes share a key.
std::string newResendKey() {
  std::random_device device;
  char text[33];
  for (int i = 0; i < 4; ++i) std::snprintf(text + 8 * i, 9, "%08x", device());
  return text;
}

} // namespace

std::string TNetConnection::errorMessage(const Variant &result) {
  return errorPart(result, 1, "Resposta inválida do servidor de aplicação.");
}

std::string TNetConnection::errorCode(const Variant &result) { return errorPart(result, 2, "internal"); }

Variant TNetConnection::errorDetail(const Variant &result) {
  if (!isErrorResult(result) || !result.isArray() || result.array().size() < 4) return nullptr;
  return result.array()[3];
}

std::string TNetConnection::transportMessage(const std::string &why) const {
  return "Não foi possível comunicar com o servidor de aplicação em " + Address() + " (" + why + ").";
}

Variant TNetConnection::transportFailure(const std::string &why) {
  std::string message = transportMessage(why);
  if (ThrowException) throw EDatabaseError(message);
  return errorResult(std::move(message), "unavailable");
}

Variant TNetConnection::Call(std::string_view method, Variant::Array args) { return CallByRef(method, args); }

Variant TNetConnection::CallByRef(std::string_view method, Variant::Array &args) {
  if (!connected_) return transportFailure("a conexão está fechada");

  std::string body = "{";
  appendJsonKey(body, wire_key::args);
  appendVariantJson(body, Variant(args));
  body += '}';
  const std::string path = "/" + ServerName + "/" + std::string(method);
  const std::string key = resendKeyFor(path, body);
  for (bool again = true;; again = false) {
    // The session's key is read at each call: signing in again gives every connection the new one.
    net::HttpHeaders headers = bearer(Token);
    headers.emplace_back("Idempotency-Key", key);
    net::HttpAnswer response = client_->postJson(path, headers, body);
    for (int resend = 1; resend <= RetryCount && unanswered(response); ++resend) {
      waitBeforeResend(resend);
      response = client_->postJson(path, headers, body);
    }
    if (unanswered(response))
      unanswered_ = Unanswered{path, std::hash<std::string>{}(body), key};
    else
      unanswered_.reset();
    if (!response) return transportFailure(describe(response.failure));
    // Refused before anything was done: sent again, with the same key, once signed in again.
    if (again && response.status == 401 && OnSessionExpired && OnSessionExpired(*this)) continue;
    // A balancer's own page: no server behind it answered.
    if (response.status >= 502 && response.status <= 504 && response.body.rfind('{', 0) != 0)
      return transportFailure("nenhum servidor disponível no momento, HTTP " +
                              std::to_string(response.status));
    return readAnswer(response.body, response.status, args);
  }
}

TNetConnection::SessionGrant TNetConnection::OpenSession(const std::string &operatorCode,
                                                         const std::string &password) {
  Open();
  std::string body = "{\"operator\":";
  appendVariantJson(body, Variant(operatorCode));
  body += ",\"password\":";
  appendVariantJson(body, Variant(password));
  body += '}';
  const net::HttpAnswer response = client_->postJson("/session", {}, body);
  if (!response) throw EDatabaseError(transportMessage(describe(response.failure)));
  CallEnvelope answer;
  try {
    answer = readCallEnvelope(response.body);
  } catch (const std::exception &) {
    throw EDatabaseError(transportMessage("resposta inválida, HTTP " + std::to_string(response.status)));
  }
  if (answer.failed) throw EDatabaseError(answer.errorMessage);
  auto text = [&](std::string_view name) {
    auto it = answer.members.find(std::string(name));
    return it != answer.members.end() && it->second.isString() ? it->second.str() : std::string();
  };
  SessionGrant grant{text(wire_key::session),
                     text(wire_key::expires),
                     text(wire_key::operatorCode),
                     text(wire_key::operatorName),
                     {}};
  if (grant.key.empty())
    throw EDatabaseError(
        transportMessage("resposta de entrada sem sessão, HTTP " + std::to_string(response.status)));
  if (auto it = answer.members.find(std::string(wire_key::authorisations));
      it != answer.members.end() && it->second.isArray())
    for (const Variant &code : it->second.array())
      if (code.isString()) grant.authorisations.push_back(code.str());
  return grant;
}

void TNetConnection::CloseSession() {
  if (Token.empty()) return;
  Open();
  client_->send("DELETE", "/session", bearer(Token), {}, {});
}

std::string TNetConnection::resendKeyFor(const std::string &path, const std::string &body) {
  if (unanswered_ && unanswered_->path == path && unanswered_->bodyHash == std::hash<std::string>{}(body))
    return unanswered_->key;
  return newResendKey();
}

void TNetConnection::waitBeforeResend(int resend) {
  const auto base = std::chrono::milliseconds(RetryDelayMilliseconds) * (1 << std::min(resend - 1, 10));
  std::uniform_int_distribution<long long> jitter(0, base.count() / 2);
  std::this_thread::sleep_for(base + std::chrono::milliseconds(jitter(randomBits())));
}

Variant TNetConnection::readAnswer(std::string_view body, int httpStatus, Variant::Array &args) {
  try {
    CallEnvelope answer = readCallEnvelope(body);
    if (answer.failed) {
      if (ThrowException) throw EDatabaseError(answer.errorMessage);
      return errorResult(std::move(answer.errorMessage), std::move(answer.errorCode),
                         std::move(answer.errorDetail));
    }
    if (!answer.result) throw EConvertError("the answer has no result");
    if (answer.args && answer.args->isArray() && answer.args->array().size() == args.size())
      args = std::move(answer.args->array());
    return okResult(std::move(*answer.result));
  } catch (const EDatabaseError &) {
    throw;
  } catch (const EDuplicateJsonKey &e) {
    return transportFailure("resposta inválida: a chave \"" + utf8::cut(e.key(), 40) + "\" se repete, HTTP " +
                            std::to_string(httpStatus));
  } catch (const std::exception &) {
    return transportFailure("resposta inválida, HTTP " + std::to_string(httpStatus));
  }
}

} // namespace kdr
