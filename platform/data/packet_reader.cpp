#include "platform/data/packet_reader.h"

#include <algorithm>
#include <boost/json/basic_parser_impl.hpp>
#include <charconv>
#include <optional>
#include <span>
#include <variant>

#include "platform/data/packet_builder.h"
#include "platform/data/wire_keys.h"
#include "platform/rtl/exceptions.h"

namespace kdr {

namespace json = boost::json;

namespace {

[[noreturn]] void invalid(const std::string &what) { throw EConvertError("Invalid data packet: " + what); }

// What the value that follows a key is for, whichever object holds it; a key of a name the object
// does not read is Other.
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

struct KeyName {
  std::string_view name;
  Key key;
};
constexpr KeyName packetKeys[] = {
    {wire_key::unassigned, Key::Unassigned}, {wire_key::fields, Key::Fields}, {wire_key::rows, Key::Rows}};
constexpr KeyName fieldKeys[] = {{wire_key::name, Key::Name},
                                 {wire_key::type, Key::Type},
                                 {wire_key::size, Key::Size},
                                 {wire_key::required, Key::Required}};
constexpr KeyName rowKeys[] = {{wire_key::status, Key::Status}, {wire_key::values, Key::Values}};
constexpr KeyName envelopeKeys[] = {
    {wire_key::args, Key::Args}, {wire_key::result, Key::Result}, {wire_key::error, Key::Error}};
constexpr KeyName failureKeys[] = {
    {wire_key::code, Key::Code}, {wire_key::message, Key::Message}, {wire_key::detail, Key::Detail}};

Key keyNamed(std::span<const KeyName> keys, std::string_view name) {
  for (const KeyName &k : keys)
    if (k.name == name) return k.key;
  return Key::Other;
}

// What every open object keeps of its keys: the one whose value comes next, and those it has had.
struct Keys {
  Key next = Key::None;
  std::uint32_t seen = 0;          // the known keys, one bit each
  std::vector<std::string> others; // the others, by name
  Key take() { return std::exchange(next, Key::None); }
};

// The open arrays and objects, one kind for each place they can have in a packet or a call.
struct ArrayFrame { // a variant array
  Variant::Array items;
};
struct ObjectFrame { // {"unassigned": true} or a packet, told apart by its keys
  Keys keys;
  std::size_t count = 0;   // keys so far
  std::size_t builder = 0; // the packet being built, once "fields" or "rows" opened
  bool hasFields = false, hasRows = false;
  std::optional<Variant> unassigned;
};
struct FieldsFrame { // a packet's "fields"
  std::size_t builder;
  std::size_t count = 0; // entries so far
};
struct FieldDefFrame { // one entry of "fields"
  std::size_t builder;
  Keys keys{};
  FieldDef def{};
  std::string typeName{};
  bool hasName = false, hasType = false;
};
struct RowsFrame { // a packet's "rows"
  std::size_t builder;
  std::size_t count = 0; // rows so far
};
struct RowValuesFrame { // the values of one row
  std::size_t builder;
  Variant::Array items;
};
struct RowObjectFrame { // {"status": ..., "values": [...]}
  std::size_t builder;
  Keys keys{};
  std::optional<RowStatus> status{};
  std::optional<Variant::Array> values{};
};
struct SkipFrame { // a container in the value of a key nobody reads
  Keys keys;
};
struct EnvelopeFrame { // a remote call or its answer: {"args": ..., "result": ..., "error": ...}
  Keys keys;
};
struct FailureFrame { // the "error" of an answer: {"code": ..., "message": ...}
  Keys keys;
};
using Frame = std::variant<ArrayFrame, ObjectFrame, FieldsFrame, FieldDefFrame, RowsFrame, RowValuesFrame,
                           RowObjectFrame, SkipFrame, EnvelopeFrame, FailureFrame>;

Keys *keysOf(Frame &frame) {
  return std::visit(
      [](auto &f) -> Keys * {
        if constexpr (requires { f.keys; })
          return &f.keys;
        else
          return nullptr;
      },
      frame);
}

bool isSignInMember(std::string_view name) {
  return std::find(wire_key::signInMembers.begin(), wire_key::signInMembers.end(), name) !=
         wire_key::signInMembers.end();
}

[[noreturn]] void invalidCall(const std::string &what) { throw EConvertError("Invalid call: " + what); }

std::string fieldWhere(const FieldsFrame &fields) { return "field " + std::to_string(fields.count + 1); }
std::string rowWhere(const RowsFrame &rows) { return "row " + std::to_string(rows.count + 1); }

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
  // The frame holding the open one (a frame kind is only ever opened inside its one parent kind).
  template <class F> F &parent() { return std::get<F>(stack_[stack_.size() - 2]); }

  // Whether the next value is one nobody reads.
  bool skipping() {
    if (stack_.empty()) return envelope_;
    if (std::holds_alternative<SkipFrame>(stack_.back())) return true;
    const Keys *keys = keysOf(stack_.back());
    return keys && keys->next == Key::Other;
  }

  void push(Frame frame) { stack_.push_back(std::move(frame)); }

  // An array or object among a variant array's items, a row's values, or as a variant's value.
  void openVariant(bool array) { array ? push(ArrayFrame{}) : push(ObjectFrame{}); }

  void pushRowValues(std::size_t builder) {
    RowValuesFrame values{.builder = builder, .items = {}};
    values.items.reserve(builders_[builder].fieldCount());
    push(std::move(values));
  }

  // --- an array or object opens ---------------------------------------------------------------
  void open(bool array) {
    if (!stack_.empty()) return std::visit([&](auto &frame) { openIn(frame, array); }, stack_.back());
    if (!envelope_) return openVariant(array);
    envelope.object = !array;
    array ? push(SkipFrame{}) : push(EnvelopeFrame{});
  }

  void openIn(ArrayFrame &, bool array) { openVariant(array); }
  void openIn(RowValuesFrame &, bool array) { openVariant(array); }
  void openIn(SkipFrame &, bool) { push(SkipFrame{}); }
  void openIn(FieldsFrame &f, bool array) {
    if (array) invalid(fieldWhere(f) + " is not an object");
    push(FieldDefFrame{.builder = f.builder});
  }
  void openIn(RowsFrame &f, bool array) {
    if (array) return pushRowValues(f.builder);
    push(RowObjectFrame{.builder = f.builder});
  }

  // The others open a container as the value of a key; one of a key nobody reads is skipped.
  void openIn(ObjectFrame &f, bool array) {
    const Key k = f.keys.take();
    if (k == Key::Other) return push(SkipFrame{});
    if (k == Key::Unassigned) {
      f.keys.next = k; // the container's value comes back to this key
      return openVariant(array);
    }
    if (!array) invalid("\"fields\" and \"rows\" must be arrays");
    if (f.builder == 0) {
      builders_.emplace_back();
      f.builder = builders_.size() - 1;
    }
    (k == Key::Fields ? f.hasFields : f.hasRows) = true;
    k == Key::Fields ? push(FieldsFrame{.builder = f.builder}) : push(RowsFrame{.builder = f.builder});
  }
  void openIn(FieldDefFrame &f, bool) {
    const Key k = f.keys.take();
    if (k == Key::Other) return push(SkipFrame{});
    mismatchInField(f, k);
  }
  void openIn(RowObjectFrame &f, bool array) {
    const Key k = f.keys.take();
    if (k == Key::Other) return push(SkipFrame{});
    if (k != Key::Values || !array) mismatchInRow();
    pushRowValues(f.builder);
  }
  void openIn(EnvelopeFrame &f, bool array) {
    const Key k = f.keys.take();
    // An object among the envelope's other members is no one's: skipped, as before there were any.
    if (k == Key::Other || (k == Key::Member && !array)) return push(SkipFrame{});
    if (k == Key::Error) {
      if (array) invalidCall("\"error\" is not an object");
      return push(FailureFrame{});
    }
    f.keys.next = k; // "args", "result" and a member's array: the container's value comes back to this key
    openVariant(array);
  }
  void openIn(FailureFrame &f, bool array) {
    const Key k = f.keys.take();
    if (k == Key::Other) return push(SkipFrame{});
    if (k != Key::Detail) invalidCall("the error needs a text code and message");
    f.keys.next = k; // the container's value comes back to this key
    openVariant(array);
  }

  // --- the open array or object closes: what it made, if it is a value ------------------------
  void close() {
    std::optional<Variant> made = std::visit([&](auto &frame) { return finish(frame); }, stack_.back());
    stack_.pop_back();
    if (made) value(std::move(*made));
  }

  std::optional<Variant> finish(ArrayFrame &f) { return Variant(std::move(f.items)); }
  std::optional<Variant> finish(ObjectFrame &f) {
    if (f.unassigned && f.count == 1) {
      if (!(*f.unassigned == Variant(true)))
        throw EConvertError("Invalid value: \"unassigned\" must be true");
      return Variant::unassigned();
    }
    if (!f.hasFields) invalid("the packet has no \"fields\"");
    if (!f.hasRows) invalid("the packet has no \"rows\"");
    return builders_[f.builder].finish();
  }
  std::optional<Variant> finish(FieldsFrame &f) {
    builders_[f.builder].fieldsComplete();
    return std::nullopt;
  }
  std::optional<Variant> finish(FieldDefFrame &f) {
    FieldsFrame &fields = parent<FieldsFrame>();
    if (!f.hasName) invalid(fieldWhere(fields) + " has no \"name\"");
    if (!f.hasType) invalid(fieldWhere(fields) + " has no \"type\"");
    f.def.type = fieldTypeFromName(f.typeName, f.def.name);
    builders_[f.builder].addField(std::move(f.def));
    ++fields.count;
    return std::nullopt;
  }
  std::optional<Variant> finish(RowsFrame &) { return std::nullopt; }
  std::optional<Variant> finish(RowValuesFrame &f) {
    if (auto *row = std::get_if<RowObjectFrame>(&stack_[stack_.size() - 2])) {
      row->values = std::move(f.items);
    } else {
      builders_[f.builder].addRow({RowStatus::Unmodified, std::move(f.items)});
      ++parent<RowsFrame>().count;
    }
    return std::nullopt;
  }
  std::optional<Variant> finish(RowObjectFrame &f) {
    RowsFrame &rows = parent<RowsFrame>();
    if (!f.status) invalid(rowWhere(rows) + " has no \"status\"");
    if (!f.values) invalid(rowWhere(rows) + " has no \"values\"");
    builders_[f.builder].addRow({*f.status, std::move(*f.values)});
    ++rows.count;
    return std::nullopt;
  }
  std::optional<Variant> finish(SkipFrame &) { return std::nullopt; }
  std::optional<Variant> finish(EnvelopeFrame &) { return std::nullopt; }
  std::optional<Variant> finish(FailureFrame &f) {
    constexpr auto both =
        (1u << static_cast<unsigned>(Key::Code)) | (1u << static_cast<unsigned>(Key::Message));
    if ((f.keys.seen & both) != both) invalidCall("the error needs a text code and message");
    envelope.failed = true;
    return std::nullopt;
  }

  // --- a key: only objects have them ------------------------------------------------------------
  bool key(std::string_view name) {
    std::visit(
        [&](auto &frame) {
          if constexpr (requires { frame.keys; }) {
            const Key k = keyOf(frame, name);
            noteKey(frame.keys, k, name);
            frame.keys.next = k;
          }
        },
        stack_.back());
    return true;
  }

  Key keyOf(ObjectFrame &f, std::string_view name) {
    ++f.count;
    return keyNamed(packetKeys, name);
  }
  Key keyOf(FieldDefFrame &, std::string_view name) { return keyNamed(fieldKeys, name); }
  Key keyOf(RowObjectFrame &, std::string_view name) { return keyNamed(rowKeys, name); }
  Key keyOf(FailureFrame &, std::string_view name) { return keyNamed(failureKeys, name); }
  Key keyOf(SkipFrame &, std::string_view) { return Key::Other; }
  Key keyOf(EnvelopeFrame &, std::string_view name) {
    const Key k = keyNamed(envelopeKeys, name);
    // The members of a sign-in's answer are kept; any other is skipped unread, whatever it holds.
    if (k != Key::Other || !isSignInMember(name)) return k;
    member_ = name;
    return Key::Member;
  }

  // Which of two values of one key was meant cannot be known, so an object may name a key once.
  static void noteKey(Keys &keys, Key k, std::string_view name) {
    if (k == Key::Other || k == Key::Member) {
      if (std::find(keys.others.begin(), keys.others.end(), name) != keys.others.end())
        throw EDuplicateJsonKey(std::string(name));
      keys.others.emplace_back(name);
      return;
    }
    const auto bit = std::uint32_t{1} << static_cast<unsigned>(k);
    if (keys.seen & bit) throw EDuplicateJsonKey(std::string(name));
    keys.seen |= bit;
  }

  [[noreturn]] void mismatchInField(const FieldDefFrame &f, Key k) {
    if (k == Key::Size) invalid("field '" + f.def.name + "' has an invalid size");
    if (k == Key::Required) invalid("field '" + f.def.name + "' has an invalid \"required\"");
    invalid(fieldWhere(parent<FieldsFrame>()) + " needs a text name and type");
  }
  [[noreturn]] void mismatchInRow() {
    invalid(rowWhere(parent<RowsFrame>()) + " needs a text status and an array of values");
  }

  // --- a value: an item, a row's value, or the value of the key just read ----------------------
  bool value(Variant v) {
    if (stack_.empty()) {
      if (!envelope_) result = std::move(v);
      return true;
    }
    std::visit([&](auto &frame) { take(frame, std::move(v)); }, stack_.back());
    return true;
  }

  void take(ArrayFrame &f, Variant v) { f.items.push_back(std::move(v)); }
  void take(RowValuesFrame &f, Variant v) { f.items.push_back(std::move(v)); }
  void take(SkipFrame &, Variant) {}
  void take(FieldsFrame &f, Variant) { invalid(fieldWhere(f) + " is not an object"); }
  void take(RowsFrame &f, Variant) { invalid(rowWhere(f) + " is not an array"); }
  void take(ObjectFrame &f, Variant v) {
    const Key k = f.keys.take();
    if (k == Key::Fields || k == Key::Rows) invalid("\"fields\" and \"rows\" must be arrays");
    if (k == Key::Unassigned) f.unassigned = std::move(v);
  }
  void take(FieldDefFrame &f, Variant v) {
    switch (const Key k = f.keys.take()) {
    case Key::Other:
      return;
    case Key::Name:
    case Key::Type:
      if (!v.isString()) mismatchInField(f, k);
      (k == Key::Name ? f.hasName : f.hasType) = true;
      (k == Key::Name ? f.def.name : f.typeName) = v.str();
      return;
    case Key::Size:
      if (v.kind() != Variant::Kind::Integer || v.asInteger() < 0 || v.asInteger() > 1'000'000)
        mismatchInField(f, k);
      f.def.size = static_cast<int>(v.asInteger());
      return;
    case Key::Required:
      if (v.kind() != Variant::Kind::Boolean) mismatchInField(f, k);
      f.def.required = v.asBoolean();
      return;
    default:
      mismatchInField(f, k);
    }
  }
  void take(RowObjectFrame &f, Variant v) {
    const Key k = f.keys.take();
    if (k == Key::Other) return;
    if (k != Key::Status || !v.isString()) mismatchInRow();
    f.status = rowStatusFromName(v.str(), parent<RowsFrame>().count);
  }
  void take(EnvelopeFrame &f, Variant v) {
    switch (f.keys.take()) {
    case Key::Args:
      envelope.args = std::move(v);
      return;
    case Key::Result:
      envelope.result = std::move(v);
      return;
    case Key::Member:
      envelope.members.emplace(std::move(member_), std::move(v));
      return;
    case Key::Error:
      invalidCall("\"error\" is not an object");
    default:
      return;
    }
  }
  void take(FailureFrame &f, Variant v) {
    const Key k = f.keys.take();
    if (k == Key::Other) return;
    if (k == Key::Detail) {
      envelope.errorDetail = std::move(v);
      return;
    }
    if (!v.isString()) invalidCall("the error needs a text code and message");
    (k == Key::Code ? envelope.errorCode : envelope.errorMessage) = v.str();
  }

  bool envelope_;
  std::vector<Frame> stack_;
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
