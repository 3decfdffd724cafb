#include "main/MainWindowRules.h"

#include <cmath>

#include "Workspace.h"
#include "main/MainWindowPlacement.h"

namespace corvane {

MainWindowRules::FovSelection MainWindowRules::fovButtons(const std::vector<int>& tags,
                                                          VerticalFovMode value) {
  FovSelection result;
  bool any = false;
  for (int tag : tags) {
    bool on = tag >= 0 && tag <= 2 && tag == int(rawValue(value));
    result.selected.push_back(on);
    any = any || on;
  }
  result.fallBackToMid = !any && value != VerticalFovMode::mid;
  return result;
}

VerticalFovMode MainWindowRules::storedVerticalFov(const QVariant& stored) {
  if (!stored.isValid()) return VerticalFovMode::mid;
  switch (stored.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
      break;
    case QMetaType::Double: {
      double d = stored.toDouble();
      if (d != std::floor(d)) return VerticalFovMode::mid;
      break;
    }
    case QMetaType::QString: {
      // The settings file gives the number back as text after a restart: read it as the store
      // reads its integers.
      bool ok = false;
      qlonglong n = stored.toString().toLongLong(&ok);
      return ok ? makeVerticalFovMode(n).value_or(VerticalFovMode::mid) : VerticalFovMode::mid;
    }
    default:
      return VerticalFovMode::mid;
  }
  return makeVerticalFovMode(stored.toLongLong()).value_or(VerticalFovMode::mid);
}

double MainWindowRules::controlBoardWidth(EditMode mode, bool simpleMode) {
  if (mode != EditMode::none) return 0.0;
  return simpleMode ? kSimpleControlBoardWidth : kControlBoardWidth;
}

namespace {

std::optional<double> number(const QVariant& v) { return MainWindowPlacement::number(v); }

}  // namespace

QRect MainWindowRules::restoredWindowFrame(const QVariant& width, const QVariant& height,
                                           const QVariant& x, const QVariant& y) {
  std::optional<double> w = number(width), h = number(height);
  QSize size = kDefaultWindowSize;
  if (w && h) {
    size = QSize(int(*w), int(*h));
    if (*w < kMinimumContentSize.width() || *h < kMinimumContentSize.height())
      size = kMinimumContentSize;
  }
  std::optional<double> px = number(x), py = number(y);
  QPoint origin = px && py ? QPoint(int(*px), int(*py)) : QPoint(0, 0);
  return QRect(origin, size);
}

QSize MainWindowRules::maximumContentSize(const std::optional<QRect>& primary,
                                          const std::optional<QRect>& windowScreen,
                                          const std::vector<QRect>& screens) {
  QSize best = primary ? primary->size() : QSize();
  if (windowScreen) best = windowScreen->size();
  auto area = [](QSize s) { return qint64(s.width()) * s.height(); };
  for (const QRect& screen : screens)
    if (area(screen.size()) > area(best)) best = screen.size();
  return best;
}

std::optional<MainWindowRules::SimpleFrame> MainWindowRules::simpleFrame(int cameraWidth,
                                                                         int cameraHeight,
                                                                         const QRect& screen) {
  if (cameraWidth <= 0 || cameraHeight <= 0) return std::nullopt;
  constexpr double kHeight = 128.0;
  int preview = int(std::lround(double(cameraWidth) / (double(cameraHeight) / kHeight)));
  QSize content(int(kSimpleControlBoardWidth) + preview, int(kHeight));
  // Near the top right of the screen: 100 from its right edge, a tenth of its height down.
  int x = screen.x() + screen.width() - content.width() - 100;
  int y = screen.y() + screen.height() / 10;
  return SimpleFrame{QRect(QPoint(x, y), content), content};
}

std::optional<MainWindowRules::CursorImage> MainWindowRules::cursorFor(MouseState state) {
  switch (state) {
    case MouseState::none:
    case MouseState::noDraw:
      return std::nullopt;
    case MouseState::anyMove:
      return CursorImage{"icon_any_move", {13, 13}};
    case MouseState::anyDrag:
      return CursorImage{"icon_drag", {13, 0}};
    case MouseState::hMove:
      return CursorImage{"icon_h_move", {13, 6}};
    case MouseState::dragTop:
      return CursorImage{"icon_top", {6, 10}};
    case MouseState::dragBottom:
      return CursorImage{"icon_down", {6, 10}};
    case MouseState::dragLeft:
      return CursorImage{"icon_left", {10, 6}};
    case MouseState::dragRight:
      return CursorImage{"icon_right", {10, 6}};
    case MouseState::dragLeftTop:
      return CursorImage{"icon_top_left", {10, 10}};
    case MouseState::dragLeftBottom:
      return CursorImage{"icon_bottom_left", {10, 10}};
    case MouseState::dragRightTop:
      return CursorImage{"icon_top_right", {10, 10}};
    case MouseState::dragRightBottom:
      return CursorImage{"icon_bottom_right", {10, 10}};
  }
  return std::nullopt;
}

bool MainWindowRules::mayOpen(const std::string& address) {
  return platform::Workspace::isWebAddress(address);
}

std::optional<std::string> MainWindowRules::websiteAddress(
    const std::optional<CompanyModel>& company, const std::string& makerDefault) {
  if (company && !company->data.kestovaUrl.empty()) return company->data.kestovaUrl;
  if (!makerDefault.empty()) return makerDefault;
  return std::nullopt;
}

std::optional<std::string> MainWindowRules::downloadAddress(
    const std::optional<CompanyModel>& company, const std::string& vendorDefault) {
  if (company) {
    if (company->data.downloadUrl.empty()) return std::nullopt;
    return company->data.downloadUrl;
  }
  if (!vendorDefault.empty()) return vendorDefault;
  return std::nullopt;
}

}  // namespace corvane
