#include "platform/qt/fontscale.h"

#include <QApplication>
#include <QFontMetrics>

#include <cmath>

namespace kdr::qt {

namespace {
constexpr double classicLineHeight = 13.0;
}

double fontScale() { return QFontMetrics(QApplication::font()).height() / classicLineHeight; }

int scaled(int designed) { return static_cast<int>(std::lround(designed * fontScale())); }

int unscaled(int pixels) { return static_cast<int>(std::lround(pixels / fontScale())); }

} // namespace kdr::qt
