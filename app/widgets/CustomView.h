#pragma once

#include <QColor>
#include <QWidget>
#include <functional>

#include "widgets/HoverTracker.h"

namespace corvane {

// The program's styled view: a fill, an optional hover fill, rounded corners and a border.
// Colours only reach the drawing once their setters run. With disableMouseEvent set the view
// swallows clicks and shows no hover. disableClick ignores presses only; mouseCallback hears the
// pointer entering (true) and leaving (false) the hover area.
class CustomView : public QWidget {
  Q_OBJECT

 public:
  explicit CustomView(const QRect& frame = QRect(), QWidget* parent = nullptr);

  bool disableMouseEvent = false;
  bool disableClick = false;
  std::function<void(bool entered)> mouseCallback;

  QColor color() const { return color_; }
  void setColor(const QColor& c);
  QColor hoverColor() const { return hoverColor_; }
  void setHoverColor(const QColor& c) { hoverColor_ = c; }
  double cornerRadius() const { return cornerRadius_; }
  void setCornerRadius(double radius);
  double borderWidth() const { return borderWidth_; }
  void setBorderWidth(double width);
  QColor borderColor() const { return borderColor_; }
  void setBorderColor(const QColor& c);

  // What the view shows now; clear until a colour setter has run.
  QColor layerBackgroundColor() const { return layerBackground_; }
  QColor layerBorderColor() const { return layerBorder_; }
  QRectF hoverArea() const { return tracker_.area(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void follow(HoverTracker::Change change);

  QColor color_;
  QColor hoverColor_;
  double cornerRadius_ = 0;
  double borderWidth_ = 0;
  QColor borderColor_;
  QColor layerBackground_;
  QColor layerBorder_;
  HoverTracker tracker_;
};

}  // namespace corvane
