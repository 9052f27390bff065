#include "platform/data/packet_reader.h"

#include <algorithm>
#include <boost/json/basic_parser_impl.hpp>
#include <charconv>

#include "platform/data/packet_builder.h"
#include "platform/rtl/exceptions.h"

namespace kdr {

namespace json = boost::json;

namespace {

[[noreturn]] void invalid(const std::string &what) { throw EConvertError("Invalid data packet: " + what); }

// What an open array or object is, seen from the packet's structure.
enum class Frame : std::uint8_t {
  Array,     // a variant array
  Object,    // {"unassigned": true} or a packet, told apart by its keys
  Fields,    // a packet's "fields"
  FieldDef,  // one entry of "fields"
  Rows,      // a packet's "rows"
  RowValues, // the values of one row
  RowObject, // {"status": ..., "values": [...]}
  Skip,      // a container in the value of a key nobody reads
  Envelope,  // a remote call or its answer: {"args": ..., "result": ..., "error": ...}
  Failure,   // the "error" of an answer: {"code": ..., "message": ...}
};

// What the next value of an object is for.
enum class Key : std::uint8_t {
  None,
  Other,
  Member, // of the envelope, by another name: kept in members
  Unassigned,
  Fields,
  Rows,
  Name,
  Type,
  Size,
  Required,
  Status,
  Values,
  Args,
  Result,
  Error,
  Code,
  Message,
  Detail
};

struct Level {
  Frame frame;
  Key key = Key::None;
  std::uint32_t keysSeen = 0;         // the known keys this object has had, one bit each
  std::vector<std::string> otherKeys; // and the others
  Variant::Array items;               // Array, RowValues
  std::size_t count = 0;              // Fields, Rows: entries so far; Object: keys
  std::size_t builder = 0;            // Fields, FieldDef, Rows, RowValues, RowObject: the packet being built
  // Object
  bool hasFields = false, hasRows = false;
  Variant unassigned;
  bool hasUnassigned = false;
  // FieldDef, RowObject
  FieldDef def;
  std::string typeName;
  bool hasName = false, hasType = false, hasStatus = false, hasValues = false;
  RowStatus status = RowStatus::Unmodified;
};

bool isSignInMember(std::string_view name) {
  for (std::string_view member : {"session", "expires", "operator", "name", "authorisations"})
    if (name == member) return true;
  return false;
}

[[noreturn]] void invalidCall(const std::string &what) { throw EConvertError("Invalid call: " + what); }

// The double a number's text names, correctly rounded (the parser's own conversion misses the
// nearest double for many values, so a rate would not read back to itself); the parser's value
// is kept only where the text is out of a double's range (an infinity or a zero).
double exactDouble(std::string_view numberText, double approximate) {
  double value = 0;
  auto [end, ec] = std::from_chars(numberText.data(), numberText.data() + numberText.size(), value);
  return ec == std::errc() && end == numberText.data() + numberText.size() ? value : approximate;
}

class Handler {
public:
  static constexpr std::size_t max_object_size = std::size_t(-1);
  static constexpr std::size_t max_array_size = std::size_t(-1);
  static constexpr std::size_t max_key_size = std::size_t(-1);
  static constexpr std::size_t max_string_size = std::size_t(-1);

  // envelope: the text is a remote call or its answer, read into envelope; else a variant, read
  // into result.
  explicit Handler(bool envelope) : envelope_(envelope) {}

  Variant result;
  CallEnvelope envelope;

  bool on_document_begin(json::error_code &) { return true; }
  bool on_document_end(json::error_code &) { return true; }
  bool on_comment_part(json::string_view, json::error_code &) { return true; }
  bool on_comment(json::string_view, json::error_code &) { return true; }
  bool on_number_part(json::string_view s, json::error_code &) {
    number_.append(s.data(), s.size());
    return true;
  }

  bool on_array_begin(json::error_code &) {
    open(true);
    return true;
  }
  bool on_array_end(std::size_t, json::error_code &) {
    close();
    return true;
  }
  bool on_object_begin(json::error_code &) {
    open(false);
    return true;
  }
  bool on_object_end(std::size_t, json::error_code &) {
    close();
    return true;
  }
  bool on_string_part(json::string_view s, std::size_t, json::error_code &) {
    partial_.append(s.data(), s.size());
    return true;
  }
  bool on_string(json::string_view s, std::size_t, json::error_code &) {
    if (partial_.empty()) return value(Variant(std::string(s.data(), s.size())));
    partial_.append(s.data(), s.size());
    return value(Variant(std::exchange(partial_, {})));
  }
  bool on_key_part(json::string_view s, std::size_t, json::error_code &) {
    partial_.append(s.data(), s.size());
    return true;
  }
  bool on_key(json::string_view s, std::size_t, json::error_code &) {
    if (partial_.empty()) return key(std::string_view(s.data(), s.size()));
    partial_.append(s.data(), s.size());
    const std::string name = std::exchange(partial_, {});
    return key(name);
  }
  bool on_int64(std::int64_t i, json::string_view, json::error_code &) {
    number_.clear();
    return value(Variant(i));
  }
  bool on_uint64(std::uint64_t u, json::string_view, json::error_code &) {
    number_.clear();
    if (skipping()) return true;
    throw EConvertError("Integer value out of range: " + std::to_string(u));
  }
  bool on_double(double d, json::string_view s, json::error_code &) {
    number_.append(s.data(), s.size());
    const double exact = exactDouble(number_, d);
    number_.clear();
    return value(Variant(exact));
  }
  bool on_bool(bool b, json::error_code &) { return value(Variant(b)); }
  bool on_null(json::error_code &) { return value(Variant(nullptr)); }

private:
  Level &top() { return stack_.back(); }

  // Whether the next value is one nobody reads.
  bool skipping() {
    return stack_.empty() ? envelope_ : top().frame == Frame::Skip || top().key == Key::Other;
  }

  void push(Frame frame, std::size_t builder = 0) {
    stack_.emplace_back();
    stack_.back().frame = frame;
    stack_.back().builder = builder;
  }

  std::string fieldWhere(const Level &l) const { return "field " + std::to_string(l.count + 1); }

  void open(bool array) {
    if (stack_.empty()) {
      if (!envelope_) return push(array ? Frame::Array : Frame::Object);
      envelope.object = !array;
      return push(array ? Frame::Skip : Frame::Envelope);
    }
    Level &l = top();
    switch (l.frame) {
    case Frame::Array:
    case Frame::RowValues:
      return push(array ? Frame::Array : Frame::Object);
    case Frame::Skip:
      return push(Frame::Skip);
    case Frame::Fields:
      if (array) invalid(fieldWhere(l) + " is not an object");
      return push(Frame::FieldDef, l.builder);
    case Frame::Rows:
      push(array ? Frame::RowValues : Frame::RowObject, l.builder);
      if (array) top().items.reserve(builders_[top().builder].fieldCount());
      return;
    default:
      break;
    }
    // A container as the value of a key.
    const Key k = std::exchange(l.key, Key::None);
    if (k == Key::Other) return push(Frame::Skip);
    // An object among the envelope's other members is no one's: skipped, as before there were any.
    if (k == Key::Member && !array) return push(Frame::Skip);
    if (l.frame == Frame::Envelope) {
      if (k == Key::Error) {
        if (array) invalidCall("\"error\" is not an object");
        return push(Frame::Failure);
      }
      l.key = k; // "args" and "result": the container's value comes back to this key
      return push(array ? Frame::Array : Frame::Object);
    }
    if (l.frame == Frame::Failure) {
      if (k != Key::Detail) invalidCall("the error needs a text code and message");
      l.key = k; // the container's value comes back to this key
      return push(array ? Frame::Array : Frame::Object);
    }
    if (l.frame == Frame::Object) {
      if (k == Key::Unassigned) {
        l.key = k; // the container's value comes back to this key
        return push(array ? Frame::Array : Frame::Object);
      }
      if (!array) invalid("\"fields\" and \"rows\" must be arrays");
      const std::size_t builder = builderOf(stack_.size() - 1);
      (k == Key::Fields ? l.hasFields : l.hasRows) = true;
      return push(k == Key::Fields ? Frame::Fields : Frame::Rows, builder);
    }
    if (l.frame == Frame::RowObject && k == Key::Values && array) {
      l.hasValues = true;
      push(Frame::RowValues, l.builder);
      top().items.reserve(builders_[top().builder].fieldCount());
      return;
    }
    valueMismatch(l, k);
  }

  void close() {
    Level &l = top();
    switch (l.frame) {
    case Frame::Skip:
    case Frame::Envelope:
      break;
    case Frame::Failure: {
      constexpr auto both =
          (1u << static_cast<unsigned>(Key::Code)) | (1u << static_cast<unsigned>(Key::Message));
      if ((l.keysSeen & both) != both) invalidCall("the error needs a text code and message");
      envelope.failed = true;
      break;
    }
    case Frame::Array:
    case Frame::Object: {
      Variant v = l.frame == Frame::Array ? Variant(std::move(l.items)) : finishObject(l);
      stack_.pop_back();
      value(std::move(v));
      return;
    }
    case Frame::Fields:
      builders_[l.builder].fieldsComplete();
      break;
    case Frame::FieldDef: {
      Level &fields = stack_[stack_.size() - 2];
      if (!l.hasName) invalid(fieldWhere(fields) + " has no \"name\"");
      if (!l.hasType) invalid(fieldWhere(fields) + " has no \"type\"");
      l.def.type = fieldTypeFromName(l.typeName, l.def.name);
      builders_[l.builder].addField(std::move(l.def));
      ++fields.count;
      break;
    }
    case Frame::Rows:
      break;
    case Frame::RowValues: {
      Level &parent = stack_[stack_.size() - 2];
      if (parent.frame == Frame::RowObject) {
        parent.items = std::move(l.items);
      } else {
        builders_[l.builder].addRow({RowStatus::Unmodified, std::move(l.items)});
        ++parent.count;
      }
      break;
    }
    case Frame::RowObject: {
      Level &rows = stack_[stack_.size() - 2];
      const auto where = [&] { return "row " + std::to_string(rows.count + 1); };
      if (!l.hasStatus) invalid(where() + " has no \"status\"");
      if (!l.hasValues) invalid(where() + " has no \"values\"");
      builders_[l.builder].addRow({l.status, std::move(l.items)});
      ++rows.count;
      break;
    }
    }
    stack_.pop_back();
  }

  Variant finishObject(Level &l) {
    if (l.hasUnassigned && l.count == 1) {
      if (!(l.unassigned == Variant(true))) throw EConvertError("Invalid value: \"unassigned\" must be true");
      return Variant::unassigned();
    }
    if (!l.hasFields) invalid("the packet has no \"fields\"");
    if (!l.hasRows) invalid("the packet has no \"rows\"");
    return builders_[l.builder].finish();
  }

  // Objects that may be packets get their builder when their "fields" or "rows" open.
  std::size_t builderOf(std::size_t level) {
    Level &l = stack_[level];
    if (l.builder == 0) {
      builders_.emplace_back();
      l.builder = builders_.size() - 1;
    }
    return l.builder;
  }

  bool key(std::string_view name) {
    Level &l = top();
    Key k = Key::Other;
    if (l.frame == Frame::Object) {
      ++l.count;
      k = name == "unassigned" ? Key::Unassigned
          : name == "fields"   ? Key::Fields
          : name == "rows"     ? Key::Rows
                               : k;
    } else if (l.frame == Frame::FieldDef) {
      k = name == "name"       ? Key::Name
          : name == "type"     ? Key::Type
          : name == "size"     ? Key::Size
          : name == "required" ? Key::Required
                               : k;
    } else if (l.frame == Frame::RowObject) {
      k = name == "status" ? Key::Status : name == "values" ? Key::Values : k;
    } else if (l.frame == Frame::Envelope) {
      k = name == "args" ? Key::Args : name == "result" ? Key::Result : name == "error" ? Key::Error : k;
      // The members of a sign-in's answer are kept; any other is skipped unread, whatever it holds.
      if (k == Key::Other && isSignInMember(name)) {
        noteKey(l, k, name);
        member_ = name;
        l.key = Key::Member;
        return true;
      }
    } else if (l.frame == Frame::Failure) {
      k = name == "code" ? Key::Code : name == "message" ? Key::Message : name == "detail" ? Key::Detail : k;
    }
    noteKey(l, k, name);
    l.key = k;
    return true;
  }

  // Which of two values of one key was meant cannot be known, so an object may name a key once.
  static void noteKey(Level &l, Key k, std::string_view name) {
    if (k == Key::Other) {
      if (std::find(l.otherKeys.begin(), l.otherKeys.end(), name) != l.otherKeys.end())
        throw EDuplicateJsonKey(std::string(name));
      l.otherKeys.emplace_back(name);
      return;
    }
    const auto bit = std::uint32_t{1} << static_cast<unsigned>(k);
    if (l.keysSeen & bit) throw EDuplicateJsonKey(std::string(name));
    l.keysSeen |= bit;
  }

  [[noreturn]] void valueMismatch(const Level &l, Key k) {
    if (l.frame == Frame::RowObject)
      invalid("row " + std::to_string(stack_[stack_.size() - 2].count + 1) +
              " needs a text status and an array of values");
    if (k == Key::Size) invalid("field '" + l.def.name + "' has an invalid size");
    if (k == Key::Required) invalid("field '" + l.def.name + "' has an invalid \"required\"");
    invalid(fieldWhere(stack_[stack_.size() - 2]) + " needs a text name and type");
  }

  bool value(Variant v) {
    if (stack_.empty()) {
      if (!envelope_) result = std::move(v);
      return true;
    }
    Level &l = top();
    switch (l.frame) {
    case Frame::Array:
    case Frame::RowValues:
      l.items.push_back(std::move(v));
      return true;
    case Frame::Skip:
      return true;
    case Frame::Fields:
      invalid(fieldWhere(l) + " is not an object");
    case Frame::Rows:
      invalid("row " + std::to_string(l.count + 1) + " is not an array");
    default:
      break;
    }
    const Key k = std::exchange(l.key, Key::None);
    switch (k) {
    case Key::Other:
      return true;
    case Key::Args:
    case Key::Result:
      (k == Key::Args ? envelope.args : envelope.result) = std::move(v);
      return true;
    case Key::Member:
      envelope.members.emplace(std::move(member_), std::move(v));
      return true;
    case Key::Error:
      invalidCall("\"error\" is not an object");
    case Key::Code:
    case Key::Message:
      if (!v.isString()) invalidCall("the error needs a text code and message");
      (k == Key::Code ? envelope.errorCode : envelope.errorMessage) = v.str();
      return true;
    case Key::Detail:
      envelope.errorDetail = std::move(v);
      return true;
    case Key::Unassigned:
      l.unassigned = std::move(v);
      l.hasUnassigned = true;
      return true;
    case Key::Fields:
    case Key::Rows:
      invalid("\"fields\" and \"rows\" must be arrays");
    case Key::Name:
    case Key::Type:
      if (!v.isString()) valueMismatch(l, k);
      (k == Key::Name ? l.hasName : l.hasType) = true;
      (k == Key::Name ? l.def.name : l.typeName) = v.str();
      return true;
    case Key::Size:
      if (v.kind() != Variant::Kind::Integer || v.asInteger() < 0 || v.asInteger() > 1'000'000)
        valueMismatch(l, k);
      l.def.size = static_cast<int>(v.asInteger());
      return true;
    case Key::Required:
      if (v.kind() != Variant::Kind::Boolean) valueMismatch(l, k);
      l.def.required = v.asBoolean();
      return true;
    case Key::Status:
      if (!v.isString()) valueMismatch(l, k);
      l.status = rowStatusFromName(v.str(), stack_[stack_.size() - 2].count);
      l.hasStatus = true;
      return true;
    default:
      valueMismatch(l, k);
    }
  }

  bool envelope_;
  std::vector<Level> stack_;
  std::vector<PacketBuilder> builders_{1}; // slot 0 stands for "none yet"
  std::string partial_;
  std::string member_; // the name of the envelope's member being read
  std::string number_; // the parts of a number split across buffers
};

} // namespace

EDuplicateJsonKey::EDuplicateJsonKey(std::string key)
    : EConvertError("Invalid JSON text: the key \"" + key + "\" appears twice in one object"),
      key_(std::move(key)) {}

namespace {

Handler &parse(json::basic_parser<Handler> &parser, std::string_view text) {
  json::error_code ec;
  const std::size_t used = parser.write_some(false, text.data(), text.size(), ec);
  if (!ec && used != text.size()) ec = json::error::extra_data;
  if (ec) throw EInvalidJson("Invalid JSON text: " + ec.message());
  return parser.handler();
}

} // namespace

Variant variantFromJsonText(std::string_view text) {
  json::basic_parser<Handler> parser{json::parse_options{}, false};
  return std::move(parse(parser, text).result);
}

CallEnvelope readCallEnvelope(std::string_view text) {
  json::basic_parser<Handler> parser{json::parse_options{}, true};
  return std::move(parse(parser, text).envelope);
}

} // namespace kdr
