#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QVariant>
#include <optional>
#include <vector>

namespace corvane {

// Where the main window opens: the stored content size and origin, or 1280 x 720 centred;
// never smaller than 640 x 360 nor larger than the largest screen.
class MainWindowPlacement {
 public:
  struct Stored {
    std::optional<double> width, height, x, y;
  };

  struct Placement {
    QSize size;
    QPoint origin;
    QSize minimum;
    QSize maximum;
    bool centred = false;
    bool operator==(const Placement&) const = default;
  };

  static constexpr QSize defaultSize{1280, 720};
  static constexpr QSize minimumSize{640, 360};

  // A stored value counts only when it is a finite number (or text holding one).
  static std::optional<double> number(const QVariant& value);
  // `screens`: the available areas of the screens, the main one first. A stored origin that
  // would leave the window on no screen is not used.
  static Placement place(const Stored& stored, const std::vector<QRect>& screens);
};

}  // namespace corvane
