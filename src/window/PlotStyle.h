#pragma once

#include <QColor>

namespace rz417::plotStyle {

// What the window's plots share: the colours of text, grid, frame and the measured voltage, the
// axes' spacing and how many ticks an axis has at most.
inline const QColor kText(40, 40, 40);
inline const QColor kVoltage(0, 90, 200);
inline const QColor kGrid(225, 225, 225);
inline const QColor kFrame(170, 170, 170);
constexpr double kTick = 5; // tick length
constexpr double kGap = 4;  // between a tick, its label and the axis title
constexpr int kMaxTicks = 6;

} // namespace rz417::plotStyle
