#pragma once
// A flat toolbar button: not windowed, so it never takes the focus and clicking it leaves the
// focused control's pending text where it is.
#include "platform/ui/control.h"

namespace kdr {

class TSpeedButton : public TControl {
public:
  explicit TSpeedButton(TComponent *owner) : TControl(owner) {}
  std::string className() const override { return "TSpeedButton"; }

  const std::string &Glyph() const { return glyph_; }
  void SetGlyph(const std::string &name) {
    glyph_ = name;
    changed(Prop::Glyph);
  }
  std::string dumpState() const override {
    return TControl::dumpState() + (glyph_.empty() ? "" : " glyph=" + glyph_) +
           (Hint().empty() ? "" : " hint=\"" + Hint() + "\"");
  }

private:
  std::string glyph_;
};

} // namespace kdr
