#include "shell/MainWindowPlacement.h"

#include <algorithm>
#include <cmath>

namespace corvane {

std::optional<double> MainWindowPlacement::number(const QVariant& value) {
  if (!value.isValid() || value.isNull()) return std::nullopt;
  bool ok = false;
  double n = value.toDouble(&ok);
  if (!ok || !std::isfinite(n)) return std::nullopt;
  return n;
}

MainWindowPlacement::Placement MainWindowPlacement::place(const Stored& stored,
                                                          const std::vector<QRect>& screens) {
  Placement p;
  p.minimum = minimumSize;
  QRect main = screens.empty() ? QRect(QPoint(0, 0), defaultSize) : screens.front();
  QSize largest(0, 0);
  for (const QRect& screen : screens) largest = largest.expandedTo(screen.size());
  p.maximum =
      largest.isEmpty() ? QSize((1 << 24) - 1, (1 << 24) - 1) : largest.expandedTo(minimumSize);

  QSize size = defaultSize;
  if (stored.width && stored.height && *stored.width > 0 && *stored.height > 0)
    size = QSize(int(std::lround(std::min(*stored.width, 1e6))),
                 int(std::lround(std::min(*stored.height, 1e6))));
  p.size = size.expandedTo(p.minimum).boundedTo(p.maximum);

  if (stored.x && stored.y && std::abs(*stored.x) < 1e6 && std::abs(*stored.y) < 1e6) {
    QRect frame(QPoint(int(std::lround(*stored.x)), int(std::lround(*stored.y))), p.size);
    bool visible = std::any_of(screens.begin(), screens.end(),
                               [&frame](const QRect& s) { return s.intersects(frame); });
    if (visible || screens.empty()) {
      p.origin = frame.topLeft();
      return p;
    }
  }
  p.centred = true;
  p.origin = QPoint(main.x() + (main.width() - p.size.width()) / 2,
                    main.y() + (main.height() - p.size.height()) / 2);
  return p;
}

}  // namespace corvane
