#pragma once
// The one JSON form of variants, data packets and deltas, shared by the server and the connection.
// docs/packets.md describes it with examples.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/datapacket.h"
#include "platform/rtl/variant.h"

namespace kdr {

std::string variantToJsonText(const Variant &v);
// Appends the same text as variantToJsonText to out, for answers built in one buffer.
void appendVariantJson(std::string &out, const Variant &v);

// The pieces of that text, for answers written straight from a query's values: a JSON string; a
// float, always read back as one ("0.0", "12.5"); an integer.
void appendJsonString(std::string &out, std::string_view s);
void appendJsonFloat(std::string &out, double d);
void appendInteger(std::string &out, std::int64_t i);

// Appends "name": for a member of the wire's JSON (its names, in platform/data/wire_keys.h, need
// no escaping).
void appendJsonKey(std::string &out, std::string_view name);

// The start of a packet's text up to its first row, '{"fields":[...],"rows":[': the caller appends
// the rows, comma-separated, each as an array of values, then "]}". For answers written straight
// from a query, without a packet in memory.
void appendPacketHeadJson(std::string &out, const std::vector<FieldDef> &fields);

} // namespace kdr
