#pragma once
// The arguments of a remote call from its body, {"args": [...]}, as variants.
#include <string_view>
#include <vector>

#include "platform/rtl/variant.h"

namespace kdr::server {

// Raises ServiceError (invalid argument) for a body that is no object with an "args" list, that
// names a key twice in one object, or that carries a text with an embedded NUL character (one
// engine would cut the text there, the other keep it), and EConvertError, whose detail is for the log, for
// malformed JSON or packets.
std::vector<Variant> decodeArgs(std::string_view body);

} // namespace kdr::server
