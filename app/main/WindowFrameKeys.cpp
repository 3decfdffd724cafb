#include "main/WindowFrameKeys.h"

#include <Qt>

namespace corvane {

QRectF WindowFrameKeys::nudged(const QRectF& rect, int key) {
  switch (key) {
    case Qt::Key_Up:
      return rect.translated(0, -kNudge);
    case Qt::Key_Down:
      return rect.translated(0, kNudge);
    case Qt::Key_Left:
      return rect.translated(-kNudge, 0);
    case Qt::Key_Right:
      return rect.translated(kNudge, 0);
    default:
      return rect;
  }
}

bool WindowFrameKeys::isDelete(int key) {
  return key == Qt::Key_Delete || key == Qt::Key_Backspace;
}

WindowFrameKeys::Entries WindowFrameKeys::onResize(QSize size, bool simpleMode, bool fullScreen,
                                                   bool customWindow) {
  if (simpleMode || !customWindow || fullScreen) return {};
  return {{"WindowWidth", double(size.width())}, {"WindowHeight", double(size.height())}};
}

WindowFrameKeys::Entries WindowFrameKeys::onMove(QPoint topLeft, bool simpleMode, bool customWindow,
                                                 bool placeKnown) {
  if (simpleMode || !customWindow || !placeKnown) return {};
  return {{"WindowX", double(topLeft.x())}, {"WindowY", double(topLeft.y())}};
}

}  // namespace corvane
