#pragma once

#include <QRect>
#include <QRectF>
#include <QSizeF>
#include <optional>
#include <vector>

namespace corvane {

// Where the base-position button sits: beside the notification button at the top of the
// content, or at the content's bottom-left corner.
enum class BasePositionAnchor { notify, content };

// Which view composes the virtual camera's picture: the separate navigator panel's, or the
// navigator preview inside the control board.
enum class NavigatorSource { navigatorPanel, controlBoard };

// The main window's geometry rules, free of widgets: the preview keeps the camera's aspect, the
// navigator panel the output's 16:9 below its title strip, the base-position button changes its
// anchoring with the room below the preview. Sizes are logical pixels unless named camera pixels.
class MainWindowGeometry {
 public:
  static constexpr double kOutputWidth = 1280.0;
  static constexpr double kOutputHeight = 720.0;
  static constexpr double kNavigatorTitleHeight = 30.0;
  static constexpr double smallControlBoardWidth = 40.0;
  static constexpr double smallControlBoardHeight = 128.0;
  static constexpr double kControlBoardWidth = 285.0;
  // Room below the preview from which on the button sits in the content.
  static constexpr double kBasePositionBand = 80.0;
  static constexpr double kDefaultAspect = 16.0 / 9.0;

  // The navigator picture's box (width, height including the title strip) for a panel of
  // `panel`; none for an empty panel (the caller keeps the previous values).
  static std::optional<QSizeF> navigatorSize(QSizeF panel);

  // The preview's width over height for a camera format; none without a usable format.
  static std::optional<double> controlViewAspect(int cameraWidth, int cameraHeight);
  // Camera pixels per logical pixel of a preview `previewWidth` wide; none for an empty preview
  // or no camera width.
  static std::optional<double> controlViewMultiple(int cameraWidth, double previewWidth);

  // The focus or picture-in-picture rectangle the facade reports, in camera pixels, mirrored
  // when the preview is and kept on the frame horizontally; none when the facade has none
  // (any value -1).
  static std::optional<QRectF> focusRect(int x, int y, int w, int h, int cameraWidth, bool mirror);

  // The banner position of a 180-degree camera from the move icon's rectangle: (y + h) minus the
  // banner height (camera width / banner aspect ratio); none when the facade has no icon or the
  // ratio is not usable. y + h is summed in 32 bits, as the facade reports them.
  static std::optional<double> bannerPositionY(int y, int h, int cameraWidth,
                                               double bannerAspectRatio);

  // The anchoring after the navigator is shown or hidden, from the room below the preview;
  // none leaves it as it is (little room and no notification to sit beside).
  static std::optional<BasePositionAnchor> basePositionAnchor(double bandBelowPreview,
                                                              bool notifyVisible);
  // The anchoring the control-board set-up chooses.
  static BasePositionAnchor controlBoardAnchor(bool notifyVisible, bool splitWindow);

  static NavigatorSource navigatorSource(bool splitWindow) {
    return splitWindow ? NavigatorSource::navigatorPanel : NavigatorSource::controlBoard;
  }

  // The content area split into the preview and the navigator panel. Without the navigator the
  // preview is centred; with it the preview is pinned to the top and the panel takes the room
  // below, less `navigatorBottom`.
  struct Content {
    QRectF controlView;
    QRectF navigatorView;
  };
  static Content contentLayout(QSizeF content, double aspect, bool navigatorShown,
                               double navigatorBottom);
  // The simple layout: the preview fills the content (sized to it), centred when its shape
  // differs, without margins or a navigator.
  static Content simpleContentLayout(QSizeF content, double aspect);
  static constexpr double kContentMargin = 16.0;
  static constexpr double kTopStrip = 44.0;  // the notification row above a pinned preview

  // The frame of the screen whose frame holds the window's centre (or origin), the last such;
  // otherwise the primary screen's, and the same without the program's window. None with no
  // screen at all.
  static std::optional<QRect> screenFrame(const QRect& window, bool useCenter,
                                          const std::vector<QRect>& screens,
                                          const std::optional<QRect>& primary, bool isCustomWindow);
};

}  // namespace corvane
