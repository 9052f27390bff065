#pragma once
// Decodes JSON text straight into a variant, without building a JSON document first: loading a
// large packet then costs little more than parsing its text. Accepts and refuses exactly what
// variantFromJson does.
#include <string_view>

#include "platform/rtl/variant.h"

namespace kdr {

Variant readVariantJson(std::string_view text);

} // namespace kdr
