#pragma once
// The one JSON decoder of the system: the desktop's connection and the server read variants, data
// packets, deltas and the envelope of a remote call with it. It decodes the text straight into
// variants, without building a JSON document first, so loading a large packet costs little more
// than parsing its text. Every number reads back to the double it was written from.
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/variant.h"

namespace kdr {

// Raises EInvalidJson on text that is not JSON, EDuplicateJsonKey when an object names a key
// twice, EConvertError on an inconsistent value or packet.
Variant variantFromJsonText(std::string_view text);

// A remote call, {"args": [...]}, or its answer, {"result": ..., "args": [...]} or
// {"error": {"code": ..., "message": ..., "detail": ...}}, as the wire carries them
// (docs/wire.md). Members of other names (a sign-in's "session", "expires"...) are read into
// members, but for objects, which are skipped.
struct CallEnvelope {
  bool object = false; // the text is a JSON object at all
  std::optional<Variant> args, result;
  std::map<std::string, Variant> members;
  bool failed = false; // "error" was there, with its texts below
  std::string errorCode, errorMessage;
  Variant errorDetail; // what the error carries besides its texts; null when nothing
};

// Raises as variantFromJsonText; also EConvertError for an "error" that is not an object with a
// text code and message.
CallEnvelope readCallEnvelope(std::string_view text);

// Text that is not JSON at all.
class EInvalidJson : public EConvertError {
public:
  using EConvertError::EConvertError;
};

// Which of two values of one key was meant cannot be known, so an object may name a key once.
class EDuplicateJsonKey : public EConvertError {
public:
  explicit EDuplicateJsonKey(std::string key);
  const std::string &key() const { return key_; }

private:
  std::string key_;
};

} // namespace kdr
