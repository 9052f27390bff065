#include "server/auth/sign_in_request.h"

#include <boost/json/basic_parser_impl.hpp>

#include "platform/rtl/utf8.h"
#include "server/errors.h"

namespace kdr::server {
namespace {

namespace json = boost::json;

constexpr std::size_t longestCode = 12; // OPERADOR.CDOPERADOR
constexpr std::size_t longestPassword = 1024;

// Accepts one flat object of text members and keeps the two it knows; any other value, a nested
// container or a repeated member ends the parse.
struct Handler {
  constexpr static std::size_t max_object_size = 8, max_array_size = 0, max_key_size = 64,
                               max_string_size = longestPassword;
  SignInRequest request;
  bool haveOperator = false, havePassword = false, opened = false;
  std::string key, text;
  const char *reason = nullptr;

  bool fail(const char *why, json::error_code &ec) {
    reason = why;
    ec = json::error::syntax;
    return false;
  }
  bool shape(json::error_code &ec) {
    return fail("o corpo deve ser {\"operator\": ..., \"password\": ...}", ec);
  }

  bool on_document_begin(json::error_code &) { return true; }
  bool on_document_end(json::error_code &) { return true; }
  bool on_object_begin(json::error_code &ec) { return opened ? shape(ec) : (opened = true); }
  bool on_object_end(std::size_t, json::error_code &) { return true; }
  bool on_array_begin(json::error_code &ec) { return shape(ec); }
  bool on_array_end(std::size_t, json::error_code &ec) { return shape(ec); }
  bool on_key_part(json::string_view s, std::size_t, json::error_code &) {
    key.append(s.data(), s.size());
    return true;
  }
  bool on_key(json::string_view s, std::size_t, json::error_code &) {
    key.append(s.data(), s.size());
    return true;
  }
  bool on_string_part(json::string_view s, std::size_t, json::error_code &) {
    text.append(s.data(), s.size());
    return true;
  }
  bool on_string(json::string_view s, std::size_t, json::error_code &ec) {
    text.append(s.data(), s.size());
    bool &seen = key == "operator" ? haveOperator : havePassword;
    if (key != "operator" && key != "password") return shape(ec);
    if (seen) return fail("um membro aparece duas vezes", ec);
    seen = true;
    (key == "operator" ? request.operatorCode : request.password) = std::move(text);
    key.clear();
    text.clear();
    return true;
  }
  bool on_number_part(json::string_view, json::error_code &ec) { return shape(ec); }
  bool on_int64(std::int64_t, json::string_view, json::error_code &ec) { return shape(ec); }
  bool on_uint64(std::uint64_t, json::string_view, json::error_code &ec) { return shape(ec); }
  bool on_double(double, json::string_view, json::error_code &ec) { return shape(ec); }
  bool on_bool(bool, json::error_code &ec) { return shape(ec); }
  bool on_null(json::error_code &ec) { return shape(ec); }
  bool on_comment_part(json::string_view, json::error_code &) { return true; }
  bool on_comment(json::string_view, json::error_code &) { return true; }
};

// The parser has already refused malformed UTF-8 in any text.
bool printable(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    char32_t c = utf8::decode(text, i);
    if (c < 0x20 || c == 0x7F) return false;
  }
  return true;
}

} // namespace

SignInRequest readSignInRequest(std::string_view body) {
  json::basic_parser<Handler> parser{json::parse_options{}};
  json::error_code ec;
  const std::size_t used = parser.write_some(false, body.data(), body.size(), ec);
  if (!ec && used != body.size()) ec = json::error::extra_data;
  const char *reason = parser.handler().reason;
  if (ec)
    refuse(std::string("Pedido de entrada inválido: ") + (reason ? reason : "o corpo não é JSON válido") +
           ".");
  SignInRequest &r = parser.handler().request;
  if (!parser.handler().haveOperator || !parser.handler().havePassword)
    refuse("Pedido de entrada inválido: informe \"operator\" e \"password\".");
  if (r.operatorCode.empty() || !printable(r.operatorCode) || utf8::length(r.operatorCode) > longestCode)
    refuse("Pedido de entrada inválido: código de operador malformado.");
  return std::move(r);
}

} // namespace kdr::server
