#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

namespace rz417 {

// Where a second window goes beside the panel: to its right where it fits whole, else to its
// left, else beside it made narrower (not below its least width), else over the panel; in every
// case inside the screen's available area, made smaller where the screen is smaller than it.
// Rectangles are frames (with the window manager's decorations, given as margins); the result
// is the client geometry to give the window.
QRect placeBeside(const QRect &panelFrame, const QSize &wanted, const QSize &least,
                  const QMargins &decorations, const QRect &available);

} // namespace rz417
