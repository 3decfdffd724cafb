#include "main/MainWindowPlacement.h"

#include <algorithm>
#include <cmath>

#include "main/MainWindowGeometry.h"

namespace corvane {

namespace {

QSize chrome(const QMargins& m) { return QSize(m.left() + m.right(), m.top() + m.bottom()); }

qint64 area(const QRect& r) { return r.isEmpty() ? 0 : qint64(r.width()) * r.height(); }

// The screen a frame belongs to: the one holding its centre, else the one it overlaps most.
std::optional<QRect> screenOf(const QRect& frame, const std::vector<QRect>& screens) {
  QPointF centre(frame.x() + frame.width() * 0.5, frame.y() + frame.height() * 0.5);
  for (const QRect& screen : screens)
    if (QRectF(screen).contains(centre)) return screen;
  std::optional<QRect> best;
  for (const QRect& screen : screens)
    if (area(screen & frame) > (best ? area(*best & frame) : 0)) best = screen;
  return best;
}

// The frame with its content no larger than the area leaves room for, nor below the minimum.
QSize sizedFor(QSize frame, const QMargins& margins, const QRect& area) {
  QSize content = (frame - chrome(margins)).boundedTo(area.size() - chrome(margins));
  return content.expandedTo(MainWindowPlacement::minimumSize) + chrome(margins);
}

// The frame moved into the area; one larger than the area keeps its top-left corner there.
QRect movedInto(QRect frame, const QRect& area) {
  int x = std::max(area.x(), std::min(frame.x(), area.x() + area.width() - frame.width()));
  int y = std::max(area.y(), std::min(frame.y(), area.y() + area.height() - frame.height()));
  frame.moveTo(x, y);
  return frame;
}

QRect centredIn(QSize frame, const QRect& area) {
  return movedInto(QRect(QPoint(area.x() + (area.width() - frame.width()) / 2,
                                area.y() + (area.height() - frame.height()) / 2),
                         frame),
                   area);
}

bool near(const QRect& a, const QRect& b) {
  constexpr int slack = MainWindowPlacement::zoomSlack;
  return std::abs(a.left() - b.left()) <= slack && std::abs(a.top() - b.top()) <= slack &&
         std::abs(a.right() - b.right()) <= slack && std::abs(a.bottom() - b.bottom()) <= slack;
}

}  // namespace

std::optional<double> MainWindowPlacement::number(const QVariant& value) {
  if (!value.isValid() || value.isNull()) return std::nullopt;
  bool ok = false;
  double n = value.toDouble(&ok);
  if (!ok || !std::isfinite(n)) return std::nullopt;
  return n;
}

QRect MainWindowPlacement::fitted(const QRect& frame, const QMargins& margins,
                                  const std::vector<QRect>& screens) {
  if (screens.empty())
    return QRect(frame.topLeft(),
                 (frame.size() - chrome(margins)).expandedTo(minimumSize) + chrome(margins));
  if (std::optional<QRect> screen = screenOf(frame, screens))
    return movedInto(QRect(frame.topLeft(), sizedFor(frame.size(), margins, *screen)), *screen);
  return centredIn(sizedFor(frame.size(), margins, screens.front()), screens.front());
}

std::optional<QPoint> MainWindowPlacement::onMainScreen(const QRect& frame, bool shownBefore,
                                                        const QRect& main,
                                                        const std::vector<QRect>& screens) {
  std::optional<QRect> target = screenOf(main, screens);
  if (!target) return std::nullopt;
  if (shownBefore && screenOf(frame, screens) == target) return std::nullopt;
  return centredIn(frame.size(), *target).topLeft();
}

MainWindowPlacement::Placement MainWindowPlacement::place(const Stored& stored,
                                                          const std::vector<QRect>& screens,
                                                          const QMargins& margins) {
  Placement p;
  p.minimum = minimumSize;
  QSize largest(0, 0);
  for (const QRect& screen : screens) largest = largest.expandedTo(screen.size());
  p.maximum =
      largest.isEmpty() ? QSize((1 << 24) - 1, (1 << 24) - 1) : largest.expandedTo(minimumSize);

  QSize size = defaultSize;
  if (stored.width && stored.height && *stored.width > 0 && *stored.height > 0)
    size = QSize(int(std::lround(std::min(*stored.width, 1e6))),
                 int(std::lround(std::min(*stored.height, 1e6))));
  size = size.expandedTo(p.minimum);

  auto result = [&p, &margins, &screens](const QRect& frame) {
    p.origin = frame.topLeft();
    p.size = frame.size() - chrome(margins);
    std::optional<QRect> screen = screenOf(frame, screens);
    p.fillsScreen =
        screen && (frame.width() >= screen->width() || frame.height() >= screen->height());
    return p;
  };
  if (stored.x && stored.y && std::abs(*stored.x) < 1e6 && std::abs(*stored.y) < 1e6) {
    QRect frame(QPoint(int(std::lround(*stored.x)), int(std::lround(*stored.y))),
                size + chrome(margins));
    if (screens.empty()) return result(frame);
    if (screenOf(frame, screens)) return result(fitted(frame, margins, screens));
  }
  p.centred = true;
  QRect main = screens.empty() ? QRect(QPoint(0, 0), defaultSize) : screens.front();
  QSize frame = size + chrome(margins);
  return result(centredIn(screens.empty() ? frame : sizedFor(frame, margins, main), main));
}

std::optional<MainWindowPlacement::Zoom> MainWindowPlacement::zoom(
    const QRect& frame, const std::optional<QRect>& previous, const QMargins& margins,
    const std::vector<QRect>& screens, const std::optional<Zoomed>& zoomed) {
  if (screens.empty()) return std::nullopt;
  QRect screen = *MainWindowGeometry::screenFrame(frame, true, screens, screens.front(), true);
  QRect target =
      movedInto(QRect(screen.topLeft(), sizedFor(screen.size(), margins, screen)), screen);
  if (zoomed && near(frame, zoomed->frame))
    return Zoom{fitted(zoomed->restore, margins, screens), screen, std::nullopt};
  if (!near(frame, target)) return Zoom{target, screen, Zoomed{target, frame}};
  if (previous && !near(*previous, target)) return Zoom{target, screen, Zoomed{target, *previous}};
  return Zoom{centredIn(sizedFor(defaultSize + chrome(margins), margins, screen), screen), screen,
              std::nullopt};
}

}  // namespace corvane
