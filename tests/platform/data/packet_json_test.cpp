#include "platform/data/packet_json.h"

#include <gtest/gtest.h>

#include <boost/json/parse.hpp>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>

#include "platform/data/packet_reader.h"
#include "platform/rtl/datapacket.h"
#include "platform/rtl/exceptions.h"

namespace kdr {
namespace {

DataPacket samplePacket() {
  DataPacket p;
  p.fields = {{"CDCLIENTE", FieldType::String, 21, true},
              {"NRITEM", FieldType::Integer, 0, false},
              {"VRPERCAJUSTEINV", FieldType::Float, 0, false},
              {"IDATIVO", FieldType::Boolean, 0, false}};
  p.rows = {{RowStatus::Unmodified, {"0001", 1, 2.0, true}},
            {RowStatus::Inserted, {"Manutenção", nullptr, 12.345, false}},
            {RowStatus::Unmodified, {"0002", 7, 0.5, nullptr}},
            {RowStatus::Modified, {Variant::unassigned(), 8, Variant::unassigned(), Variant::unassigned()}},
            {RowStatus::Deleted, {"0003", -4, -1.0e-3, true}}};
  return p;
}

TEST(PacketJson, RoundTripsEveryKind) {
  const Variant cases[] = {Variant(nullptr),
                           Variant(true),
                           Variant(std::int64_t{-9007199254740993}),
                           Variant(2.0),
                           Variant(0.1),
                           Variant("Não \"aspas\" \\ \n"),
                           Variant(""),
                           Variant::unassigned(),
                           Variant(Variant::Array{1, "a", Variant::Array{}, nullptr}),
                           makePacketVariant(samplePacket()),
                           makePacketVariant(DataPacket{})};
  for (const auto &v : cases) {
    SCOPED_TRACE(v.debugString());
    Variant back = variantFromJsonText(variantToJsonText(v));
    EXPECT_EQ(back, v);
    EXPECT_EQ(back.kind(), v.kind());
  }
}

TEST(PacketJson, DecodesTheDocumentedForm) {
  Variant v = variantFromJsonText(
      R"({"rows":[["A",3,4],{"status":"modified","values":[{"unassigned":true},null,5.5]}],
    "fields":[{"name":"A","type":"string","size":1},{"name":"B","type":"integer"},{"name":"C","type":"float"}]})");
  const DataPacket &p = *v.packet();
  ASSERT_EQ(p.rows.size(), 2u);
  EXPECT_EQ(p.fields[0].size, 1);
  EXPECT_FALSE(p.fields[0].required);
  // An integer in a float column still decodes as a float.
  EXPECT_EQ(p.rows[0].values[2].kind(), Variant::Kind::Float);
  EXPECT_EQ(p.rows[1].status, RowStatus::Modified);
  EXPECT_TRUE(p.rows[1].values[0].isUnassigned());
}

TEST(PacketJson, RefusesMalformedInputWithAClearMessage) {
  const std::string fields =
      R"("fields":[{"name":"CDEMPRESA","type":"string","size":2},{"name":"N","type":"integer"}])";
  struct Case {
    std::string text;
    std::string expected; // part of the message
  } cases[] = {
      {"{", "Invalid JSON"},
      {"[1,2", "Invalid JSON"},
      {"", "Invalid JSON"},
      {R"({"unassigned":false})", "unassigned"},
      {R"({"fields":[]})", "\"rows\""},
      {R"({"rows":[]})", "\"fields\""},
      {R"({"fields":{},"rows":[]})", "arrays"},
      {R"({"fields":[{"name":"A","type":"date"}],"rows":[]})", "unknown type \"date\""},
      {R"({"fields":[{"type":"string"}],"rows":[]})", "\"name\""},
      {R"({"fields":[{"name":"","type":"string"}],"rows":[]})", "field 1 has no name"},
      {R"({"fields":[{"name":"A","type":"string","size":-1}],"rows":[]})", "invalid size"},
      {R"({"fields":[{"name":"A","type":"string"},{"name":"a","type":"string"}],"rows":[]})", "twice"},
      {"{" + fields + R"(,"rows":[["01"]]})", "row 1 has 1 values for 2 fields"},
      {"{" + fields + R"(,"rows":[["01",1,2]]})", "row 1 has 3 values"},
      {"{" + fields + R"(,"rows":[["01",1],["02","x"]]})", "row 2, field 'N'"},
      {"{" + fields + R"(,"rows":[["013",1]]})", "longer than 2 characters"},
      {"{" + fields + R"(,"rows":[[1,1]]})", "field 'CDEMPRESA'"},
      {"{" + fields + R"(,"rows":[["01",1.5]]})", "field 'N'"},
      {"{" + fields + R"(,"rows":[[{"unassigned":true},1]]})", "field 'CDEMPRESA'"},
      {"{" + fields + R"(,"rows":[{"status":"gone","values":["01",1]}]})", "unknown status"},
      {"{" + fields + R"(,"rows":[{"status":"inserted"}]})", "\"values\""},
      {"{" + fields + R"(,"rows":[7]})", "row 1"},
      {"{" + fields + R"(,"rows":[["01",18446744073709551615]]})", "out of range"},
      {"{" + fields + R"(,"rows":[["01",[1]]]})", "field 'N'"},
      {"{" + fields + R"(,"rows":[{"values":["01",1]}]})", "\"status\""},
      {"{" + fields + R"(,"rows":[{"status":"modified","values":["01",{"unassigned":1}]}]})", "unassigned"},
      {R"({"fields":[{"name":"A","type":"string","size":"9"}],"rows":[]})", "invalid size"},
      {R"({"fields":[{"name":"A","type":"string","required":1}],"rows":[]})", "required"},
      {R"({"fields":[{"name":["A"],"type":"string"}],"rows":[]})", "text name and type"},
      {R"({"fields":[["A"]],"rows":[]})", "field 1 is not an object"},
      {R"([1, {"fields":[{"name":"A","type":"integer"}],"rows":[["x"]]}])", "row 1, field 'A'"},
      {"[1] 2", "Invalid JSON"},
  };
  auto expectRefused = [](const std::function<void()> &decode, const std::string &expected) {
    try {
      decode();
      ADD_FAILURE() << "accepted";
    } catch (const EConvertError &e) {
      EXPECT_NE(e.Message().find(expected), std::string::npos) << e.Message();
    }
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.text);
    expectRefused([&] { variantFromJsonText(c.text); }, c.expected);
    // The same value as the argument of a call.
    if (!c.text.empty()) expectRefused([&] { readCallEnvelope(R"({"args":[)" + c.text + "]}"); }, c.expected);
  }
}

TEST(PacketJson, IgnoresUnknownKeysAndTakesFieldsAfterRows) {
  Variant v = variantFromJsonText(
      R"({"rows":[{"values":[1],"x":{"y":[{}]},"status":"inserted"}],"meta":{"a":[1,{"b":2}]},
        "fields":[{"type":"float","extra":[1],"name":"A"}]})");
  const DataPacket &p = *v.packet();
  EXPECT_EQ(p.rows[0].status, RowStatus::Inserted);
  EXPECT_EQ(p.rows[0].values[0], Variant(1.0));
  // Long strings with escapes arrive in pieces.
  std::string text(10000, 'a');
  text += "\\n";
  EXPECT_EQ(variantFromJsonText("\"" + text + "\"").str().size(), 10001u);
}

// Two values for one key leave unknown which was meant: refused wherever the object is, in a value
// or in the envelope of a call, however the key is spelt, naming the key. Equal keys in different
// objects are fine.
TEST(PacketJson, AKeyNamedTwiceInOneObjectIsRefused) {
  const std::string fields = R"("fields":[{"name":"A","type":"string"}])";
  const struct {
    std::string text, key;
  } cases[] = {
      {"{" + fields + R"(,"rows":[{"status":"unmodified","values":[],"values":["x"]}]})", "values"},
      {"{" + fields + R"(,"rows":[{"status":"inserted","status":"deleted","values":["x"]}]})", "status"},
      {R"({"fields":[{"name":"A","type":"string","name":"B"}],"rows":[]})", "name"},
      {"{" + fields + "," + fields + R"(,"rows":[]})", "fields"},
      {"{" + fields + R"(,"rows":[],"rows":[]})", "rows"},
      {R"([{"unassigned":true,"unassigned":true}])", "unassigned"},
      {"{" + fields + R"(,"rows":[],"note":1,"note":2})", "note"},
      {"{" + fields + R"(,"rows":[],"meta":[{"a":{"b":1,"b":2}}]})", "b"},
      {R"({"fields":[{"name":"A","type":"string","x":1,"x":1}],"rows":[]})", "x"},
  };
  auto keyRefused = [](const std::function<void()> &decode) -> std::string {
    try {
      decode();
    } catch (const EDuplicateJsonKey &e) {
      return e.key();
    }
    return "(accepted)";
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(keyRefused([&] { variantFromJsonText(c.text); }), c.key);
    EXPECT_EQ(keyRefused([&] { readCallEnvelope(R"({"result":)" + c.text + "}"); }), c.key);
  }
  for (const std::string envelope : {R"({"args":[],"args":[]})", R"({"result":1,"args":[],"result":2})",
                                     R"({"error":{"code":"x","message":"m","code":"y"}})",
                                     R"({"result":1,"other":{"a":[{"b":1,"b":1}]}})"}) {
    SCOPED_TRACE(envelope);
    EXPECT_NE(keyRefused([&] { readCallEnvelope(envelope); }), "(accepted)");
  }
  const std::string siblings =
      R"({"fields":[{"name":"A","type":"string"},{"name":"B","type":"string"}],)"
      R"("rows":[{"status":"inserted","values":["x","y"]},{"status":"inserted","values":["z","w"]}]})";
  EXPECT_EQ(variantFromJsonText(siblings).packet()->rows.size(), 2u);
}

// The envelope of a call and of its answer: what the wire names is read, whatever order it comes
// in; anything else is skipped, however large or odd; an error must carry its two texts and may
// carry a detail.
// A sign-in's answer carries its session beside the envelope's members; other names stay unread.
TEST(CallEnvelope, KeepsTheMembersOfASignIn) {
  const CallEnvelope in = readCallEnvelope(
      R"({"session":"k","expires":"2026-12-08 20:00:00.000","operator":"atendente","name":"A",)"
      R"("authorisations":["FPAL","FPCO"],"other":[18446744073709551615]})");
  EXPECT_EQ(in.members.at("session"), Variant("k"));
  EXPECT_EQ(in.members.at("operator"), Variant("atendente"));
  EXPECT_EQ(in.members.at("authorisations"), Variant(Variant::Array{"FPAL", "FPCO"}));
  EXPECT_EQ(in.members.count("other"), 0u);
  EXPECT_FALSE(in.failed);
  EXPECT_THROW(readCallEnvelope(R"({"session":"a","session":"b"})"), EDuplicateJsonKey);
}

TEST(CallEnvelope, ReadsTheCallAndItsAnswer) {
  const CallEnvelope call = readCallEnvelope(R"({"args":["101",{"unassigned":true},[1.5]]})");
  EXPECT_TRUE(call.object);
  EXPECT_EQ(call.args, Variant(Variant::Array{"101", Variant::unassigned(), Variant(Variant::Array{1.5})}));
  EXPECT_FALSE(call.result.has_value());

  const CallEnvelope answer = readCallEnvelope(
      R"({"took":{"ms":[18446744073709551615,{"x":null}]},"args":["'101'"],"result":{"fields":)"
      R"([{"name":"A","type":"float"}],"rows":[[13.387664401253275]]},"trace":18446744073709551615})");
  EXPECT_EQ(answer.args, Variant(Variant::Array{"'101'"}));
  ASSERT_TRUE(answer.result && answer.result->isPacket());
  EXPECT_EQ(answer.result->packet()->rows[0].values[0], Variant(13.387664401253275));
  EXPECT_FALSE(answer.failed);

  const CallEnvelope refusal = readCallEnvelope(
      R"({"error":{"message":"Cliente \"101\" não existe.","detail":[1],"code":"not_found"}})");
  EXPECT_TRUE(refusal.failed);
  EXPECT_EQ(refusal.errorCode, "not_found");
  EXPECT_EQ(refusal.errorMessage, "Cliente \"101\" não existe.");
  EXPECT_EQ(refusal.errorDetail, Variant(Variant::Array{Variant(std::int64_t{1})}));
  EXPECT_TRUE(readCallEnvelope(R"({"error":{"code":"x","message":"m"}})").errorDetail.isNull());
  // A conflict's detail: the row as held (a packet), who and when.
  const CallEnvelope conflict = readCallEnvelope(
      R"({"error":{"code":"conflict","message":"m","detail":[{"fields":[{"name":"A","type":"string"}],)"
      R"("rows":[["x"]]},"ana","2026-12-08 14:03:07.125"]}})");
  ASSERT_TRUE(conflict.errorDetail.isArray());
  ASSERT_EQ(conflict.errorDetail.array().size(), 3u);
  EXPECT_EQ(conflict.errorDetail.array()[0].packet()->rows.at(0).values.at(0), Variant("x"));
  EXPECT_EQ(conflict.errorDetail.array()[1], Variant("ana"));

  for (const char *notAnObject : {"[1,2]", "\"args\"", "null", "7"}) {
    SCOPED_TRACE(notAnObject);
    EXPECT_FALSE(readCallEnvelope(notAnObject).object);
  }
  EXPECT_THROW(readCallEnvelope(R"({"args":[1])"), EInvalidJson);
  EXPECT_THROW(readCallEnvelope(R"({"args":[]} {})"), EInvalidJson);
  for (const char *badError :
       {R"({"error":"falhou"})", R"({"error":{"code":"x"}})", R"({"error":{"code":1,"message":"m"}})",
        R"({"error":[]})", R"({"error":{"code":"x","message":["m"]}})"}) {
    SCOPED_TRACE(badError);
    EXPECT_THROW(readCallEnvelope(badError), EConvertError);
  }
}

TEST(PacketJson, SizeCountsCharactersNotBytes) {
  Variant v = variantFromJsonText(R"({"fields":[{"name":"A","type":"string","size":3}],"rows":[["ção"]]})");
  EXPECT_EQ(v.packet()->rows[0].values[0], Variant("ção"));
}

} // namespace
} // namespace kdr

namespace kdr {
namespace {

// Every cut and every single-character damage of a delta either decodes or raises EConvertError.
TEST(PacketJson, DamagedTextNeverCrashes) {
  DataPacket p = samplePacket();
  const std::string text = variantToJsonText(makePacketVariant(p));
  std::size_t refused = 0;
  auto decode = [&](std::string_view t) {
    try {
      variantFromJsonText(t);
    } catch (const EConvertError &) {
      ++refused;
    }
  };
  for (std::size_t n = 0; n < text.size(); ++n) decode(std::string_view(text).substr(0, n));
  for (std::size_t i = 0; i < text.size(); ++i)
    for (char c : {'"', '{', '[', ']', '}', ',', '1', 'x', '\\', '\0'}) {
      std::string damaged = text;
      damaged[i] = c;
      decode(damaged);
    }
  EXPECT_GE(refused, text.size());
}

} // namespace
} // namespace kdr

namespace kdr {
namespace {

// The text is written straight from the variant; it must read back to the same values and kinds,
// and stay valid JSON for every string and every double.
TEST(PacketJson, TextWriterRoundTripsAwkwardValues) {
  std::string control;
  for (char c = 1; c < 0x20; ++c) control += c;
  DataPacket p;
  p.fields = {{"DS", FieldType::String, 400, false}, {"VR", FieldType::Float, 0, false}};
  const Variant texts[] = {
      "Açougue São João",   "aspas \" e \\ barra / fim", control, std::string("a\0b", 3), "", nullptr,
      Variant::unassigned()};
  const double floats[] = {0.0, -0.0, 12.5, 1e300, -1e-300, 5e-324, 0.1, 1e22, 123456789012345678.0, 2.0};
  for (const Variant &t : texts)
    for (double f : floats) p.rows.push_back({RowStatus::Modified, {t, f}});
  const Variant packet = makePacketVariant(p);
  const std::string text = variantToJsonText(packet);
  boost::json::error_code ec;
  boost::json::parse(text, ec);
  EXPECT_FALSE(ec) << "not valid JSON: " << ec.message();
  Variant back = variantFromJsonText(text);
  ASSERT_EQ(back, packet);
  for (std::size_t i = 0; i < p.rows.size(); ++i) {
    const Variant &f = back.packet()->rows[i].values[1];
    ASSERT_EQ(f.kind(), Variant::Kind::Float);
    EXPECT_EQ(std::signbit(f.asFloat()), std::signbit(p.rows[i].values[1].asFloat()));
  }
  // Integral doubles stay floats on their own too, and JSON has no infinity or NaN.
  struct Case {
    Variant value;
    std::string text;
  } cases[] = {{0.0, "0.0"},
               {-0.0, "-0.0"},
               {12.5, "12.5"},
               {1e300, "1e+300"},
               {std::numeric_limits<double>::infinity(), "1e99999"},
               {-std::numeric_limits<double>::infinity(), "-1e99999"},
               {std::numeric_limits<double>::quiet_NaN(), "null"},
               {"\x01\x1f\x7f", "\"\\u0001\\u001f\x7f\""}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(variantToJsonText(c.value), c.text);
    if (!c.value.isNumber() || !std::isnan(c.value.asFloat())) {
      EXPECT_EQ(variantFromJsonText(c.text), c.value);
    }
  }
}

// Texts are passed over eight bytes at a time: a character to escape is found wherever it falls
// in a word, at either end of the text, and two in one word are both escaped.
TEST(PacketJson, EveryCharacterToEscapeIsFoundWhereverItFalls) {
  const std::string awkward[] = {"\"",   "\\",       "\n",   "\x01",    "\x1f", std::string(1, '\0'),
                                 "\x7f", "\xc3\xa7", "\"\\", "\x1f\x20"};
  for (std::size_t length : {1u, 7u, 8u, 9u, 16u, 23u})
    for (const std::string &odd : awkward)
      for (std::size_t at = 0; at + odd.size() <= length; ++at) {
        std::string text(length, 'a');
        text.replace(at, odd.size(), odd);
        std::string json;
        appendJsonString(json, text);
        SCOPED_TRACE(json);
        boost::json::error_code ec;
        const boost::json::value read = boost::json::parse(json, ec);
        ASSERT_FALSE(ec) << "not valid JSON: " << ec.message();
        ASSERT_TRUE(read.is_string());
        EXPECT_EQ(std::string_view(read.as_string()), text);
      }
}

// The reader gives back every finite double exactly as written: a rate that came back one unit
// in the last place off would never match its stored row again.
TEST(PacketJson, EveryDoubleReadsBackToItself) {
  std::mt19937_64 random(20260101);
  std::vector<double> values{13.387664401253275, 0.1 + 0.2, 5e-324, 1.7976931348623157e308,
                             9007199254740993.0};
  while (values.size() < 20000) {
    const std::uint64_t bits = random();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    if (std::isfinite(d)) values.push_back(d);
  }
  std::size_t wrong = 0;
  for (double d : values) {
    const std::string text = variantToJsonText(Variant(d));
    const double back = variantFromJsonText(text).asFloat();
    if (std::memcmp(&back, &d, sizeof d) != 0 && ++wrong <= 3)
      ADD_FAILURE() << text << " read back as " << back;
  }
  EXPECT_EQ(wrong, 0u);
}

} // namespace
} // namespace kdr
