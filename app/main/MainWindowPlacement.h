#pragma once

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QVariant>
#include <optional>
#include <vector>

namespace corvane {

// Where the main window goes on the screens. The window manager draws a frame (title bar and
// borders, `margins`) around the program's content; a place is the frame's rectangle, stored as
// the frame's top-left and the content's size. The whole frame, title bar included, always fits
// the available area of its screen, and the content is never below 640 x 360. `screens` are the
// available areas of the screens, the main one first.
class MainWindowPlacement {
 public:
  struct Stored {
    std::optional<double> width, height, x, y;
  };

  struct Placement {
    QSize size;     // the content's
    QPoint origin;  // the frame's top-left
    QSize minimum;
    QSize maximum;
    bool centred = false;
    bool fillsScreen = false;  // the frame takes its screen's whole width or height
    bool operator==(const Placement&) const = default;
  };

  static constexpr QSize defaultSize{1280, 720};
  static constexpr QSize minimumSize{640, 360};
  // The frame until the window manager has said what it draws: a title bar and borders on the
  // generous side, so that a first window fits; the window corrects it once it is framed.
  static constexpr QMargins estimatedMargins{4, 32, 4, 8};
  // How far a frame may be from the zoomed one and still count as zoomed (a window manager may
  // round the frame).
  static constexpr int zoomSlack = 4;

  // A stored value counts only when it is a finite number (or text holding one).
  static std::optional<double> number(const QVariant& value);

  // The window at start: the stored content size and frame origin, or 1280 x 720 centred on the
  // main screen; fitted as `fitted` does. A stored origin that leaves the window on no screen is
  // not used.
  static Placement place(const Stored& stored, const std::vector<QRect>& screens,
                         const QMargins& margins);

  // `frame` made to fit its screen (the one holding the frame's centre, else the one it overlaps
  // most): the content shrunk until the frame fits the available area, then the frame moved in,
  // so a title bar above the area or a window past its edge comes back. A frame on no screen is
  // centred on the main one. The content keeps its minimum even where the area is smaller, with
  // the title bar at the area's top.
  static QRect fitted(const QRect& frame, const QMargins& margins,
                      const std::vector<QRect>& screens);

  // Where a window that the main window opens (diagnostics, the file player) goes: on the main
  // window's screen. `frame` is that window's frame now, `shownBefore` whether it was placed
  // before, `main` the main window's frame. The frame's new top-left: centred on the main
  // window's screen, unless it was shown before and is on that screen already (the user's place
  // stays); none to leave it.
  static std::optional<QPoint> onMainScreen(const QRect& frame, bool shownBefore,
                                            const QRect& main, const std::vector<QRect>& screens);

  // The zoom toggles between a frame filling the available area of the screen holding the
  // frame's centre (else the main one) and the frame from before. Kept between two zooms:
  struct Zoomed {
    QRect frame;    // the zoomed frame
    QRect restore;  // the frame it replaced
    bool operator==(const Zoomed&) const = default;
  };
  struct Zoom {
    QRect frame;                   // where the frame goes
    QRect screen;                  // the area zoomed on
    std::optional<Zoomed> zoomed;  // none when the zoom went back
    bool operator==(const Zoom&) const = default;
  };
  // `frame` is the window's frame now, `previous` the one before its last change: a window
  // manager that maximised the window before reporting it leaves the frame from before there. A
  // frame that already fills the area with nothing to go back to goes to the default size,
  // centred. None without screens.
  static std::optional<Zoom> zoom(const QRect& frame, const std::optional<QRect>& previous,
                                  const QMargins& margins, const std::vector<QRect>& screens,
                                  const std::optional<Zoomed>& zoomed);
};

}  // namespace corvane
