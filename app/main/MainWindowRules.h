#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QVariant>
#include <optional>
#include <string>
#include <vector>

#include "camera/VerticalFovMode.h"
#include "cloud/CompanyModel.h"
#include "controlboard/EditMode.h"
#include "main/MouseState.h"

namespace corvane {

// The main window's decisions, free of widgets: which field-of-view button is selected, the
// control-board column per edit mode, the restored window frame, the cursor per gesture and the
// addresses the window may open.
class MainWindowRules {
 public:
  static constexpr double kControlBoardWidth = 285.0;
  static constexpr double kSimpleControlBoardWidth = 40.0;
  static constexpr QSize kMinimumContentSize{640, 360};
  static constexpr QSize kDefaultWindowSize{1280, 720};

  // The buttons of the field-of-view row, by tag, for the mode `value`: one flag per button
  // (selected or not). When none carries the value the window falls back to mid, but only when
  // the value is not mid already: a row without a mid button must not keep re-applying it.
  struct FovSelection {
    std::vector<bool> selected;
    bool fallBackToMid = false;
  };
  static FovSelection fovButtons(const std::vector<int>& tags, VerticalFovMode value);

  // The stored "VerticalFov": 0 top, 1 mid, 2 down; absent, not an integer or out of range: mid.
  static VerticalFovMode storedVerticalFov(const QVariant& stored);

  // Width of the control-board column: none while an edit mode is open, the small board's in the
  // simple view, the full board's otherwise.
  static double controlBoardWidth(EditMode mode, bool simpleMode);

  // The window frame restored from "WindowWidth", "WindowHeight", "WindowX" and "WindowY":
  // missing or non-numeric sizes give 1280 x 720, sizes below 640 x 360 give 640 x 360, the
  // origin is (0, 0) unless both coordinates are numbers.
  static QRect restoredWindowFrame(const QVariant& width, const QVariant& height,
                                   const QVariant& x, const QVariant& y);

  // The largest screen size, starting from the primary screen, then the window's screen, then
  // any screen of larger area.
  static QSize maximumContentSize(const std::optional<QRect>& primary,
                                  const std::optional<QRect>& windowScreen,
                                  const std::vector<QRect>& screens);

  // The simple layout's frame for a camera frame size on screen `screen`: the small board and a
  // 128-high preview of the camera's shape, with its title bar, near the screen's right edge.
  struct SimpleFrame {
    QRect frame;
    QSize content;
  };
  static std::optional<SimpleFrame> simpleFrame(int cameraWidth, int cameraHeight,
                                                const QRect& screen);

  // The cursor of a gesture: an image of the program's and its hot spot in logical pixels; none
  // for the arrow.
  struct CursorImage {
    QString image;
    QPoint hotSpot;
  };
  static std::optional<CursorImage> cursorFor(MouseState state);

  // Whether an address from outside (the cloud, the configuration) may be opened: http and
  // https only, so a record cannot start another URL handler.
  static bool mayOpen(const std::string& address);
  // The website command's address: the company's page when there is one, else the maker's
  // default; none when neither is given.
  static std::optional<std::string> websiteAddress(const std::optional<CompanyModel>& company,
                                                   const std::string& makerDefault);
  // The update command's address for vendors that publish their own downloads.
  static std::optional<std::string> downloadAddress(const std::optional<CompanyModel>& company,
                                                    const std::string& vendorDefault);
};

}  // namespace corvane
