#include "platform/rtl/exceptions.h"

namespace kdr {

void Abort() { throw EAbort(); }

} // namespace kdr
