#include "window/WindowPlacement.h"

#include <algorithm>

namespace rz417 {

namespace {

constexpr int kGap = 8;

} // namespace

QRect placeBeside(const QRect &panelFrame, const QSize &wanted, const QSize &least,
                  const QMargins &decorations, const QRect &available)
{
    const int extraWidth = decorations.left() + decorations.right();
    const int extraHeight = decorations.top() + decorations.bottom();
    // The frame as wanted, but never larger than the screen.
    QSize frame(std::min(wanted.width() + extraWidth, available.width()),
                std::min(wanted.height() + extraHeight, available.height()));
    const int leastFrameWidth = std::min(least.width() + extraWidth, frame.width());

    const int rightRoom = available.right() - (panelFrame.right() + kGap);
    const int leftRoom = (panelFrame.left() - kGap) - available.left();
    int x;
    if (rightRoom >= frame.width()) {
        x = panelFrame.right() + 1 + kGap;
    } else if (leftRoom >= frame.width()) {
        x = panelFrame.left() - kGap - frame.width();
    } else if (std::max(rightRoom, leftRoom) >= leastFrameWidth) {
        const bool right = rightRoom >= leftRoom;
        frame.setWidth(right ? rightRoom : leftRoom);
        x = right ? panelFrame.right() + 1 + kGap : panelFrame.left() - kGap - frame.width();
    } else {
        // Over the panel: as close to its right as the screen allows.
        x = std::min(panelFrame.right() + 1 + kGap, available.right() + 1 - frame.width());
    }
    x = std::clamp(x, available.left(), available.right() + 1 - frame.width());
    const int y =
        std::clamp(panelFrame.top(), available.top(), available.bottom() + 1 - frame.height());

    return QRect(x + decorations.left(), y + decorations.top(), frame.width() - extraWidth,
                 frame.height() - extraHeight);
}

} // namespace rz417
