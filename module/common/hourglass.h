#pragma once
// The hourglass a launcher shows while it makes its screen; a failure must not leave it on for good.
#include "platform/ui/application.h"

namespace kdr03020::common {

class HourGlass {
public:
  HourGlass() { kdr::Screen().SetCursor(kdr::crHourGlass); }
  ~HourGlass() { kdr::Screen().SetCursor(kdr::crDefault); }
  HourGlass(const HourGlass &) = delete;
  HourGlass &operator=(const HourGlass &) = delete;
};

} // namespace kdr03020::common
