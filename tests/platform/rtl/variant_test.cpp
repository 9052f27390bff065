#include <gtest/gtest.h>

#include "platform/rtl/datapacket.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/variant.h"

using kdr::Variant;

TEST(Variant, NullEmptyStringAndUnassignedAreDistinct) {
  EXPECT_TRUE(Variant().isNull());
  EXPECT_FALSE(Variant("").isNull());
  EXPECT_NE(Variant(), Variant(""));
  EXPECT_NE(Variant(), Variant::unassigned());
  EXPECT_TRUE(Variant::unassigned().isEmpty());
  EXPECT_EQ(Variant().asString(), "");
}

TEST(Variant, ConversionsFollowTheClassicRules) {
  EXPECT_EQ(Variant("42").asInteger(), 42);
  EXPECT_EQ(Variant(" 7").asInteger(), 7);
  EXPECT_THROW(Variant("7 ").asInteger(), kdr::EConvertError);
  EXPECT_THROW(Variant("x").asInteger(), kdr::EConvertError);
  EXPECT_THROW(Variant("").asInteger(), kdr::EConvertError);
  EXPECT_DOUBLE_EQ(Variant("12.5").asFloat(), 12.5);
  EXPECT_EQ(Variant(12.5).asString(), "12.5");
  EXPECT_EQ(Variant(0.0).asString(), "0");
  EXPECT_EQ(Variant(std::int64_t{-3}).asString(), "-3");
  EXPECT_THROW(Variant(Variant::Array{}).asString(), kdr::EConvertError);
  // An empty value counts as nothing, and any number but zero as true.
  EXPECT_EQ(Variant().asFloat(), 0);
  EXPECT_EQ(Variant().asInteger(), 0);
  EXPECT_FALSE(Variant().asBoolean());
  EXPECT_FALSE(Variant(std::int64_t{0}).asBoolean());
  EXPECT_TRUE(Variant(std::int64_t{1}).asBoolean());
  EXPECT_TRUE(Variant(std::int64_t{-2}).asBoolean());
  EXPECT_FALSE(Variant(0.0).asBoolean());
  EXPECT_TRUE(Variant(0.5).asBoolean());
}

TEST(Variant, PacketsCompareByContent) {
  kdr::DataPacket p;
  p.fields.push_back({"CDCLIENTE", kdr::FieldType::String, 21, false});
  p.rows.push_back({kdr::RowStatus::Unmodified, {Variant("101")}});
  Variant a = kdr::makePacketVariant(p), b = kdr::makePacketVariant(p);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a.packet()->fieldIndex("cdcliente"), 0);
  EXPECT_EQ(a.packet()->fieldIndex("NMFANTCLIE"), -1);
}
