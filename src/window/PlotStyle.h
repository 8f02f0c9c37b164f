#pragma once

#include <QColor>

namespace rz417::plotStyle {

// What the window's plots share: the colours of text, grid and frame, and the axes' spacing.
inline const QColor kText(40, 40, 40);
inline const QColor kGrid(225, 225, 225);
inline const QColor kFrame(170, 170, 170);
constexpr double kTick = 5; // tick length
constexpr double kGap = 4;  // between a tick, its label and the axis title

} // namespace rz417::plotStyle
