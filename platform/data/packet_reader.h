#pragma once
// Decodes JSON text straight into a variant, without building a JSON document first: loading a
// large packet then costs little more than parsing its text.
#include <string>
#include <string_view>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/variant.h"

namespace kdr {

// Raises EConvertError on malformed text or an inconsistent packet, EDuplicateJsonKey when an
// object names a key twice.
Variant readVariantJson(std::string_view text);

class EDuplicateJsonKey : public EConvertError {
public:
  explicit EDuplicateJsonKey(std::string key);
  const std::string &key() const { return key_; }

private:
  std::string key_;
};

} // namespace kdr
