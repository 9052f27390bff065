#include "platform/data/json_document.h"

#include <boost/json/basic_parser_impl.hpp>
#include <boost/json/value_stack.hpp>
#include <charconv>
#include <set>
#include <string>
#include <vector>

#include "platform/data/packet_reader.h"

#include "platform/rtl/exceptions.h"

namespace kdr {

namespace json = boost::json;

double exactJsonDouble(std::string_view numberText, double approximate) {
  double value = 0;
  auto [end, ec] = std::from_chars(numberText.data(), numberText.data() + numberText.size(), value);
  return ec == std::errc() && end == numberText.data() + numberText.size() ? value : approximate;
}

namespace {

// The document builder of boost::json::parse, except for the doubles.
class DocumentHandler {
public:
  static constexpr std::size_t max_object_size = json::object::max_size();
  static constexpr std::size_t max_array_size = json::array::max_size();
  static constexpr std::size_t max_key_size = json::string::max_size();
  static constexpr std::size_t max_string_size = json::string::max_size();

  json::value_stack stack;

  bool on_document_begin(json::error_code &) {
    stack.reset();
    return true;
  }
  bool on_document_end(json::error_code &) { return true; }
  bool on_array_begin(json::error_code &) { return true; }
  bool on_array_end(std::size_t n, json::error_code &) {
    stack.push_array(n);
    return true;
  }
  bool on_object_begin(json::error_code &) {
    keys_.emplace_back();
    return true;
  }
  bool on_object_end(std::size_t n, json::error_code &) {
    keys_.pop_back();
    stack.push_object(n);
    return true;
  }
  bool on_string_part(json::string_view s, std::size_t, json::error_code &) {
    stack.push_chars(s);
    return true;
  }
  bool on_string(json::string_view s, std::size_t, json::error_code &) {
    stack.push_string(s);
    return true;
  }
  bool on_key_part(json::string_view s, std::size_t, json::error_code &) {
    key_.append(s.data(), s.size());
    stack.push_chars(s);
    return true;
  }
  bool on_key(json::string_view s, std::size_t, json::error_code &) {
    key_.append(s.data(), s.size());
    // The document would keep the last of two values of one key: refused, as the packet reader does.
    std::string name = std::exchange(key_, {});
    if (keys_.back().contains(name)) throw EDuplicateJsonKey(std::move(name));
    keys_.back().insert(std::move(name));
    stack.push_key(s);
    return true;
  }
  bool on_number_part(json::string_view s, json::error_code &) {
    number_.append(s.data(), s.size());
    return true;
  }
  bool on_int64(std::int64_t i, json::string_view, json::error_code &) {
    number_.clear();
    stack.push_int64(i);
    return true;
  }
  bool on_uint64(std::uint64_t u, json::string_view, json::error_code &) {
    number_.clear();
    stack.push_uint64(u);
    return true;
  }
  bool on_double(double d, json::string_view s, json::error_code &) {
    number_.append(s.data(), s.size());
    stack.push_double(exactJsonDouble(number_, d));
    number_.clear();
    return true;
  }
  bool on_bool(bool b, json::error_code &) {
    stack.push_bool(b);
    return true;
  }
  bool on_null(json::error_code &) {
    stack.push_null();
    return true;
  }
  bool on_comment_part(json::string_view, json::error_code &) { return true; }
  bool on_comment(json::string_view, json::error_code &) { return true; }

private:
  std::string number_;                      // the parts of a number split across buffers
  std::string key_;                         // the parts of a key split across buffers
  std::vector<std::set<std::string>> keys_; // of each open object
};

} // namespace

json::value parseJsonDocument(std::string_view text) {
  json::basic_parser<DocumentHandler> parser{json::parse_options{}};
  json::error_code ec;
  const std::size_t used = parser.write_some(false, text.data(), text.size(), ec);
  if (!ec && used != text.size()) ec = json::error::extra_data;
  if (ec) throw EConvertError("Invalid JSON text: " + ec.message());
  return parser.handler().stack.release();
}

} // namespace kdr
